// quorvanta-get as a user runs it: download, Ctrl-C, resume, failures.

#include <signal.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "engine/EngineTestSupport.h"
#include "engine/ToolTestSupport.h"

namespace {

using namespace ToolTest;

}  // namespace

TEST(QuorvantaGet, InterruptedThenResumedThenComplete) {
    const Served served("location /rate/ { limit_rate 256k; }\n", "rate/movie.swf", 3 << 20, 31);
    ASSERT_TRUE(served.Ready());
    const QString& dir = served.dir;
    const QString url = served.nginx.Url("/rate/movie.swf");
    const QString target = dir + "/movie.swf";

    QProcess first;
    first.start(ToolPath(), {"--parts", "3", "--dir", dir, url});
    ASSERT_TRUE(first.waitForStarted(30000));
    // The record appears beside the target once the file exists.
    ASSERT_TRUE(EngineTest::WaitFor([&] { return QFile::exists(target + ".qvjob"); }));
    QTest::qWait(500);
    ::kill(static_cast<pid_t>(first.processId()), SIGINT);
    ASSERT_TRUE(first.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 130);
    EXPECT_TRUE(QFile::exists(target + "!qv"));
    EXPECT_TRUE(QFile::exists(target + ".qvjob"));
    EXPECT_FALSE(QFile::exists(target));
    const QString firstOut = QString::fromLocal8Bit(first.readAllStandardOutput());
    EXPECT_TRUE(firstOut.contains("[1] Connecting:127.0.0.1:")) << firstOut.toStdString();

    const ToolRun second = RunTool({"--parts", "3", "--dir", dir, url});
    EXPECT_EQ(second.code, 0) << second.err.toStdString();
    EXPECT_TRUE(second.out.contains("Resuming")) << second.out.toStdString();
    EXPECT_TRUE(second.out.contains("Range: bytes=")) << second.out.toStdString();
    EXPECT_TRUE(second.out.contains("Job complete." + url));
    EXPECT_EQ(TestEnv::ReadFile(target), served.data);
    EXPECT_FALSE(QFile::exists(target + ".qvjob"));
    EXPECT_FALSE(QFile::exists(target + "!qv"));
}

