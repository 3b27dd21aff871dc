// The finder end to end on an X display of the test's own: the main window runs on Qt's xcb
// platform in a child run of this test program, Chromium (not headless) shows a page from nginx
// with two OBJECT movies in the classic markup (an EMBED of the same movie inside each) and one
// EMBED movie, two of which the page's own script fetched into the browser's cache, and xdotool
// drags the finder from the floating window over the browser window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "browser/BrowserFinder.h"
#include "browser/BrowserLink.h"
#include "browser/BrowserTestKit.h"
#include "browser/FoundMovies.h"
#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "common/TestWidgets.h"
#include "handoff_lib/quorvanta.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/NewJobMode.h"
#include "newjob/frmNewDown1.h"
#include "ui/FloatingTools.h"
#include "ui/WindowOutline.h"
#include "ui/frmDragMessage.h"
#include "ui/frmMain.h"
#include "ui/frmSaveSwfto.h"
#include "ui/frmTop.h"

namespace {

using namespace BrowserTestKit;
using TestEnv::Shown;
using TestEnv::ShownBox;

const char* kInnerDisplay = "QV_FINDER_DISPLAY";

// xdotool on the test's display; its standard output.
QString XDo(const QStringList& args) {
    QProcess tool;
    tool.start("xdotool", args);
    tool.waitForFinished(20000);
    return QString::fromLatin1(tool.readAllStandardOutput()).trimmed();
}

QByteArray Movie(quint32 seed) {
    return QByteArray("FWS\x06", 4) + TestEnv::RandomBytes(6000, seed);
}

}  // namespace

// The outer run: an Xvfb, and this program again on it with the inner test.
TEST(FinderEndToEnd, DragOverChromiumUnderXvfb) {
    for (const char* tool : {"chromium", "Xvfb", "xdotool"})
        if (TestEnv::Installed(tool).isEmpty()) QV_SKIP_OR_FAIL(tool << " is not installed");
    if (qEnvironmentVariableIsSet(kInnerDisplay)) GTEST_SKIP() << "the inner run";
    const TestEnv::SelfRun run = TestEnv::RunSelfOnXvfb(
        {"--gtest_filter=FinderInXvfb.*", "--gtest_also_run_disabled_tests"}, kInnerDisplay);
    ASSERT_TRUE(run.started) << "Xvfb or the inner run did not start";
    ASSERT_TRUE(run.ended) << run.output.right(6000).toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.output.right(6000).toStdString();
    EXPECT_TRUE(run.output.contains("[  PASSED  ] 1 test")) << run.output.right(6000).toStdString();
}

