// The whole program in one window: jobs added through the new-job dialog and directly download
// from a real nginx over ten connections each, finish, and are filed in their category.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "common/TestJobs.h"
#include "common/TestWidgets.h"
#include "manager/clsJobManager.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "store/Globals.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/VbDate.h"
#include "tree/CategoryTreeUi.h"
#include "tree/CategoryView.h"
#include "tree/TreeMirror.h"
#include "ui/frmMain.h"

namespace {

bool AllComplete(int from, int to) {
    for (int i = from; i <= to; ++i)
        if (Jobs[i].State != StateComplete) return false;
    return true;
}

}  // namespace

TEST(EndToEnd, EightJobsDownloadInTheWindowAndAreFiled) {
    TestEnv::IsolateHome();
    ClearJobs();
    NginxServer nginx("limit_rate 160k;");
    ASSERT_TRUE(nginx.Started());
    QList<QByteArray> bodies;
    for (int k = 1; k <= 9; ++k) {
        bodies << TestEnv::RandomBytes(2500000 + k * 7919, k);
        ASSERT_TRUE(nginx.Put(QStringLiteral("movies/clip%1.swf").arg(k), bodies.last()));
    }

    frmMain w;
    w.Load();
    w.resize(1200, 760);
    w.show();
    Settings.Maxjobs = 8;
    Settings.PopMessage = 0;
    const QString folder = TestEnv::NewDir("cartoons") + "/";
    w.Tree().SetTag("101k", folder);

    // Eight jobs as the dialogs make them, waiting: they start at once in the eight slots.
    for (int k = 1; k <= 8; ++k) {
        const int index = AddJob(TestJobs::Download(
            "101k", nginx.Url(QStringLiteral("/movies/clip%1.swf").arg(k)), folder, 10));
        ASSERT_EQ(index, k);
        w.Manager()->AddToNowDownList(index);
    }
    w.Categories()->mirror()->Select("NowDownLoad");
    EXPECT_EQ(w.ActiveList(), 2);
    auto* lvNowDown = w.findChild<QTreeWidget*>("lvNowDown");
    ASSERT_TRUE(lvNowDown);
    EXPECT_EQ(lvNowDown->topLevelItemCount(), 8);

    // A ninth through the new-job dialog, driven by its controls.
    frmNewDown1* dialog = w.NewJobs()->Open(ModeSingleFile);
    ASSERT_TRUE(dialog);
    dialog->findChild<QLineEdit*>("txtUrl")->setText(nginx.Url("/movies/clip9.swf"));
    auto* cmbClass = dialog->findChild<QComboBox*>("cmbClass1");
    ASSERT_TRUE(cmbClass);
    cmbClass->setCurrentIndex(cmbClass->findData("101k"));
    dialog->findChild<QLineEdit*>("txtSaveAs1")->setText(folder);
    dialog->findChild<QPushButton*>("cmdNewJobOk")->click();
    ASSERT_EQ(JobCount, 9);
    EXPECT_EQ(Jobs[9].ClassKey, "101k");
    EXPECT_EQ(lvNowDown->topLevelItemCount(), 9);

    // A running job chosen, as a click on its row does, while it downloads.
    ASSERT_TRUE(TestEnv::WaitFor([] { return Jobs[9].Received > 0; }));
    w.Manager()->ChooseJob(9);

    ASSERT_TRUE(TestEnv::WaitFor([&] { return AllComplete(1, 9); }, 90000));
    for (int k = 1; k <= 9; ++k) {
        EXPECT_EQ(TestEnv::ReadFile(folder + QStringLiteral("clip%1.swf").arg(k)), bodies[k - 1])
            << k;
        EXPECT_FALSE(QFile::exists(folder + QStringLiteral("clip%1.swf!qv").arg(k)));
    }
    EXPECT_EQ(lvNowDown->topLevelItemCount(), 0);

    // Filed: the category lists all nine.
    w.Categories()->mirror()->Select("101k");
    EXPECT_EQ(w.ActiveList(), 3);
    EXPECT_EQ(w.Categories()->view()->ListedJobs().size(), 9);
    w.ExitProgram();
    ClearJobs();
}

