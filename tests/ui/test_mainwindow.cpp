// The main window as a composition: load step, menus, close request, tray.

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <limits>
#include <map>
#include <type_traits>

#include "common/TestEnv.h"
#include "pages/SearchRecord.h"
#include "pages/clsSearchPanes.h"
#include "pages/clsSearchQueue.h"
#include "store/Globals.h"
#include "store/JobDb.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/UserMessage.h"
#include "store/VbDate.h"
#include "tree/CategoryTreeUi.h"
#include "tree/TreeMirror.h"
#include "ui/MainMenus.h"
#include "ui/frmMain.h"

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        ClearJobs();
        Settings = SettingsRecord{};
    }
    void TearDown() override { ClearJobs(); }
};

QStringList EntryTexts(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) out << (a->isSeparator() ? "-" : a->text());
    return out;
}

// A finished job filed under "MTV".
JobRecord FinishedClip() {
    JobRecord job;
    job.ClassKey = "102k";
    job.State = StateComplete;
    job.Url = "http://example.invalid/clip.swf";
    job.FileName = "clip.swf";
    job.LocalFile = DefaultDownDir + "clip.swf";
    return job;
}

}  // namespace

TEST_F(MainWindowTest, FirstStartBuildsTreeWritesDatabaseAndOpensOnDownloaded) {
    ASSERT_FALSE(QFile::exists(JobDbFile));
    frmMain w;
    w.Load();
    EXPECT_TRUE(QFile::exists(JobDbFile));
    EXPECT_TRUE(QDir(DefaultDownDir).exists());
    EXPECT_EQ(w.ActiveList(), 3);
    auto* tvNa = w.findChild<QTreeWidget*>("tvNa");
    ASSERT_TRUE(tvNa);
    ASSERT_EQ(tvNa->topLevelItemCount(), 2);
    QTreeWidgetItem* root = tvNa->topLevelItem(0);
    EXPECT_EQ(root->text(0), "Quorvanta");
    QStringList children;
    for (int i = 0; i < root->childCount(); ++i) children << root->child(i)->text(0);
    EXPECT_EQ(children, QStringList({"Searching", "Downloading", "Downloaded", "Delete"}));
    QTreeWidgetItem* downloaded = root->child(2);
    EXPECT_EQ(tvNa->currentItem(), downloaded);
    ASSERT_EQ(downloaded->childCount(), 4);
    EXPECT_EQ(downloaded->child(0)->text(0), "Cartoon");
    EXPECT_EQ(downloaded->child(3)->text(0), "Ad");
    QTreeWidgetItem* history = tvNa->topLevelItem(1);
    EXPECT_EQ(history->text(0), "History");
    EXPECT_EQ(history->childCount(), 4);
    EXPECT_EQ(w.statusBar()->findChild<QLabel*>("StatusBar1_Panel1")->text(), "Quorvanta 1.3");
}

