#pragma once
// Helpers for the tests that run quorvanta-get as a process: where it is, running it to its end,
// signalling it, and the files a folder holds afterwards.

#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace ToolTest {

inline QString ToolPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/quorvanta-get");
}

struct ToolRun {
    int code = -1;  // -1: crashed or did not end
    QString out;
    QString err;
    qint64 ms = 0;
};

// Waits for the tool's end (killing it past waitMs) and collects what it printed.
inline ToolRun Finish(QProcess& p, int waitMs = 120000) {
    ToolRun r;
    if (!p.waitForFinished(waitMs)) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

inline ToolRun RunTool(const QStringList& args) {
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(ToolPath(), args);
    ToolRun r = Finish(p);
    r.ms = clock.elapsed();
    return r;
}

// Sends sig to the tool while it runs; never to pid 0, which is this test's own process group.
inline bool Signal(QProcess& p, int sig) {
    const qint64 pid = p.processId();
    if (pid <= 0 || p.state() != QProcess::Running) return false;
    return ::kill(static_cast<pid_t>(pid), sig) == 0;
}

// Every file of the folder, hidden ones too, by name.
inline QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace ToolTest
