#pragma once
// The two lists of the "Searching" view: the search list lvDownHtml (upper pane: icon column
// "Pic " and the nine columns of a search job) and the search log lvHaveDownHtml (lower pane:
// "Date Time", "Infomation"). Both mirror a clsSearchQueue; a click on a search row shows that
// job's log. The lists are created here and placed by the main window, which may reparent them.
//
// Row and log changes are gathered and applied together a few times a second (and at once on a
// click), so a page with thousands of links does not relayout the lists once per link.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <deque>
#include <map>
#include <set>
#include <vector>

class clsSearchQueue;
class QTreeWidgetItem;

class clsSearchPanes : public QObject {
    Q_OBJECT
public:
    // Creates both lists (parented to parentWidget until the main window places them) and
    // fills the search list with the queue's current rows.
    explicit clsSearchPanes(clsSearchQueue* queue, QWidget* parentWidget = nullptr,
                            QObject* parent = nullptr);
    ~clsSearchPanes() override;

    QTreeWidget* SearchList() const { return lvDownHtml; }     // objectName "lvDownHtml"
    QTreeWidget* SearchLog() const { return lvHaveDownHtml; }  // objectName "lvHaveDownHtml"

    // The search index of the selected row the commands act on (the current row when it is
    // selected, else the first selected one); 0 when no row is selected.
    int SelectedSearch() const;
    // The search indexes of all selected rows (Delete).
    QList<int> SelectedSearches() const;
    // The row of search job i, nullptr when it has none.
    QTreeWidgetItem* RowItem(int i) const;

    // Applies the gathered row and log changes now (all of them).
    void Flush();

    // Key role of column 0: the row key (index followed by "Key").
    static constexpr int KeyRole = Qt::UserRole + 7;
    // The key of the state icon shown in column 0 ("Waitfor", "Start", "Ok" ...).
    static constexpr int IconKeyRole = Qt::UserRole + 8;

signals:
    // A row was clicked and its log is shown (the main window re-checks its menu items).
    void SearchShown(int i);

private:
    void OnRowAdded(int i);
    void OnRowChanged(int i);
    void OnRowRemoved(int i);
    void OnLogChanged(int i, int32_t first);
    void OnItemClicked(QTreeWidgetItem* item);
    void Fill(QTreeWidgetItem* item, int i);
    void ScheduleFlush();
    // Applies up to `limit` gathered rows and log lines; true when everything is shown.
    bool FlushSome(size_t limit);

    clsSearchQueue* queue;
    QPointer<QTreeWidget> lvDownHtml;
    QPointer<QTreeWidget> lvHaveDownHtml;
    std::map<int, QTreeWidgetItem*> items;
    std::deque<int> pendingAdds;
    std::set<int> pendingChanges;
    int pendingLogSearch = 0;      // search whose new log entries wait to be listed
    qsizetype pendingLogPos = -1;  // where they begin in that row's entry list
    QTimer flushTimer;
};
