#pragma once
// Helpers for the tests that run quorvanta-get as a process: where it is, running it to its end,
// signalling it, the files a folder holds afterwards, and what the kill campaigns share.

#include <signal.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <random>
#include <string>

#include "common/NginxServer.h"
#include "common/TestEnv.h"

namespace ToolTest {

inline QString ToolPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/quorvanta-get");
}

// A file of random bytes at path on a real nginx, and a fresh folder for the tool to fetch it
// into. ASSERT_TRUE(served.Ready()) before use: the tool is built, the server runs, the file is
// there.
struct Served {
    Served(const QString& serverExtra, const QString& path, qsizetype size, quint32 seed,
           const QString& httpExtra = QString())
        : nginx(serverExtra, httpExtra), data(TestEnv::RandomBytes(size, seed)), path(path) {}
    ::testing::AssertionResult Ready() const {
        if (!QFile::exists(ToolPath()))
            return ::testing::AssertionFailure() << ToolPath().toStdString() << " is not built";
        if (!nginx.Started()) return nginx.Started();
        if (!nginx.Put(path, data))
            return ::testing::AssertionFailure() << "cannot serve " << path.toStdString();
        return ::testing::AssertionSuccess();
    }
    NginxServer nginx;
    const QByteArray data;
    const QString path;
    const QString dir = TestEnv::NewDir();
};

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

// Names a stopped run may leave: the partial file, the job file, the lock file, and what a save
// cut short by SIGKILL leaves (the next run removes it).
inline QStringList Unexpected(const QString& dir, const QString& name, bool complete) {
    static const QRegularExpression saveLeftover(QStringLiteral("^.*\\.qvjob\\.[^.]{6}$"));
    QStringList out;
    for (const QString& e : Entries(dir)) {
        if (e == name + "!qv" || e == name + ".qvjob" || e == name + ".qvlock") continue;
        if (complete && e == name) continue;
        if (e.startsWith(name + ".qvjob.") && saveLeftover.match(e).hasMatch()) continue;
        out << e;
    }
    return out;
}

// A run ended the job when it said so: a kill that lands while the tool exits after "Job
// complete." (the file renamed, the record gone) does not undo that.
inline bool EndedComplete(int code, const QString& out) {
    return code == 0 || out.contains(QLatin1String("Job complete."));
}

inline std::string Where(const QByteArray& got, const QByteArray& want) {
    qsizetype i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    return "file has " + std::to_string(got.size()) + " bytes, server has " +
           std::to_string(want.size()) + "; first difference at byte " + std::to_string(i);
}

inline std::string Tail(const QString& text, int chars = 1500) {
    return text.right(chars).toStdString();
}

// The seed of a campaign's random choices: QV_KILL_SEED when set, so a failure can be repeated.
inline quint32 KillSeed() {
    const QByteArray fixed = qgetenv("QV_KILL_SEED");
    return fixed.isEmpty() ? std::random_device{}() : fixed.toUInt();
}

inline std::string SeedNote(quint32 seed) {
    return "seed " + std::to_string(seed) + " (QV_KILL_SEED=" + std::to_string(seed) +
           " repeats the choices)";
}

}  // namespace ToolTest
