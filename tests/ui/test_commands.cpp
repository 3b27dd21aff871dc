// The main window's commands on jobs: the tool bar's dispatch by view, the enabling of the Jobs
// and Edit menus and of the tool bar, delete by view, Output File To, Copy URL, the open
// commands, and the pop-up menus and double click of the lists.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "common/TestJobs.h"
#include "common/TestWidgets.h"
#include "manager/clsJobManager.h"
#include "pages/SearchRecord.h"
#include "pages/clsSearchPanes.h"
#include "pages/clsSearchQueue.h"
#include "player/SwfBuilder.h"
#include "store/Globals.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/UserMessage.h"
#include "tree/CategoryTreeUi.h"
#include "tree/TreeMirror.h"
#include "ui/EditCommands.h"
#include "ui/MainMenus.h"
#include "ui/frmMain.h"
#include "widgets/DialogHooks.h"

// Records what the window hands to the desktop instead of starting a program.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

namespace {

using TestEnv::ClickRow;
using TestEnv::Shown;

class MainCommands : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        ClearJobs();
        ClearSearches();
        Settings = SettingsRecord{};
        QDesktopServices::setUrlHandler("file", &opened, "Open");
        w = std::make_unique<frmMain>();
        w->Load();
        // Waiting jobs stay waiting: no slot may take them.
        Settings.Maxjobs = 0;
        w->resize(1200, 800);
        w->show();
        m = w->Menus();
    }
    void TearDown() override {
        w->Manager()->PauseAll();
        w->SearchQueue()->PauseAllSearchJob();
        w.reset();
        QDesktopServices::unsetUrlHandler("file");
        DialogHooks::SetFolderHook({});
        EditCommands::SetOverwriteQuestion({});
        ClearJobs();
        ClearSearches();
    }

    // A download job with a row in lvNowDown.
    int Download(int state, const QString& name) {
        const int j = AddJob(Record(state, name, "101k"));
        w->Manager()->AddToNowDownList(j);
        return j;
    }
    // A finished job of category key whose file exists with the given bytes.
    int Finished(const QString& key, const QString& name, const QByteArray& bytes) {
        JobRecord job = Record(StateComplete, name, key);
        job.LocalFile = TestEnv::NewDir() + "/" + name;
        job.FileSize = static_cast<int32_t>(bytes.size());
        job.Received = job.FileSize;
        EXPECT_TRUE(TestEnv::WriteFile(job.LocalFile, bytes));
        return AddJob(job);
    }
    static JobRecord Record(int state, const QString& name, const QString& key) {
        JobRecord job =
            TestJobs::Job(key, state, "http://127.0.0.1:9/movies/" + name, DefaultDownDir + name);
        job.FileSize = 1000;
        job.Parts = 1;
        return job;
    }
    // A search job with its row in lvDownHtml.
    int Search(int32_t state, const QString& page) {
        SearchRecord s;
        s.SearchState = state;
        s.PageUrl = QStringLiteral("http://127.0.0.1:%1/%2").arg(TestEnv::FreePort()).arg(page);
        s.StartUrl = s.PageUrl;
        const int i = AddSearch(s);
        w->SearchQueue()->AddToSearchList(i);
        w->SearchPanes()->Flush();
        return i;
    }

    void Show(const QString& key) { ASSERT_TRUE(w->Categories()->mirror()->Select(key)); }
    QAction* A(const char* name) const { return m->Action(name); }
    bool On(const char* name) const { return A(name)->isEnabled(); }
    QTreeWidget* List(const char* name) const { return w->findChild<QTreeWidget*>(name); }

    QTreeWidgetItem* NowDownRow(int j) const {
        QTreeWidget* list = List("lvNowDown");
        for (int r = 0; r < list->topLevelItemCount(); ++r)
            if (list->topLevelItem(r)->data(1, Qt::UserRole).toString() == clsJobManager::RowKey(j))
                return list->topLevelItem(r);
        return nullptr;
    }
    QTreeWidgetItem* HaveDownRow(int j) const {
        QTreeWidget* list = List("lvHaveDown");
        for (int r = 0; r < list->topLevelItemCount(); ++r)
            if (list->topLevelItem(r)->data(0, Qt::UserRole).toString() ==
                QString::number(j) + "Key")
                return list->topLevelItem(r);
        return nullptr;
    }
    QTreeWidgetItem* SearchRow(int i) const {
        QTreeWidget* list = List("lvDownHtml");
        for (int r = 0; r < list->topLevelItemCount(); ++r)
            if (list->topLevelItem(r)->data(0, clsSearchPanes::KeyRole).toString() ==
                QString::number(i) + "Key")
                return list->topLevelItem(r);
        return nullptr;
    }
    // Opens a menu as far as its enabling goes (the menu's aboutToShow).
    void Open(const char* menu) { emit m->Menu(menu)->aboutToShow(); }

    OpenedUrls opened;
    std::unique_ptr<frmMain> w;
    MainMenus* m = nullptr;
};

}  // namespace

