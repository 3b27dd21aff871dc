#pragma once
// The job manager: the now-downloading rows with their texts and entry lists, which job goes to
// a free slot next, the handling of every report of the slots, the commands and what the lower
// panes show. The slots themselves, their table and the transfer rate are its SlotScheduler's.
// It runs without a display: the list, the panes and the job message window follow it through
// its signals (NowDownView, DownInfoPane, frmJobmessage).

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>

#include "engine/ReportKind.h"
#include "manager/SlotScheduler.h"
#include "store/JobRecord.h"
#include "store/RateWindow.h"

class DownloadSlot;

class clsJobManager : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlots = SlotScheduler::kSlots;
    // Columns of lvNowDown.
    enum Column {
        ColState = 0,
        ColFileName,
        ColFileSize,
        ColComplete,
        ColPercent,
        ColPart,
        ColUrl,
        ColComment,
        // Shown next to "Percent" (the header moves them there): the job's speed over its last
        // seconds and the time it needs at that speed, while it runs; empty otherwise.
        ColSpeed,
        ColTimeLeft,
        ColumnCount
    };
    static QStringList ColumnTitles();
    // Values of SlotViewPart.
    static constexpr uint8_t ViewNothing = 0;
    static constexpr uint8_t ViewPicture = 255;

    // The enabled flags of the Jobs menu's four download items.
    struct JobsMenuState {
        bool StartJob = false;  // "&Start Download Job"
        bool PauseJob = false;  // "&Pause Download Job"
        bool StartAll = false;  // "&Start Download All"
        bool PauseAll = false;  // "&Pause Download All"
        bool operator==(const JobsMenuState&) const = default;
    };

    explicit clsJobManager(QObject* parent = nullptr);
    ~clsJobManager() override;

    // --- slots and the slot table ---
    DownloadSlot* Slot(int k) const;  // k = 1..8, else nullptr
    int SlotJob(int k) const;         // job last bound to slot k (not cleared when it is freed)
    int SlotItem(int k) const;        // job index of the row of slot k's job (0 = none)
    int FreeSlot() const { return scheduler.FreeSlot(); }
    int ShownJob() const { return shownJob; }
    int ShownSlot() const { return shownSlot; }
    uint8_t SlotViewPart(int k) const;

    // First usable free slot (k <= Maxjobs and not in use), also kept in FreeSlot; nullptr if none.
    DownloadSlot* FindOneCls();
    // First slot whose SlotJob is the job, busy or not.
    DownloadSlot* FindSelectCls(int jobIndex) const;
    int16_t FindSelectClsId(int jobIndex) const;
    // The busy slot running the job right now, or nullptr.
    DownloadSlot* RunningSlot(int jobIndex) const;
    // Pauses every busy slot.
    void SaveCls();

    // --- the now-downloading rows ---
    // Adds the job's row (figures truncated to whole percent) and starts it at once when it is
    // waiting and a slot is free.
    void AddToNowDownList(int jobIndex);
    // Binds the job to the slot FindOneCls found last and starts it.
    void BindAndStart(int jobIndex);
    // Starts the waiting job with the lowest index in a free slot. True when one was started.
    bool StartNextWaiting();
    // Handles one report of slot k (also callable directly, e.g. by tests): row figures, the log,
    // the refresh of the shown job's panes. The slot object has already made Jobs current.
    void UpdateDownloadState(int slot, int part, ReportKind kind, const QString& detail);

    QList<int> RowJobs() const { return rowOrder; }  // jobs of the rows, in list order
    int RowCount() const { return static_cast<int>(rowOrder.size()); }
    bool HasRow(int jobIndex) const { return rows.contains(jobIndex); }
    static QString RowKey(int jobIndex) { return QString::number(jobIndex) + "NowDown"; }
    // Texts of the row's columns (ColumnCount entries; the state column is empty).
    QStringList RowTexts(int jobIndex) const;
    // What the Speed and Time Left texts stand for, to sort by: bytes per second and seconds
    // (-1 when the row shows none).
    double RowSpeed(int jobIndex) const;
    qint64 RowSecondsLeft(int jobIndex) const;
    // The state whose icon the row shows (-1 = none yet).
    int RowIcon(int jobIndex) const;
    // The row's entry list ("1,5,9,").
    QString RowTag(int jobIndex) const;
    // Why the job failed: the last problem line (kind 8) of its row's log while the job is in
    // the error state; empty otherwise, and for a failure the log of this run has not seen.
    QString ErrorText(int jobIndex) const;
    // Removes the row (the job was deleted): the job leaves the queue first, then a running job
    // is paused and its slot goes to the next waiting job; panes showing it are cleared.
    void RemoveRow(int jobIndex);

    // --- start-up and exit ---
    // Start-up: a row for every unfinished job in index order; a job left running by a killed
    // program waits for a slot again with goOn (and starts as slots allow), else is shown paused.
    // Free records and jobs deleted for good get no row. Returns how many jobs wait or run.
    int LoadUnfinishedJobs(bool goOn = false);
    // Pause all: every busy slot paused, every running or waiting job paused. Nothing starts.
    // keepQueued (the end of the program): those jobs are left waiting in the records, so that
    // the next start goes on with them.
    void PauseAll(bool keepQueued = false);

    // --- the user's commands ---
    void SetSelectedJobs(const QList<int>& jobs);  // the list's selection, in list order
    QList<int> SelectedJobs() const { return selected; }
    void StartJob(int jobIndex);
    void PauseJob(int jobIndex);
    void StartDownloadJob();  // "&Start Download Job" on the selected row
    void PauseDownloadJob();  // "&Pause Download Job" on the selected row
    void StartAll();          // "&Start Download All"
    // The user's pause of the selected job, or of all jobs: with StillDownload 0, a running job
    // whose server failed the range test (it will start again from zero) is paused only when
    // the pause question says yes.
    void PauseDownloadJobAsked();
    void PauseAllAsked();
    // Whether pausing job i now loses what it has received: it runs, and its server failed the
    // range test in this run.
    bool PauseRestartsFromZero(int jobIndex) const;
    // Asked with the jobs that would start again from zero; true pauses them. Empty: pause.
    using PauseQuestion = std::function<bool(const QList<int>& jobs)>;
    void SetPauseQuestion(PauseQuestion question) { pauseQuestion = std::move(question); }

    // Enabling of the Jobs menu's download items for the view the right pane shows
    // (activeList 2 = the now-downloading list).
    JobsMenuState JobsMenuEnabling(int activeList) const;
    // "Job Properties": the job has a row, and no slot serves it and it does not wait for one.
    bool MayEdit(int jobIndex) const;
    // The job as "Job Properties" changed it (not running): its record and row take the values.
    void ReplaceJob(int jobIndex, const JobRecord& record);
    // Edit > "&Delete" in the now-downloading view: rows, and the selected job is not running.
    bool CanDeleteSelected() const;
    // Edit > "&Copy URL to Clipboard" in the now-downloading view: rows, fewer than two selected.
    bool CanCopyUrl() const;

    // --- the lower panes ---
    // A click on a row: shows that job's part tree and, like the last time its slot was looked
    // into, its picture or a connection's log. A job that no slot serves right now (paused,
    // failed, waiting) shows its picture, or when it failed the log of the connection that
    // logged the failure. A job without a row clears the panes.
    void ChooseJob(int jobIndex);
    // A click on a node of the part tree: "PicDraw" or k & "Jet". The same node twice does nothing.
    void ChooseNode(const QString& key);
    QString ChosenNode() const { return chosenNode; }

    // FileSize over the whole seconds of TimeElapsed, at least one second (DownloadSlot's).
    static float AverageSpeed(int32_t fileSize, double timeElapsed);

    // Status bar panel 1.
    static QString StatebarText();
    // Bytes received by all slots since the program started.
    qint64 TotalReceived() const { return scheduler.TotalReceived(); }
    // The "host:port" an address names (without its login), and whether two addresses go to
    // the same scheme, host and port: what a login belongs to.
    static QString ServerText(const QString& url);
    static bool SameServer(const QString& a, const QString& b);
    // A login for url's server for this run of the program (jobs without their own use it).
    void SetSessionLogin(const QString& url, const QString& user, const QString& password) {
        scheduler.Logins().Set(url, user, password);
    }
    // One speed limit for all downloads, in KB/s; 0 for none.
    void SetSpeedLimit(int kilobytesPerSecond) {
        scheduler.SetSpeedLimit(static_cast<qint64>(std::max(0, kilobytesPerSecond)) * 1024);
    }

