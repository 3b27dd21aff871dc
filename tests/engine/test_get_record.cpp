// quorvanta-get's job file beside the target, through the real tool: found again after a redirect
// and for a URL longer than the record's fields, kept whole when the disk refuses a save, one copy
// per target, and the first answer's validators carried across a restart.

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "engine/EngineTestSupport.h"
#include "engine/ToolTestSupport.h"

namespace {

using namespace ToolTest;

// Starts the tool, waits until its job file is there and a little more, then kills it.
bool RunUntilRecordThenSignal(const QStringList& args, const QString& recordFile, int afterMs,
                              int sig, ToolRun* result = nullptr) {
    QProcess p;
    p.start(ToolPath(), args);
    if (!p.waitForStarted(30000)) return false;
    const bool saved = EngineTest::WaitFor(
        [&] { return QFile::exists(recordFile) || p.state() != QProcess::Running; });
    QTest::qWait(afterMs);
    const bool running = Signal(p, sig);
    const ToolRun r = Finish(p);
    if (result) *result = r;
    return saved && running;
}

// Where two byte strings first differ, for failure messages.
std::string Compare(const QByteArray& got, const QByteArray& want) {
    if (got == want) return "equal";
    qsizetype i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    return "file has " + std::to_string(got.size()) + " bytes, server has " +
           std::to_string(want.size()) + "; first difference at byte " + std::to_string(i);
}

}  // namespace

TEST(GetRecord, RedirectedJobIsFoundByTheCommandLineUrlAfterAKill) {
    const Served served(
        "absolute_redirect off;\n"
        "location = /r.swf { return 302 /rate/real.swf; }\n"
        "location /rate/ { limit_rate 256k; }\n",
        "rate/real.swf", 1024 * 1024 + 77, 41);
    ASSERT_TRUE(served.Ready());
    const QString target = served.dir + "/r.swf";
    const QStringList args = {"--parts", "4", "--dir", served.dir, served.nginx.Url("/r.swf")};

    ToolRun first;
    ASSERT_TRUE(RunUntilRecordThenSignal(args, target + ".qvjob", 700, SIGKILL, &first))
        << "the first run ended early: " << first.err.toStdString();
    ASSERT_EQ(first.code, -1);
    EXPECT_TRUE(first.out.contains("Redirect")) << first.out.toStdString();
    EXPECT_TRUE(QFile::exists(target + "!qv"));

    const ToolRun second = RunTool(args);
    EXPECT_EQ(second.code, 0) << second.err.toStdString();
    EXPECT_TRUE(second.out.contains("Resuming " + target + "!qv"))
        << "the job of the redirected URL was not found again:\n"
        << second.out.left(3000).toStdString();
    EXPECT_EQ(Compare(TestEnv::ReadFile(target), served.data), "equal");
    EXPECT_EQ(Entries(served.dir), QStringList{"r.swf"});
}

// Killed during its first run, then the partial file deleted: the job starts again from zero
// under the name it was given (not "a.swf!qv" with another "!qv", not a renamed copy).
TEST(GetRecord, PartialFileDeletedStartsAgainUnderItsName) {
    const Served served("location /rate/ { limit_rate 256k; }\n", "rate/d.swf", 512 * 1024 + 9, 61);
    ASSERT_TRUE(served.Ready());
    const QString target = served.dir + "/d.swf";
    const QStringList args = {"--parts", "3", "--dir", served.dir, served.nginx.Url("/rate/d.swf")};

    ToolRun first;
    ASSERT_TRUE(RunUntilRecordThenSignal(args, target + ".qvjob", 300, SIGKILL, &first))
        << "the first run ended early: " << first.err.toStdString();
    ASSERT_TRUE(QFile::remove(target + "!qv"));

    const ToolRun second = RunTool(args);
    EXPECT_EQ(second.code, 0) << second.err.toStdString();
    EXPECT_FALSE(second.out.contains("Resuming")) << second.out.toStdString();
    EXPECT_TRUE(second.out.contains("\n" + target + "\n")) << second.out.right(500).toStdString();
    EXPECT_EQ(Compare(TestEnv::ReadFile(target), served.data), "equal");
    EXPECT_EQ(Entries(served.dir), QStringList{"d.swf"});
}

TEST(GetRecord, OneCopyPerTarget) {
    const Served served("location /rate/ { limit_rate 256k; }\n", "rate/a.swf", 1024 * 1024 + 5,
                        43);
    ASSERT_TRUE(served.Ready());
    const QString target = served.dir + "/a.swf";
    const QString url = served.nginx.Url("/rate/a.swf");

    QProcess first;
    first.start(ToolPath(), {"--parts", "2", "--dir", served.dir, url});
    ASSERT_TRUE(first.waitForStarted(30000));
    ASSERT_TRUE(EngineTest::WaitFor([&] { return QFile::exists(target + ".qvjob"); }));

    // Same command, and another connection count: both find the target taken.
    for (const char* parts : {"2", "7"}) {
        const ToolRun second = RunTool({"--parts", parts, "--dir", served.dir, url});
        EXPECT_EQ(second.code, 1) << second.out.toStdString();
        EXPECT_TRUE(second.err.contains(
            QStringLiteral("%1 is being downloaded by another quorvanta-get (pid %2)")
                .arg(target)
                .arg(first.processId())))
            << second.err.toStdString();
        EXPECT_FALSE(second.out.contains("Resuming")) << second.out.toStdString();
        EXPECT_LT(second.ms, 5000) << "the second copy did not refuse at once";
        EXPECT_EQ(first.state(), QProcess::Running) << "the first copy ended meanwhile";
    }

    const ToolRun done = Finish(first);
    EXPECT_EQ(done.code, 0) << done.err.toStdString();
    EXPECT_FALSE(done.out.contains("Resuming"));
    EXPECT_EQ(Compare(TestEnv::ReadFile(target), served.data), "equal");
    EXPECT_EQ(Entries(served.dir), QStringList{"a.swf"});
}

