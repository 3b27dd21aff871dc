#pragma once
// lvNowDown: the now-downloading list. One row per unfinished job, keyed j & "NowDown", with the
// state icon and the job's figures; it mirrors the job manager's rows and hands the user's
// clicks, selection and pop-up menu back to it.

#include <QHash>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>

class clsJobManager;
class QMenu;
class RefreshThrottle;
class QAction;

// Sets the row's state icon: "Start" 1, "Pause" 2, "Waitfor" 3, "Error" 5; other states leave it.
void SetStateIcon(QTreeWidgetItem* row, int state);

class NowDownView : public QTreeWidget {
    Q_OBJECT
public:
    explicit NowDownView(clsJobManager* manager, QWidget* parent = nullptr);

    QTreeWidgetItem* Row(int jobIndex) const { return items.value(jobIndex, nullptr); }
    // The pop-up menu ("Start Download Job", "Pause Download Job", "Start All Download Job",
    // "Pause Download Job", "Delete Download Job"), enabled by the Jobs menu's rules.
    QMenu* PopupMenu() const { return popup; }
    // Runs the enabling of the pop-up entries (the right button does this before popping up).
    void EnablePopup();
    // Makes the job's row the only selected and the current one, brings it into view and
    // chooses it as a click does (a job just added is shown this way).
    void ChooseRow(int jobIndex);
    // Writes the figures that changed since the last refresh into the rows now.
    void FlushRows();

signals:
    // The pop-up's "Delete Download Job" (the delete dialog belongs to the main window).
    void DeleteRequested();
    // The pop-up's "Job Properties", or a double click on a paused or failed row: the job to edit.
    void PropertiesRequested(int jobIndex);
    // A click or a mouse release on the list (the main window refreshes its tool bar).
    void ListClicked();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnRowAdded(int jobIndex);
    void OnRowChanged(int jobIndex);
    void OnRowRemoved(int jobIndex);
    void OnSelectionChanged();
    void OnItemClicked(QTreeWidgetItem* item);
    // The row's tool tip: the error text of a failed job, none otherwise.
    void ShowProblem(int jobIndex);
    void SetSortValues(QTreeWidgetItem* row, int jobIndex);

    clsJobManager* manager;
    QHash<int, QTreeWidgetItem*> items;
    QSet<int> changed;            // rows whose figures changed since they were last drawn
    RefreshThrottle* rowRefresh;  // at most ten row refreshes a second
    // Rows added, changed or removed in a burst (hundreds of small jobs) are drawn together:
    // the list is painted at most every kPaintMs while they come.
    static constexpr int kPaintMs = 150;
    QTimer* paintGate = nullptr;
    void HoldPaint();
    QMenu* popup = nullptr;
    QAction* popStart = nullptr;
    QAction* popPause = nullptr;
    QAction* popStartAll = nullptr;
    QAction* popPauseAll = nullptr;
    QAction* popDelete = nullptr;
    QAction* popProperties = nullptr;
};
