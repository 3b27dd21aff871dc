#pragma once
// The queue of search jobs: one row per search job (kept headless here, shown by the search
// list lvDownHtml), one page analyser serving the waiting jobs one at a time in index order,
// the handling of the analyser's events (row figures and the search log, part 0), and the
// search commands of the Jobs menu and the tool bar.
//
// Rows are identified by their search index (the row key is the index followed by "Key").

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>

class clsDownHtml;

// One row of the search list.
struct SearchRow {
    int Index = 0;         // search job index; the row's key is Index & "Key"
    QString Icon;          // state icon key: "Waitfor", "Pause", "Start", "Ok", "Error"
    QStringList SubItems;  // [0] row text (empty), [1] "State" ... [9] "Url"
    QString EntryList;     // the row's log entries ("1,5,9,")
    QString Key() const { return QString::number(Index) + QStringLiteral("Key"); }
};

class clsSearchQueue : public QObject {
    Q_OBJECT
public:
    // Column captions of the search list after the icon column "Pic ".
    static const QStringList& ColumnCaptions();

    explicit clsSearchQueue(QObject* parent = nullptr);
    ~clsSearchQueue() override;

    // The one page analyser (owned by the queue).
    clsDownHtml* Analyser() const { return analyser; }

    // Called with the index of every download job the analyser adds (the job manager's
    // AddToNowDownList). Without it the jobs are only put into Jobs.
    void SetAddToNowDownList(std::function<void(int)> hook);

    // The search job the analyser serves.
    int16_t CurSearch = 0;
    // The search index of the row that receives the analyser's events; 0 (or a deleted row)
    // means the events are dropped.
    int CurSearchRow = 0;
    // The search job whose log the lower pane shows (set by ShowSearch).
    int16_t ShownSearch = 0;

    // Adds the row of Searches(i) and starts the job when it is waiting and the analyser is
    // free. Called by every producer of search jobs after it has appended the record.
    void AddToSearchList(int i);

    // Rows.
    bool HasRow(int i) const { return rows.count(i) != 0; }
    const SearchRow* Row(int i) const;
    int RowCount() const { return static_cast<int>(rows.size()); }
    QList<int> RowIndexes() const;  // ascending

    // "Start Search Job" on the selected row (0 = no row selected).
    void StartSearchJob(int selected);
    // "Pause Search Job": pauses the running job, then starts the lowest waiting one.
    void PauseSearchJob();
    // "Start All Search Job": restarts the paused jobs (the first at once when the analyser is
    // free, the others waiting).
    void StartAllSearchJob();
    // "Pause All Search Job": pauses the running job and every waiting one.
    void PauseAllSearchJob();
    // Delete in the search view: every selected search job is freed (state 0) and its row
    // removed. A deleted running job is stopped first and the queue moves on.
    void DeleteSearchJobs(const QList<int>& selected);
    // The four search menu items (and the tool bar's Start/Pause/AllStart/AllPause while the
    // search list is shown) are enabled when the search view is active (ActiveList 1), the
    // list has rows and a search job has been shown.
    bool SearchCommandsEnabled(int activeList) const;

    // The search jobs kept beside the job database dbPath (SearchFile::PathBeside): loads them
    // into the table and the list, then saves them there every time the job database is saved.
    // A job that was running comes back waiting (and is served in its turn), the others in their
    // states; finished and failed rows keep their figures. A file that cannot be read whole
    // loads what can be read, is kept as its path + ".bad", and the user is told once.
    void KeepBeside(const QString& dbPath);
    // Writes every search job and its row to path, unless the file already holds them. False
    // when the write failed (the user is told when the previous one had worked).
    bool Save(const QString& path);
    // Loads the search jobs of path (see KeepBeside); the number loaded.
    int Load(const QString& path);

    // A click on row i: its log is shown (ShownSearch = i, full refresh).
    void ShowSearch(int i);

    // The analyser's event handlers (connected by the constructor; public for the record).
    void clsDownHtml_UpdataState(const QString& Kind, const QString& Detail);
    void clsDownHtml_DownComplete();
    void clsDownHtml_FenXiComplete();

    // The lines of a request or response text as they are logged: each line ended by CR LF;
    // the walk stops when fewer than 4 characters remain (the end of a head is not logged).
    static QStringList DetailLines(const QString& detail);

signals:
    void RowAdded(int i);
    void RowChanged(int i);
    void RowRemoved(int i);
    // A search job was added, deleted, started, paused, failed or finished: what Save writes
    // has changed.
    void JobsChanged();
    // The log of search job i has new entries from number first on (first 0: list it anew).
    // Raised for the shown job only.
    void SearchLogChanged(int i, int32_t first);

private:
    bool StartSearch(int i);
    bool StartNextWaiting();
    void PauseAnalyser();
    void SetState(int i, int32_t state, const QString& icon);
    SearchRow* MutableRow(int i);

    clsDownHtml* analyser = nullptr;
    std::function<void(int)> addToNowDownList;
    std::map<int, SearchRow> rows;
    QByteArray savedBytes;  // what the search file held after the last load or save
    QString savedPath;
    bool saveFailed = false;
};