TEST_F(MainWindowTest, MenusHoldEveryEntryInOrder) {
    frmMain w;
    QStringList tops;
    for (QAction* a : w.menuBar()->actions()) tops << a->text();
    EXPECT_EQ(tops, QStringList({"&File", "&Edit", "&View", "&Jobs", "&Operate", "&Help"}));
    MainMenus* m = w.Menus();
    auto* category = w.findChild<QMenu*>("mnuFile_Class");
    ASSERT_TRUE(category);
    EXPECT_EQ(m->Menu("mnuFile")->actions().value(0), category->menuAction());
    EXPECT_EQ(EntryTexts(category),
              QStringList({"&New Category...", "&MoveTo", "&Delete...", "&Properties..."}));
    EXPECT_EQ(EntryTexts(m->Menu("mnuJob")),
              QStringList({"Add &New Download Job...", "Add &Batch Download Job...",
                           "Add &Search Job...", "-", "&Start Download Job", "&Pause Download Job",
                           "&Start Download All", "&Pause Download All", "Job &Properties...",
                           "Get Movie's Files", "-", "Start Search Job", "Pause Search Job",
                           "Start All Search Job", "Pause All Search Job"}));
    EXPECT_EQ(EntryTexts(m->Menu("mnuOption")),
              QStringList({"&Option", "-", "&Play", "&Stop", "&Close", "&Previous Swf", "&Next Swf",
                           "&FullScreen"}));
    EXPECT_EQ(EntryTexts(m->popMain()),
              QStringList({"&Open/Hide Quorvanta", "-", "Add &New Download Job...",
                           "Add &Batch Job...", "Add &Search Job...", "-",
                           "&Start All Download Job", "&Pause All Download Job",
                           "Start All Sea&rch Job", "Pause All Searc&h Job", "-", "&Top Window",
                           "&Option", "&About...", "-", "Tell Friend About Quorvanta", "E&xit"}));
    // Entries whose feature is not part of this build are never enabled.
    for (const QString& name : m->Names()) {
        if (!m->IsAvailable(name)) {
            EXPECT_FALSE(m->Action(name)->isEnabled()) << name.toStdString();
        }
    }
    EXPECT_TRUE(m->Action("mnuFile_Exit")->isEnabled());
    EXPECT_TRUE(m->Action("mnuHelp_About")->isEnabled());
    EXPECT_EQ(m->tbMain()->objectName(), "tbMain");
    EXPECT_EQ(m->tbOper()->objectName(), "tbOper");
    EXPECT_EQ(m->Action("tbMain_AddNewJob")->toolTip(), "Add new download job");
    EXPECT_EQ(m->Action("tbOper_Exchange")->toolTip(), "Hide or Display Right listview");
}

TEST_F(MainWindowTest, CloseMinOnlyMinimizesButExitSavesAndEnds) {
    frmMain w;
    w.Load();
    w.show();
    Settings.CloseMin = 1;
    QFile::remove(JobDbFile);
    w.close();
    EXPECT_FALSE(w.CloseStepDone());
    EXPECT_FALSE(QFile::exists(JobDbFile));
    w.ExitProgram();
    EXPECT_TRUE(w.CloseStepDone());
    EXPECT_EQ(Settings.CloseMin, 0);
    EXPECT_TRUE(QFile::exists(JobDbFile));
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, CloseAndReloadKeepsDatabaseByteForByte) {
    {
        frmMain w;
        w.Load();
        JobRecord job = FinishedClip();
        job.Parts = 3;
        job.Segments[1] = {0, 100, 99};
        job.CreateTime = 46000.5;
        AddJob(job);
        w.Tree().Add("101k", "101k1", "Shorts", "5", "6", DefaultDownDir + "shorts/");
        w.ExitProgram();
    }
    const QByteArray first = TestEnv::ReadFile(JobDbFile);
    ASSERT_FALSE(first.isEmpty());
    {
        frmMain w;
        w.Load();
        EXPECT_EQ(JobCount, 1);
        EXPECT_TRUE(w.Tree().Exists("101k1"));
        w.ExitProgram();
    }
    EXPECT_EQ(TestEnv::ReadFile(JobDbFile), first);
}

TEST_F(MainWindowTest, TrayExitWithTheWindowHiddenSavesAndEndsTheEventLoop) {
    TestEnv::WriteFile(IniFile, "[Other]\nHideMin=1\n");
    frmMain w;
    w.Load();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    AddJob(FinishedClip());
    // Minimized with HideMin the window leaves for the notification area; without one, it is
    // hidden here the same way.
    w.showMinimized();
    if (w.isVisible()) w.hide();
    ASSERT_FALSE(w.isVisible());
    QTimer::singleShot(0, w.Menus()->Action("popMain_Exit"), &QAction::trigger);
    EXPECT_EQ(TestEnv::RunUntilQuit(5000), 0);
    EXPECT_TRUE(w.CloseStepDone());
    CategoryTree saved;
    ASSERT_TRUE(LoadJobDb(saved, JobDbFile).complete);
    EXPECT_EQ(JobCount, 1);
}

