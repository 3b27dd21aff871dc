// Kill-and-resume campaigns through the real tool against a real nginx: runs of quorvanta-get with
// a varying connection count, each ended at a random moment by SIGKILL or SIGTERM, then one run
// left alone. Every campaign must end complete and byte-exact with nothing else in the folder.
// The seed is in every failure; QV_KILL_SEED=<seed> repeats its choices.

#include <signal.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <random>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "engine/ToolTestSupport.h"
#include "store/JobRecord.h"

using namespace ToolTest;

TEST(KillResume, CampaignsOfKilledRunsEndByteExact) {
    ASSERT_TRUE(QFile::exists(ToolPath())) << ToolPath().toStdString();
    const quint32 seed = KillSeed();
    SCOPED_TRACE(SeedNote(seed));
    std::mt19937 rng(seed);
    auto uniform = [&rng](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(rng);
    };

    // About 1 MB/s whatever the connection count of the job: /pN/ serves N connections.
    QString locations;
    for (int n = 1; n <= kMaxParts; ++n)
        locations += QStringLiteral("location /p%1/ { limit_rate %2k; }\n").arg(n).arg(1024 / n);
    NginxServer nginx(locations);
    ASSERT_TRUE(nginx.Started());

    constexpr int kCampaigns = 3;
    constexpr int kKilledRuns = 8;
    for (int campaign = 1; campaign <= kCampaigns; ++campaign) {
        const int firstParts = uniform(1, kMaxParts);
        const qsizetype size = uniform(3 * 1024 * 1024, 6 * 1024 * 1024);
        const QByteArray data = TestEnv::RandomBytes(size, seed + campaign);
        const QString served = QStringLiteral("p%1/c%2.swf").arg(firstParts).arg(campaign);
        ASSERT_TRUE(nginx.Put(served, data));
        const QString url = nginx.Url("/" + served);
        const QString dir = TestEnv::NewDir();
        const QString name = QStringLiteral("c%1.swf").arg(campaign);
        const QString target = dir + "/" + name;

        std::string history =
            "campaign " + std::to_string(campaign) + ", " + std::to_string(size) + " bytes:";
        bool complete = false;
        int lastCode = -1;
        QString lastOut, lastErr;
        for (int run = 1; run <= kKilledRuns + 1 && !complete; ++run) {
            const bool lastRun = run == kKilledRuns + 1;
            const int parts = run == 1 ? firstParts : uniform(1, kMaxParts);
            const int sig = (run + campaign) % 2 == 0 ? SIGKILL : SIGTERM;
            const int delayMs = uniform(150, 650);
            const bool hadRecord = QFile::exists(target + ".qvjob");
            QProcess p;
            p.start(ToolPath(), {"--parts", QString::number(parts), "--dir", dir, url});
            ASSERT_TRUE(p.waitForStarted(30000))
                << history << "\n  " << p.errorString().toStdString();
            history += "\n  run " + std::to_string(run) + ": --parts " + std::to_string(parts);
            bool signalled = false;
            if (!lastRun && !p.waitForFinished(delayMs) && Signal(p, sig)) {
                signalled = true;
                history += std::string(sig == SIGKILL ? ", SIGKILL" : ", SIGTERM") + " after " +
                           std::to_string(delayMs) + " ms";
            }
            if (p.state() != QProcess::NotRunning && !p.waitForFinished(60000)) {
                p.kill();
                p.waitForFinished(5000);
                FAIL() << history << "\n  the run did not end";
            }
            lastCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
            lastOut = QString::fromLocal8Bit(p.readAllStandardOutput());
            lastErr = QString::fromLocal8Bit(p.readAllStandardError());
            history += ", exit " + std::to_string(lastCode);
            complete = EndedComplete(lastCode, lastOut);

            // A SIGTERM that comes before the tool has set its handler (while it is still being
            // loaded) ends it as SIGKILL does.
            const bool killed =
                signalled && (sig == SIGKILL || p.exitStatus() == QProcess::CrashExit);
            if (killed && sig == SIGTERM) history += " (before the handler was set)";
            if (!killed && hadRecord) {
                ASSERT_TRUE(lastOut.contains("Resuming"))
                    << history << "\n  the job file was there but the run did not resume:\n"
                    << Tail(lastOut);
            }
            const int expected = signalled && sig == SIGTERM ? 143 : 0;
            if (!killed) {
                ASSERT_TRUE(lastCode == 0 || lastCode == expected)
                    << history << "\n  stderr: " << Tail(lastErr)
                    << "\n  stdout: " << Tail(lastOut);
            }
            const QStringList extra = Unexpected(dir, name, complete);
            ASSERT_TRUE(extra.isEmpty())
                << history
                << "\n  files that should not be there: " << extra.join(", ").toStdString()
                << "\n  stdout: " << Tail(lastOut);
        }

        ASSERT_TRUE(complete) << history
                              << "\n  the last run did not complete; stderr: " << Tail(lastErr)
                              << "\n  stdout: " << Tail(lastOut);
        const QByteArray got = TestEnv::ReadFile(target);
        ASSERT_TRUE(got == data) << history << "\n  " << Where(got, data)
                                 << "\n  stdout: " << Tail(lastOut);
        ASSERT_TRUE(Entries(dir) == QStringList{name})
            << history << "\n  the folder holds " << Entries(dir).join(", ").toStdString();
    }
}

