// The real program as a user starts it: first start, second start, ending by signal.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QThread>
#include <memory>

#include "common/NginxServer.h"
#include "common/TestEnv.h"

namespace {

struct Program {
    QString home;
    QProcessEnvironment env;
    QProcess process;

    explicit Program(QString dir = TestEnv::NewDir("prog")) : home(std::move(dir)) {
        env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_DATA_HOME", home + "/data");
        env.insert("XDG_CONFIG_HOME", home + "/config");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
    }
    QString Db() const { return home + "/data/quorvanta/default.qvb"; }
    QString Ini() const { return home + "/data/quorvanta/set.ini"; }
    bool Start() {
        process.start(QV_PROGRAM, {});
        return process.waitForStarted(10000);
    }
    // Waits until the program has written its database on first start.
    bool WaitForFile(const QString& path, int ms = 20000) {
        return TestEnv::WaitFor([&] { return QFile::exists(path); }, ms, 50);
    }
    bool Running() const { return process.state() == QProcess::Running; }
    // SIGTERM; true when the program then ended by itself with code 0 within ms.
    bool TerminateEndsWithZero(int ms = 5000) {
        process.terminate();
        return process.waitForFinished(ms) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }
    // Every entry of the data folder (pipes included), as "a b c".
    std::string DataFiles() const {
        return QDir(home + "/data/quorvanta")
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)
            .join(u' ')
            .toStdString();
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

}  // namespace

TEST(Program, FirstStartCreatesFilesAndSigtermSavesAndEnds) {
    Program p;
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitForFile(p.Db()));
    EXPECT_TRUE(QDir(p.home + "/mydown").exists());
    // Both files are written on every start (read here once the start has written them): the
    // settings in the writer's order, the browser context-menu keys pointing at the program's
    // folder.
    QString ini, reg;
    TestEnv::WaitFor([&] {
        ini = QString::fromUtf8(TestEnv::ReadFile(p.Ini()));
        reg = QString::fromUtf8(TestEnv::ReadFile(p.home + "/config/quorvanta/registry.ini"));
        return ini.contains("[Other]") && ini.contains("Useragent=") &&
               reg.contains("Using Quorvanta to search") && reg.contains("/qv_url.htm");
    });
    const qsizetype general = ini.indexOf("[General]"), proxy = ini.indexOf("[Proxy]"),
                    other = ini.indexOf("[Other]");
    EXPECT_TRUE(general >= 0 && general < proxy && proxy < other) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Useragent=Quorvanta 1.0")) << ini.toStdString();
    EXPECT_TRUE(reg.contains("Using Quorvanta to download")) << reg.toStdString();
    EXPECT_TRUE(reg.contains("Using Quorvanta to search")) << reg.toStdString();
    EXPECT_TRUE(reg.contains("/qv_url.htm")) << reg.toStdString();
    const QByteArray first = TestEnv::ReadFile(p.Db());

    // A second start hands over to the first one and ends at once without touching any file.
    QFile::remove(p.Db());
    QProcess second;
    second.setProcessEnvironment(p.env);
    second.start(QV_PROGRAM, {});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(p.Db()));

    // SIGTERM runs the close step: the database is written again, the program ends.
    p.process.terminate();
    ASSERT_TRUE(p.process.waitForFinished(15000));
    EXPECT_EQ(p.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.process.exitCode(), 0);
    ASSERT_TRUE(QFile::exists(p.Db()));
    EXPECT_EQ(TestEnv::ReadFile(p.Db()), first);

    // A restart loads and, ended the same way, writes the same bytes.
    Program again(p.home);
    ASSERT_TRUE(again.Start());
    QThread::msleep(1500);
    again.process.terminate();
    ASSERT_TRUE(again.process.waitForFinished(15000));
    EXPECT_EQ(TestEnv::ReadFile(p.Db()), first);
}

