// Ranges that move between connections, and servers that take fewer connections than asked for,
// through the real tool against a real nginx: the job goes on with what the server accepts, a
// connection that is done takes over the far part of another's range, and a run killed at any
// moment leaves a job file whose stretches never overlap and hold the server's bytes.

#include <signal.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <random>
#include <tuple>
#include <vector>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "engine/ToolTestSupport.h"
#include "store/JobRecord.h"
#include "tools/JobFile.h"

namespace {

using namespace ToolTest;

const QRegularExpression kAccepts(
    QStringLiteral("The server accepts (\\d+) connections; going on with (\\d+)\\."));
const QRegularExpression kTakes(
    QStringLiteral("Connection (\\d+) takes bytes (\\d+)-(\\d+) from connection (\\d+)\\."));

// One connection in ten (nginx's serial number of the connection ends in 0) runs at slow, the
// others at fast. The map goes into http {}, the limit into server {}.
QString SlowedMap(const QString& slow, const QString& fast) {
    return QStringLiteral("map $connection $qv_rate { ~0$ %1; default %2; }").arg(slow, fast);
}
const QString kSlowedLimit = QStringLiteral("sendfile off;\nlimit_rate $qv_rate;");

std::string Output(const ToolRun& run) {
    return "exit " + std::to_string(run.code) + "\n  stderr: " + Tail(run.err) +
           "\n  stdout: " + Tail(run.out);
}

// The saved job file after a kill: record 1 and every other record in use (StartPos != 0) claim
// [StartPos, min(CurPos, EndPos, FileSize)). No two claims overlap, and every claimed byte is on
// disk as the server has it.
void CheckSavedStretches(const QString& target, const QByteArray& data,
                         const std::string& history) {
    JobFile job;
    QString why;
    const JobFile::ReadResult read = job.Read(target + ".qvjob", &why);
    if (read == JobFile::ReadResult::Missing) return;  // killed before the first save
    ASSERT_EQ(read, JobFile::ReadResult::Ok) << history << "\n  " << why.toStdString();
    const JobRecord& r = job.Record;
    // A kill between the final rename and the record's removal leaves the whole file under its
    // final name; the next run goes on there.
    const QString file = QFile::exists(r.LocalFile) ? r.LocalFile : r.LocalFile.chopped(3);
    const QByteArray onDisk = TestEnv::ReadFile(file);
    std::vector<std::tuple<qint64, qint64, int>> claims;  // begin, end, record
    for (int k = 1; k <= r.Parts; ++k) {
        const SegmentRecord& s = r.Segments[k];
        if (k > 1 && s.StartPos == 0) continue;
        const qint64 end = std::min<qint64>({s.CurPos, s.EndPos, r.FileSize});
        if (end > s.StartPos) claims.emplace_back(s.StartPos, end, k);
    }
    std::sort(claims.begin(), claims.end());
    std::string layout;
    for (const auto& [a, b, k] : claims)
        layout += " [" + std::to_string(a) + "," + std::to_string(b) + ")#" + std::to_string(k);
    for (size_t i = 1; i < claims.size(); ++i)
        ASSERT_LE(std::get<1>(claims[i - 1]), std::get<0>(claims[i]))
            << history << "\n  records " << std::get<2>(claims[i - 1]) << " and "
            << std::get<2>(claims[i]) << " overlap:" << layout;
    for (const auto& [a, b, k] : claims) {
        ASSERT_LE(b, data.size()) << history << "\n  record " << k << " past the end:" << layout;
        ASSERT_LE(b, onDisk.size()) << history << "\n  record " << k << " claims bytes the file "
                                    << file.toStdString() << " does not have:" << layout;
        qint64 i = a;
        while (i < b && onDisk[i] == data[i]) ++i;
        ASSERT_EQ(i, b) << history << "\n  record " << k << " claims byte " << i
                        << ", which differs from the server's:" << layout;
    }
}

}  // namespace