TEST(EndToEnd, ADownloadClosedMidwayResumesAfterARestart) {
    TestEnv::IsolateHome();
    ClearJobs();
    NginxServer nginx("limit_rate 200k;");
    ASSERT_TRUE(nginx.Started());
    const QByteArray body = TestEnv::RandomBytes(3000000, 77);
    ASSERT_TRUE(nginx.Put("big.swf", body));
    const QString folder = TestEnv::NewDir("movies") + "/";
    int32_t receivedAtClose = 0;
    {
        frmMain w;
        w.Load();
        Settings.PopMessage = 0;
        ASSERT_EQ(AddJob(TestJobs::Download("103k", nginx.Url("/big.swf"), folder, 4)), 1);
        w.Manager()->AddToNowDownList(1);
        ASSERT_TRUE(TestEnv::WaitFor([&] { return Jobs[1].Received > 300000; }, 30000));
        // Paused by the user: it stays paused through the restart (only cut-off downloads go on).
        w.Manager()->PauseJob(1);
        w.ExitProgram();
        receivedAtClose = Jobs[1].Received;
        EXPECT_EQ(Jobs[1].State, StatePaused);
        EXPECT_LT(receivedAtClose, body.size());
    }
    ClearJobs();
    {
        frmMain w;
        w.Load();
        ASSERT_EQ(JobCount, 1);
        EXPECT_EQ(Jobs[1].State, StatePaused);
        EXPECT_EQ(Jobs[1].Received, receivedAtClose);
        EXPECT_TRUE(w.Manager()->HasRow(1));
        Settings.PopMessage = 0;
        w.Manager()->StartAll();
        ASSERT_TRUE(TestEnv::WaitFor([&] { return Jobs[1].State == StateComplete; }, 60000));
        EXPECT_EQ(TestEnv::ReadFile(folder + "big.swf"), body);
        EXPECT_FALSE(QFile::exists(folder + "big.swf!qv"));
        w.ExitProgram();
    }
    ClearJobs();
}

// A failed job is no dead end: its properties are edited (a new address starts it from zero) and
// the Jobs menu starts it again (its new address failing too until it serves); byte-exact.
TEST(EndToEnd, AFailedJobIsEditedAndStartedAgainFromTheMenu) {
    TestEnv::IsolateHome();
    ClearJobs();
    NginxServer nginx(
        "location = /gone.swf { return 500; } location = /here.swf { if (!-f "
        "$document_root/here.ok) { return 500; } }");
    ASSERT_TRUE(nginx.Started());
    const QByteArray body = TestEnv::RandomBytes(400000, 9);
    ASSERT_TRUE(nginx.Put("here.swf", body));
    const QString folder = TestEnv::NewDir("failed") + "/";
    frmMain w;
    w.Load();
    Settings.PopMessage = 0;
    Settings.Retries = 0;
    ASSERT_EQ(AddJob(TestJobs::Download("101k", nginx.Url("/gone.swf"), folder, 3)), 1);
    w.Manager()->AddToNowDownList(1);
    ASSERT_TRUE(TestEnv::WaitFor([] { return Jobs[1].State == StateError; }, 30000));
    w.Categories()->mirror()->Select("NowDownLoad");
    auto* list = TestEnv::Child<QTreeWidget>(&w, "lvNowDown");
    TestEnv::ClickRow(list->topLevelItem(0));
    EXPECT_TRUE(w.findChild<QAction*>("mnuJob_Begin")->isEnabled());

    // Job Properties from the Jobs menu: the address and the login change.
    QAction* properties = w.findChild<QAction*>("mnuJob_Properties");
    ASSERT_TRUE(properties->isEnabled());
    properties->trigger();
    auto* dialog = TestEnv::Shown<QDialog>("frmJobProperties");
    ASSERT_TRUE(dialog);
    TestEnv::Child<QLineEdit>(dialog, "txtUrl")->setText(nginx.Url("/here.swf"));
    TestEnv::Child<QLineEdit>(dialog, "txtFileName")->setText("here.swf");
    TestEnv::Child<QPushButton>(dialog, "cmdOk")->click();
    EXPECT_EQ(Jobs[1].Url, nginx.Url("/here.swf"));
    EXPECT_EQ(Jobs[1].IsNew, VbTrue);
    EXPECT_TRUE(TestEnv::WaitFor([&] {
        return list->topLevelItem(0)->text(clsJobManager::ColUrl) == nginx.Url("/here.swf");
    }));

    QAction* begin = w.findChild<QAction*>("mnuJob_Begin");
    begin->trigger();
    ASSERT_NE(Jobs[1].State, StateError);
    ASSERT_TRUE(TestEnv::WaitFor([] { return Jobs[1].State == StateError; }, 30000));
    ASSERT_TRUE(nginx.Put("here.ok", ""));
    begin->trigger();
    ASSERT_TRUE(TestEnv::WaitFor([] { return Jobs[1].State == StateComplete; }, 30000));
    EXPECT_EQ(TestEnv::ReadFile(folder + "here.swf"), body);
    EXPECT_FALSE(QFile::exists(folder + "gone.swf"));
    w.ExitProgram();
    ClearJobs();
}