TEST_F(MainCommands, ToolbarStartActsOnTheShownViewOnly) {
    const int job = Download(StatePaused, "a.swf");
    const int search = Search(SearchPaused, "a.htm");

    // Both lists hold a chosen row; the category view's Start must touch neither.
    Show("NowDownLoad");
    ClickRow(NowDownRow(job));
    Show("NowSearch");
    ClickRow(SearchRow(search));
    Show("101k");
    EXPECT_FALSE(On("tbMain_Start"));
    A("tbMain_Start")->setEnabled(true);  // even a button left enabled does nothing here
    A("tbMain_Start")->trigger();
    EXPECT_EQ(Jobs[job].State, StatePaused);
    EXPECT_EQ(Searches[search].SearchState, SearchPaused);
    EXPECT_FALSE(On("tbMain_Start"));

    // Downloads: the shown job is paused, so Start is on; with no slot it turns waiting.
    Show("NowDownLoad");
    EXPECT_TRUE(On("tbMain_Start"));
    A("tbMain_Start")->trigger();
    EXPECT_EQ(Jobs[job].State, StateWaiting);
    EXPECT_EQ(Searches[search].SearchState, SearchPaused);
    EXPECT_FALSE(On("tbMain_Start"));
    EXPECT_TRUE(On("tbMain_Pause"));

    // Searches: Start runs the selected search job, the download job is left alone.
    Show("NowSearch");
    EXPECT_TRUE(On("tbMain_Start"));
    A("tbMain_Start")->trigger();
    EXPECT_EQ(Searches[search].SearchState, SearchRunning);
    EXPECT_EQ(w->SearchQueue()->CurSearch, search);
    EXPECT_EQ(Jobs[job].State, StateWaiting);
    A("tbMain_Pause")->trigger();
    EXPECT_EQ(Searches[search].SearchState, SearchPaused);
}