TEST(MovingRanges, CappedServerGoesOnWithTheConnectionsItAccepts) {
    ASSERT_TRUE(QFile::exists(ToolPath())) << ToolPath().toStdString();
    const QByteArray data = TestEnv::RandomBytes(12 * 1000 * 1000, 41);
    // A Retry-After of 50 days is held to an hour: no connection is tried again during the run.
    // One of a second, on a run of a few seconds: more are tried about once a second (the six
    // refused each time), not at every chance.
    const QString retryAfter = QStringLiteral(
        "503;\nerror_page 503 @busy;\nlocation @busy { add_header Retry-After %1 always; return "
        "503; }\n");
    for (const auto& [busy, perSecond] :
         {std::pair<QString, int>{"503;", 0},
          {"429;", 0},
          {retryAfter.arg(4294968), 0},
          {retryAfter.arg(1) + "location / { limit_rate 700k; }", 6}}) {
        SCOPED_TRACE("limit_conn_status " + busy.toStdString());
        NginxServer nginx(
            "sendfile off;\nlimit_conn qvperip 4;\nlimit_rate 2m;\nlimit_conn_status " + busy,
            QStringLiteral("limit_conn_zone $binary_remote_addr zone=qvperip:1m;"));
        ASSERT_TRUE(nginx.Started());
        ASSERT_TRUE(nginx.Put("capped.swf", data));
        const QString dir = TestEnv::NewDir();
        const ToolRun run = RunTool({"--parts", "10", "--dir", dir, nginx.Url("/capped.swf")});

        ASSERT_EQ(run.code, 0) << Output(run);
        EXPECT_TRUE(run.out.contains("Job complete.")) << Output(run);
        EXPECT_FALSE(run.err.contains("quorvanta-get:")) << Output(run);
        const QByteArray got = TestEnv::ReadFile(dir + "/capped.swf");
        EXPECT_TRUE(got == data) << Where(got, data);
        EXPECT_TRUE(Entries(dir) == QStringList{"capped.swf"})
            << Entries(dir).join(", ").toStdString();
        int said = 0;
        for (auto m = kAccepts.globalMatch(run.out); m.hasNext();) {
            const QRegularExpressionMatch line = m.next();
            ++said;
            const int accepted = line.captured(1).toInt();
            EXPECT_TRUE(accepted >= 1 && accepted <= 9) << line.captured(0).toStdString();
            EXPECT_EQ(line.captured(1), line.captured(2)) << line.captured(0).toStdString();
        }
        EXPECT_EQ(said, 1) << "the connection cap should be told once\n" << Output(run);
        static const QRegularExpression refusal(QStringLiteral("\\] HTTP/1\\.1 (503|429) "));
        EXPECT_LE(run.out.mid(run.out.indexOf(kAccepts)).count(refusal),
                  perSecond * (run.ms / 1000 + 1))
            << "more connections were tried too often\n"
            << Output(run);
    }
}

TEST(MovingRanges, SlowedConnectionGivesItsRangeAway) {
    ASSERT_TRUE(QFile::exists(ToolPath())) << ToolPath().toStdString();
    constexpr qint64 kSize = 16 * 1000 * 1000;
    constexpr qint64 kSlowRate = 128 * 1024;
    NginxServer nginx(kSlowedLimit, SlowedMap("128k", "2m"));
    ASSERT_TRUE(nginx.Started());
    const QByteArray data = TestEnv::RandomBytes(kSize, 42);
    ASSERT_TRUE(nginx.Put("slowed.swf", data));
    const QString dir = TestEnv::NewDir();
    const ToolRun run = RunTool({"--parts", "10", "--dir", dir, nginx.Url("/slowed.swf")});

    ASSERT_EQ(run.code, 0) << Output(run);
    const QByteArray got = TestEnv::ReadFile(dir + "/slowed.swf");
    EXPECT_TRUE(got == data) << Where(got, data);
    int moves = 0;
    for (auto m = kTakes.globalMatch(run.out); m.hasNext();) {
        const QRegularExpressionMatch line = m.next();
        ++moves;
        const int taker = line.captured(1).toInt();
        const int giver = line.captured(4).toInt();
        const qint64 a = line.captured(2).toLongLong();
        const qint64 b = line.captured(3).toLongLong();
        EXPECT_TRUE(taker >= 1 && taker <= 10 && giver >= 1 && giver <= 10 && taker != giver)
            << line.captured(0).toStdString();
        EXPECT_TRUE(a <= b && b < kSize) << line.captured(0).toStdString();
    }
    EXPECT_GE(moves, 1) << "no range moved\n" << Output(run);
    // The slowed connection alone would need (size / 10) / slow rate for its range, 12 s; moved
    // ranges end the job in a second or two, so 60% of that leaves room for a loaded machine.
    const qint64 slowAloneMs = kSize / 10 * 1000 / kSlowRate;
    EXPECT_LT(run.ms, slowAloneMs * 6 / 10) << "the slowed connection kept its range\n"
                                            << Output(run);
}

