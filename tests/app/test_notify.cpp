// The real program tells the desktop about finished and failed jobs and the end of the queue:
// on a private session bus a stand-in notification server takes the calls, and dbus-monitor sees
// them pass.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <mutex>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "newjob/frmNewDown1.h"
#include "store/Globals.h"
#include "store/JobDbSaver.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/frmMain.h"

namespace {

// org.freedesktop.Notifications as a desktop offers it: with actions; every Notify is kept.
class StandInNotifications : public QDBusVirtualObject {
public:
    struct Call {
        QString Summary;
        QString Body;
        QStringList Actions;
        uint Id = 0;
    };
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == "GetCapabilities") {
            connection.send(message.createReply(QStringList{"actions", "body"}));
            return true;
        }
        if (message.member() != "Notify") return false;
        const QVariantList a = message.arguments();
        std::lock_guard<std::mutex> lock(mutex);
        const uint id = uint(calls.size()) + 7;
        if (a.size() == 8)
            calls.push_back({a[3].toString(), a[4].toString(), a[5].toStringList(), id});
        connection.send(message.createReply(id));
        return true;
    }
    QString introspect(const QString&) const override { return QString(); }
    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }

private:
    std::mutex mutex;
    std::vector<Call> calls;
};

struct Ended {
    QProcess& p;
    ~Ended() {
        if (p.state() == QProcess::NotRunning) return;
        p.kill();
        p.waitForFinished(5000);
    }
};

}  // namespace

TEST(Notifications, FinishedAndFailedJobsAndTheEndOfTheQueueAreAnnounced) {
    const QString home = TestEnv::IsolateHome();
    ClearJobs();
    NginxServer nginx;
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    ASSERT_TRUE(nginx.Put("clip.swf", TestEnv::RandomBytes(200000, 3)));
    const QString folder = TestEnv::NewDir("movies") + "/";

    // Two jobs wait in the saved database: one the server has, one it has not.
    {
        auto w = std::make_unique<frmMain>();
        w->Load();
        Settings.Maxjobs = 0;
        for (const char* name : {"/clip.swf", "/missing.swf"}) {
            frmNewDown1* dialog = frmNewDown1::Open(1);
            ASSERT_TRUE(dialog);
            dialog->findChild<QLineEdit*>("txtUrl")->setText(nginx.Url(name));
            dialog->findChild<QLineEdit*>("txtSaveAs1")->setText(folder);
            dialog->findChild<QPushButton*>("cmdNewJobOk")->click();
        }
        ASSERT_EQ(JobCount, 2);
        ASSERT_TRUE(w->Saver()->SaveNow());
    }
    ClearJobs();

    QProcess daemon;
    Ended daemonEnded{daemon};
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1",
                                 "--address=unix:dir=" + TestEnv::NewDir("bus")});
    ASSERT_TRUE(daemon.waitForStarted(5000));
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine().trimmed());
    ASSERT_FALSE(address.isEmpty());
    QDBusConnection bus = QDBusConnection::connectToBus(address, "notifications");
    ASSERT_TRUE(bus.isConnected());
    ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications"));
    StandInNotifications server;
    ASSERT_TRUE(bus.registerVirtualObject("/org/freedesktop/Notifications", &server));
    QProcess monitor;
    Ended monitorEnded{monitor};
    monitor.start("dbus-monitor",
                  {"--address", address, "interface='org.freedesktop.Notifications'"});
    ASSERT_TRUE(monitor.waitForStarted(5000));
    ASSERT_TRUE(monitor.waitForReadyRead(5000));  // it says when it has begun to watch

    // On an X display of its own, where the program hands what it opens to xdg-open (the
    // offscreen platform opens nothing).
    QProcess xvfb;
    Ended xvfbEnded{xvfb};
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(xvfb.waitForStarted(5000) && xvfb.waitForReadyRead(15000));
    const QString display = ":" + QString::fromLatin1(xvfb.readLine().trimmed());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", display);
    // The desktop libraries keep allocations to the end on a real display (see test_program).
    if (const QString asan = env.value("ASAN_OPTIONS"); !asan.isEmpty())
        env.insert("ASAN_OPTIONS", asan + ":detect_leaks=0");
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    // What the desktop is asked to open is written down instead of opened.
    const QString bin = TestEnv::NewDir("bin");
    const QString opened = bin + "/opened.txt";
    ASSERT_TRUE(TestEnv::WriteFile(bin + "/xdg-open",
                                   "#!/bin/sh\necho \"$@\" >> " + opened.toUtf8() + "\n"));
    QFile::setPermissions(bin + "/xdg-open", QFile::ReadOwner | QFile::ExeOwner);
    env.insert("PATH", bin + ":" + env.value("PATH"));
    const QString runtime = home + "/run";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", runtime);
    QProcess program;
    Ended programEnded{program};
    program.setProcessEnvironment(env);
    program.start(QV_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(TestEnv::WaitFor([&] { return server.Calls().size() >= 3; }, 30000))
        << server.Calls().size() << " notifications";
    QTest::qWait(500);
    const std::vector<StandInNotifications::Call> calls = server.Calls();
    ASSERT_EQ(calls.size(), 3u);

    auto find = [&](const QString& start) -> const StandInNotifications::Call* {
        for (const auto& c : calls)
            if (c.Summary.startsWith(start)) return &c;
        return nullptr;
    };
    const auto* done = find("Download complete: clip.swf");
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->Body, "195.3 KB saved as " + folder + "clip.swf");
    EXPECT_EQ(done->Actions, QStringList({"open", "Open", "open-folder", "Open Folder"}));
    const auto* failed = find("Download failed: missing.swf");
    ASSERT_NE(failed, nullptr);
    const QStringList lines = failed->Body.split('\n');
    ASSERT_EQ(lines.size(), 2) << failed->Body.toStdString();
    EXPECT_FALSE(lines[0].isEmpty());  // the reason
    EXPECT_EQ(lines[1], nginx.Url("/missing.swf"));
    EXPECT_TRUE(failed->Actions.isEmpty());
    const auto* queue = find("All downloads are done");
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(queue->Body, "1 finished, 1 failed");

    // The calls crossed the bus as any desktop would see them.
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            monitor.waitForReadyRead(100);
            const QByteArray seen = monitor.peek(1 << 20);
            return seen.count("member=Notify") == 3 && seen.contains("Download complete: clip.swf");
        },
        5000))
        << monitor.peek(4000).toStdString();

    // The notification's "Open Folder" button opens the job's folder.
    QDBusMessage clicked = QDBusMessage::createSignal(
        "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
    clicked << done->Id << QString("open-folder");
    ASSERT_TRUE(bus.send(clicked));
    EXPECT_TRUE(TestEnv::WaitFor(
        [&] { return TestEnv::ReadFile(opened).contains(QFile::encodeName(folder.chopped(1))); },
        5000))
        << TestEnv::ReadFile(opened).toStdString();

    program.terminate();
    EXPECT_TRUE(program.waitForFinished(15000));
    bus.unregisterObject("/org/freedesktop/Notifications");
    QDBusConnection::disconnectFromBus("notifications");
}
