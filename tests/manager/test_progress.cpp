// Row figures, the log written for the reports, the lower panes and the block picture.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTreeWidget>

#include "common/TestEnv.h"
#include "engine/DownloadSlot.h"
#include "manager/BlockPicture.h"
#include "manager/DownInfoPane.h"
#include "manager/ManagerTestKit.h"
#include "manager/NowDownView.h"
#include "manager/clsJobManager.h"
#include "store/JobLog.h"
#include "store/VbDate.h"

using namespace ManagerTestKit;

namespace {

class Progress : public ::testing::Test {
protected:
    void SetUp() override {
        ResetJobs(8);
        InitJobLog();
        folder = TestEnv::NewDir("progress") + "/";
    }
    void TearDown() override {
        manager.PauseAll();
        ClearJobs();
    }
    // A job bound to slot 1 that stays running: the server never answers its request.
    int RunningJob(int parts = 3) {
        const int j = AddJob(NewJob(server.Url("/movie.swf"), folder, parts, StateWaiting));
        QSignalSpy reports(manager.Slot(1), &DownloadSlot::Report);
        manager.AddToNowDownList(j);
        EXPECT_TRUE(WaitFor([&] {
            for (const auto& r : reports)
                if (r.at(2).value<ReportKind>() == ReportKind::Request) return true;
            return false;
        }));
        return j;
    }
    QStringList LogTexts(int j, int part) const {
        QStringList texts;
        for (int32_t e : LogEntryNumbers(manager.RowTag(j)))
            if (JobLog[static_cast<size_t>(e)].LogPart == part)
                texts << JobLog[static_cast<size_t>(e)].LogText;
        return texts;
    }

    SilentServer server;
    QString folder;
    clsJobManager manager;
};

TEST_F(Progress, FirstFillTruncatesThePercentRefreshRoundsHalvesToEven) {
    JobRecord half = NewJob(server.Url("/a.swf"), folder, 1, StatePaused);
    half.FileSize = 2;
    half.Received = 1;
    JobRecord almost = half;
    almost.FileSize = 200;
    almost.Received = 199;
    JobRecord unknown = half;
    unknown.FileSize = 0;
    unknown.Received = 0;
    const int a = AddJob(half), b = AddJob(almost), c = AddJob(unknown);
    NowDownView view(&manager);
    for (int j : {a, b, c}) manager.AddToNowDownList(j);
    EXPECT_EQ(manager.RowTexts(a)[clsJobManager::ColPercent], "50%");
    EXPECT_EQ(manager.RowTexts(b)[clsJobManager::ColPercent], "99%");
    EXPECT_EQ(manager.RowTexts(c)[clsJobManager::ColPercent], "0%");
    QTreeWidgetItem* row = view.Row(b);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(0), "");
    EXPECT_EQ(row->text(clsJobManager::ColFileName), "a.swf");
    EXPECT_EQ(row->text(clsJobManager::ColFileSize), "200");
    EXPECT_EQ(row->text(clsJobManager::ColComplete), "199");
    EXPECT_EQ(row->text(clsJobManager::ColPart), "1");
    EXPECT_EQ(row->text(clsJobManager::ColUrl), server.Url("/a.swf"));
    EXPECT_EQ(row->text(clsJobManager::ColComment), "test");
    EXPECT_EQ(view.topLevelItem(1), row);

    const int j = RunningJob();
    Jobs[static_cast<size_t>(j)].FileSize = 200;
    Jobs[static_cast<size_t>(j)].Received = 199;
    manager.UpdateDownloadState(1, 1, ReportKind::DataArrival, "0");
    EXPECT_EQ(manager.RowTexts(j)[clsJobManager::ColPercent], "100%");
    view.FlushRows();  // rows are redrawn at most ten times a second
    EXPECT_EQ(view.Row(j)->text(clsJobManager::ColPercent), "100%");
    EXPECT_EQ(view.Row(j)->text(clsJobManager::ColComplete), "199");
    Jobs[static_cast<size_t>(j)].Received = 1;
    manager.UpdateDownloadState(1, 1, ReportKind::DataArrival, "0");
    EXPECT_EQ(manager.RowTexts(j)[clsJobManager::ColPercent], "0%");  // 0.5 goes to even
    Jobs[static_cast<size_t>(j)].Received = 3;
    manager.UpdateDownloadState(1, 1, ReportKind::DataArrival, "0");
    EXPECT_EQ(manager.RowTexts(j)[clsJobManager::ColPercent], "2%");  // 1.5 goes to even
}