signals:
    void RowAdded(int jobIndex);
    void RowChanged(int jobIndex);
    void RowIconChanged(int jobIndex, int state);
    void RowRemoved(int jobIndex);
    // The lower panes: clear the part tree, both logs and the picture.
    void PanesCleared();
    // Rebuild the part tree for the job (PutinTree).
    void PartTreeRebuilt(int jobIndex);
    // Show the connection log of part (1..10), the picture (255) or the job table (0) for the job.
    void DetailViewChanged(int jobIndex, int view);
    // New entries of the shown connection: list the row's entries of that part from first on.
    void ConnectionLogAppended(int jobIndex, int part, int first);
    // Connection part of the shown job received bytes: grow the picture.
    void PictureGrew(int jobIndex, int part);
    // A run ended in the error state; reason: why (ErrorText).
    void JobFailed(int jobIndex, const QString& reason);
    // A job completed ("Job complete." line for the job message window when PopMessage is 1).
    void JobCompleted(int jobIndex);
    // A job is about to create its file: its record must be on disk first.
    void JobFileAboutToBeMade(int jobIndex, const QString& name);
    // A job's large file is being laid out: done of size bytes; ended once it is, or was
    // given up.
    void JobFileLayout(int jobIndex, const QString& name, qint64 done, qint64 size, bool ended);
    void JobMessage(const QString& line);
    // Reset the status bar (LookStatebar).
    void StatebarReset();
    // The job failed (its run ended in the error state) or a failed job was chosen: the status
    // bar tells why (text: ErrorText).
    void JobProblem(int jobIndex, const QString& text);
    // Any job's state changed (refresh the menus and tool bar).
    void JobStatesChanged();
    // Once a second while downloads run: bytes per second over all slots and busy slots; also
    // as soon as the number of busy slots changes (with the last second's rate; (0, 0) when
    // the last running job has stopped).
    void TransferRate(qint64 bytesPerSecond, int busySlots);
    // A download job has ended (complete or failed) and no job is running or waiting any more.
    void DownloadsEnded();