TEST(Program, UnreadableDatabaseIsToldThenNeverReplaced) {
    // Each a default.qvb that exists but cannot be read: a link into a disk that is not mounted,
    // a folder, a named pipe (opening it would wait for a writer) and, where permissions count, a
    // file nobody may read.
    std::vector<std::unique_ptr<Program>> runs;
    auto make = [&runs](auto create) {
        auto p = std::make_unique<Program>();
        QDir().mkpath(p->home + "/data/quorvanta");
        create(p->Db());
        runs.push_back(std::move(p));
    };
    const QString unmounted = TestEnv::NewDir("media") + "/disk/default.qvb";
    make([&unmounted](const QString& db) { ASSERT_TRUE(QFile::link(unmounted, db)); });
    make([](const QString& db) { QDir().mkpath(db + "/inside"); });
    make([](const QString& db) { ASSERT_EQ(::mkfifo(QFile::encodeName(db), 0600), 0); });
    const bool permissionsCount = ::geteuid() != 0;
    if (permissionsCount)
        make([](const QString& db) {
            ASSERT_TRUE(TestEnv::WriteFile(db, "all the jobs"));
            ASSERT_TRUE(QFile::setPermissions(db, {}));
        });
    for (auto& p : runs) ASSERT_TRUE(p->Start());
    QThread::msleep(1000);
    for (auto& p : runs) {
        // The program runs (showing its message), and a SIGTERM then ends it cleanly ...
        EXPECT_TRUE(p->Running());
        EXPECT_TRUE(p->TerminateEndsWithZero()) << p->process.readAllStandardError().toStdString();
        // ... without replacing the file or leaving a copy or a temporary file beside it.
        EXPECT_EQ(p->DataFiles(), "default.qvb set.ini");
    }
    EXPECT_EQ(QFileInfo(runs[0]->Db()).symLinkTarget(), unmounted);
    EXPECT_EQ(QDir(runs[1]->Db()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"inside"}));
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(runs[2]->Db()), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    if (permissionsCount) {
        QFile::setPermissions(runs[3]->Db(), QFile::ReadOwner | QFile::WriteOwner);
        EXPECT_EQ(TestEnv::ReadFile(runs[3]->Db()), "all the jobs");
    }
}

TEST(Program, SigtermWhileTheDamagedDatabaseMessageIsOpenSavesWhatWasLoaded) {
    Program first;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.WaitForFile(first.Db()));
    ASSERT_TRUE(first.TerminateEndsWithZero());
    const QByteArray whole = TestEnv::ReadFile(first.Db());
    // Cut inside the terminator record: every category is read, the end is missing.
    const QByteArray cut = whole.left(whole.size() - 10);
    ASSERT_TRUE(TestEnv::WriteFile(first.Db(), cut));

    Program again(first.home);
    ASSERT_TRUE(again.Start());
    // The damaged file is kept aside just before the message opens.
    ASSERT_TRUE(again.WaitForFile(first.Db() + ".bad"));
    QThread::msleep(400);
    ASSERT_TRUE(again.Running());
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(again.TerminateEndsWithZero());
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(TestEnv::ReadFile(first.Db()), whole);
    EXPECT_EQ(TestEnv::ReadFile(first.Db() + ".bad"), cut);
}

TEST(Program, ThreeStartsAtTheSameMomentLeaveExactlyOneRunning) {
    Program first;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.WaitForFile(first.Db()));
    ASSERT_TRUE(first.TerminateEndsWithZero());
    const QByteArray db = TestEnv::ReadFile(first.Db());
    const std::string files = first.DataFiles();

    std::vector<std::unique_ptr<Program>> starts;
    for (int i = 0; i < 3; ++i) starts.push_back(std::make_unique<Program>(first.home));
    for (auto& p : starts) p->process.start(QV_PROGRAM, {});
    // The later ones hand over and end at once; one keeps running.
    auto count = [&starts](QProcess::ProcessState state) {
        int n = 0;
        for (auto& p : starts) n += p->process.state() == state ? 1 : 0;
        return n;
    };
    auto running = [&count] { return count(QProcess::Running); };
    EXPECT_TRUE(TestEnv::WaitFor([&] { return count(QProcess::NotRunning) >= 2; }, 5000));
    TestEnv::NothingWithin(500);
    ASSERT_EQ(running(), 1);
    for (auto& p : starts) {
        if (p->Running()) continue;
        EXPECT_EQ(p->process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->process.exitCode(), 0);
    }
    EXPECT_EQ(first.DataFiles(), files);
    EXPECT_EQ(TestEnv::ReadFile(first.Db()), db);
    for (auto& p : starts) {
        if (p->Running()) {
            EXPECT_TRUE(p->TerminateEndsWithZero());
        }
    }
    EXPECT_EQ(TestEnv::ReadFile(first.Db()), db);
}

