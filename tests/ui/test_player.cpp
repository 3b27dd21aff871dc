// The movie player in the main window: choosing finished movies, the refresh tick, the slider,
// previous and next, full view and the player's commands, with the real renderer offscreen; the
// controls as a hand uses them (double click, slider clicks, Escape, Play after Stop) beside a
// running download.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "common/TestJobs.h"
#include "manager/clsJobManager.h"
#include "player/PlayerTestSupport.h"
#include "store/Globals.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "tree/CategoryList.h"
#include "tree/CategoryTreeUi.h"
#include "tree/TreeMirror.h"
#include "ui/MainMenus.h"
#include "ui/PlayerPanel.h"
#include "ui/frmMain.h"

using namespace PlayerTestSupport;

namespace {

int AddMovieJob(const QString& path) {
    return AddJob(TestJobs::Job("102k", StateComplete,
                                "http://example.invalid/" + path.section('/', -1), path));
}

}  // namespace

// A row opens its job's file, whatever the row's file column says.
TEST(PlayerPanelRows, OpenTheJobsFile) {
    TestEnv::IsolateHome();
    flash1::SetWebFolder(QStringLiteral(QV_WEB_FOLDER));
    const QString dir = TestEnv::NewDir("rows");
    const QString movie = dir + "/ten.swf", other = dir + "/three.swf";
    ASSERT_TRUE(TestEnv::WriteFile(movie, Movie(10, QByteArray("\x20\x80\xc0", 3))));
    ASSERT_TRUE(TestEnv::WriteFile(other, Movie(3, QByteArray("\x20\x80\xc0", 3))));
    struct Case {
        QString localFile, shownText;
        int frames;  // 0: nothing loaded
    } cases[] = {{movie, dir + "/gone.swf", 10}, {dir + "/gone.swf", other, 0}, {movie, other, 10}};
    for (const Case& c : cases) {
        ClearJobs();
        QTreeWidget list;
        QLabel panel1, panel2;
        PlayerPanel panel(&list, &panel1, &panel2, nullptr);
        auto* row = new QTreeWidgetItem(&list, {"name", "1", c.shownText});
        row->setData(0, ListRoles::Tag, AddMovieJob(c.localFile));
        panel.OpenItem(row);
        EXPECT_EQ(panel.Slider1()->maximum(), c.frames) << c.shownText.toStdString();
        delete panel.Pane();
    }
}