TEST_F(Progress, ReportsAreLoggedLineByLineWithTheSplittingRule) {
    const int j = RunningJob();
    // What the real exchange logged for connection 1 so far.
    const QStringList first = LogTexts(j, 1);
    ASSERT_GE(first.size(), 4);
    EXPECT_TRUE(first[0].startsWith("Connecting:127.0.0.1:"));
    EXPECT_TRUE(first[1].startsWith("Connected:127.0.0.1:"));
    EXPECT_EQ(first[2], "Send Request.");
    EXPECT_TRUE(first[3].startsWith("GET /movie.swf HTTP/1.1"));
    EXPECT_EQ(first.last(), "Waiting For Server Response...");

    const int before = LogCount;
    manager.UpdateDownloadState(1, 2, ReportKind::Response,
                                "HTTP/1.1 206 Partial\r\n\r\nServer: x\r\nTail");
    EXPECT_EQ(LogTexts(j, 2), (QStringList{"Reveive the Server Response..", "HTTP/1.1 206 Partial",
                                           "", "Server: x", "Start Receiving Date..."}));
    EXPECT_EQ(JobLog[static_cast<size_t>(before + 2)].LogKind, 4);
    EXPECT_EQ(JobLog[static_cast<size_t>(before + 1)].LogKind, 100);

    manager.UpdateDownloadState(1, 3, ReportKind::Cancel, "1");
    manager.UpdateDownloadState(1, 3, ReportKind::DataArrival, "100");
    manager.UpdateDownloadState(1, 3, ReportKind::Error, "1Connection refused");
    EXPECT_EQ(LogTexts(j, 3), QStringList{"This Part 3 Cancel By Part 1"});

    // A "Close" before every byte has arrived logs its two lines and changes nothing else.
    Jobs[static_cast<size_t>(j)].FileSize = 1000;
    Jobs[static_cast<size_t>(j)].Received = 10;
    manager.UpdateDownloadState(1, 2, ReportKind::Close, "ByServer");
    EXPECT_EQ(LogTexts(j, 2).mid(5), (QStringList{"This Part Receiving Data Complete.",
                                                  "The Connection Close by Server."}));
    EXPECT_TRUE(manager.HasRow(j));
    EXPECT_EQ(Jobs[static_cast<size_t>(j)].State, StateRunning);
    EXPECT_TRUE(manager.Slot(1)->InUse());
}