namespace {

// An X server of the test's own, and keys typed into it as a user types them.
struct XServer {
    QProcess xvfb;
    QString display;
    bool Start() {
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        if (!xvfb.waitForStarted(5000) || !xvfb.waitForReadyRead(15000)) return false;
        display = ":" + QString::fromLatin1(xvfb.readLine().trimmed());
        return display.size() > 1;
    }
    // Runs xdotool with args; its standard output.
    QString Do(const QStringList& args) const {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        tool.setProcessEnvironment(env);
        tool.start("xdotool", args);
        tool.waitForFinished(20000);
        return QString::fromLatin1(tool.readAllStandardOutput()).trimmed();
    }
    // Focuses the newest visible window named name and types keys into it.
    void TypeInto(const QString& name, const QStringList& keys) const {
        const QString window =
            Do({"search", "--sync", "--onlyvisible", "--name", name}).split('\n').last();
        Do({"windowfocus", "--sync", window});
        for (const QString& k : keys) {
            if (k.startsWith("type:"))
                Do({"type", "--delay", "5", k.mid(5)});
            else
                Do({"key", k});
        }
    }
    ~XServer() {
        xvfb.terminate();
        xvfb.waitForFinished(3000);
    }
};

}  // namespace

// A 1024x768 screen under a window manager, the main window's place saved partly off it and
// larger than it: the main and the floating window open wholly on the screen, frames included.
TEST(Program, WindowsOpenWhollyOnASmallScreenUnderAWindowManager) {
    for (const char* tool : {"Xvfb", "xdotool", "openbox", "xprop", "xwininfo"})
        if (TestEnv::Installed(tool).isEmpty()) QV_SKIP_OR_FAIL(tool << " is not installed");
    XServer x;
    ASSERT_TRUE(x.Start());
    Program p;
    p.env.insert("DISPLAY", x.display);
    p.env.insert("QT_QPA_PLATFORM", "xcb");
    p.env.insert("XDG_RUNTIME_DIR", TestEnv::ProgramEnvironment().value("XDG_RUNTIME_DIR"));
    p.process.setProcessChannelMode(QProcess::MergedChannels);
    QProcess wm;
    wm.setProcessEnvironment(p.env);
    wm.start("openbox", {"--sm-disable"});
    ASSERT_TRUE(wm.waitForStarted(5000));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(p.Ini()).path()));
    ASSERT_TRUE(TestEnv::WriteFile(p.Ini(),
                                   "[Window]\r\nMainLeft=-1\r\nMainTop=-20\r\n"
                                   "MainWidth=1100\r\nMainHeight=720\r\n"));
    p.process.setProcessEnvironment(p.env);
    // The display answers before the program comes; a start that found no display (a busy
    // machine) is made once more.
    ASSERT_TRUE(TestEnv::WaitFor([&] { return !x.Do({"getdisplaygeometry"}).isEmpty(); }, 10000));
    ASSERT_TRUE(p.Start());
    if (p.process.waitForFinished(3000)) {
        ASSERT_TRUE(p.Start());
    }
    // Left, top, right and bottom of the window with its frame, from the X server.
    auto framed = [&](const QString& name) {
        const QString id =
            x.Do({"search", "--onlyvisible", "--name", "^" + name + "$"}).section('\n', 0, 0);
        if (id.isEmpty()) return QRect();
        auto tool = [&](const QString& name, const QStringList& args) {
            QProcess t;
            t.setProcessEnvironment(p.env);
            t.start(name, args);
            t.waitForFinished(5000);
            return QString::fromLatin1(t.readAll());
        };
        QRect r;
        for (const QString& line : tool("xwininfo", {"-id", id}).split('\n')) {
            const int v = line.section(':', 1).trimmed().toInt();
            if (line.contains("Absolute upper-left X:")) r.moveLeft(v);
            if (line.contains("Absolute upper-left Y:")) r.moveTop(v);
            if (line.trimmed().startsWith("Width:")) r.setWidth(v);
            if (line.trimmed().startsWith("Height:")) r.setHeight(v);
        }
        const QStringList e =
            tool("xprop", {"-id", id, "_NET_FRAME_EXTENTS"}).section('=', 1).split(',');
        if (e.size() == 4) r.adjust(-e[0].toInt(), -e[2].toInt(), e[1].toInt(), e[3].toInt());
        return r;
    };
    const QRect screen(0, 0, 1024, 768);
    QRect main, top;
    EXPECT_TRUE(TestEnv::WaitFor(
        [&] {
            main = framed("Quorvanta");
            top = framed("Top Window");
            return main.isValid() && top.isValid() && screen.contains(main) && screen.contains(top);
        },
        40000, 200))
        << "main " << main.x() << "," << main.y() << " " << main.width() << "x" << main.height()
        << ", top " << top.x() << "," << top.y() << "\n"
        << p.process.readAll().toStdString();
    wm.kill();
    wm.waitForFinished(3000);
}

