#include "tree/CategoryView.h"

#include "store/JobTable.h"
#include "store/VbDate.h"

CategoryView::CategoryView(const CategoryTree* tree, QObject* parent)
    : QObject(parent), tree(tree) {}

int CategoryView::FilterDays(const QString& key) {
    if (key == QLatin1String("Today")) return 1;
    if (key == QLatin1String("This Week")) return 7;
    if (key == QLatin1String("This Month")) return 30;
    if (key == QLatin1String("All")) return 30000;
    return 0;
}

void CategoryView::SelectNode(const QString& key) {
    historyDays = 0;
    currentKey = key;
    if (key.isEmpty()) {
        // No node is chosen any more: nothing is listed.
        ClearList();
        emit SelectionHandled();
        return;
    }
    if (key == TreeKeys::Root) {
        // The root only stands for the program; the panes stay as they are.
        previousView = view;
        emit SelectionHandled();
        return;
    }
    if (key == TreeKeys::NowSearch) {
        view = ViewSearch;
    } else if (key == TreeKeys::NowDownLoad) {
        view = ViewDownloads;
    } else {
        // Categories, "Downloaded", "Recely", "History" and the history filters all show the
        // category list; a filter lists finished jobs by age instead of by category.
        historyDays = FilterDays(key);
        view = ViewCategory;
    }
    if (view != previousView) emit PaneChanged(view);
    if (view == ViewCategory || historyDays != 0) Refill();
    previousView = view;
    emit SelectionHandled();
}

void CategoryView::SetNone() {
    view = ViewNone;
    previousView = ViewNone;
    historyDays = 0;
    currentKey.clear();
    listed.clear();
}

bool CategoryView::JobShown(const CategoryTree& tree, const JobRecord& job, const QString& key,
                            int filterDays, double now) {
    if (job.State != StateComplete) return false;
    if (job.ClassKey.isEmpty() || job.ClassKey == TreeKeys::RecelyReally) return false;
    if (filterDays != 0) return VbDate::DayBoundaries(job.CreateTime, now) < filterDays;
    if (job.ClassKey == key) return true;
    // A finished job whose category was deleted would otherwise be shown nowhere.
    return key == TreeKeys::Downloaded && job.ClassKey != TreeKeys::Recely &&
           !tree.IsInSubtree(job.ClassKey, TreeKeys::Downloaded);
}

QList<int> CategoryView::JobsFor(const CategoryTree& tree, const QString& key, int filterDays,
                                 double now) {
    QList<int> out;
    for (int i = 1; i <= JobCount; ++i)
        if (JobShown(tree, Jobs[i], key, filterDays, now)) out.append(i);
    return out;
}

bool CategoryView::Lists(int job) const {
    if (job < 1 || job > JobCount || currentKey.isEmpty()) return false;
    return JobShown(*tree, Jobs[job], currentKey, historyDays, Now());
}

void CategoryView::Refill() {
    listed = currentKey.isEmpty() ? QList<int>() : JobsFor(*tree, currentKey, historyDays, Now());
    emit CategoryListChanged();
}

void CategoryView::ClearList() {
    listed.clear();
    emit CategoryListChanged();
}

void CategoryView::Unlist(int job) {
    listed.removeAll(job);
}

void CategoryView::SetClock(std::function<double()> newClock) {
    clock = std::move(newClock);
}

double CategoryView::Now() const {
    return clock ? clock() : VbDate::Now();
}