TEST_F(Progress, PanesFollowTheChosenJobNodeAndConnection) {
    DownInfoPane pane(&manager);
    pane.resize(800, 300);
    const int j = RunningJob(3);
    AddJob(NewJob(server.Url("/idle.swf"), folder, 2, StatePaused));
    const int idle = JobCount;
    manager.AddToNowDownList(idle);

    manager.ChooseJob(j);
    EXPECT_EQ(manager.ShownJob(), j);
    EXPECT_EQ(manager.ShownSlot(), 1);
    QTreeWidget* tree = pane.PartTree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), "Chart");
    ASSERT_EQ(root->childCount(), 3);
    EXPECT_EQ(root->child(2)->text(0), "Part 3");
    // The picture is what a chosen job shows first.
    EXPECT_EQ(pane.DetailPane()->currentWidget(), pane.PictureArea());
    EXPECT_EQ(manager.SlotViewPart(1), 255);

    QSignalSpy views(&manager, &clsJobManager::DetailViewChanged);
    manager.ChooseNode("1Jet");
    EXPECT_EQ(pane.DetailPane()->currentWidget(), pane.ConnectionLog());
    EXPECT_EQ(manager.SlotViewPart(1), 1);
    const int shown = pane.ConnectionLog()->topLevelItemCount();
    EXPECT_EQ(shown, LogTexts(j, 1).size());
    manager.ChooseNode("1Jet");  // the same node again: nothing
    EXPECT_EQ(views.size(), 1);

    // New entries of the shown connection are appended; other connections' are not.
    manager.UpdateDownloadState(1, 1, ReportKind::Redirect, "http://elsewhere/x.swf");
    manager.UpdateDownloadState(1, 2, ReportKind::Connecting, "127.0.0.1:80");
    ASSERT_EQ(pane.ConnectionLog()->topLevelItemCount(), shown + 1);
    EXPECT_EQ(pane.ConnectionLog()->topLevelItem(shown)->text(1),
              "Redirect link to other site:http://elsewhere/x.swf");

    manager.ChooseNode("PicDraw");
    EXPECT_EQ(pane.DetailPane()->currentWidget(), pane.PictureArea());
    EXPECT_EQ(pane.Picture()->Job(), j);

    // A job that no slot serves: its own parts and picture, and its connections' logs (empty,
    // it never ran); the running job's slot keeps its own choice.
    manager.ChooseJob(idle);
    EXPECT_EQ(manager.ShownJob(), idle);
    EXPECT_EQ(manager.ShownSlot(), 0);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(pane.DetailPane()->currentWidget(), pane.PictureArea());
    EXPECT_EQ(pane.Picture()->Job(), idle);
    manager.ChooseNode("2Jet");
    EXPECT_EQ(pane.DetailPane()->currentWidget(), pane.ConnectionLog());
    EXPECT_EQ(pane.ConnectionLog()->topLevelItemCount(), 0);
    EXPECT_EQ(manager.SlotViewPart(1), 255);
}

TEST_F(Progress, FiguresAboveThePictureKeepUpWithItsTiles) {
    DownInfoPane pane(&manager);
    pane.resize(800, 300);
    pane.show();
    const int j = RunningJob(5);
    manager.ChooseJob(j);
    ASSERT_EQ(pane.DetailPane()->currentWidget(), pane.PictureArea());
    JobRecord& job = Jobs[static_cast<size_t>(j)];
    const int32_t size = 2571271;
    const int32_t range = size / 5;

    // The response head gives the size before any data: the figures show it, with the one
    // connection that asked so far.
    job.FileSize = size;
    manager.UpdateDownloadState(1, 1, ReportKind::Response,
                                "HTTP/1.1 200 OK\r\nContent-Length: 2571271");
    // (QTRY_ macros report to QTest, not to gtest: WaitFor is what fails here.)
    EXPECT_TRUE(WaitFor([&] { return pane.FiguresLabel()->text().contains("2.5 MB"); }, 150));
    EXPECT_EQ(pane.PercentLabel()->text(), "0%");
    EXPECT_TRUE(pane.FiguresLabel()->text().contains("&nbsp;1 connection"));

    // Ranges laid out, connection 1 has 96 kB.
    for (int k = 1; k <= 5; ++k)
        job.Segments[static_cast<size_t>(k)] = {k == 1 ? 0 : (k - 1) * range,
                                                k == 1 ? 98304 : (k - 1) * range,
                                                k == 5 ? size : k * range};
    job.Received = 98304;
    manager.UpdateDownloadState(1, 1, ReportKind::DataArrival, "98304");
    EXPECT_TRUE(WaitFor([&] { return pane.PercentLabel()->text() == "3%"; }, 150));

    // A burst on all five connections right after: the figures follow within a screen update
    // or two, together with the tiles, not a whole throttle interval behind them.
    job.Received = 829428;
    job.Segments[1].CurPos = 165876;
    for (int k = 2; k <= 5; ++k) job.Segments[static_cast<size_t>(k)].CurPos += 165888;
    for (int k = 1; k <= 5; ++k)
        manager.UpdateDownloadState(1, k, ReportKind::DataArrival, "65536");
    EXPECT_EQ(manager.RowTexts(j)[clsJobManager::ColPercent], "32%");
    EXPECT_TRUE(WaitFor([&] { return pane.PercentLabel()->text() == "32%"; }, 150))
        << pane.PercentLabel()->text().toStdString();
    EXPECT_TRUE(pane.FiguresLabel()->text().contains("5 connections"));
    EXPECT_TRUE(pane.FiguresLabel()->text().contains("810.0 kB"))
        << pane.FiguresLabel()->text().toStdString();
    EXPECT_EQ(pane.Picture()->DrawnTile(pane.Picture()->Layout().TileOf(range)).part, 2);
}