TEST_F(MainCommands, JobsMenuFollowsTheShownJobAndEveryJobOfTheTable) {
    const int failed = Download(StateError, "failed.swf");
    const int running = Download(StatePaused, "running.swf");
    Jobs[running].State = StateRunning;  // as a slot marks the job it serves
    const int waiting = Download(StateWaiting, "waiting.swf");
    ASSERT_EQ(Jobs[waiting].State, StateWaiting);

    Show("NowDownLoad");
    struct Case {
        int job;
        bool start, pause;
    };
    for (const Case& c :
         {Case{failed, true, false}, Case{running, false, true}, Case{waiting, false, true}}) {
        ClickRow(NowDownRow(c.job));
        Open("mnuJob");
        EXPECT_EQ(On("mnuJob_Begin"), c.start) << c.job;
        EXPECT_EQ(On("mnuJob_Pause"), c.pause) << c.job;
        EXPECT_EQ(On("tbMain_Start"), c.start) << c.job;
        EXPECT_EQ(On("tbMain_Pause"), c.pause) << c.job;
    }
    EXPECT_TRUE(On("mnuJob_AllBegin"));
    EXPECT_TRUE(On("mnuJob_AllPause"));

    // The waiting job paused: nothing paused, waiting or failed is left in the list...
    A("mnuJob_Pause")->trigger();
    EXPECT_EQ(Jobs[waiting].State, StatePaused);
    Jobs[waiting].State = StateComplete;
    Jobs[failed].State = StateComplete;
    Open("mnuJob");
    EXPECT_FALSE(On("mnuJob_AllBegin"));
    EXPECT_FALSE(On("tbMain_AllStart"));
    // ...but a paused job without a row anywhere in the table enables Start All.
    AddJob(Record(StatePaused, "elsewhere.swf", "101k"));
    Open("mnuJob");
    EXPECT_TRUE(On("mnuJob_AllBegin"));
    EXPECT_TRUE(On("tbMain_AllStart"));
    Jobs[failed].State = StateError;

    // The right button on lvNowDown chooses the row under it and gives its pop-up the flags of
    // that row's job: a paused job shown before must not lend its Pause to a failed one.
    const int paused = Download(StatePaused, "paused.swf");
    ClickRow(NowDownRow(paused));
    EXPECT_TRUE(On("mnuJob_Begin"));
    QTreeWidget* lvNowDown = List("lvNowDown");
    auto* pop = lvNowDown->findChild<QMenu*>("popNowDown");
    ASSERT_TRUE(pop);
    auto rightClick = [&](int job) {
        const QPoint at = lvNowDown->visualItemRect(NowDownRow(job)).center();
        QTest::mousePress(lvNowDown->viewport(), Qt::RightButton, Qt::NoModifier, at);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at,
                                    lvNowDown->viewport()->mapToGlobal(at));
        QApplication::sendEvent(lvNowDown->viewport(), &menuEvent);
        QTest::mouseRelease(lvNowDown->viewport(), Qt::RightButton, Qt::NoModifier, at);
        EXPECT_TRUE(pop->isVisible());
    };
    auto popOn = [pop](const char* name) { return pop->findChild<QAction*>(name)->isEnabled(); };
    rightClick(failed);
    EXPECT_TRUE(popOn("popNowDown_Start"));
    EXPECT_FALSE(popOn("popNowDown_Pause"));
    EXPECT_TRUE(popOn("popNowDown_AllStart"));
    EXPECT_TRUE(popOn("popNowDown_AllPause"));
    EXPECT_TRUE(popOn("popNowDown_Delete"));
    pop->findChild<QAction*>("popNowDown_Start")->trigger();
    EXPECT_EQ(Jobs[failed].State, StateWaiting);  // no free slot in this test
    EXPECT_EQ(Jobs[paused].State, StatePaused);
    pop->hide();
    rightClick(running);
    EXPECT_FALSE(popOn("popNowDown_Start"));
    EXPECT_TRUE(popOn("popNowDown_Pause"));
    EXPECT_FALSE(popOn("popNowDown_Delete"));  // the chosen job runs
    pop->hide();

    // Other views: all download items are off.
    Show("101k");
    Open("mnuJob");
    for (const char* name : {"mnuJob_Begin", "mnuJob_Pause", "mnuJob_AllBegin", "mnuJob_AllPause",
                             "tbMain_Start", "tbMain_Pause", "tbMain_AllStart", "tbMain_AllPause"})
        EXPECT_FALSE(On(name)) << name;
}