TEST_F(MainWindowTest, UnreadableDatabaseIsToldAndTheStatusBarSaysJobsAreNotSaved) {
    ASSERT_TRUE(QDir().mkpath(JobDbFile));
    QStringList messages;
    UserMessage::SetHandler(
        [&messages](UserMessage::Icon, const QString&, const QString& text) { messages << text; });
    frmMain w;
    w.Load();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains("could not be read")) << messages.first().toStdString();
    auto* notSaving = w.statusBar()->findChild<QLabel*>("StatusBar1_NotSaving");
    ASSERT_TRUE(notSaving);
    EXPECT_EQ(notSaving->text(), "Jobs are not being saved: It is a folder.");
    EXPECT_EQ(w.windowTitle(), "Quorvanta");
    // Nothing the user does is written over the folder, not even at exit.
    AddJob(FinishedClip());
    w.Tree().Add("101k", "101k1", "Shorts", "5", "6", DefaultDownDir + "shorts/");
    w.ExitProgram();
    UserMessage::SetHandler({});
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(QFileInfo(JobDbFile).isDir());
    EXPECT_EQ(QDir(DataDir).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                      QDir::NoDotAndDotDot),
              QStringList({"default.qvb", "set.ini"}));
}

TEST_F(MainWindowTest, TrayTipIsCaptionAndOpenHideRestores) {
    frmMain w;
    w.Load();
    ASSERT_TRUE(w.TrayIcon());
    EXPECT_EQ(w.TrayIcon()->toolTip(), "Quorvanta");
    EXPECT_EQ(w.TrayIcon()->contextMenu(), w.Menus()->popMain());
    w.showMaximized();
    w.Menus()->Action("popMain_Show")->trigger();
    EXPECT_FALSE(w.isMaximized());
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowTest, StartMinimizedAndHideMinKeepsAWayBackWithoutATray) {
    TestEnv::WriteFile(IniFile, "[Other]\nStartMin=1\nHideMin=1\n");
    frmMain w;
    w.Load();
    EXPECT_EQ(Settings.StartMin, 1);
    EXPECT_EQ(Settings.HideMin, 1);
    w.ShowAfterLoad();
    EXPECT_TRUE(w.isMinimized());
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Without a notification area the window is never hidden: it stays in the task bar.
        EXPECT_TRUE(w.isVisible());
    }
    w.RestoreWindow();
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(w.isVisible());
    w.ExitProgram();
}

TEST_F(MainWindowTest, ViewCommandsHideAndShowPanesAndBars) {
    frmMain w;
    w.Load();
    w.show();
    MainMenus* m = w.Menus();
    auto* tvNa = w.findChild<QTreeWidget*>("tvNa");
    m->Action("mnuView_Tree")->trigger();
    EXPECT_FALSE(tvNa->isVisible());
    EXPECT_FALSE(m->Action("mnuView_Tree")->isChecked());
    m->Action("tbOper_tvNa")->trigger();
    EXPECT_TRUE(tvNa->isVisible());
    m->Action("mnuView_ToolBar")->trigger();
    EXPECT_FALSE(m->tbMain()->isVisible());
    m->Action("mnuView_ToolBar")->trigger();
    EXPECT_TRUE(m->tbMain()->isVisible());
    m->Action("mnuView_State")->trigger();
    EXPECT_FALSE(w.statusBar()->isVisible());
    w.ExitProgram();
}