TEST_F(Progress, PanesStayReadableWhenNarrow) {
    DownInfoPane pane(&manager);
    pane.resize(1000, 260);
    pane.show();
    const int j = RunningJob(10);
    manager.ChooseJob(j);
    JobRecord& job = Jobs[static_cast<size_t>(j)];
    job.FileSize = 50 << 20;
    job.Received = 20 << 20;
    job.Segments[1] = {0, 20 << 20, 50 << 20};
    manager.UpdateDownloadState(1, 1, ReportKind::DataArrival, "1000");
    TestEnv::WaitFor([&] { return pane.FiguresLabel()->text().contains("1 block ="); }, 2000);
    const QString wide = pane.FiguresLabel()->text();
    EXPECT_TRUE(wide.contains("1 connection") && wide.contains("1 block =")) << wide.toStdString();

    // Narrow: the figures give way instead of holding the pane wide, and every part node
    // stays readable without a horizontal scroll bar.
    EXPECT_LE(pane.minimumSizeHint().width(), 420);
    pane.resize(420, 200);
    TestEnv::WaitFor([&] { return !pane.FiguresLabel()->text().contains("1 block ="); }, 2000);
    EXPECT_EQ(pane.width(), 420);
    EXPECT_TRUE(pane.FiguresLabel()->text().contains("20.0 MB</b> of <b>50.0 MB"));
    EXPECT_FALSE(pane.FiguresLabel()->text().contains("1 block ="));
    QTreeWidget* tree = pane.PartTree();
    QTreeWidgetItem* last = tree->topLevelItem(0)->child(9);
    ASSERT_EQ(last->text(0), "Part 10");
    // Where the node's icon starts, the icon, the gap and margins, the text.
    const int need = tree->visualItemRect(last).left() + 16 + 12 +
                     tree->fontMetrics().horizontalAdvance(last->text(0));
    EXPECT_LE(need, tree->viewport()->width());
    EXPECT_EQ(tree->horizontalScrollBar()->isVisible(), false);
}

TEST_F(Progress, ClicksAndKeysOnTheListChooseTheJobAndThePopupFollowsTheJobsMenu) {
    NowDownView view(&manager);
    DownInfoPane pane(&manager);
    view.resize(700, 200);
    view.show();
    const int j = RunningJob(2);
    const int idle = AddJob(NewJob(server.Url("/idle.swf"), folder, 1, StatePaused));
    manager.AddToNowDownList(idle);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QRect first = view.visualItemRect(view.Row(j));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(manager.SelectedJobs(), QList<int>{j});
    EXPECT_EQ(manager.ShownJob(), j);
    EXPECT_EQ(pane.PartTree()->topLevelItem(0)->childCount(), 2);

    view.EnablePopup();
    auto entry = [&](const char* name) { return view.findChild<QAction*>(name)->isEnabled(); };
    EXPECT_FALSE(entry("popNowDown_Start"));
    EXPECT_TRUE(entry("popNowDown_Pause"));
    EXPECT_TRUE(entry("popNowDown_AllStart"));
    EXPECT_TRUE(entry("popNowDown_AllPause"));
    EXPECT_FALSE(entry("popNowDown_Delete"));  // the selected job runs

    QTest::keyClick(view.viewport(), Qt::Key_Down);
    EXPECT_EQ(manager.SelectedJobs(), QList<int>{idle});
    EXPECT_EQ(manager.ShownJob(), idle);
    ASSERT_EQ(pane.PartTree()->topLevelItemCount(), 1);
    EXPECT_EQ(pane.PartTree()->topLevelItem(0)->childCount(), 1);
    view.EnablePopup();
    EXPECT_TRUE(entry("popNowDown_Start"));
    EXPECT_FALSE(entry("popNowDown_Pause"));
    EXPECT_TRUE(entry("popNowDown_Delete"));
    QSignalSpy deleting(&view, &NowDownView::DeleteRequested);
    view.findChild<QAction*>("popNowDown_Delete")->trigger();
    EXPECT_EQ(deleting.size(), 1);
    view.findChild<QAction*>("popNowDown_Start")->trigger();
    EXPECT_TRUE(manager.RunningSlot(idle) != nullptr);
}