private:
    struct Row {
        QStringList Cells;
        RateWindow Rate;  // the job's speed while a slot serves it
        double Speed = -1;
        qint64 SecondsLeft = -1;
        int Icon = -1;
        QString Tag;
        QString Problem;          // the last problem line of the log
        uint8_t ProblemPart = 0;  // its connection
    };
    // Adds a log line to the row's entry list; problem lines are remembered for ErrorText.
    int Log(Row& row, const QString& text, uint8_t kind, uint8_t part);
    void OnCompleted(int slot, int jobIndex);
    void OnRunEnded(int slot, int jobIndex, const QString& reason);
    void OnStateIcon(int slot, int state);
    void OnNotice(int slot, int part, const QString& text);
    void SetRowIcon(int jobIndex, int state);
    void SetJobState(int jobIndex, int state);
    void RefreshFigures(int jobIndex, bool rounded);
    // Speed and time left of every row: measured for jobs a slot serves, cleared for the others.
    void RefreshRates();
    void ClearShown();
    void SelectDefaultView();
    // The view part the shown job's panes follow: its slot's, or idleViewPart.
    uint8_t& ShownViewPart();
    bool ValidJob(int jobIndex) const;
    void NotifyStates();
    // Holds JobStatesChanged back until the outermost holder ends.
    struct Quiet {
        explicit Quiet(clsJobManager* manager);
        ~Quiet();
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;
        clsJobManager* manager;
    };

    SlotScheduler scheduler;
    std::array<int, kSlots + 1> slotItem{};
    std::array<uint8_t, kSlots + 1> slotViewPart{};
    int shownJob = 0;
    int shownSlot = 0;
    QString chosenNode;
    uint8_t idleViewPart = ViewNothing;  // what the shown job shows while no slot serves it
    bool problemOnStatebar = false;
    QList<int> rowOrder;
    QHash<int, Row> rows;
    QList<int> selected;
    QElapsedTimer clock;  // the times of the rows' speed samples
    int quietDepth = 0;
    bool statesPending = false;
    QSet<int> noResume;  // jobs whose server failed the range test in their current run
    PauseQuestion pauseQuestion;
    bool MayPause(const QList<int>& jobs);
    void CheckDownloadsEnded();
};