TEST_F(MainCommands, TwoRowsTurnOffTheSingleRowCommandsButNotDelete) {
    const int first = Finished("101k", "one.swf", "1111");
    const int second = Finished("101k", "two.swf", "2222");
    Show("101k");
    ASSERT_EQ(List("lvHaveDown")->topLevelItemCount(), 2);

    const char* single[] = {"mnuEdit_Comment", "mnuEdit_CopyUrl", "mnuEdit_OpenFile",
                            "mnuEdit_OpenDir", "tbMain_Comment",  "tbMain_Openfile",
                            "tbMain_Opendir"};
    const char* many[] = {"mnuEdit_MoveTo", "mnuEdit_Output", "mnuEdit_Delete", "tbMain_Delete"};
    ClickRow(HaveDownRow(first));
    for (const char* name : single) EXPECT_TRUE(On(name)) << name;
    for (const char* name : many) EXPECT_TRUE(On(name)) << name;

    ClickRow(HaveDownRow(second), Qt::ControlModifier);
    ASSERT_EQ(List("lvHaveDown")->selectedItems().size(), 2);
    for (const char* name : single) EXPECT_FALSE(On(name)) << name;
    for (const char* name : many) EXPECT_TRUE(On(name)) << name;

    // Invert leaves no row selected and Select All both again; the tool bar follows each.
    A("mnuEdit_Invert")->trigger();
    EXPECT_TRUE(List("lvHaveDown")->selectedItems().isEmpty());
    EXPECT_TRUE(On("tbMain_Openfile"));
    A("mnuEdit_SelectAll")->trigger();
    EXPECT_EQ(List("lvHaveDown")->selectedItems().size(), 2);
    EXPECT_FALSE(On("tbMain_Openfile"));
    EXPECT_TRUE(On("tbMain_Delete"));

    // The same in lvNowDown: Copy URL goes off with two rows, Delete stays for paused jobs.
    const int a = Download(StatePaused, "a.swf");
    const int b = Download(StatePaused, "b.swf");
    Show("NowDownLoad");
    ClickRow(NowDownRow(a));
    EXPECT_TRUE(On("mnuEdit_CopyUrl"));
    EXPECT_TRUE(On("mnuEdit_Delete"));
    EXPECT_FALSE(On("mnuEdit_Comment"));  // the comment is edited on finished jobs only
    EXPECT_FALSE(On("mnuEdit_OpenFile"));
    ClickRow(NowDownRow(b), Qt::ControlModifier);
    EXPECT_FALSE(On("mnuEdit_CopyUrl"));
    EXPECT_TRUE(On("mnuEdit_Delete"));
    EXPECT_TRUE(On("tbMain_Delete"));
}

TEST_F(MainCommands, CopyUrlAndOpenCommandsTakeTheRowOfTheShownList) {
    const int done = Finished("101k", "done.swf", "done");
    const int running = Download(StatePaused, "partial.swf");
    Show("101k");
    ClickRow(HaveDownRow(done));
    A("mnuEdit_CopyUrl")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Jobs[done].Url);

    A("tbMain_Openfile")->trigger();
    A("mnuEdit_OpenDir")->trigger();
    ASSERT_EQ(opened.urls.size(), 2);
    EXPECT_EQ(opened.urls[0].toLocalFile(), Jobs[done].LocalFile);
    EXPECT_EQ(opened.urls[1].toLocalFile(), EditCommands::FolderPart(Jobs[done].LocalFile));

    // Double click on a finished job opens its file.
    QTreeWidget* lvHaveDown = List("lvHaveDown");
    QTest::mouseDClick(lvHaveDown->viewport(), Qt::LeftButton, Qt::NoModifier,
                       lvHaveDown->visualItemRect(HaveDownRow(done)).center());
    ASSERT_EQ(opened.urls.size(), 3);
    EXPECT_EQ(opened.urls[2].toLocalFile(), Jobs[done].LocalFile);

    // The search list has no URL to copy; the hidden category row must not stand in for it.
    Search(SearchPaused, "p.htm");
    Show("NowSearch");
    QGuiApplication::clipboard()->setText("unchanged");
    Open("mnuEdit");
    EXPECT_TRUE(On("mnuEdit_CopyUrl"));
    A("mnuEdit_CopyUrl")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "unchanged");

    // In the now-downloading view the selected download job's URL is copied.
    Show("NowDownLoad");
    ClickRow(NowDownRow(running));
    A("mnuEdit_CopyUrl")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Jobs[running].Url);
    EXPECT_EQ(opened.urls.size(), 3);
}

