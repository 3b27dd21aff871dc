// What a job sends besides the range (the page it was found on, the login) and what its file is
// called, against a real nginx: a server that refuses hot-linking and unknown users, a redirect
// to another server or from https to http that must not see the login, names without a dot, names
// too long for the file system; and through quorvanta-get against scripted servers and proxy: the
// request line and Host with their ports, logins and referrers where they may go.

#include <gtest/gtest.h>

#include <QDir>

#include "common/NginxServer.h"
#include "engine/EngineTestSupport.h"
#include "engine/ToolTestSupport.h"

using namespace EngineTest;

namespace {

class NamesAndLogin : public SlotTest {
protected:
    // Runs job j to its end; true when it completed.
    bool Run(int j) {
        watch.Clear();
        if (!slot.BindAndStart(j)) return false;
        return watch.WaitDone() && watch.completed == 1;
    }
};

}  // namespace

TEST_F(NamesAndLogin, RefererAndLoginReachTheJobsServerOnly) {
    const QByteArray data = TestEnv::RandomBytes(300000, 71);
    // "user:secret" in Basic; the other server ("localhost") refuses any login it is sent.
    NginxServer nginx(
        QStringLiteral(
            "location /hot/ { if ($http_referer != \"http://pages.example/movies.html\") "
            "{ return 403; } }\n"
            "location /private/ { if ($http_authorization != \"Basic dXNlcjpzZWNyZXQ=\") "
            "{ return 401; } }\n"
            "location /moved/ { if ($http_authorization != \"Basic dXNlcjpzZWNyZXQ=\") "
            "{ return 401; } return 302 http://localhost:$server_port/open/f.bin; }\n"
            "location /open/ { if ($http_authorization) { return 400; } }\n"
            "location /dual/ { return 302 http://127.0.0.1:$server_port/open/f.bin; }\n"),
        {}, NginxServer::Tls::Trusted);
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    qputenv("SSL_CERT_FILE", QFile::encodeName(NginxServer::TestCaFile()));
    for (const char* folder : {"hot", "private", "open"})
        ASSERT_TRUE(nginx.Put(QStringLiteral("%1/f.bin").arg(folder), data));

    struct Case {
        const char* path;
        bool referer, login;
        bool completes;
        const char* reason;  // of a failure
    };
    const Case cases[] = {
        {"/hot/f.bin", false, false, false, "403"},
        {"/hot/f.bin", true, false, true, ""},
        {"/private/f.bin", false, false, false, "401"},
        {"/private/f.bin", true, true, true, ""},
        {"/moved/f.bin", false, true, true, ""},
        // https to http on the same port (refused there: nginx speaks TLS on it).
        {"/dual/f.bin", false, true, false, "400"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.referer ? " +referer" : "") +
                     (c.login ? " +login" : ""));
        const QString url =
            QByteArray(c.path).startsWith("/dual/") ? nginx.SecureUrl(c.path) : nginx.Url(c.path);
        const int j = AddTestJob(url, dir, 3, QStringLiteral("f%1.bin").arg(++n));
        if (c.referer) Jobs[j].Referer = QStringLiteral("http://pages.example/movies.html");
        if (c.login) {
            Jobs[j].UseLogin = VbTrue;
            Jobs[j].UserName = QStringLiteral("user");
            Jobs[j].Password = QStringLiteral("secret");
        }
        EXPECT_EQ(Run(j), c.completes) << watch.endReason.toStdString();
        // The login never goes past a redirect to another scheme, host or port.
        for (const QString& r : Requests())
            EXPECT_EQ(r.contains("Authorization: Basic dXNlcjpzZWNyZXQ="),
                      c.login && r.startsWith(QStringLiteral("GET ") + c.path))
                << r.toStdString();
        if (!c.completes) {
            EXPECT_TRUE(watch.endReason.contains(c.reason)) << watch.endReason.toStdString();
            continue;
        }
        EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
        for (const QString& r : Requests())
            EXPECT_EQ(r.contains("Referer: http://pages.example/movies.html"), c.referer)
                << r.toStdString();
    }
}