TEST(PlayerWindow, WatchSeekStepAndFullView) {
    TestEnv::IsolateHome();
    ClearJobs();
    Settings = SettingsRecord{};
    flash1::SetWebFolder(QStringLiteral(QV_WEB_FOLDER));
    const QString dir = TestEnv::NewDir("movies");
    const QString blue = dir + "/blue.swf", green = dir + "/green.SWF";
    ASSERT_TRUE(TestEnv::WriteFile(blue, Movie(600, QByteArray("\x20\x80\xc0", 3))));
    ASSERT_TRUE(TestEnv::WriteFile(green, Movie(1, QByteArray("\x10\xa0\x30", 3))));
    ASSERT_TRUE(TestEnv::WriteFile(dir + "/fake.swf", "GIF89a, not a movie"));
    ASSERT_TRUE(TestEnv::WriteFile(dir + "/old.swf.bak", Movie(5, QByteArray("\xff\x00\x00", 3))));

    frmMain w;
    w.Load();
    for (const char* name : {"blue.swf", "green.SWF", "fake.swf", "old.swf.bak"})
        AddMovieJob(dir + "/" + name);
    w.resize(1100, 720);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    MainMenus* m = w.Menus();
    PlayerPanel* panel = w.Player();
    flash1* player = panel->Player();
    QSlider* slider = w.findChild<QSlider*>("Slider1");
    auto* lvHaveDown = w.findChild<QTreeWidget*>("lvHaveDown");
    auto* status2 = w.findChild<QLabel*>("StatusBar1_Panel2");
    auto* status1 = w.findChild<QLabel*>("StatusBar1_Panel1");
    ASSERT_TRUE(slider && lvHaveDown && status1 && status2);

    // The player's commands belong to the category view.
    ASSERT_TRUE(w.Categories()->mirror()->Select("NowDownLoad"));
    w.EnabledTb();
    EXPECT_FALSE(m->Action("mnuOption_PlaySwf")->isEnabled());
    EXPECT_FALSE(m->Action("tbOper_FullS")->isEnabled());
    ASSERT_TRUE(w.Categories()->mirror()->Select("102k"));
    ASSERT_EQ(lvHaveDown->topLevelItemCount(), 4);
    EXPECT_TRUE(m->Action("mnuOption_PlaySwf")->isEnabled());
    EXPECT_TRUE(m->Action("tbOper_Next")->isEnabled());

    int shown = 0;
    QString failed;
    QObject::connect(player, &flash1::MovieShown, [&] { ++shown; });
    QObject::connect(player, &flash1::PlayFailed, [&](const QString& why) { failed = why; });
    auto click = [&](int row) {
        QTreeWidgetItem* item = lvHaveDown->topLevelItem(row);
        QTest::mouseClick(lvHaveDown->viewport(), Qt::LeftButton, {},
                          lvHaveDown->visualItemRect(item).center());
    };

    // Choosing a finished movie shows it: its background fills the player.
    click(0);
    EXPECT_EQ(slider->maximum(), 600);
    TestEnv::WaitFor([&] { return shown > 0 || !failed.isEmpty(); }, 60000);
    if (failed.contains("cannot start"))
        QV_SKIP_OR_FAIL("the web engine cannot start here: " << failed.toStdString());
    ASSERT_EQ(shown, 1) << failed.toStdString();
    EXPECT_TRUE(PictureShows(player, qRgb(0x20, 0x80, 0xc0), 0.25, 10000));

    // The tick counts upward: "path frame/total", the slider alongside; at least three frames in
    // a measured half second.
    TestEnv::WaitFor([&] { return status2->text().startsWith(blue + " "); }, 2000);
    const QString early = status2->text();
    QTest::qWait(500);
    const QString later = status2->text();
    ASSERT_TRUE(early.startsWith(blue + " ")) << early.toStdString();
    EXPECT_TRUE(later.endsWith("/600"));
    const int f1 = early.section(' ', -1).section('/', 0, 0).toInt();
    const int f2 = later.section(' ', -1).section('/', 0, 0).toInt();
    EXPECT_GE(f2, f1 + 3);
    EXPECT_LE(qAbs(slider->value() - player->CurrentFrame()), 2);

    // Paused, it stands still; played, it goes on.
    m->Action("tbOper_Pause")->trigger();
    QTest::qWait(150);  // a tick already on its way still lands
    const QString paused = status2->text();
    TestEnv::NothingWithin(500);
    EXPECT_EQ(status2->text(), paused);
    m->Action("mnuOption_PlaySwf")->trigger();
    TestEnv::WaitFor([&] { return status2->text() != paused; }, 2000);
    EXPECT_NE(status2->text(), paused);

    // Held, the slider and the text stand still while the movie plays on.
    // (Held as the mouse holds it: the slider's own pressed state and signals.)
    slider->setSliderDown(true);
    const QString held = status2->text();
    const int heldValue = slider->value();
    TestEnv::NothingWithin(500);
    EXPECT_EQ(status2->text(), held);
    EXPECT_EQ(slider->value(), heldValue);
    slider->setSliderDown(false);
    EXPECT_TRUE(panel->Following());

    // Seeking with the slider lands on the frame and plays on from it.
    slider->setSliderPosition(45);
    slider->triggerAction(QAbstractSlider::SliderMove);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return player->CurrentFrame() == 45; }, 2000));
    const int before = shown;
    ASSERT_TRUE(TestEnv::WaitFor([&] { return shown > before; }, 20000)) << failed.toStdString();
    QTest::qWait(300);  // a measured moment of play after the landing
    const int landed = status2->text().section(' ', -1).section('/', 0, 0).toInt();
    EXPECT_GE(landed, 46);
    EXPECT_LE(landed, 52);

    // Next: the LZMA-free green movie; then a .swf that is not a movie, refused with the reason;
    // then a .swf.bak, not even tried; at the end of the list nothing moves.
    m->Action("tbOper_Next")->trigger();
    EXPECT_TRUE(lvHaveDown->topLevelItem(1)->isSelected());
    EXPECT_FALSE(lvHaveDown->topLevelItem(0)->isSelected());
    EXPECT_EQ(player->Movie(), green);
    EXPECT_EQ(slider->maximum(), 1);
    ASSERT_TRUE(PictureShows(player, qRgb(0x10, 0xa0, 0x30), 0.25, 20000));
    m->Action("mnuOption_NextSwf")->trigger();
    EXPECT_TRUE(lvHaveDown->topLevelItem(2)->isSelected());
    EXPECT_EQ(player->Movie(), green);
    EXPECT_EQ(status1->text(), "fake.swf: The file is not a Flash movie.");
    m->Action("tbOper_Next")->trigger();
    EXPECT_TRUE(lvHaveDown->topLevelItem(3)->isSelected());
    EXPECT_EQ(player->Movie(), green);
    m->Action("tbOper_Next")->trigger();
    EXPECT_TRUE(lvHaveDown->topLevelItem(3)->isSelected());
    EXPECT_EQ(lvHaveDown->selectedItems().size(), 1);
    for (int k = 0; k < 4; ++k) m->Action("tbOper_Last")->trigger();
    EXPECT_TRUE(lvHaveDown->topLevelItem(0)->isSelected());
    EXPECT_EQ(lvHaveDown->selectedItems().size(), 1);
    EXPECT_EQ(player->Movie(), blue);

    // Full view hides the four views and the details, and brings them back.
    auto* tvNa = w.findChild<QWidget*>("tvNa");
    auto* upper = w.findChild<QWidget*>("picUp");
    auto* info = w.findChild<QWidget*>("lvHaveDownInfo");
    auto views = [&] {
        return QList<bool>{m->tbMain()->isVisible(), w.statusBar()->isVisible(), tvNa->isVisible(),
                           upper->isVisible(), info->isVisible()};
    };
    ASSERT_EQ(views(), (QList<bool>{true, true, true, true, true}));
    m->Action("tbOper_FullS")->trigger();
    EXPECT_EQ(views(), (QList<bool>{false, false, false, false, false}));
    EXPECT_TRUE(player->isVisible());
    m->Action("mnuOption_ViewSwf")->trigger();
    EXPECT_EQ(views(), (QList<bool>{true, true, true, true, true}));
    // A tree hidden before full view is shown after it: every view is toggled once on leaving.
    m->Action("tbOper_tvNa")->trigger();
    ASSERT_FALSE(tvNa->isVisible());
    m->Action("tbOper_FullS")->trigger();
    m->Action("tbOper_FullS")->trigger();
    EXPECT_EQ(views(), (QList<bool>{true, true, true, true, true}));

    // The details pane goes and comes back; the play bar likewise.
    m->Action("tbOper_Exchange")->trigger();
    EXPECT_FALSE(info->isVisible());
    m->Action("tbOper_Exchange")->trigger();
    EXPECT_TRUE(info->isVisible());
    m->Action("mnuView_PlayBar")->trigger();
    EXPECT_FALSE(m->tbOper()->isVisible());
    m->Action("mnuView_PlayBar")->trigger();
    EXPECT_TRUE(m->tbOper()->isVisible());

    // Stop unloads the movie and clears the picture.
    m->Action("tbOper_Stop")->trigger();
    EXPECT_EQ(player->Message(), "No movie loaded");
    EXPECT_LT(ShareOf(player, qRgb(0x20, 0x80, 0xc0)), 0.05);
    EXPECT_TRUE(failed.isEmpty()) << failed.toStdString();
    w.ExitProgram();
    ClearJobs();
}

