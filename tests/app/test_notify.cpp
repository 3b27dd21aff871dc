// The real program announces finished and failed jobs and the end of the queue on a private
// session bus: a stand-in notification server takes the calls, dbus-monitor sees them pass, and
// the "Open Folder" button of the finished job opens its folder.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <mutex>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "store/JobDbSaver.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/frmMain.h"

namespace {

// org.freedesktop.Notifications with actions; each Notify kept as "id|summary|body|actions".
class StandInServer : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (m.member() == "GetCapabilities") return bus.send(m.createReply(QStringList{"actions"}));
        if (m.member() != "Notify" || m.arguments().size() != 8) return false;
        const QVariantList a = m.arguments();
        calls << QString("%1|%2|%3|%4")
                     .arg(calls.size() + 7)
                     .arg(a[3].toString(), a[4].toString(), a[5].toStringList().join(','));
        return bus.send(m.createReply(uint(calls.size() + 6)));
    }
    QString introspect(const QString&) const override { return QString(); }
    QStringList Calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }

private:
    std::mutex mutex;
    QStringList calls;
};

struct Started : QProcess {
    Started(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
        setProcessEnvironment(env);
        start(program, args);
    }
    ~Started() override {
        kill();
        waitForFinished(5000);
    }
};

}  // namespace

TEST(Notifications, FinishedAndFailedJobsAndTheEndOfTheQueueAreAnnounced) {
    const QString home = TestEnv::IsolateHome();
    NginxServer nginx;
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    for (const char* name : {"clip.swf", "clip2.swf", "clip3.swf"})
        ASSERT_TRUE(nginx.Put(name, TestEnv::RandomBytes(200000, 3)));
    const QString folder = TestEnv::NewDir("movies");
    {  // Four jobs wait in the saved database: three the server has, one it has not.
        ClearJobs();
        frmMain w;
        w.Load();
        Settings.Maxjobs = 0;
        for (const char* name : {"/clip.swf", "/missing.swf", "/clip2.swf", "/clip3.swf"}) {
            frmNewDown1* dialog = w.NewJobs()->Open(ModeSingleFile);
            dialog->findChild<QLineEdit*>("txtUrl")->setText(nginx.Url(name));
            dialog->findChild<QLineEdit*>("txtSaveAs1")->setText(folder + "/");
            dialog->findChild<QPushButton*>("cmdNewJobOk")->click();
        }
        ASSERT_EQ(JobCount, 4);
        ASSERT_TRUE(w.Saver()->SaveNow());
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    Started daemon("dbus-daemon",
                   {"--session", "--nofork", "--print-address=1",
                    "--address=unix:dir=" + TestEnv::NewDir("bus")},
                   env);
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine().trimmed());
    QDBusConnection bus = QDBusConnection::connectToBus(address, "notifications");
    ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications"));
    StandInServer server;
    ASSERT_TRUE(bus.registerVirtualObject("/org/freedesktop/Notifications", &server));
    Started monitor("dbus-monitor",
                    {"--address", address, "interface='org.freedesktop.Notifications'"}, env);
    ASSERT_TRUE(monitor.waitForReadyRead(5000));  // it tells when it watches
    // On an X display of its own (the offscreen platform opens nothing), and what the program
    // opens is written down by a stand-in xdg-open.
    Started xvfb("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"}, env);
    ASSERT_TRUE(xvfb.waitForReadyRead(15000));
    const QString bin = TestEnv::NewDir("bin");
    ASSERT_TRUE(TestEnv::WriteFile(
        bin + "/xdg-open", "#!/bin/sh\necho \"$@\" >> " + QFile::encodeName(bin) + "/log\n"));
    QFile::setPermissions(bin + "/xdg-open", QFile::ReadOwner | QFile::ExeOwner);
    env.insert("PATH", bin + ":" + env.value("PATH"));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", ":" + QString::fromLatin1(xvfb.readLine().trimmed()));
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    env.insert("XDG_RUNTIME_DIR", TestEnv::NewDir("run"));
    // Desktop libraries keep allocations to the end on a real display (see test_program).
    if (const QString asan = env.value("ASAN_OPTIONS"); !asan.isEmpty())
        env.insert("ASAN_OPTIONS", asan + ":detect_leaks=0");
    QFile::setPermissions(env.value("XDG_RUNTIME_DIR"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Started program(QV_PROGRAM, {}, env);

    ASSERT_TRUE(TestEnv::WaitFor([&] { return server.Calls().size() >= 3; }, 30000))
        << server.Calls().join('\n').toStdString();
    QStringList calls = server.Calls();
    calls.sort();  // ids in the order sent; the two jobs may end either way round
    ASSERT_EQ(calls.size(), 3);
    // The three that finished together are one notice naming the saved files.
    const QString complete = calls.filter("|3 downloads finished|").value(0);
    for (const char* name : {"/clip.swf", "/clip2.swf", "/clip3.swf"})
        EXPECT_TRUE(complete.contains(folder + name)) << complete.toStdString();
    EXPECT_TRUE(complete.endsWith("|open-folder,Open Folder")) << complete.toStdString();
    const QString failed = calls.filter("|Download failed: missing.swf|").value(0);
    // A reason, the URL, no buttons.
    EXPECT_FALSE(failed.section('|', 2, 2).section('\n', 0, 0).isEmpty()) << failed.toStdString();
    EXPECT_TRUE(failed.endsWith("\n" + nginx.Url("/missing.swf") + "|")) << failed.toStdString();
    EXPECT_TRUE(calls.last().endsWith("|All downloads are done|3 finished, 1 failed|"))
        << calls.last().toStdString();
    ASSERT_TRUE(TestEnv::WaitFor([&] {
        monitor.waitForReadyRead(100);
        return monitor.peek(1 << 20).count("member=Notify") == 3;
    }));

    // The button: the server reports it with the notification's id.
    QDBusMessage clicked = QDBusMessage::createSignal(
        "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
    ASSERT_TRUE(bus.send(clicked << complete.section('|', 0, 0).toUInt() << "open-folder"));
    EXPECT_TRUE(TestEnv::WaitFor(
        [&] { return TestEnv::ReadFile(bin + "/log").contains(QFile::encodeName(folder)); }, 5000));
    bus.unregisterObject("/org/freedesktop/Notifications");
    QDBusConnection::disconnectFromBus("notifications");
}
