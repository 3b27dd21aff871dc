// The hand-off library, the native messaging host and the real program as separate processes:
// the library starts the program from its own folder and delivers to it, the host speaks the
// browser's framing, and what cannot be delivered is told, never swallowed.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "common/TestEnv.h"
#include "handoff_lib/quorvanta.h"

namespace {

// The folder libquorvanta.so was loaded from: the program, the host and the extension are there.
QString BinFolder() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&quorvanta_add_url), &info);
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalPath();
}

// A user of its own: fresh home, data, config and runtime folders for this process and the
// programs it starts.
struct User {
    QString home = TestEnv::NewDir("user");
    QString runtime = home + "/run";
    User() {
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_DATA_HOME", (home + "/data").toUtf8());
        qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    }
    ~User() {
        if (pid > 0) Stop();
    }
    QString SocketFolder() const { return runtime + "/quorvanta"; }
    QString Socket() const {
        const QStringList s = QDir(SocketFolder()).entryList({"*.sock"}, QDir::System);
        return s.size() == 1 ? SocketFolder() + "/" + s[0] : QString();
    }
    // The process listening on the program's socket.
    pid_t ListeningPid() const {
        const QByteArray path = QFile::encodeName(Socket());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), path.size() + 1);
        pid_t found = -1;
        ucred peer{};
        socklen_t size = sizeof peer;
        if (!path.isEmpty() &&
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0)
            found = peer.pid;
        ::close(fd);
        return found;
    }
    bool Running() const {
        const QByteArray stat = TestEnv::ReadFile(QStringLiteral("/proc/%1/stat").arg(pid));
        return !stat.isEmpty() && !stat.contains(") Z ");
    }
    // SIGTERM to the program; true when it ended.
    bool Stop() {
        ::kill(pid, SIGTERM);
        TestEnv::WaitFor([this] { return !Running(); }, 10000, 50);
        const bool ended = !Running();
        if (!ended) ::kill(pid, SIGKILL);
        pid = -1;
        return ended;
    }
    pid_t pid = -1;
};

// The native messaging host as the browser runs it.
struct Host {
    QProcess process;
    explicit Host(const QString& program) {
        process.start(program, {});
        process.waitForStarted(10000);
    }
    QJsonObject Send(const QByteArray& json, int timeoutMs = 20000) {
        const quint32 size = static_cast<quint32>(json.size());
        process.write(reinterpret_cast<const char*>(&size), sizeof size);
        process.write(json);
        process.waitForBytesWritten(timeoutMs);
        QByteArray head;
        QElapsedTimer clock;
        clock.start();
        while (process.bytesAvailable() < 4 && clock.elapsed() < timeoutMs)
            process.waitForReadyRead(100);
        head = process.read(4);
        if (head.size() != 4) return {{"timeout", true}};
        quint32 length = 0;
        std::memcpy(&length, head.constData(), 4);
        while (process.bytesAvailable() < length && clock.elapsed() < timeoutMs)
            process.waitForReadyRead(100);
        return QJsonDocument::fromJson(process.read(length)).object();
    }
    QJsonObject Down(const QString& url) {
        return Send(QJsonDocument(QJsonObject{{"command", "down"},
                                              {"url", url},
                                              {"info", "A clip"},
                                              {"ref", "http://127.0.0.1/"}})
                        .toJson(QJsonDocument::Compact));
    }
};

const QJsonObject kOk{{"ok", true}};

QString Target(const QString& fd) {
    return QFileInfo(fd).symLinkTarget();
}

}  // namespace

