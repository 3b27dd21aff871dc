// Node selection, the panes it asks for, and which finished jobs each node and history filter
// lists.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QSignalSpy>

#include "TreeTestSupport.h"
#include "store/JobTable.h"
#include "store/VbDate.h"
#include "tree/CategoryEdit.h"
#include "tree/CategoryView.h"

namespace {
double At(int year, int month, int day, int hour, int minute, int second = 0) {
    return VbDate::FromDateTime(
        QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime));
}
}  // namespace

TEST(CategoryView, PanesFollowTheNodeAndAreOnlyAskedForOnChange) {
    TreeTestScope scope;
    CategoryView view(&scope.tree);
    QSignalSpy panes(&view, &CategoryView::PaneChanged);
    QSignalSpy handled(&view, &CategoryView::SelectionHandled);
    view.SetNone();

    view.SelectNode("Downloaded");
    view.SelectNode("101k");
    view.SelectNode("Recely");
    ASSERT_EQ(panes.count(), 1);
    EXPECT_EQ(panes.at(0).at(0).toInt(), 3);

    view.SelectNode("NowDownLoad");
    view.SelectNode("NowSearch");
    view.SelectNode("NowSearch");
    ASSERT_EQ(panes.count(), 3);
    EXPECT_EQ(panes.at(1).at(0).toInt(), 2);
    EXPECT_EQ(panes.at(2).at(0).toInt(), 1);
    EXPECT_EQ(view.ActiveList(), 1);

    // The root changes nothing but the chosen node.
    view.SelectNode("Quorvanta");
    EXPECT_EQ(view.ActiveList(), 1);
    EXPECT_EQ(panes.count(), 3);
    EXPECT_EQ(handled.count(), 7);

    // "History" itself is a category view with nothing in it.
    view.SelectNode("History");
    EXPECT_EQ(view.ActiveList(), 3);
    EXPECT_EQ(view.HistoryFilter(), 0);
    EXPECT_TRUE(view.ListedJobs().isEmpty());
}

TEST(CategoryView, HistoryFiltersShowTheCategoryListFromAnyView) {
    TreeTestScope scope;
    const int done = AddTestJob("101k", StateComplete);
    AddTestJob("101k", StateRunning);
    CategoryView view(&scope.tree);
    QSignalSpy panes(&view, &CategoryView::PaneChanged);
    view.SelectNode("NowDownLoad");
    view.SelectNode("This Week");
    EXPECT_EQ(view.HistoryFilter(), 7);
    EXPECT_EQ(view.ActiveList(), 3);
    ASSERT_EQ(panes.count(), 2);
    EXPECT_EQ(panes.at(1).at(0).toInt(), 3);
    EXPECT_EQ(view.ListedJobs(), QList<int>{done});
    // Choosing a category afterwards drops the filter.
    view.SelectNode("102k");
    EXPECT_EQ(view.HistoryFilter(), 0);
    EXPECT_TRUE(view.ListedJobs().isEmpty());
    EXPECT_EQ(CategoryView::FilterDays("This Month"), 30);
    EXPECT_EQ(CategoryView::FilterDays("All"), 30000);
    EXPECT_EQ(CategoryView::FilterDays("Today"), 1);
}

TEST(CategoryView, HistoryCountsCalendarDaysAroundMidnight) {
    TreeTestScope scope;
    const int lateYesterday = AddTestJob("101k", StateComplete, {}, At(2026, 3, 9, 23, 59, 59));
    const int justAfterMidnight = AddTestJob("Recely", StateComplete, {}, At(2026, 3, 10, 0, 0, 1));
    const int sixDaysAgo = AddTestJob("102k", StateComplete, {}, At(2026, 3, 4, 0, 0, 0));
    const int sevenDaysAgo = AddTestJob("103k", StateComplete, {}, At(2026, 3, 3, 23, 59, 0));
    AddTestJob("101k", StatePaused, {}, At(2026, 3, 10, 0, 0, 5));
    const int deleted = AddTestJob("Recely_Really", StateComplete, {}, At(2026, 3, 10, 0, 0, 9));
    const double now = At(2026, 3, 10, 0, 0, 30);

    const auto list = [&](const char* key) {
        return CategoryView::JobsFor(scope.tree, key, CategoryView::FilterDays(key), now);
    };
    EXPECT_EQ(list("Today"), QList<int>{justAfterMidnight});
    EXPECT_EQ(list("This Week"), (QList<int>{lateYesterday, justAfterMidnight, sixDaysAgo}));
    EXPECT_EQ(list("This Month"),
              (QList<int>{lateYesterday, justAfterMidnight, sixDaysAgo, sevenDaysAgo}));
    EXPECT_FALSE(list("All").contains(deleted));

    // The view uses its clock.
    CategoryView view(&scope.tree);
    view.SetClock([now] { return now; });
    view.SelectNode("Today");
    EXPECT_EQ(view.ListedJobs(), QList<int>{justAfterMidnight});
}

TEST(CategoryView, CategoriesListOwnCompleteJobsAndDownloadedTakesTheOrphans) {
    TreeTestScope scope;
    scope.tree.Add("101k", "101k1", "Sub", "5", "6", "/x/");
    const int own = AddTestJob("101k", StateComplete);
    AddTestJob("101k", StateError);
    const int sub = AddTestJob("101k1", StateComplete);
    const int bin = AddTestJob("Recely", StateComplete);
    const int atDownloaded = AddTestJob("Downloaded", StateComplete);
    AddTestJob("Recely_Really", StateComplete);

    CategoryView view(&scope.tree);
    view.SelectNode("101k");
    EXPECT_EQ(view.ListedJobs(), QList<int>{own});
    view.SelectNode("Recely");
    EXPECT_EQ(view.ListedJobs(), QList<int>{bin});
    view.SelectNode("Downloaded");
    EXPECT_EQ(view.ListedJobs(), QList<int>{atDownloaded});

    // Deleting "101k" bins only its own complete job; the sub-category's job and the failed
    // one keep their keys, and the finished one shows under "Downloaded" instead of nowhere.
    ASSERT_TRUE(CategoryEdit::DeleteCategory(scope.tree, "101k"));
    EXPECT_EQ(Jobs[own].ClassKey, "Recely");
    EXPECT_EQ(Jobs[2].ClassKey, "101k");
    EXPECT_EQ(Jobs[sub].ClassKey, "101k1");
    view.Refill();
    EXPECT_EQ(view.ListedJobs(), (QList<int>{sub, atDownloaded}));
    view.SelectNode("Recely");
    EXPECT_EQ(view.ListedJobs(), (QList<int>{own, bin}));
}