// A URL longer than a record string holds (65535 bytes) is found again; a save the disk refuses
// (a file size limit: writes past it fail with EFBIG) keeps the previous job file whole and is
// said once; a later run resumes from that file.
TEST(GetRecord, LongUrlAndRefusedSavesKeepTheLastGoodJobFile) {
    const Served served("location /slow/ { limit_rate 32k; }\n", "slow/long.swf", 300 * 1024 + 3,
                        47, "large_client_header_buffers 4 256k;\n");
    ASSERT_TRUE(served.Ready());
    const QString target = served.dir + "/long.swf";
    // The file name is what follows the last "/"; one argument of a program may have 128 KiB.
    const QString url =
        served.nginx.Url("/slow/long.swf?q=") + QString(120000, QLatin1Char('x')) + "/long.swf";
    const QStringList args = {"--parts", "2", "--dir", served.dir, url};

    ToolRun first;
    ASSERT_TRUE(RunUntilRecordThenSignal(args, target + ".qvjob", 1000, SIGKILL, &first))
        << "the first run ended early: " << first.err.toStdString();
    const QByteArray lastGood = TestEnv::ReadFile(target + ".qvjob");
    // The job file carries the URL more than once, so it is larger than the limit below, while
    // every byte of the movie lies below it.
    constexpr rlim_t kLimit = 336 * 1024;
    EXPECT_GT(lastGood.size(), static_cast<qsizetype>(kLimit))
        << "the job file does not hold the URL in full";
    ASSERT_LT(served.data.size(), static_cast<qsizetype>(kLimit));

    QProcess limited;
    limited.setChildProcessModifier([] {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {kLimit, kLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    limited.start(ToolPath(), args);
    ASSERT_TRUE(limited.waitForStarted(30000));
    // Long enough for the first save and the 2-second one, then a pause that saves once more.
    QTest::qWait(2500);
    if (limited.state() != QProcess::Running) {
        const ToolRun early = Finish(limited);
        FAIL() << "the limited run ended early, exit " << early.code << ": "
               << early.err.toStdString();
    }
    ASSERT_TRUE(Signal(limited, SIGTERM));
    const ToolRun second = Finish(limited);
    EXPECT_EQ(second.code, 143) << second.err.toStdString();
    EXPECT_TRUE(second.out.contains("Resuming " + target + "!qv"))
        << "the long URL's job was not found again:\n"
        << second.out.left(2000).toStdString();
    EXPECT_EQ(second.err.count("cannot save the job record"), 1) << second.err.toStdString();
    EXPECT_TRUE(TestEnv::ReadFile(target + ".qvjob") == lastGood)
        << "a refused save changed the job file";

    const ToolRun third = RunTool(args);
    EXPECT_EQ(third.code, 0) << third.err.toStdString();
    EXPECT_TRUE(third.out.contains("Resuming " + target + "!qv"))
        << third.out.left(2000).toStdString();
    EXPECT_EQ(Compare(TestEnv::ReadFile(target), served.data), "equal");
    EXPECT_EQ(Entries(served.dir), QStringList{"long.swf"});
}

// The server's file changes while the job is stopped: the validators of the first answer, kept
// in the job file, make the resumed run notice it and fetch the new file whole.
TEST(GetRecord, FileChangedOnTheServerWhileStoppedIsFetchedAgain) {
    const Served served("location /rate/ { limit_rate 128k; }\n", "rate/m.swf", 1024 * 1024, 53);
    ASSERT_TRUE(served.Ready());
    const QByteArray& before = served.data;
    const QByteArray after = TestEnv::RandomBytes(1024 * 1024, 59);
    const QString target = served.dir + "/m.swf";
    const QStringList args = {"--parts", "3", "--dir", served.dir, served.nginx.Url("/rate/m.swf")};

    ToolRun first;
    ASSERT_TRUE(RunUntilRecordThenSignal(args, target + ".qvjob", 600, SIGKILL, &first))
        << "the first run ended early: " << first.err.toStdString();
    // Same size, new contents and a new date: a new ETag and Last-Modified.
    ASSERT_TRUE(served.nginx.Put("rate/m.swf", after));
    QFile file(served.nginx.Root() + "/rate/m.swf");
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(3600),
                                 QFileDevice::FileModificationTime));
    file.close();

    const ToolRun second = RunTool(args);
    EXPECT_EQ(second.code, 0) << second.err.toStdString();
    const QByteArray got = TestEnv::ReadFile(target);
    EXPECT_TRUE(got == after) << (got.size() == after.size() && got.left(4096) == before.left(4096)
                                      ? "the resumed file mixes the old and the new server file "
                                        "(no If-Range from the saved validators?): "
                                      : "")
                              << Compare(got, after);
    EXPECT_EQ(Entries(served.dir), QStringList{"m.swf"});
}