// The same checks in the real window on an X display: this program runs again on an Xvfb of its
// own with Qt's xcb platform.
TEST(PlayerWindowOnX, WatchSeekStepAndFullViewUnderXvfb) {
    if (qEnvironmentVariableIsSet("QV_PLAYER_ON_X")) GTEST_SKIP() << "the inner run";
    if (TestEnv::Installed("Xvfb").isEmpty()) QV_SKIP_OR_FAIL("Xvfb is not installed");
    const TestEnv::SelfRun run =
        TestEnv::RunSelfOnXvfb({"--gtest_filter=PlayerWindow.*"}, "QV_PLAYER_ON_X");
    ASSERT_TRUE(run.started) << "Xvfb or the inner run did not start";
    ASSERT_TRUE(run.ended) << run.output.right(6000).toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.output.right(6000).toStdString();
    EXPECT_TRUE(run.output.contains("[  PASSED  ] 1 test")) << run.output.right(6000).toStdString();
}

// A hand on the controls: a double click plays, slider clicks land where clicked and keep the
// paused or playing state, Escape leaves full view, Play after Stop starts the chosen movie
// again, and the position stays readable while a download runs.
TEST(PlayerControls, DoubleClickSliderClicksEscapeAndPlayAfterStop) {
    TestEnv::IsolateHome();
    ClearJobs();
    Settings = SettingsRecord{};
    Settings.PopMessage = 0;
    flash1::SetWebFolder(QStringLiteral(QV_WEB_FOLDER));
    NginxServer nginx("limit_rate 40k;");
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    ASSERT_TRUE(nginx.Put("/big.swf", TestEnv::RandomBytes(3000000, 7)));
    const QString dir = TestEnv::NewDir("movies");
    const QString blue = dir + "/blue.swf";
    ASSERT_TRUE(TestEnv::WriteFile(blue, Movie(600, QByteArray("\x20\x80\xc0", 3))));

    frmMain w;
    w.Load();
    AddMovieJob(blue);
    w.resize(1100, 720);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    MainMenus* m = w.Menus();
    flash1* player = w.Player()->Player();
    QSlider* slider = w.findChild<QSlider*>("Slider1");
    auto* lvHaveDown = w.findChild<QTreeWidget*>("lvHaveDown");
    auto* status2 = w.findChild<QLabel*>("StatusBar1_Panel2");
    auto* rate = w.findChild<QLabel*>("StatusBar1_Rate");
    ASSERT_TRUE(slider && lvHaveDown && status2 && rate);
    ASSERT_TRUE(w.Categories()->mirror()->Select("102k"));
    ASSERT_EQ(lvHaveDown->topLevelItemCount(), 1);
    int shown = 0;
    QElapsedTimer sinceShown;
    QString failed;
    QObject::connect(player, &flash1::MovieShown, [&] {
        ++shown;
        sinceShown.start();
    });
    QObject::connect(player, &flash1::PlayFailed, [&](const QString& why) { failed = why; });
    auto frameShown = [&] { return status2->text().section(' ', -1).section('/', 0, 0).toInt(); };

    // A click on the finished movie's row shows it; paused, a double click plays it on (and does
    // not hand the file to another program).
    const QPoint row = lvHaveDown->visualItemRect(lvHaveDown->topLevelItem(0)).center();
    QTest::mouseClick(lvHaveDown->viewport(), Qt::LeftButton, {}, row);
    EXPECT_EQ(player->Movie(), blue);
    TestEnv::WaitFor([&] { return shown > 0 || !failed.isEmpty(); }, 60000);
    if (failed.contains("cannot start"))
        QV_SKIP_OR_FAIL("the web engine cannot start here: " << failed.toStdString());
    ASSERT_EQ(shown, 1) << failed.toStdString();
    m->Action("tbOper_Pause")->trigger();
    QTest::mouseDClick(lvHaveDown->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseRelease(lvHaveDown->viewport(), Qt::LeftButton, {}, row);
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_EQ(shown, 1);

    // A click on the slider goes to the frame under the pointer (one seek) and plays from it,
    // paused before or not.
    struct Click {
        double at;
        bool paused;
    } clicks[] = {{0.5, true}, {0.25, false}};
    for (const Click& c : clicks) {
        m->Action(c.paused ? "tbOper_Pause" : "tbOper_Play")->trigger();
        const int before = shown, want = int(600 * c.at);
        // Sent as the mouse sends it: QTest's own record of the buttons may hold a button that
        // an earlier test of this program left down, and a slider ignores a press beside another.
        const QPointF at(slider->width() * c.at, slider->height() / 2.0);
        for (auto [type, buttons] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton},
                                     std::pair{QEvent::MouseButtonRelease, Qt::NoButton}}) {
            QMouseEvent e(type, at, slider->mapToGlobal(at), Qt::LeftButton, buttons, {});
            QApplication::sendEvent(slider, &e);
        }
        ASSERT_TRUE(TestEnv::WaitFor([&] { return shown > before; }, 20000))
            << failed.toStdString();
        EXPECT_TRUE(TestEnv::WaitFor([&] { return qAbs(frameShown() - want) <= 20; }, 2000))
            << c.at << ": " << status2->text().toStdString();
        EXPECT_TRUE(player->IsPlaying()) << c.at;
        const int landed = frameShown();
        EXPECT_TRUE(TestEnv::WaitFor([&] { return frameShown() >= landed + 3; }, 2000));
        EXPECT_EQ(shown, before + 1) << c.at;
    }

    // Panel 2 keeps the position while a download runs; the rate has its own panel.
    w.Manager()->AddToNowDownList(AddJob(
        TestJobs::Download("101k", nginx.Url("/big.swf"), TestEnv::NewDir("down") + "/", 2)));
    ASSERT_TRUE(TestEnv::WaitFor([&] { return rate->text().startsWith("1 running, "); }, 10000))
        << rate->text().toStdString();
    for (int k = 0; k < 3; ++k) {
        TestEnv::NothingWithin(700);
        EXPECT_TRUE(status2->text().startsWith(blue + " ")) << status2->text().toStdString();
    }

    // Escape leaves full view; outside it Escape changes nothing.
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto* tvNa = w.findChild<QWidget*>("tvNa");
    m->Action("tbOper_FullS")->trigger();
    ASSERT_FALSE(tvNa->isVisible());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_TRUE(tvNa->isVisible());
    EXPECT_TRUE(w.statusBar()->isVisible());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_TRUE(tvNa->isVisible());

    // Play after Stop plays the chosen movie again from its first frame.
    m->Action("tbOper_Stop")->trigger();
    EXPECT_EQ(player->Message(), "No movie loaded");
    EXPECT_FALSE(status2->text().startsWith(blue)) << "the stopped movie's position stays";
    const int before = shown;
    m->Action("tbOper_Play")->trigger();
    EXPECT_EQ(player->Movie(), blue);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return shown > before; }, 20000)) << failed.toStdString();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return status2->text().startsWith(blue + " "); }, 2000));
    // From frame 1 at 10 frames a second since it was shown (a loaded machine reads it late).
    EXPECT_LE(frameShown(), 15 + sinceShown.elapsed() / 100);
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_TRUE(failed.isEmpty()) << failed.toStdString();
    w.ExitProgram();
    ClearJobs();
}