TEST_F(MainWindowTest, DamagedFiguresOfAFinishedJobShowAsZeroInItsInfo) {
    // A finished job as the program saves it ...
    const float speed = 4321.5f;
    const double elapsed = 1234.0625 / 86400.0;
    {
        frmMain w;
        w.Load();
        JobRecord job = FinishedClip();
        job.FileSize = 100;
        job.Received = 100;
        job.Parts = 1;
        job.CreateTime = VbDate::Now();
        job.CompleteTime = job.CreateTime;
        job.TimeElapsed = elapsed;
        job.AvgSpeed = speed;
        AddJob(job);
        w.ExitProgram();
    }
    // ... whose file then holds its average speed and total time as NaN.
    QByteArray bytes = TestEnv::ReadFile(JobDbFile);
    const auto damage = [&bytes](const auto& good) {
        const auto bad = std::numeric_limits<std::decay_t<decltype(good)>>::quiet_NaN();
        const QByteArray from(reinterpret_cast<const char*>(&good), sizeof good);
        const qsizetype at = bytes.indexOf(from);
        ASSERT_GE(at, 0);
        ASSERT_EQ(bytes.indexOf(from, at + 1), -1);
        bytes.replace(at, sizeof bad, reinterpret_cast<const char*>(&bad), sizeof bad);
    };
    damage(speed);
    damage(elapsed);
    ASSERT_TRUE(TestEnv::WriteFile(JobDbFile, bytes));

    frmMain w;
    w.Load();
    w.resize(1000, 700);
    w.show();
    w.Categories()->mirror()->Select("Today");
    auto* lvHaveDown = w.findChild<QTreeWidget*>("lvHaveDown");
    ASSERT_TRUE(lvHaveDown);
    ASSERT_EQ(lvHaveDown->topLevelItemCount(), 1);
    QTreeWidgetItem* row = lvHaveDown->topLevelItem(0);
    QTest::mouseClick(lvHaveDown->viewport(), Qt::LeftButton, {},
                      lvHaveDown->visualItemRect(row).center());
    auto* info = w.findChild<QTreeWidget*>("lvHaveDownInfo");
    ASSERT_TRUE(info);
    std::map<QString, std::string> shown;
    for (int i = 0; i < info->topLevelItemCount(); ++i)
        shown[info->topLevelItem(i)->text(0)] = info->topLevelItem(i)->text(1).toStdString();
    EXPECT_EQ(shown["Average Speed"], "0bps");
    EXPECT_EQ(shown["Total Time"], "00:00");
    EXPECT_EQ(shown["Total Size"], "100");
    w.ExitProgram();
}

TEST_F(MainWindowTest, CategoriesNestedDeeperThanTheTreeShowsAreMovedUpAtStart) {
    // The program's own save of a chain of 30000 categories, each inside the one before, with
    // finished jobs filed at several depths.
    const int depth = 30000;
    const QList<int> filedAt{1, 99, 100, 101, 5000, depth};
    {
        CategoryTree chain;
        AddFixedNodes(chain, false);
        QString parent = TreeKeys::Downloaded;
        for (int i = 1; i <= depth; ++i) {
            const QString key = "d" + QString::number(i);
            ASSERT_TRUE(
                chain.Add(parent, key, "Level " + QString::number(i), "5", "6", DefaultDownDir));
            parent = key;
        }
        for (const int level : filedAt) {
            JobRecord job = FinishedClip();
            job.ClassKey = "d" + QString::number(level);
            AddJob(job);
        }
        ASSERT_TRUE(SaveJobDb(chain, JobDbFile));
        ClearJobs();
    }
    const QByteArray original = TestEnv::ReadFile(JobDbFile);
    QStringList messages;
    UserMessage::SetHandler(
        [&messages](UserMessage::Icon, const QString&, const QString& text) { messages << text; });

    frmMain w;
    w.Load();
    w.resize(1000, 700);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // The deepest category shown is chosen and scrolled to: the view lays out every level.
    const QString deepest = "d" + QString::number(depth);
    ASSERT_TRUE(w.Categories()->mirror()->Select(deepest));
    TestEnv::WaitFor([&] { return !messages.isEmpty(); }, 2000);
    UserMessage::SetHandler({});

    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(QString::number(depth - CategoryTree::kMaxCategoryDepth)))
        << messages.first().toStdString();
    EXPECT_EQ(TestEnv::ReadFile(JobDbFile + ".bad"), original);
    const CategoryTree& tree = w.Tree();
    EXPECT_EQ(tree.Descendants(TreeKeys::Downloaded).size(), depth);
    int deepestLevel = 0;
    for (const QString& key : tree.Descendants(TreeKeys::Downloaded))
        deepestLevel = std::max(deepestLevel, tree.DepthBelow(key, TreeKeys::Downloaded));
    EXPECT_EQ(deepestLevel, CategoryTree::kMaxCategoryDepth);
    ASSERT_EQ(JobCount, filedAt.size());
    for (int i = 1; i <= JobCount; ++i) EXPECT_TRUE(tree.Exists(Jobs[i].ClassKey));
    // The moved category still lists its job.
    auto* lvHaveDown = w.findChild<QTreeWidget*>("lvHaveDown");
    ASSERT_TRUE(lvHaveDown);
    EXPECT_EQ(lvHaveDown->topLevelItemCount(), 1);
    w.ExitProgram();
}