TEST(BlockPictureLayout, FitsTheFileIntoThePaneAndScrollsOnlyWhenCramped) {
    const BlockLayout big(1LL << 30, QSize(900, 300));
    EXPECT_GT(big.Tiles(), 1000);
    EXPECT_LE(big.Height(), 300);
    EXPECT_LE(big.Width(), 900);
    EXPECT_EQ(big.TileOf(0), 0);
    EXPECT_EQ(big.TileOf((1LL << 30) - 1), big.Tiles() - 1);
    EXPECT_EQ(big.TileEnd(big.Tiles() - 1), 1LL << 30);

    const BlockLayout small(3000, QSize(900, 300));
    EXPECT_EQ(small.Tiles(), 3);  // 1 KiB blocks at the least
    EXPECT_EQ(small.Tile(), BlockLayout::kMaxTile);

    const BlockLayout cramped(50 << 20, QSize(120, 40));
    EXPECT_GE(cramped.Tiles(), BlockLayout::kMinTiles);
    EXPECT_GT(cramped.Height(), 40);  // taller than the pane: VScroll1 moves it

    const BlockLayout none(0, QSize(300, 100));
    EXPECT_EQ(none.Tiles(), 0);
}

TEST(BlockPictureLayout, TilesShowTheConnectionThatBroughtTheirBytes) {
    JobRecord job;
    job.FileSize = 30000;
    job.Parts = 3;
    job.Segments[1] = {0, 4000, 10000};
    job.Segments[2] = {10000, 20000, 20000};
    job.Segments[3] = {20000, 20500, 30000};
    EXPECT_EQ(FillOfBytes(job, 0, 1000), (TileFill{1.0, 1, 1}));
    EXPECT_EQ(FillOfBytes(job, 4000, 5000), (TileFill{0.0, 0, 1}));
    EXPECT_EQ(FillOfBytes(job, 3500, 4500), (TileFill{0.5, 1, 1}));
    EXPECT_EQ(FillOfBytes(job, 15000, 16000), (TileFill{1.0, 2, 2}));
    EXPECT_EQ(FillOfBytes(job, 20000, 21000), (TileFill{0.5, 3, 3}));
    EXPECT_EQ(FillOfBytes(job, 29000, 30000), (TileFill{0.0, 0, 3}));
    // A cancelled range (all zero) shows nothing; its blocks belong to no range until connection
    // 1 is widened over them.
    job.Segments[3] = {0, 0, 0};
    EXPECT_EQ(FillOfBytes(job, 20000, 21000), (TileFill{0.0, 0, 0}));
}