TEST(MovingRanges, KilledRunsLeaveStretchesThatNeitherOverlapNorLie) {
    ASSERT_TRUE(QFile::exists(ToolPath())) << ToolPath().toStdString();
    const quint32 seed = KillSeed();
    std::printf("MovingRanges kill campaign: %s\n", SeedNote(seed).c_str());
    SCOPED_TRACE(SeedNote(seed));
    std::mt19937 rng(seed);
    auto uniform = [&rng](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(rng);
    };
    // A fast connection ends its range of 300-500 kB in 1-2 s, so ranges move while runs die;
    // kills past 2 s also come after the tool's timed save of every range's progress.
    NginxServer nginx(kSlowedLimit, SlowedMap("64k", "256k"));
    ASSERT_TRUE(nginx.Started());

    constexpr int kKills = 20;
    constexpr int kMaxCampaigns = 20;
    constexpr qint64 kKillBudgetMs = 35000;
    QElapsedTimer clock;
    clock.start();
    int kills = 0;
    for (int campaign = 1; kills < kKills && campaign <= kMaxCampaigns; ++campaign) {
        const qsizetype size = uniform(3 * 1000 * 1000, 5 * 1000 * 1000);
        const QByteArray data = TestEnv::RandomBytes(size, seed + campaign);
        const QString name = QStringLiteral("m%1.swf").arg(campaign);
        ASSERT_TRUE(nginx.Put(name, data));
        const QString dir = TestEnv::NewDir();
        const QString target = dir + "/" + name;
        const QStringList args{"--parts", "10", "--dir", dir, nginx.Url("/" + name)};

        std::string history =
            "campaign " + std::to_string(campaign) + ", " + std::to_string(size) + " bytes:";
        bool complete = false;
        for (int run = 1; !complete && run <= kKills + 1; ++run) {
            const bool mayKill = kills < kKills && clock.elapsed() < kKillBudgetMs;
            const int delayMs = uniform(200, 2600);
            QProcess p;
            p.start(ToolPath(), args);
            ASSERT_TRUE(p.waitForStarted(30000)) << history;
            history += "\n  run " + std::to_string(run);
            bool killed = false;
            if (mayKill && !p.waitForFinished(delayMs) && Signal(p, SIGKILL)) {
                killed = true;
                ++kills;
                history += ": SIGKILL after " + std::to_string(delayMs) + " ms";
            }
            const ToolRun result = Finish(p, 60000);
            complete = EndedComplete(result.code, result.out);
            if (!killed) {
                ASSERT_EQ(result.code, 0) << history << "\n  " << Output(result);
            }
            const QStringList extra = Unexpected(dir, name, complete || killed);
            ASSERT_TRUE(extra.isEmpty())
                << history
                << "\n  files that should not be there: " << extra.join(", ").toStdString();
            if (!complete) {
                ASSERT_NO_FATAL_FAILURE(CheckSavedStretches(target, data, history));
            }
        }
        ASSERT_TRUE(complete) << history;
        const QByteArray got = TestEnv::ReadFile(target);
        ASSERT_TRUE(got == data) << history << "\n  " << Where(got, data);
        ASSERT_TRUE(Entries(dir) == QStringList{name})
            << history << "\n  the folder holds " << Entries(dir).join(", ").toStdString();
    }
    std::printf("MovingRanges kill campaign: %d kills in %lld ms\n", kills,
                static_cast<long long>(clock.elapsed()));
    EXPECT_GE(kills, kKills / 2) << "too few runs were killed to say much";
}