TEST_F(MainCommands, OutputFileToAsksOnceAndNoKeepsTheExistingFile) {
    const int job = Finished("101k", "clip.swf", "fresh movie bytes");
    const QString source = Jobs[job].LocalFile;
    const QString folder = TestEnv::NewDir("out");
    ASSERT_TRUE(TestEnv::WriteFile(folder + "/clip.swf", "older"));
    QString asked;
    int questions = 0;
    bool answer = false;
    EditCommands::SetOverwriteQuestion([&](QWidget*, const QString& target) {
        ++questions;
        asked = target;
        return answer;
    });
    QString chosen = folder;  // without a trailing "/"
    DialogHooks::SetFolderHook([&](QWidget*, const QString&) { return chosen; });

    Show("101k");
    ClickRow(HaveDownRow(job));
    ASSERT_TRUE(On("mnuEdit_Output"));
    A("mnuEdit_Output")->trigger();
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(asked, folder + "/clip.swf");
    EXPECT_EQ(TestEnv::ReadFile(folder + "/clip.swf"), "older");

    answer = true;
    A("mnuEdit_Output")->trigger();
    EXPECT_EQ(questions, 2);
    EXPECT_EQ(TestEnv::ReadFile(folder + "/clip.swf"), "fresh movie bytes");
    EXPECT_EQ(TestEnv::ReadFile(source), "fresh movie bytes");

    // A folder without the file: copied at once, without a question, with the movie's files.
    ASSERT_TRUE(TestEnv::WriteFile(source + "_files/data/level.xml", "<level/>"));
    chosen = TestEnv::NewDir("empty") + "/";
    A("mnuEdit_Output")->trigger();
    EXPECT_EQ(questions, 2);
    EXPECT_EQ(TestEnv::ReadFile(chosen + "clip.swf"), "fresh movie bytes");
    EXPECT_EQ(TestEnv::ReadFile(chosen + "clip.swf_files/data/level.xml"), "<level/>");

    // A cancelled folder browser copies nothing; a missing source asks nothing.
    chosen.clear();
    A("mnuEdit_Output")->trigger();
    QFile::remove(source);
    chosen = folder;
    A("mnuEdit_Output")->trigger();
    EXPECT_EQ(questions, 2);
    EXPECT_EQ(TestEnv::ReadFile(folder + "/clip.swf"), "fresh movie bytes");
}

TEST_F(MainCommands, GetMoviesFilesKeepsWhatTheMovieNamesInsideItsFolder) {
    using namespace SwfBuilder;
    NginxServer site;
    ASSERT_TRUE(site.Started());
    auto movie = [](const QList<QByteArray>& names) {
        return Fws(Body(0x0a00, 1, {DoAction(names), Tag(1, {}), Tag(0, {})}));
    };
    // up.swf, one folder up, names a file above the site's root and one of another site.
    const QByteArray up = movie({"../../../../etc/escape.txt", "http://other.invalid/x.png"});
    ASSERT_TRUE(site.Put("games/m/data/level.xml", "<level n=\"1\"/>"));
    ASSERT_TRUE(site.Put("games/up.swf", up));
    ASSERT_TRUE(site.Put("etc/escape.txt", "kept inside"));
    const int job =
        Finished("101k", "game.swf", movie({"data/level.xml", "../up.swf", "_level1", "gone.txt"}));
    Jobs[job].Url = site.Url("/games/m/game.swf");
    const QString dir = QFileInfo(Jobs[job].LocalFile).absolutePath();
    QString told;
    UserMessage::SetHandler(
        [&](UserMessage::Icon, const QString&, const QString& text) { told = text; });

    Show("101k");
    ClickRow(HaveDownRow(job));
    Open("mnuJob");
    ASSERT_TRUE(On("mnuJob_GetFiles"));
    A("mnuJob_GetFiles")->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !told.isEmpty(); }, 20000));
    UserMessage::SetHandler({});
    EXPECT_TRUE(told.startsWith("game.swf: 3 fetched, 0 kept before, 2 failed"))
        << told.toStdString();
    EXPECT_TRUE(told.contains("Failed: http://other.invalid/x.png (on another site)"));
    const QString files = Jobs[job].LocalFile + "_files";
    EXPECT_EQ(TestEnv::ReadFile(files + "/data/level.xml"), "<level n=\"1\"/>");
    EXPECT_EQ(TestEnv::ReadFile(files + "/_site/games/up.swf"), up);
    EXPECT_EQ(TestEnv::ReadFile(files + "/_site/etc/escape.txt"), "kept inside");
    EXPECT_EQ(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"game.swf", "game.swf_files"}));
    auto* info = List("lvHaveDownInfo");
    ASSERT_TRUE(info);
    const auto kept = info->findItems("Files Kept", Qt::MatchExactly);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept.first()->text(1), "3");
}