// One speed limit for the window's downloads together, chosen from the rate panel's menu: three
// jobs of 1 MiB at 512 KB/s take about six seconds, and finish whole.
TEST(EndToEnd, TheSpeedLimitHoldsAllDownloadsTogether) {
    TestEnv::IsolateHome();
    ClearJobs();
    NginxServer nginx;
    ASSERT_TRUE(nginx.Started());
    const QString folder = TestEnv::NewDir("limited") + "/";
    frmMain w;
    w.Load();
    Settings.PopMessage = 0;
    auto* menu = w.findChild<QMenu*>("popSpeedLimit");
    ASSERT_TRUE(menu);
    menu->findChild<QAction*>("popSpeedLimit_500")->trigger();
    EXPECT_EQ(Settings.SpeedLimit, 500);
    QList<QByteArray> bodies;
    QElapsedTimer clock;
    clock.start();
    for (int k = 1; k <= 3; ++k) {
        bodies << TestEnv::RandomBytes(1024 * 1024, 40 + k);
        ASSERT_TRUE(nginx.Put(QStringLiteral("l%1.swf").arg(k), bodies.last()));
        w.Manager()->AddToNowDownList(AddJob(
            TestJobs::Download("101k", nginx.Url(QStringLiteral("/l%1.swf").arg(k)), folder, 3)));
    }
    ASSERT_TRUE(TestEnv::WaitFor([] { return AllComplete(1, 3); }, 30000));
    const qint64 ms = clock.elapsed();
    EXPECT_GE(ms, 6000 * 10 / 11);  // 3 MiB at 500 KB/s, never a tenth faster
    EXPECT_LE(ms, 15000);
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(TestEnv::ReadFile(folder + QStringLiteral("l%1.swf").arg(k)), bodies[k - 1]);
    w.ExitProgram();
    ClearJobs();
}

// A server that wants a login: the question comes; answered (not kept with the job), the job
// starts again and ends complete, and its record holds no login.
TEST(EndToEnd, ALoginAnsweredInTheQuestionEndsComplete) {
    TestEnv::IsolateHome();
    ClearJobs();
    const QString users = TestEnv::NewDir("users") + "/users";
    ASSERT_TRUE(TestEnv::WriteFile(users, "fan:{PLAIN}secret\n"));
    NginxServer nginx("location /private/ { auth_basic fans; auth_basic_user_file " + users +
                      "; }");
    ASSERT_TRUE(nginx.Started());
    const QByteArray body = TestEnv::RandomBytes(300000, 12);
    ASSERT_TRUE(nginx.Put("private/x.swf", body));
    const QString folder = TestEnv::NewDir("private") + "/";
    frmMain w;
    w.Load();
    Settings.PopMessage = 0;
    ASSERT_EQ(AddJob(TestJobs::Download("101k", nginx.Url("/private/x.swf"), folder, 3)), 1);
    w.Manager()->AddToNowDownList(1);
    QDialog* question = nullptr;
    ASSERT_TRUE(TestEnv::WaitFor([&] { return (question = TestEnv::Shown<QDialog>("frmLogin")); }));
    TestEnv::Child<QLineEdit>(question, "txtUserName")->setText("fan");
    TestEnv::Child<QLineEdit>(question, "txtPassword")->setText("secret");
    TestEnv::Child<QPushButton>(question, "cmdOk")->click();
    ASSERT_TRUE(TestEnv::WaitFor([] { return Jobs[1].State == StateComplete; }, 30000));
    EXPECT_EQ(TestEnv::ReadFile(folder + "x.swf"), body);
    EXPECT_EQ(Jobs[1].UseLogin, 0);
    EXPECT_TRUE(Jobs[1].Password.isEmpty());
    w.ExitProgram();
    ClearJobs();
}

