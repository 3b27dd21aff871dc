#pragma once
// The main window's view state behind the tree tvNa, without any widget: which right pane is
// shown (1 the search lists, 2 the current downloads, 3 a category list), the view shown before,
// the history filter in days, the chosen node, and which finished jobs the category list holds.

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

#include "store/CategoryTree.h"
#include "store/JobRecord.h"

class CategoryView : public QObject {
    Q_OBJECT
public:
    enum View : int { ViewNone = 0, ViewSearch = 1, ViewDownloads = 2, ViewCategory = 3 };

    explicit CategoryView(const CategoryTree* tree, QObject* parent = nullptr);

    // What choosing a node of tvNa does: resets the history filter, sets the view by the key,
    // asks for another right pane when the view differs from the one shown before, refills the
    // category list when a category or a history filter is shown, and ends with
    // SelectionHandled().
    void SelectNode(const QString& key);
    // No view and no node (the main window's load step before it chooses "Downloaded").
    void SetNone();

    View ActiveList() const { return view; }
    View PreviousView() const { return previousView; }
    int HistoryFilter() const { return historyDays; }
    // The node chosen last (empty when none).
    const QString& CurrentKey() const { return currentKey; }

    // The finished jobs the category list shows, in index order.
    const QList<int>& ListedJobs() const { return listed; }
    // Whether job i belongs in the current listing.
    bool Lists(int job) const;
    // Recomputes the listing for the current node and filter; CategoryListChanged() follows.
    void Refill();
    // Empties the listing; CategoryListChanged() follows.
    void ClearList();
    // Takes job i out of the listing (its row was removed by a command).
    void Unlist(int job);

    // Days of a history filter node ("Today" 1, "This Week" 7, "This Month" 30, "All" 30000);
    // 0 for any other key.
    static int FilterDays(const QString& key);
    // Whether a job is shown under key with the filter of filterDays (0: none) at time now.
    // Without a filter a category shows its own complete jobs; "Downloaded" also shows complete
    // jobs whose category no longer exists. A filter shows every complete job created fewer
    // than filterDays calendar days (local time) before now, whatever its category.
    static bool JobShown(const CategoryTree& tree, const JobRecord& job, const QString& key,
                         int filterDays, double now);
    static QList<int> JobsFor(const CategoryTree& tree, const QString& key, int filterDays,
                              double now);

    // Replaces the clock used for the history filters (tests); empty restores VbDate::Now.
    void SetClock(std::function<double()> clock);

signals:
    // The right pane to show: 1 search lists, 2 current downloads, 3 category list.
    void PaneChanged(int view);
    // The listing changed; the category list widget refills from ListedJobs().
    void CategoryListChanged();
    // Node selection is done; the window refreshes its toolbar (DisableTb, EnabledTb).
    void SelectionHandled();

private:
    double Now() const;

    const CategoryTree* tree;
    View view = ViewNone;
    View previousView = ViewNone;
    int historyDays = 0;
    QString currentKey;
    QList<int> listed;
    std::function<double()> clock;
};