// Killed right after the final rename, before the record is gone: the next run finishes the job
// under that name instead of fetching it again beside it. Killed right after the file is made:
// its record is on disk already, so the next run knows the file. A record renamed into place
// without a sync first is refused, and the save must not need that.
TEST(KillResume, KillsAndFaultsAtTheRareMomentsEndComplete) {
    const struct {
        const char* fault;  // QV_PRELOAD_FAULT
        int parts;
        bool killed;
    } cases[] = {
        {"", 1, true}, {"", 4, true}, {"kill-at-create", 2, true}, {"unsynced-rename", 2, false}};
    for (const auto& c : cases) {
        const int parts = c.parts;
        SCOPED_TRACE(std::string(c.fault) + " parts " + std::to_string(parts));
        Served served(QString(), QStringLiteral("/whole.swf"), 3 * 1000 * 1000, 60 + parts);
        ASSERT_TRUE(served.Ready());
        const QStringList args{"--parts", QString::number(parts), "--dir", served.dir,
                               served.nginx.Url(served.path)};
        QProcess killed;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(QV_KILL_AFTER_RENAME));
        env.insert(QStringLiteral("QV_PRELOAD_FAULT"), QString::fromLatin1(c.fault));
        // (In the sanitizer build the runtime must allow a library loaded before it.)
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                       QStringLiteral(":verify_asan_link_order=0"));
        killed.setProcessEnvironment(env);
        killed.start(ToolPath(), args);
        const ToolRun first = Finish(killed);
        if (!c.killed) {
            EXPECT_EQ(first.code, 0) << Tail(first.err);
            EXPECT_FALSE(first.err.contains("cannot save")) << Tail(first.err);
            EXPECT_TRUE(TestEnv::ReadFile(served.dir + "/whole.swf") == served.data);
            continue;
        }
        ASSERT_EQ(first.code, -1) << "the run was not killed\n" << Tail(first.out);
        ASSERT_TRUE(Entries(served.dir).contains("whole.swf.qvjob") &&
                    Unexpected(served.dir, "whole.swf", true).isEmpty())
            << Entries(served.dir).join(", ").toStdString();

        const ToolRun again = RunTool(args);
        ASSERT_EQ(again.code, 0) << Tail(again.err) << Tail(again.out);
        EXPECT_TRUE(again.out.contains("Job complete.")) << Tail(again.out);
        EXPECT_TRUE(TestEnv::ReadFile(served.dir + "/whole.swf") == served.data);
        EXPECT_TRUE(Entries(served.dir) == QStringList{"whole.swf"})
            << Entries(served.dir).join(", ").toStdString();
    }
}