// A file system that writes a large new file whole: the job's file is laid out meanwhile, the
// window "Create New File for saving ..." follows it and goes when it ends; paused while it is
// laid out, the job goes on later and ends exact. A layout that takes no time shows nothing. The
// slow file system is a preloaded library, so the test runs again in a process of its own.
TEST(EndToEnd, ASlowFileLayoutShowsTheCreateFileWindow) {
    if (!qEnvironmentVariableIsSet("QV_SLOW_LAYOUT_MS")) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", QV_SLOW_LAYOUT);
        env.insert("QV_SLOW_LAYOUT_MS", "150");
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=EndToEnd.ASlowFileLayoutShowsTheCreateFileWindow"});
        ASSERT_TRUE(child.waitForFinished(100000));
        const QByteArray out = child.readAll();
        EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
        return;
    }
    TestEnv::IsolateHome();
    ClearJobs();
    NginxServer nginx("limit_rate 4m;");
    ASSERT_TRUE(nginx.Started());
    const QString folder = TestEnv::NewDir("layout") + "/";
    frmMain w;
    w.Load();
    Settings.PopMessage = 0;
    for (const bool slow : {true, false}) {
        SCOPED_TRACE(slow ? "slow layout" : "quick layout");
        if (!slow) qunsetenv("QV_SLOW_LAYOUT_MS");
        const int size = 8 * 1000 * 1000 + (slow ? 1 : 2);
        const QByteArray body = TestEnv::RandomBytes(size, slow ? 61 : 62);
        const QString name = slow ? "slow.swf" : "quick.swf";
        ASSERT_TRUE(nginx.Put(name, body));
        const int job = AddJob(TestJobs::Download("101k", nginx.Url("/" + name), folder, 4));
        bool seen = false;
        QObject::connect(w.Manager(), &clsJobManager::JobFileLayout, &w,
                         [&](int, const QString&, qint64, qint64, bool) {
                             seen = seen || TestEnv::Shown<QDialog>("frmCreateFile");
                         });
        w.Manager()->AddToNowDownList(job);
        if (slow) {
            QDialog* shown = nullptr;
            ASSERT_TRUE(TestEnv::WaitFor(
                [&] { return (shown = TestEnv::Shown<QDialog>("frmCreateFile")) != nullptr; }));
            EXPECT_EQ(TestEnv::Child<QLabel>(shown, "lblCreate")->text(),
                      "Create New File for saving ...");
            auto* bar = TestEnv::Child<QProgressBar>(shown, "ProgressBar1");
            EXPECT_EQ(bar->maximum(), size);
            EXPECT_TRUE(TestEnv::WaitFor([&] { return bar->value() > 0; }, 5000));
            EXPECT_LT(bar->value(), size);
            w.Manager()->PauseJob(job);
            EXPECT_EQ(Jobs[job].State, StatePaused);
            EXPECT_TRUE(TestEnv::WaitFor([] { return !TestEnv::Shown<QDialog>("frmCreateFile"); }));
            w.Manager()->StartJob(job);
        }
        ASSERT_TRUE(TestEnv::WaitFor([&] { return Jobs[job].State == StateComplete; }, 60000));
        EXPECT_EQ(TestEnv::ReadFile(folder + name), body);
        EXPECT_FALSE(TestEnv::Shown<QDialog>("frmCreateFile"));
        EXPECT_EQ(seen, slow);
        QObject::disconnect(w.Manager(), &clsJobManager::JobFileLayout, &w, nullptr);
    }
    w.ExitProgram();
    ClearJobs();
}

// The program ended while a job downloads: the next start goes on with it without a click, and
// a job the user paused stays paused.
TEST(EndToEnd, DownloadsRunningAtTheEndGoOnAtTheNextStart) {
    TestEnv::IsolateHome();
    ClearJobs();
    NginxServer nginx("limit_rate 300k;");
    ASSERT_TRUE(nginx.Started());
    const QByteArray body = TestEnv::RandomBytes(900000, 71);
    ASSERT_TRUE(nginx.Put("on.swf", body));
    const QString folder = TestEnv::NewDir("goon") + "/";
    {
        frmMain w;
        w.Load();
        Settings.PopMessage = 0;
        const int paused = AddJob(TestJobs::Download("101k", nginx.Url("/on.swf"), folder, 2));
        w.Manager()->AddToNowDownList(paused);
        w.Manager()->PauseJob(paused);
        const int running = AddJob(TestJobs::Download("101k", nginx.Url("/on.swf"), folder, 2));
        w.Manager()->AddToNowDownList(running);
        ASSERT_TRUE(TestEnv::WaitFor([&] { return Jobs[running].Received > 0; }, 20000));
        w.ExitProgram();
    }
    ClearJobs();
    frmMain again;
    again.Load();
    ASSERT_EQ(JobCount, 2);
    ASSERT_TRUE(TestEnv::WaitFor([] { return Jobs[2].State == StateComplete; }, 30000));
    EXPECT_EQ(TestEnv::ReadFile(Jobs[2].LocalFile), body);
    EXPECT_EQ(Jobs[1].State, StatePaused);
    again.ExitProgram();
    ClearJobs();
}
