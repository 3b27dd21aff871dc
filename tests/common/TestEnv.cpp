#include "common/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include "store/Globals.h"

namespace TestEnv {

QString& RootRef() {
    static QString root;
    return root;
}

QString Root() {
    return RootRef();
}

QString NewDir(const QString& name) {
    const QString dir = Root() + "/" + (name.isEmpty() ? QString() : name + "-") +
                        QUuid::createUuid().toString(QUuid::Id128).left(12);
    QDir().mkpath(dir);
    return dir;
}

QString IsolateHome() {
    const QString home = NewDir("home");
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/.local/share").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
    QDir().mkpath(home + "/.local/share");
    QDir().mkpath(home + "/.config");
    InitGlobals();
    return home;
}

quint16 FreePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

bool WaitFor(const std::function<bool()>& condition, int ms, int pollMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms) return false;
        QTest::qWait(pollMs);
    }
    return true;
}

void NothingWithin(int ms) {
    QTest::qWait(ms);
}

void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int RunUntilQuit(int ms) {
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    stuck.start(ms);
    return QCoreApplication::exec();
}

QProcessEnvironment ProgramEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const QString runtime = NewDir("run");
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", runtime);
    return env;
}

void EndProcess(QProcess& process, int graceMs) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished(graceMs);
    }
}

QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = seed ? seed : 1;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<char>(x & 0xFF);
    }
    return out;
}

SelfRun RunSelfOnXvfb(const QStringList& args, const char* marker, int ms) {
    SelfRun run;
    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    if (!xvfb.waitForStarted(5000) || !xvfb.waitForReadyRead(15000)) return run;
    const QString display = ":" + QString::fromLatin1(xvfb.readLine().trimmed());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert(marker, display);
    env.remove("WAYLAND_DISPLAY");
    if (env.contains("ASAN_OPTIONS"))
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    QProcess inner;
    inner.setProcessEnvironment(env);
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start(QCoreApplication::applicationFilePath(), args);
    run.started = inner.waitForStarted(5000);
    run.ended = run.started && inner.waitForFinished(ms);
    run.output = inner.readAll();
    if (!run.ended) {
        inner.kill();
        inner.waitForFinished(3000);
    }
    run.exitCode = run.ended && inner.exitStatus() == QProcess::NormalExit ? inner.exitCode() : -1;
    EndProcess(xvfb, 3000);
    return run;
}

bool RequireAll() {
    return qgetenv("QV_REQUIRE_ALL") == "1";
}

QString Installed(const char* program) {
    return QStandardPaths::findExecutable(QString::fromLatin1(program));
}

}  // namespace TestEnv