TEST_F(NamesAndLogin, PortsHostsAndLoginsOnTheWire) {
    const QByteArray data = TestEnv::RandomBytes(5000, 73), basic = "Basic ZmFuOnNlY3JldA==";
    const auto serve = [&](QTcpSocket* s, const auto&) { ScriptServer::ServeWhole(s, data); };
    ScriptServer near(serve), proxy(serve);
    ScriptServer far([&](QTcpSocket* s, const auto&) {
        s->write(
            ScriptServer::Head("HTTP/1.1 302 Found", {"Location: " + near.Url("/m").toLatin1()}));
        s->disconnectFromHost();
    });
    const QString px = proxy.Url("").mid(7), at = near.Url("").mid(7);
    const QString own = near.Url("/o").replace("//", "//fan:se%63ret@");
    qputenv("QUORVANTA_PASSWORD", "secret");
    const struct {
        QStringList args;
        const ScriptServer* peer;  // of the last request
        QString line, host;
        bool login;
    } cases[] = {
        {{"--proxy", px, near.Url("/p")}, &proxy, "GET http://" + at + "/p", at, false},
        {{"--proxy", px, "http://127.0.0.1/p"},
         &proxy,
         "GET http://127.0.0.1/p",
         "127.0.0.1",
         false},
        {{"--user", "fan", far.Url("/f")}, &near, "GET /m", at, false},  // another port
        {{"--referer", "https://pages.example/", own}, &near, "GET /o", at, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess tool;
        tool.start(ToolTest::ToolPath(), QStringList{"--dir", TestEnv::NewDir()} + c.args);
        ASSERT_TRUE(WaitFor([&] { return tool.state() == QProcess::NotRunning; }));
        const ToolTest::ToolRun run = ToolTest::Finish(tool);
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        const QString sent = QString::fromLatin1(c.peer->requests.last().text);
        EXPECT_TRUE(sent.startsWith(c.line + " HTTP/1.1\r\n")) << sent.toStdString();
        EXPECT_TRUE(sent.contains("\r\nHost: " + c.host + "\r\n")) << sent.toStdString();
        EXPECT_EQ(sent.contains(basic), c.login) << sent.toStdString();
        EXPECT_FALSE(sent.contains("Referer"));  // from a secure page to a plain address
        EXPECT_FALSE((run.out + run.err).contains(QRegularExpression("secret|se%63|ZmFuOnNl")));
    }
    EXPECT_TRUE(far.requests.last().text.contains(basic));  // its own server had the login
    qunsetenv("QUORVANTA_PASSWORD");
}

TEST_F(NamesAndLogin, FinalNamesAreNumberedBeforeTheWorkingSuffixAndFitTheFileSystem) {
    const QByteArray data = TestEnv::RandomBytes(2000, 72);
    NginxServer nginx;
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    ASSERT_TRUE(nginx.Put("f.bin", data));
    Settings.UseQV = 1;
    Settings.Fileexits = 1;
    const QString longBase(300, QLatin1Char('m'));
    const QString longExt = QLatin1Char('.') + QString(300, QLatin1Char('e'));
    struct Case {
        QString name;      // asked for, in dir
        QString expected;  // the complete file's name ("" : the job fails)
    };
    const Case cases[] = {
        {"movie", "movie"},
        {"movie", "movie0"},  // not "movie!qv0"
        {"clip.swf", "clip.swf"},
        {"clip.swf", "clip0.swf"},
        // Room for the longest suffix: + ".qvjob.XXXXXX" is 255 bytes.
        {longBase + ".swf", QString(238, QLatin1Char('m')) + ".swf"},
        {longBase + ".swf", QString(237, QLatin1Char('m')) + "0.swf"},
        {"x" + longExt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.left(20).toStdString() + " -> " + c.expected.left(20).toStdString());
        const int j = AddTestJob(nginx.Url("/f.bin"), dir, 1, c.name);
        const bool done = Run(j);
        ASSERT_EQ(done, !c.expected.isEmpty()) << watch.endReason.toStdString();
        if (!done) {
            EXPECT_TRUE(watch.endReason.contains("too long")) << watch.endReason.toStdString();
            continue;
        }
        EXPECT_EQ(Jobs[j].LocalFile, dir + "/" + c.expected);
        EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    }
    for (const QString& e : QDir(dir).entryList(QDir::Files))
        EXPECT_FALSE(e.contains("!qv")) << e.toStdString();
}