TEST(Library, StartsTheProgramFromItsFolderThenDeliversToItAndRefusesOtherOwners) {
    User user;
    // Not running: the first call starts the program beside the library and waits for it.
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(quorvanta_add_url("http://127.0.0.1/a.swf", "A clip", "http://127.0.0.1/"), 0)
        << quorvanta_last_error();
    EXPECT_LT(clock.elapsed(), 15000);
    user.pid = user.ListeningPid();
    ASSERT_GT(user.pid, 0);
    EXPECT_EQ(QFileInfo(QStringLiteral("/proc/%1/exe").arg(user.pid)).canonicalFilePath(),
              BinFolder() + "/quorvanta");
    // Started apart from the caller: its standard streams are /dev/null, it is not our child.
    for (int fd = 0; fd <= 2; ++fd)
        EXPECT_EQ(Target(QStringLiteral("/proc/%1/fd/%2").arg(user.pid).arg(fd)), "/dev/null");
    EXPECT_NE(::getpgid(user.pid), ::getpgid(0));

    // The socket is the user's alone.
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(user.SocketFolder()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::lstat(QFile::encodeName(user.Socket()).constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_uid, ::getuid());

    // Running now: the next calls are delivered at once.
    clock.restart();
    EXPECT_EQ(quorvanta_add_search("http://127.0.0.1/page.html"), 0) << quorvanta_last_error();
    EXPECT_EQ(quorvanta_add_all("http://127.0.0.1/b.swf", "", ""), 0) << quorvanta_last_error();
    EXPECT_LT(clock.elapsed(), 3000);

    // The program wrote the host manifests for the three browsers, pointing at the host beside
    // it and allowing the extension beside it, whose fixed key gives the allowed id.
    const QJsonObject chromium =
        QJsonDocument::fromJson(
            TestEnv::ReadFile(user.home + "/config/chromium/NativeMessagingHosts/quorvanta.json"))
            .object();
    const QJsonObject chrome =
        QJsonDocument::fromJson(
            TestEnv::ReadFile(user.home +
                              "/config/google-chrome/NativeMessagingHosts/quorvanta.json"))
            .object();
    const QJsonObject firefox =
        QJsonDocument::fromJson(
            TestEnv::ReadFile(user.home + "/.mozilla/native-messaging-hosts/quorvanta.json"))
            .object();
    const QJsonObject extension =
        QJsonDocument::fromJson(TestEnv::ReadFile(BinFolder() + "/extension/manifest.json"))
            .object();
    QString id;
    for (const char c :
         QCryptographicHash::hash(QByteArray::fromBase64(extension["key"].toString().toLatin1()),
                                  QCryptographicHash::Sha256)
             .toHex()
             .left(32))
        id += QChar(u'a' + QByteArray(1, c).toInt(nullptr, 16));
    for (const QJsonObject& m : {chromium, chrome, firefox}) {
        EXPECT_EQ(m["name"].toString(), "quorvanta");
        EXPECT_EQ(m["type"].toString(), "stdio");
        EXPECT_EQ(m["path"].toString(), BinFolder() + "/quorvanta-host");
    }
    EXPECT_EQ(chromium["allowed_origins"].toArray(), QJsonArray{"chrome-extension://" + id + "/"});
    EXPECT_EQ(chrome["allowed_origins"], chromium["allowed_origins"]);
    EXPECT_EQ(firefox["allowed_extensions"].toArray(),
              QJsonArray{extension["browser_specific_settings"]["gecko"]["id"]});

    // A folder others may enter, or a socket of another owner, is refused.
    const QByteArray folder = QFile::encodeName(user.SocketFolder());
    ASSERT_EQ(::chmod(folder.constData(), 0755), 0);
    EXPECT_EQ(quorvanta_add_url("http://127.0.0.1/c.swf", "", ""), QUORVANTA_E_UNSAFE);
    EXPECT_NE(std::string(quorvanta_last_error()).find("refusing"), std::string::npos);
    ASSERT_EQ(::chmod(folder.constData(), 0700), 0);
    if (::geteuid() == 0) {
        const QByteArray socket = QFile::encodeName(user.Socket());
        ASSERT_EQ(::lchown(socket.constData(), 65534, 65534), 0);
        EXPECT_EQ(quorvanta_add_url("http://127.0.0.1/c.swf", "", ""), QUORVANTA_E_UNSAFE);
        ASSERT_EQ(::lchown(socket.constData(), 0, 0), 0);
    }
    EXPECT_EQ(quorvanta_add_url("http://127.0.0.1/c.swf", "", ""), 0) << quorvanta_last_error();

    // Ended, the program takes its socket away.
    const QString socket = user.Socket();
    EXPECT_TRUE(user.Stop());
    EXPECT_FALSE(QFileInfo::exists(socket));

    // A program that was killed leaves its socket behind: the next call starts a new one, which
    // takes the place over.
    ASSERT_EQ(quorvanta_add_url("http://127.0.0.1/d.swf", "", ""), 0) << quorvanta_last_error();
    const pid_t first = user.ListeningPid();
    ASSERT_GT(first, 0);
    ::kill(first, SIGKILL);
    user.pid = first;
    TestEnv::WaitFor([&] { return !user.Running(); }, 5000, 50);
    ASSERT_TRUE(QFileInfo::exists(socket));
    EXPECT_EQ(quorvanta_add_url("http://127.0.0.1/e.swf", "", ""), 0) << quorvanta_last_error();
    user.pid = user.ListeningPid();
    EXPECT_GT(user.pid, 0);
    EXPECT_NE(user.pid, first);
}

TEST(Host, FramedMessagesInFramedAnswersOut) {
    User user;
    Host host(BinFolder() + "/quorvanta-host");
    ASSERT_EQ(host.process.state(), QProcess::Running);
    // The first message starts the program through the library.
    EXPECT_EQ(host.Down("http://127.0.0.1/a.swf"), kOk);
    user.pid = user.ListeningPid();
    ASSERT_GT(user.pid, 0);
    // The program keeps none of the host's pipes to the browser.
    for (int fd = 0; fd <= 2; ++fd)
        EXPECT_EQ(Target(QStringLiteral("/proc/%1/fd/%2").arg(user.pid).arg(fd)), "/dev/null");

    auto error = [](const QJsonObject& answer) {
        EXPECT_EQ(answer["ok"], QJsonValue(false));
        EXPECT_EQ(answer.size(), 2);
        return answer["error"].toString().toStdString();
    };
    EXPECT_NE(error(host.Send("{\"command\": \"down\", \"url\": ")).find("not JSON"),
              std::string::npos);
    EXPECT_NE(error(host.Send("[1, 2]")).find("not a JSON object"), std::string::npos);
    EXPECT_NE(error(host.Send(R"({"command": "upload", "url": "http://127.0.0.1/"})"))
                  .find("unknown command"),
              std::string::npos);
    EXPECT_NE(error(host.Send(R"({"command": "down", "info": "no url"})")).find("no URL"),
              std::string::npos);
    EXPECT_NE(error(host.Send(R"({"command": "down", "url": 5})")).find("not a string"),
              std::string::npos);
    // Too long for the program: the library's refusal reaches the browser.
    EXPECT_NE(error(host.Down(QString(70000, u'x'))).find("65536"), std::string::npos);
    // Longer than the host reads: refused, and the stream stays in step.
    EXPECT_NE(error(host.Send(QByteArray(2 * 1024 * 1024, ' '))).find("1 MiB"), std::string::npos);
    EXPECT_EQ(host.Send(R"({"command": "search", "url": "http://127.0.0.1/p.html"})"), kOk);
    EXPECT_EQ(user.ListeningPid(), user.pid);

    // The browser closes the connection: the host ends; the program goes on.
    host.process.closeWriteChannel();
    ASSERT_TRUE(host.process.waitForFinished(5000));
    EXPECT_EQ(host.process.exitCode(), 0);
    EXPECT_TRUE(user.Running());
}

TEST(Host, TellsWhenTheProgramCannotStartOrNeverListens) {
    User user;
    // The host and library alone in a folder of their own.
    const QString folder = TestEnv::NewDir("alone");
    ASSERT_TRUE(QFile::copy(BinFolder() + "/quorvanta-host", folder + "/quorvanta-host"));
    ASSERT_TRUE(QFile::copy(BinFolder() + "/libquorvanta.so", folder + "/libquorvanta.so"));
    Host host(folder + "/quorvanta-host");
    QElapsedTimer clock;
    clock.start();
    QJsonObject answer = host.Down("http://127.0.0.1/a.swf");
    EXPECT_EQ(answer["ok"], QJsonValue(false));
    EXPECT_NE(answer["error"].toString().indexOf("cannot start " + folder + "/quorvanta"), -1)
        << answer["error"].toString().toStdString();
    EXPECT_LT(clock.elapsed(), 3000);

    // A program that starts but never listens: given up after the 15 seconds.
    ASSERT_TRUE(TestEnv::WriteFile(folder + "/quorvanta",
                                   "#!/bin/sh\necho $$ > \"$(dirname \"$0\")/started\"\n"
                                   "exec sleep 30\n"));
    QFile::setPermissions(folder + "/quorvanta",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    clock.restart();
    answer = host.Down("http://127.0.0.1/a.swf");
    const qint64 waited = clock.elapsed();
    EXPECT_EQ(answer["ok"], QJsonValue(false));
    EXPECT_NE(answer["error"].toString().indexOf("within 15 seconds"), -1)
        << answer["error"].toString().toStdString();
    EXPECT_GE(waited, 14500);
    EXPECT_LT(waited, 17000);
    // It was started from the library's folder, once.
    const QByteArray started = TestEnv::ReadFile(folder + "/started").trimmed();
    ASSERT_FALSE(started.isEmpty());
    ::kill(started.toInt(), SIGKILL);
    host.process.closeWriteChannel();
    EXPECT_TRUE(host.process.waitForFinished(5000));
}