TEST_F(MainWindowTest, SearchJobsComeBackAfterARestartInTheirStates) {
    ClearSearches();
    // A page server that takes connections and never answers, and a port nobody listens on.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    int connections = 0;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = silent.nextPendingConnection()) {
            s->setParent(&silent);
            ++connections;
        }
    });
    const QString refused = QStringLiteral("http://127.0.0.1:%1/gone.htm").arg(TestEnv::FreePort());
    const QString slow = QStringLiteral("http://127.0.0.1:%1/page.htm").arg(silent.serverPort());
    const auto search = [](const QString& url, int32_t state) {
        SearchRecord r;
        r.SearchState = state;
        r.Depth = 1;
        r.PageUrl = url;
        r.StartUrl = url;
        r.JobTemplate.ClassKey = "102k";
        r.JobTemplate.LocalFile = DefaultDownDir;
        r.JobTemplate.Comment = QString::fromUtf8("Übersicht");
        return r;
    };
    {
        frmMain w;
        w.Load();
        clsSearchQueue* queue = w.SearchQueue();
        // Served in turn: the first fails, the second then runs, the third waits behind it.
        for (const auto& [url, state] :
             {std::pair{refused, SearchWaiting}, std::pair{slow, SearchWaiting},
              std::pair{slow + "?b", SearchWaiting}, std::pair{slow + "?c", SearchPaused}})
            queue->AddToSearchList(AddSearch(search(url, state)));
        ASSERT_TRUE(TestEnv::WaitFor([&] { return connections == 1; }));
        ASSERT_EQ(Searches[1].SearchState, SearchError);
        ASSERT_EQ(Searches[2].SearchState, SearchRunning);
        // Saved beside the database as they change, not only at the end.
        const QString file = QFileInfo(JobDbFile).path() + "/searches.qvs";
        EXPECT_TRUE(TestEnv::WaitFor([&] { return QFile::exists(file); }, 5000));
        w.ExitProgram();
    }
    ClearSearches();

    frmMain w;
    w.Load();
    clsSearchQueue* queue = w.SearchQueue();
    ASSERT_EQ(SearchCount, 4);
    EXPECT_EQ(queue->RowCount(), 4);
    EXPECT_TRUE(
        TestEnv::WaitFor([&] { return w.SearchPanes()->SearchList()->topLevelItemCount() == 4; }));
    EXPECT_EQ(Searches[1].PageUrl, refused);
    EXPECT_EQ(Searches[1].SearchState, SearchError);
    EXPECT_EQ(queue->Row(1)->Icon, "Error");
    EXPECT_EQ(queue->Row(1)->SubItems.value(1), "Error");
    // The job that was running came back waiting and is served again.
    EXPECT_EQ(Searches[2].PageUrl, slow);
    EXPECT_EQ(Searches[2].SearchState, SearchRunning);
    EXPECT_TRUE(TestEnv::WaitFor([&] { return connections == 2; }));
    EXPECT_EQ(Searches[3].SearchState, SearchWaiting);
    EXPECT_EQ(queue->Row(3)->Icon, "Waitfor");
    EXPECT_EQ(Searches[4].PageUrl, slow + "?c");
    EXPECT_EQ(Searches[4].SearchState, SearchPaused);
    EXPECT_EQ(queue->Row(4)->Icon, "Pause");
    EXPECT_EQ(Searches[4].Depth, 1);
    EXPECT_EQ(Searches[4].JobTemplate, search(slow + "?c", SearchPaused).JobTemplate);
    w.ExitProgram();
    ClearSearches();
}