// With "Exit Quorvanta when done downloading" the program, its downloads done, ends after its
// message; Cancel in the message keeps it. Driven as a user drives it: Ctrl+N, the URL, Enter.
TEST(Program, DoneExitEndsTheProgramAfterItsMessageAndCancelKeepsIt) {
    NginxServer nginx;
    ASSERT_TRUE(nginx.Started());
    ASSERT_TRUE(nginx.Put("one.swf", TestEnv::RandomBytes(20000, 1)));
    ASSERT_TRUE(nginx.Put("two.swf", TestEnv::RandomBytes(20000, 2)));
    XServer x;
    ASSERT_TRUE(x.Start());
    Program p;
    ASSERT_TRUE(QDir().mkpath(p.home + "/data/quorvanta"));
    ASSERT_TRUE(TestEnv::WriteFile(p.Ini(), "[Other]\r\nDoneExit=1\r\n"));
    p.env.insert("QT_QPA_PLATFORM", "xcb");
    p.env.insert("DISPLAY", x.display);
    // On a real X display the desktop libraries (D-Bus, input method plugins that are unloaded
    // before the end) keep allocations to the end of the process; in a sanitizer build their
    // leak report would fail this test for memory that is not the program's. The other program
    // tests run on the offscreen platform with leak checking on.
    const QString asan = p.env.value("ASAN_OPTIONS");
    if (!asan.isEmpty()) p.env.insert("ASAN_OPTIONS", asan + ":detect_leaks=0");
    p.process.setProcessEnvironment(p.env);
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.WaitForFile(p.Db()));

    auto download = [&](const QString& name) {
        x.TypeInto("^Quorvanta$", {"ctrl+n"});
        x.TypeInto("^Add New Job$", {"type:" + nginx.Url("/" + name), "Return"});
        return p.WaitForFile(p.home + "/mydown/" + name);
    };
    ASSERT_TRUE(download("one.swf"));
    // The message counts down from ten seconds; Cancel (Escape) keeps the program.
    QThread::msleep(1500);
    x.Do({"key", "Escape"});
    EXPECT_FALSE(p.process.waitForFinished(12000));
    ASSERT_TRUE(p.Running());

    ASSERT_TRUE(download("two.swf"));
    QElapsedTimer shown;
    shown.start();
    ASSERT_TRUE(p.process.waitForFinished(20000));
    EXPECT_GE(shown.elapsed(), 8500);  // not before the message has counted down
    EXPECT_EQ(p.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.process.exitCode(), 0);
    // Ended as Exit ends it: both jobs saved complete.
    const QByteArray db = TestEnv::ReadFile(p.Db());
    EXPECT_TRUE(db.contains("one.swf") && db.contains("two.swf"));
}