TEST(PlayerControlsOnX, HandControlsUnderXvfb) {
    if (qEnvironmentVariableIsSet("QV_PLAYER_ON_X")) GTEST_SKIP() << "the inner run";
    if (TestEnv::Installed("Xvfb").isEmpty()) QV_SKIP_OR_FAIL("Xvfb is not installed");
    const TestEnv::SelfRun run =
        TestEnv::RunSelfOnXvfb({"--gtest_filter=PlayerControls.*"}, "QV_PLAYER_ON_X");
    ASSERT_TRUE(run.started) << "Xvfb or the inner run did not start";
    ASSERT_TRUE(run.ended) << run.output.right(6000).toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.output.right(6000).toStdString();
    EXPECT_TRUE(run.output.contains("[  PASSED  ] 1 test")) << run.output.right(6000).toStdString();
}

// A movie that loads its next part from its site: fetched once while it plays and kept beside it
// byte for byte; without the site the kept part plays, and a file that is gone is named.
TEST(PlayerKeptFiles, FetchedOnceWhilePlayingAndPlayedWithoutTheSite) {
    using namespace SwfBuilder;
    TestEnv::IsolateHome();
    ClearJobs();
    Settings = SettingsRecord{};
    flash1::SetWebFolder(QStringLiteral(QV_WEB_FOLDER));
    const QString logs = TestEnv::NewDir("logs");
    auto site = std::make_unique<NginxServer>("access_log " + logs + "/access.log;");
    ASSERT_TRUE(site->Started());
    const QByteArray part2 = Fws(Body(0x0a00, 1, {DoAction({}, "data/level.xml"), Tag(1, {})}));
    ASSERT_TRUE(site->Put("games/part2.swf", part2));
    ASSERT_TRUE(site->Put("games/data/level.xml", "<level/>"));
    const QString path = TestEnv::NewDir("kept") + "/game.swf";
    ASSERT_TRUE(
        TestEnv::WriteFile(path, Cws(Body(0x0a00, 1,
                                          {Tag(9, QByteArray("\x20\x80\xc0", 3)),
                                           DoAction({}, "part2.swf"), Tag(1, {}), Tag(0, {})}))));

    frmMain w;
    w.Load();
    AddJob(TestJobs::Job("102k", StateComplete, site->Url("/games/game.swf"), path));
    w.resize(1100, 720);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_TRUE(w.Categories()->mirror()->Select("102k"));
    auto* lvHaveDown = w.findChild<QTreeWidget*>("lvHaveDown");
    auto* status1 = w.findChild<QLabel*>("StatusBar1_Panel1");
    flash1* player = w.Player()->Player();
    int shown = 0;
    QString failed;
    QObject::connect(player, &flash1::MovieShown, [&] { ++shown; });
    QObject::connect(player, &flash1::PlayFailed, [&](const QString& why) { failed = why; });
    ASSERT_EQ(lvHaveDown->topLevelItemCount(), 1);
    lvHaveDown->setCurrentItem(lvHaveDown->topLevelItem(0));
    w.Player()->Play();
    TestEnv::WaitFor([&] { return shown > 0 || !failed.isEmpty(); }, 60000);
    if (failed.contains("cannot start"))
        QV_SKIP_OR_FAIL("the web engine cannot start here: " << failed.toStdString());
    ASSERT_EQ(shown, 1) << failed.toStdString();

    const QString files = path + "_files";
    ASSERT_TRUE(TestEnv::WaitFor([&] { return QFile::exists(files + "/data/level.xml"); }, 20000))
        << status1->text().toStdString();
    EXPECT_EQ(TestEnv::ReadFile(files + "/part2.swf"), part2);
    EXPECT_EQ(TestEnv::ReadFile(files + "/data/level.xml"), "<level/>");
    QTest::qWait(300);
    EXPECT_EQ(TestEnv::ReadFile(logs + "/access.log").count("GET /games/part2.swf "), 1);

    // The site is gone: the movie plays from what is kept without a word (a file asked of the
    // site would fail and be named); the kept part plays too, for a level taken away is named.
    site.reset();
    w.Player()->Close();
    status1->clear();
    shown = 0;
    w.Player()->Play();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return shown > 0; }, 20000)) << failed.toStdString();
    TestEnv::NothingWithin(1500);
    EXPECT_EQ(status1->text(), "");
    ASSERT_TRUE(QFile::remove(files + "/data/level.xml"));
    w.Player()->Close();
    w.Player()->Play();
    EXPECT_TRUE(TestEnv::WaitFor([&] { return status1->text().contains("level.xml"); }, 20000));
    EXPECT_TRUE(status1->text().startsWith("game.swf: could not load http://127.0.0.1:"))
        << status1->text().toStdString();
    EXPECT_FALSE(status1->text().contains("part2")) << status1->text().toStdString();
    EXPECT_EQ(TestEnv::ReadFile(files + "/part2.swf"), part2);
}
