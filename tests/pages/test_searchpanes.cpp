#include <QHeaderView>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "PagesFixture.h"
#include "common/NginxServer.h"
#include "pages/clsSearchPanes.h"
#include "pages/clsSearchQueue.h"

namespace {

TEST_F(PagesTest, SearchListAndLogShowTheQueue) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.IsRunning());
    ASSERT_TRUE(nginx.Put("w/index.html",
                          "<object classid=x codebase=.macromedia.><param value=a.swf ></object>"
                          "<a href=two.htm>two</a>"));
    ASSERT_TRUE(nginx.Put("w/two.htm", "<p>no movies</p>"));
    clsSearchQueue queue;
    QWidget window;
    clsSearchPanes panes(&queue, &window);
    QTreeWidget* list = window.findChild<QTreeWidget*>("lvDownHtml");
    QTreeWidget* log = window.findChild<QTreeWidget*>("lvHaveDownHtml");
    ASSERT_EQ(list, panes.SearchList());
    ASSERT_EQ(log, panes.SearchLog());
    ASSERT_EQ(list->columnCount(), 10);
    EXPECT_EQ(list->headerItem()->text(0), "Pic ");
    EXPECT_EQ(list->headerItem()->text(1), "State");
    EXPECT_EQ(list->headerItem()->text(8), "Include Flash");
    EXPECT_EQ(list->headerItem()->text(9), "Url");
    EXPECT_EQ(log->headerItem()->text(1), "Infomation");

    SearchRecord paused = PageSearch(nginx.Url("/w/"), 1, SearchPaused);
    const int first = AddSearch(paused);
    queue.AddToSearchList(first);
    EXPECT_EQ(list->topLevelItemCount(), 0);  // rows are gathered for a moment
    panes.Flush();
    ASSERT_EQ(list->topLevelItemCount(), 1);
    QTreeWidgetItem* row = list->topLevelItem(0);
    EXPECT_EQ(row->data(0, clsSearchPanes::KeyRole).toString(), "1Key");
    EXPECT_EQ(row->text(0), "");
    EXPECT_EQ(row->text(1), "Waiting Search");
    EXPECT_EQ(row->text(2), "[Index.htm]");
    EXPECT_FALSE(row->icon(0).isNull());
    EXPECT_EQ(panes.SelectedSearch(), 0);

    // The user clicks the row: its log is shown; Start Search Job runs the selected job.
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(list);
    layout->addWidget(log);
    window.resize(900, 500);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect r = list->visualItemRect(row);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(queue.ShownSearch, first);
    EXPECT_EQ(panes.SelectedSearch(), first);
    EXPECT_EQ(panes.SelectedSearches(), QList<int>{first});
    queue.StartSearchJob(panes.SelectedSearch());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Searches[first].SearchState == SearchAnalysed; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return SearchCount == 2 && Searches[2].SearchState == SearchAnalysed; }, 10000));
    panes.Flush();
    EXPECT_EQ(row->text(1), "Anlyliz Complete");
    EXPECT_EQ(row->text(6), "1");
    EXPECT_EQ(row->text(8), "1");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(1)->text(9), nginx.Url("/w/two.htm"));

    // The shown job's log was appended as it ran and equals a full listing.
    const int shown = log->topLevelItemCount();
    EXPECT_GT(shown, 10);
    EXPECT_TRUE(log->topLevelItem(0)->text(1).startsWith("Connecting:"));
    EXPECT_EQ(log->topLevelItem(shown - 1)->text(1), "Anlyliz Complete");
    queue.ShowSearch(first);
    EXPECT_EQ(log->topLevelItemCount(), shown);
    // The second job's log is not mixed in.
    queue.ShowSearch(2);
    EXPECT_LT(log->topLevelItemCount(), shown);

    list->selectAll();
    queue.DeleteSearchJobs(panes.SelectedSearches());
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(panes.SelectedSearch(), 0);
}

}  // namespace