// The inner run (disabled, so that only FinderEndToEnd runs it).
TEST(FinderInXvfb, DISABLED_CountsOutlinesAndSavesTheCachedMovies) {
    if (!qEnvironmentVariableIsSet(kInnerDisplay)) GTEST_SKIP() << "run by FinderEndToEnd";
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    const QString home = TestEnv::IsolateHome();

    const QString logs = TestEnv::NewDir("access");
    NginxServer nginx("access_log " + logs +
                      "/access.log;\n"
                      "    types { text/html html; application/x-shockwave-flash swf; }\n"
                      "    expires 1h;\n");
    ASSERT_TRUE(nginx.Started());
    ASSERT_TRUE(nginx.Put("/games/one.swf", Movie(1)));
    ASSERT_TRUE(nginx.Put("/swf/two.swf", Movie(2)));
    ASSERT_TRUE(nginx.Put("/games/three.swf", Movie(3)));
    // The page's title tells when its script has the two movies in the cache.
    ASSERT_TRUE(nginx.Put("/games/index.html", R"(<!DOCTYPE html>
<html><head><title>Loading</title></head><body>
<embed src="three.swf" type="application/x-shockwave-flash" width="120" height="90">
<object width="120" height="90"><param name="movie" value="one.swf">
<embed src="/games/one.swf" type="application/x-shockwave-flash" width="120" height="90">
</object>
<object data="/swf/two.swf" type="application/x-shockwave-flash" width="120" height="90">
<embed src="../swf/two.swf" type="application/x-shockwave-flash" width="120" height="90">
</object>
<script>
Promise.all(["one.swf", "/swf/two.swf"].map((u) => fetch(u).then((r) => r.arrayBuffer())))
  .then(() => { document.title = "Flash movies"; });
</script></body></html>
)"));
    const QString page = nginx.Url("/games/index.html");

    BrowsersProgram program(ModeSingleFile);
    frmMain& window = program.window;
    window.Floating()->ShowTop();
    frmTop* top = window.Floating()->Top();
    ASSERT_TRUE(top);
    ASSERT_NO_FATAL_FAILURE(program.Listen());

    QProcess browser;
    ASSERT_TRUE(StartChromium(
        browser, home,
        {"--password-store=basic", "--window-position=200,0", "--window-size=800,640"}, page));
    TestEnv::ProcessEnder ender{browser};

    // The extension's link reaches the program; the page has its movies cached.
    ASSERT_TRUE(TestEnv::WaitFor([] { return BrowserLink::Instance()->Connected(); }, 40000))
        << browser.readAll().right(3000).toStdString();
    QString chromiumWindow;
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            chromiumWindow =
                XDo({"search", "--onlyvisible", "--name", "^Flash movies - "}).split('\n').value(0);
            return !chromiumWindow.isEmpty();
        },
        30000));
    QHash<QString, int> geometry;
    for (const QString& line : XDo({"getwindowgeometry", "--shell", chromiumWindow}).split('\n'))
        geometry.insert(line.section('=', 0, 0), line.section('=', 1).toInt());
    const QRect browserRect(geometry["X"], geometry["Y"], geometry["WIDTH"], geometry["HEIGHT"]);
    ASSERT_GT(browserRect.width(), 100);

    // Press the finder and drag it over the browser window.
    const QPoint finder = top->Image2->mapToGlobal(top->Image2->rect().center());
    XDo({"mousemove", "--sync", QString::number(finder.x()), QString::number(finder.y())});
    XDo({"mousedown", "1"});
    ASSERT_TRUE(TestEnv::WaitFor([&] { return window.Floating()->Finder()->Active(); }, 5000));
    const QPoint inside = browserRect.center();
    for (int step = 1; step <= 4; ++step) {
        const QPoint at = finder + (inside - finder) * step / 4;
        XDo({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())});
        QTest::qWait(50);
    }
    const QString found = "Quorvanta have found 3 Flash files in this IE window.";
    frmDragMessage* message = nullptr;
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            message = Shown<frmDragMessage>("frmDragMessage");
            return message && message->Label1->text() == found;
        },
        20000))
        << (message ? message->Label1->text().toStdString() : "no message");
    EXPECT_EQ(FoundCount, 3);
    auto* outline = Shown<WindowOutline>("WindowOutline");
    ASSERT_TRUE(outline);
    EXPECT_TRUE(outline->geometry().contains(browserRect.adjusted(2, 2, -2, -2)))
        << outline->geometry().x() << "," << outline->geometry().y() << " "
        << outline->geometry().width() << "x" << outline->geometry().height();
    // The message follows the pointer.
    EXPECT_EQ(message->pos(), inside + QPoint(16, 16));

    // Moving within the window does not scan again.
    const int scans = window.Floating()->Finder()->Scans();
    const QPoint further = inside + QPoint(60, 40);
    XDo({"mousemove", "--sync", QString::number(further.x()), QString::number(further.y())});
    EXPECT_TRUE(TestEnv::WaitFor([&] { return message->pos() == further + QPoint(16, 16); }, 5000));
    TestEnv::NothingWithin(300);
    EXPECT_EQ(window.Floating()->Finder()->Scans(), scans);
    EXPECT_EQ(message->Label1->text(), found);

    // Off the browser window (the bare desktop) the message goes; back on it, it is scanned again.
    const QPoint desktop(browserRect.right() + 80, browserRect.bottom() + 80);
    XDo({"mousemove", "--sync", QString::number(desktop.x()), QString::number(desktop.y())});
    EXPECT_TRUE(TestEnv::WaitFor([&] { return !message->isVisible(); }, 5000));
    XDo({"mousemove", "--sync", QString::number(further.x()), QString::number(further.y())});
    EXPECT_TRUE(TestEnv::WaitFor(
        [&] { return message->isVisible() && message->Label1->text() == found; }, 10000));
    EXPECT_EQ(window.Floating()->Finder()->Scans(), scans + 1);

    // Released: "Save Flash" with the three movies, OBJECT movies first.
    XDo({"mouseup", "1"});
    frmSaveSwfto* dialog = nullptr;
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            dialog = window.Floating()->SaveDialog();
            return dialog && dialog->isVisible();
        },
        10000));
    EXPECT_EQ(dialog->windowTitle(), "Save Flash");
    EXPECT_FALSE(message->isVisible());
    EXPECT_FALSE(outline->isVisible());
    EXPECT_EQ(FoundCount, 0);
    ASSERT_EQ(dialog->ListView1->topLevelItemCount(), 3);
    EXPECT_EQ(dialog->ListView1->topLevelItem(0)->text(0), nginx.Url("/games/one.swf"));
    EXPECT_EQ(dialog->ListView1->topLevelItem(1)->text(0), nginx.Url("/swf/two.swf"));
    EXPECT_EQ(dialog->ListView1->topLevelItem(2)->text(0), nginx.Url("/games/three.swf"));
    EXPECT_EQ(dialog->lblCount->text(), "Quorvanta total have found 3 Flash files in Ie window.");

    // A cached movie is copied out of the browser's cache into a complete job.
    const QString folder = TestEnv::NewDir("saved");
    dialog->ListView1->setCurrentItem(dialog->ListView1->topLevelItem(0));
    dialog->txtRename->setText("first.swf");
    dialog->txtComment->setText("from the cache");
    dialog->txtSaveAs1->setText(folder + "/");
    const int jobsBefore = JobCount;
    QTest::mouseClick(dialog->cmdSave, Qt::LeftButton);
    QMessageBox* done = ShownBox("msgSave", 20000);
    ASSERT_TRUE(done);
    const QString target = folder + "/first.swf";
    EXPECT_EQ(done->text(), "Save Flash Catoon File :\r\n" + nginx.Url("/games/one.swf") +
                                "\r\nto \r\n" + target + "\r\nsucceed .");
    done->button(QMessageBox::Ok)->click();
    ASSERT_EQ(JobCount, jobsBefore + 1);
    const JobRecord& job = Jobs[static_cast<size_t>(JobCount)];
    EXPECT_EQ(job.State, 4);
    EXPECT_EQ(job.LocalFile, target);
    EXPECT_EQ(job.Url, nginx.Url("/games/one.swf"));
    EXPECT_EQ(job.Comment, "from the cache");
    EXPECT_EQ(job.FileSize, Movie(1).size());
    EXPECT_EQ(job.Received, Movie(1).size());
    EXPECT_EQ(TestEnv::ReadFile(target), Movie(1));
    EXPECT_EQ(dialog->ListView1->topLevelItemCount(), 2);
    // nginx saw the page's own request for it and no other.
    EXPECT_EQ(TestEnv::ReadFile(logs + "/access.log").count("GET /games/one.swf "), 1);

    // A movie the browser never loaded: the question, and Yes opens the new-job dialog with it.
    dialog->ListView1->setCurrentItem(dialog->ListView1->topLevelItem(1));
    ASSERT_EQ(dialog->ListView1->currentItem()->text(0), nginx.Url("/games/three.swf"));
    QTest::mouseClick(dialog->cmdSave, Qt::LeftButton);
    QMessageBox* ask = ShownBox("msgDownload", 20000);
    ASSERT_TRUE(ask);
    EXPECT_EQ(ask->text(),
              "Flash catoon file has not downloaded completely by IE , do you want to use "
              "Quorvanta to download it ?");
    ask->button(QMessageBox::Yes)->click();
    frmNewDown1* newJob = nullptr;
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            newJob = window.NewJobs()->Loaded();
            return newJob && newJob->isVisible();
        },
        10000));
    EXPECT_EQ(newJob->txtUrl->text(), nginx.Url("/games/three.swf"));
    EXPECT_EQ(newJob->txtRef->text(), page);
    EXPECT_EQ(dialog->ListView1->topLevelItemCount(), 1);
    newJob->reject();
    TestEnv::Settle();
    dialog->close();
}