TEST(QuorvantaGet, FailsClearly) {
    // A script that names the file it sends (RFC 6266's extended form).
    const Served served(
        "location = /download.php { add_header Content-Disposition "
        "\"attachment; filename=x.bin; filename*=UTF-8''intro%20%C3%A9.swf\"; }"
        "location = /hidden.php { add_header Content-Disposition 'attachment; "
        "filename=\"..bashrc\"'; }",
        "ok.swf", 4, 37);
    ASSERT_TRUE(served.Ready());
    ASSERT_TRUE(served.nginx.Put("download.php", served.data));
    ASSERT_TRUE(served.nginx.Put("hidden.php", served.data));
    ASSERT_TRUE(served.nginx.Put("cyan.swf", served.data));
    const QString dir = served.dir;
    // Names shortened to leave room for ".qvlock" and ".qvjob", and decoded.
    const QString longName = QString(247, QLatin1Char('n')) + ".swf";
    ASSERT_TRUE(served.nginx.Put(longName, served.data));
    ASSERT_TRUE(served.nginx.Put(QString::fromUtf8("caf\xC3\xA9.swf"), served.data));
    const struct {
        QStringList args;
        int code;
        const char* err;  // in standard error, and in standard output too when out is set
        bool out;
        qint64 withinMs = 0;  // ends this soon (a name that does not exist is not tried again)
    } cases[] = {
        {{"--dir", dir, "ftp://example/a.swf"}, 1, "Invalid URL: ftp://example/a.swf", false},
        {{"--dir", dir, served.nginx.Url("/none.swf")}, 1, "Request Url Error! 404", true},
        {{"--parts", "11", served.nginx.Url("/x.swf")}, 2, "", false},
        // The fragment is neither asked for nor part of the file's name.
        {{"--parts", "10", "--dir", dir, served.nginx.Url("/ok.swf#t=1/2")}, 0, "", false},
        {{"--dir", dir, served.nginx.Url("/" + longName)}, 0, "", false},
        {{"--dir", dir, served.nginx.Url("/caf%C3%A9.swf")}, 0, "", false},
        {{"--dir", dir, "http://no-such-host.invalid/a.swf"}, 1, "not found", false, 2000},
        // No query in a name; a script's name gives way to the one the server sends.
        {{"--dir", dir, served.nginx.Url("/cyan.swf?level=3/x")}, 0, "", false},
        {{"--dir", dir, served.nginx.Url("/download.php?id=7")}, 0, "", false},
        // A server's name never makes a hidden file.
        {{"--dir", dir, served.nginx.Url("/hidden.php")}, 0, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ToolRun r = RunTool(c.args);
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.err))) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("cannot save")) << r.err.toStdString();
        if (c.withinMs > 0) {
            EXPECT_LE(r.ms, c.withinMs);
        }
        if (c.out) {
            EXPECT_TRUE(r.out.contains(QLatin1String(c.err))) << r.out.toStdString();
        }
    }
    EXPECT_EQ(TestEnv::ReadFile(dir + "/ok.swf"), served.data);
    EXPECT_EQ(TestEnv::ReadFile(dir + "/" + QString(238, QLatin1Char('n')) + ".swf"), served.data);
    EXPECT_EQ(TestEnv::ReadFile(dir + QString::fromUtf8("/caf\xC3\xA9.swf")), served.data);
    EXPECT_EQ(TestEnv::ReadFile(dir + "/cyan.swf"), served.data);
    EXPECT_EQ(TestEnv::ReadFile(dir + QString::fromUtf8("/intro \xC3\xA9.swf")), served.data);
    EXPECT_EQ(TestEnv::ReadFile(dir + "/bashrc"), served.data);
    EXPECT_FALSE(QFile::exists(dir + "/..bashrc"));
}

TEST(QuorvantaGet, FullSpeedDownloadsLoseNoByte) {
    // At loopback speed bytes keep arriving while a connection is being read; every one of them
    // must reach the file (a run that lost some ends "not complete", never with a wrong file).
    NginxServer nginx;
    ASSERT_TRUE(nginx.Started());
    const QByteArray data = TestEnv::RandomBytes(64 * 1024 * 1024, 77);
    ASSERT_TRUE(nginx.Put("fast.swf", data));
    for (const char* parts : {"1", "1", "1", "10"}) {
        const QString dir = TestEnv::NewDir();
        const ToolRun r = RunTool({"--parts", parts, "--dir", dir, nginx.Url("/fast.swf")});
        ASSERT_EQ(r.code, 0) << parts << " " << r.err.toStdString();
        EXPECT_TRUE(TestEnv::ReadFile(dir + "/fast.swf") == data) << parts;
    }
}

// --limit-rate holds the whole download (every connection together) to the rate, and the file
// is whole: 3 MiB at 1M takes about three seconds, whatever the number of connections.
TEST(QuorvantaGet, LimitRateHoldsTheWholeDownload) {
    Served served("", "limited.swf", 3 * 1024 * 1024, 21);
    ASSERT_TRUE(served.Ready());
    for (const char* parts : {"1", "6"}) {
        const QString dir = TestEnv::NewDir();
        const ToolRun r = RunTool({"--limit-rate", "1M", "--parts", parts, "--dir", dir,
                                   served.nginx.Url("/limited.swf")});
        ASSERT_EQ(r.code, 0) << parts << " " << r.err.toStdString();
        EXPECT_TRUE(TestEnv::ReadFile(dir + "/limited.swf") == served.data) << parts;
        // Never more than a tenth over the limit; a busy machine may only make it slower.
        EXPECT_GE(r.ms, 3000 * 10 / 11) << parts;
        EXPECT_LE(r.ms, 9000) << parts;
    }
    EXPECT_EQ(RunTool({"--limit-rate", "fast", served.nginx.Url("/limited.swf")}).code, 2);
}
