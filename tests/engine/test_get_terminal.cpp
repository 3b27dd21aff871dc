// quorvanta-get on a terminal (a pseudo-terminal made by script(1)): one progress line rewritten
// in place, and the job's log lines only when asked for with --verbose.

#include <signal.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <utility>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "engine/ToolTestSupport.h"

TEST(QuorvantaGet, TerminalShowsOneProgressLineAndTheLogOnlyWhenVerbose) {
    NginxServer nginx("location /rate/ { limit_rate 300k; }\n");
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    const QByteArray data = TestEnv::RandomBytes(1200 * 1024, 5);
    ASSERT_TRUE(nginx.Put("rate/clip.swf", data));
    // The progress line: wiped and written again, with sizes, speed and time left.
    const QRegularExpression progress(
        "\r\x1b\\[K\\d+% [\\d.]+ (B|KB|MB) of 1\\.2 MB, [\\d.]+ (B|KB|MB)/s, \\d+:\\d\\d left");
    // Fresh, with the log, and resumed after a Ctrl-C a third of the way.
    for (const auto& [verbose, resumed] : {std::pair{false, false}, {true, false}, {false, true}}) {
        const QString dir = TestEnv::NewDir();
        QStringList args{"--parts", "1", "--dir", dir, nginx.Url("/rate/clip.swf")};
        if (verbose) args.prepend("--verbose");
        if (resumed) {
            QProcess first;
            first.start(ToolTest::ToolPath(), args);
            ASSERT_FALSE(first.waitForFinished(800));
            ASSERT_TRUE(ToolTest::Signal(first, SIGINT));
            ToolTest::Finish(first, 20000);
            ASSERT_TRUE(QFile::exists(dir + "/clip.swf.qvjob"));
        }
        QString command = ToolTest::ToolPath();
        for (const QString& a : args) command += " '" + a + "'";
        QProcess terminal;
        terminal.start("script", {"-qfec", command, "/dev/null"});
        const ToolTest::ToolRun run = ToolTest::Finish(terminal, 60000);
        ASSERT_EQ(run.code, 0) << run.out.toStdString() << run.err.toStdString();
        EXPECT_EQ(TestEnv::ReadFile(dir + "/clip.swf"), data);
        EXPECT_GE(run.out.count(progress), resumed ? 1 : 2) << run.out.toStdString();
        // Near the end the time left is that of the bytes still missing (0.2 MB at 300 KB/s at
        // most), not of the whole file (4 s) or of what this run has not fetched yet.
        const QRegularExpression late("(\\d+)% [^,]+, [^,]+, 0:(\\d\\d) left");
        for (auto m = late.globalMatch(run.out); m.hasNext();)
            if (const auto line = m.next(); line.captured(1).toInt() >= 85) {
                EXPECT_LE(line.captured(2).toInt(), 2) << line.captured(0).toStdString();
            }
        EXPECT_EQ(run.out.contains("[1] Connecting:127.0.0.1:"), verbose) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("Job complete.")) << run.out.toStdString();
    }
}