TEST(BlockPictureWidget, DataTouchesTilesAndOnlyAResizeRedrawsTheWhole) {
    ResetJobs(8);
    JobRecord record;
    record.FileSize = 1 << 20;
    record.Parts = 2;
    record.State = StateRunning;
    record.Segments[1] = {0, 0, 1 << 19};
    record.Segments[2] = {1 << 19, 1 << 19, 1 << 20};
    const int j = AddJob(record);
    BlockPicture picture;
    picture.resize(400, 200);
    picture.show();
    picture.SetJob(j);
    const int redraws = picture.FullRedraws();
    const BlockLayout& layout = picture.Layout();
    ASSERT_GT(layout.Tiles(), 10);
    Jobs[static_cast<size_t>(j)].Segments[2].CurPos = (1 << 19) + 3 * layout.BlockBytes();
    picture.DataArrived(2);
    EXPECT_EQ(picture.FullRedraws(), redraws);
    const int first2 = layout.TileOf(1 << 19);
    EXPECT_EQ(picture.DrawnTile(first2), (TileFill{1.0, 2, 2}));
    EXPECT_EQ(picture.DrawnTile(first2 + 2).part, 2);
    EXPECT_EQ(picture.DrawnTile(first2 + 3), (TileFill{0.0, 0, 2}));
    EXPECT_EQ(picture.DrawnTile(0), (TileFill{0.0, 0, 1}));
    // Ranges laid out anew: the whole picture is drawn again.
    Jobs[static_cast<size_t>(j)].Segments[1].EndPos = 1 << 18;
    picture.DataArrived(1);
    EXPECT_EQ(picture.FullRedraws(), redraws + 1);
    picture.resize(500, 260);
    EXPECT_GT(picture.FullRedraws(), redraws + 1);
    EXPECT_EQ(picture.DrawnTile(picture.Layout().TileOf(1 << 19)).part, 2);

    // A server that gives no size: the hint changes once when bytes come, then data draws
    // nothing whole any more.
    JobRecord unsized;
    unsized.Parts = 1;
    unsized.State = StateRunning;
    const int u = AddJob(unsized);
    picture.SetJob(u);
    const int before = picture.FullRedraws();
    for (int i = 1; i <= 50; ++i) {
        Jobs[static_cast<size_t>(u)].Received = i * 1000;
        Jobs[static_cast<size_t>(u)].Segments[1].CurPos = i * 1000;
        picture.DataArrived(1);
    }
    EXPECT_EQ(picture.FullRedraws(), before + 1);
    ClearJobs();
}

TEST(DoneJobInfo, ShowsTheStatisticsOfAFinishedJob) {
    ResetJobs(8);
    JobRecord record;
    record.FileSize = 900001;
    record.Received = 900001;
    record.Url = "http://h/a.swf";
    record.Comment = "note";
    record.State = StateComplete;
    record.TimeElapsed = 90.0 / 86400.0;
    record.AvgSpeed = clsJobManager::AverageSpeed(record.FileSize, record.TimeElapsed);
    record.CreateTime = VbDate::Now() - 1;
    record.CompleteTime = VbDate::Now();
    const int j = AddJob(record);
    QTreeWidget list;
    list.setColumnCount(2);
    list.setColumnWidth(0, 60);
    ShowDoneJobInfo(&list, j);
    ASSERT_EQ(list.topLevelItemCount(), 8);
    QStringList names, values;
    for (int i = 0; i < 8; ++i) {
        names << list.topLevelItem(i)->text(0);
        values << list.topLevelItem(i)->text(1);
    }
    EXPECT_EQ(names, (QStringList{"Create Time", "Complete Time", "Total Time", "Average Speed",
                                  "Total Size", "Complete Size", "Url", "Comment"}));
    EXPECT_EQ(values[2], "00:01");
    EXPECT_EQ(values[3], "10000bps");
    EXPECT_EQ(values[4], "900001");
    EXPECT_EQ(values[6], "http://h/a.swf");
    EXPECT_EQ(values[7], "note");
    // Names are never cut off; values that may be are whole in the tool tip.
    EXPECT_GE(list.columnWidth(0), list.fontMetrics().horizontalAdvance("Average Speed"));
    EXPECT_EQ(list.topLevelItem(6)->toolTip(1), "http://h/a.swf");
    EXPECT_EQ(ShortTimeText(25.5 / 24.0), "25:30");
    EXPECT_EQ(clsJobManager::AverageSpeed(5000, 0.2 / 86400.0), 5000.0f);  // under a second
    EXPECT_EQ(clsJobManager::AverageSpeed(5000, 0), 5000.0f);
    ClearJobs();
}

}  // namespace