TEST_F(MainCommands, DeleteDispatchesByView) {
    const int kept = Finished("101k", "kept.swf", "k");
    const int binned = Finished("101k", "binned.swf", "b");
    Finished("Recely", "old.swf", "o");
    const int paused = Download(StatePaused, "p.swf");
    const int search = Search(SearchPaused, "s.htm");

    // A category: the selected finished job goes to the recycle bin at once.
    Show("101k");
    ClickRow(HaveDownRow(binned));
    A("tbMain_Delete")->trigger();
    EXPECT_EQ(Jobs[binned].ClassKey, "Recely");
    EXPECT_EQ(Jobs[kept].ClassKey, "101k");
    EXPECT_FALSE(HaveDownRow(binned));
    EXPECT_TRUE(HaveDownRow(kept));

    // The recycle bin and the now-downloading view ask first.
    Show("Recely");
    ClickRow(HaveDownRow(binned));
    A("mnuEdit_Delete")->trigger();
    QDialog* ask = Shown<QDialog>("frmDelete");
    ASSERT_TRUE(ask);
    ask->reject();
    EXPECT_EQ(Jobs[binned].ClassKey, "Recely");
    // For good, with its file: the files kept beside the movie go with it, a neighbour's stay.
    const QString movie = Jobs[binned].LocalFile;
    ASSERT_TRUE(TestEnv::WriteFile(movie + "_files/data/level.xml", "<level/>"));
    ASSERT_TRUE(TestEnv::WriteFile(movie + "_files/_site/up.swf", "up"));
    ASSERT_TRUE(TestEnv::WriteFile(movie + ".bak_files/keep.txt", "other"));
    A("mnuEdit_Delete")->trigger();
    ask = Shown<QDialog>("frmDelete");
    ASSERT_TRUE(ask);
    ask->findChild<QCheckBox*>("chkDelDown")->setChecked(true);
    ask->findChild<QPushButton*>("cmdOk")->click();
    EXPECT_EQ(Jobs[binned].ClassKey, "Recely_Really");
    EXPECT_FALSE(QFileInfo::exists(movie));
    EXPECT_FALSE(QFileInfo::exists(movie + "_files"));
    EXPECT_EQ(TestEnv::ReadFile(movie + ".bak_files/keep.txt"), "other");

    Show("NowDownLoad");
    ClickRow(NowDownRow(paused));
    ASSERT_TRUE(On("mnuEdit_Delete"));
    A("mnuEdit_Delete")->trigger();
    ask = Shown<QDialog>("frmDelete");
    ASSERT_TRUE(ask);
    ask->reject();
    EXPECT_TRUE(NowDownRow(paused));

    // The search view: the selected search job is freed and its row removed.
    Show("NowSearch");
    ClickRow(SearchRow(search));
    ASSERT_TRUE(On("mnuEdit_Delete"));
    A("mnuEdit_Delete")->trigger();
    w->SearchPanes()->Flush();
    EXPECT_EQ(Searches[search].SearchState, SearchFree);
    EXPECT_FALSE(SearchRow(search));
}

TEST_F(MainCommands, RightButtonOnTheCategoryListPopsUpTheEditMenu) {
    const int job = Finished("101k", "one.swf", "1");
    Finished("101k", "two.swf", "2");
    Show("101k");
    QTreeWidget* lvHaveDown = List("lvHaveDown");
    lvHaveDown->selectAll();
    A("mnuEdit_Comment")->setEnabled(true);  // stale until the enabling runs
    const QPoint at = lvHaveDown->visualItemRect(HaveDownRow(job)).center();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at,
                                lvHaveDown->viewport()->mapToGlobal(at));
    QApplication::sendEvent(lvHaveDown->viewport(), &menuEvent);
    QMenu* edit = m->Menu("mnuEdit");
    EXPECT_TRUE(edit->isVisible());
    EXPECT_FALSE(On("mnuEdit_Comment"));
    EXPECT_TRUE(On("mnuEdit_Delete"));
    edit->hide();
}

#include "test_commands.moc"
