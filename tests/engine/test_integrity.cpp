// Integrity of downloaded files against servers that stall, cut, reset, lie about ranges and
// lengths or change the file between runs; with pauses, kills and restarts of the program from
// the saved job database. Whatever happens, a job that says "complete" holds exactly the
// server's bytes under the name its record gives.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <string>

#include "engine/EngineTestSupport.h"
#include "store/CategoryTree.h"
#include "store/JobDb.h"
#include "store/JobValidators.h"

using namespace EngineTest;
using Request = ScriptServer::Request;

namespace {

constexpr int kWait = 20000;

// The file the server offers, with its validators.
struct ServedFile {
    QByteArray data;
    QByteArray etag;
    QByteArray lastModified;
};

ServedFile MakeFile(qsizetype size, quint32 seed, const QByteArray& tag, const QByteArray& date) {
    return {TestEnv::RandomBytes(size, seed), '"' + tag + '"', date + " GMT"};
}

QByteArray Num(qint64 n) {
    return QByteArray::number(n);
}

// The value of a request header line, "" when the request has none.
QByteArray RequestHeader(const QByteArray& request, const QByteArray& name) {
    const QByteArray lower = request.toLower();
    const qsizetype p = lower.indexOf("\r\n" + name.toLower() + ":");
    if (p < 0) return {};
    const qsizetype start = p + 3 + name.size();
    return request.mid(start, request.indexOf("\r\n", start) - start).trimmed();
}

// What a server with ranges answers: 206 from the asked byte while If-Range (if sent) names the
// current file, else 200 with all of it; 416 for a start at or beyond the end. from = the offset
// of the body's first byte.
QByteArray HonestHead(const Request& r, const ServedFile& f, qint64& from,
                      bool honourIfRange = true) {
    const qint64 size = f.data.size();
    const QByteArray ifRange = RequestHeader(r.text, "If-Range");
    const bool same =
        !honourIfRange || ifRange.isEmpty() || ifRange == f.etag || ifRange == f.lastModified;
    QList<QByteArray> lines{"ETag: " + f.etag, "Last-Modified: " + f.lastModified};
    from = 0;
    if (r.rangeStart >= 0 && same) {
        if (r.rangeStart >= size) {
            from = size;
            return ScriptServer::Head("HTTP/1.1 416 Range Not Satisfiable",
                                      {"Content-Range: bytes */" + Num(size), "Content-Length: 0"});
        }
        from = r.rangeStart;
        lines << "Content-Length: " + Num(size - from)
              << "Content-Range: bytes " + Num(from) + "-" + Num(size - 1) + "/" + Num(size);
        return ScriptServer::Head("HTTP/1.1 206 Partial Content", lines);
    }
    lines << "Content-Length: " + Num(size);
    return ScriptServer::Head("HTTP/1.1 200 OK", lines);
}

// Runs action once condition holds, checked every 10 ms while ctx lives.
void WhenThen(QObject* ctx, std::function<bool()> condition, std::function<void()> action) {
    auto* timer = new QTimer(ctx);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, condition, action] {
        if (!condition()) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start(10);
}

// An honest answer at a network's pace: the head and the first bytes now, the rest a moment
// later, then the close.
void ServePaced(QTcpSocket* s, const Request& r, const ServedFile& f, bool honourIfRange = true,
                qint64 first = 2000, int pauseMs = 150) {
    qint64 from = 0;
    const QByteArray head = HonestHead(r, f, from, honourIfRange);
    const QByteArray body = f.data.mid(from);
    s->write(head + body.left(first));
    s->flush();
    QTimer::singleShot(pauseMs, s, [s, body, first] {
        s->write(body.mid(first));
        s->disconnectFromHost();
    });
}

// An honest head and count bytes of the body, then nothing more on an open connection.
void ServeAndStall(QTcpSocket* s, const Request& r, const ServedFile& f, qint64 count) {
    qint64 from = 0;
    const QByteArray head = HonestHead(r, f, from);
    s->write(head + f.data.mid(from, count));
}

// Resets the connection ms after everything written so far has left the socket.
void ResetWhenSent(QTcpSocket* s, int ms) {
    WhenThen(
        s, [s] { return s->bytesToWrite() == 0; },
        [s, ms] { QTimer::singleShot(ms, s, [s] { ScriptServer::Reset(s); }); });
}

// "" when equal; else where the bytes part.
std::string Difference(const QByteArray& got, const QByteArray& want) {
    if (got == want) return {};
    qsizetype i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    return "size " + std::to_string(got.size()) + " instead of " + std::to_string(want.size()) +
           ", first different byte at " + std::to_string(i);
}

// Whenever the job says complete, its LocalFile is a file holding exactly the server's bytes.
void ExpectCompleteMeansExact(int j, const QByteArray& data) {
    const JobRecord& r = Jobs[j];
    if (r.State != StateComplete) return;
    EXPECT_TRUE(QFileInfo(r.LocalFile).isFile()) << r.LocalFile.toStdString();
    EXPECT_EQ(Difference(TestEnv::ReadFile(r.LocalFile), data), "")
        << "complete with other bytes than the server's: " << r.LocalFile.toStdString();
}

// One download slot and its watcher; a new one stands for a new start of the job.
struct Runner {
    explicit Runner(int slotNo = 1) : slot(slotNo), watch(slot) {}
    DownloadSlot slot;
    SlotWatch watch;
    QString Said() const { return watch.log.join('\n') + '\n' + watch.endReason; }
};

QString Segments(const JobRecord& r) {
    QString out;
    for (int k = 1; k <= r.Parts; ++k)
        out += QStringLiteral(" %1:(%2,%3,%4)")
                   .arg(k)
                   .arg(r.Segments[k].StartPos)
                   .arg(r.Segments[k].CurPos)
                   .arg(r.Segments[k].EndPos);
    return out;
}

// The starts of the ranged requests the server got from the index first on.
QList<qint64> RangeStarts(const ScriptServer& server, qsizetype first) {
    QList<qint64> out;
    for (qsizetype i = first; i < server.requests.size(); ++i)
        if (server.requests[i].rangeStart >= 0) out << server.requests[i].rangeStart;
    return out;
}

class Integrity : public ::testing::Test {
protected:
    void SetUp() override {
        ClearJobs();
        JobValidators::Clear();
        Settings = SettingsRecord{};
        Settings.Retries = 0;  // one attempt per connection; retries are tested on their own
        dir = TestEnv::NewDir();
        dbPath = TestEnv::NewDir() + "/default.qvb";
    }
    void TearDown() override {
        ClearJobs();
        JobValidators::Clear();
    }

    // The job database as the program writes it while jobs run.
    void SaveDb() {
        CategoryTree tree;
        AddFixedNodes(tree, false);
        ASSERT_TRUE(SaveJobDb(tree, dbPath));
    }
    // A new start of the program: nothing left in memory, the jobs as the database holds them.
    int Restart() {
        ClearJobs();
        JobValidators::Clear();
        CategoryTree tree;
        const JobDbLoadResult result = LoadJobDb(tree, dbPath);
        EXPECT_TRUE(result.complete) << result.problem.toStdString();
        EXPECT_EQ(JobCount, 1);
        return JobCount == 1 ? 1 : 0;
    }
    QStringList Files() const {
        return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // Runs job j to its end on a new slot; false when it did not end in time.
    bool RunToEnd(std::unique_ptr<Runner>& run, int j) {
        run = std::make_unique<Runner>();
        if (!run->slot.BindAndStart(j)) return run->watch.ended > 0;
        return run->watch.WaitDone(kWait);
    }

    QString dir;
    QString dbPath;
};

}  // namespace

// ----- Resumes that must reach the end -------------------------------------------------------

class IntegrityResume : public Integrity {
protected:
    // First run: connection 1 gets range 1 and a little beyond, then stalls; every ranged request
    // gets 20000 bytes, then stalls. Afterwards (honest) every answer is honest and paced.
    void StartStalledRun() {
        file = MakeFile(360000, 31, "r1", "Tue, 01 Dec 2026 10:00:00");
        server = std::make_unique<ScriptServer>([this](QTcpSocket* s, const Request& r) {
            if (honest) return ServePaced(s, r, file);
            if (r.rangeStart > 0) return ServeAndStall(s, r, file, 20000);
            ServeAndStall(s, r, file, 10000);
            WhenThen(
                s, [this] { return RangeStarts(*server, 0).size() >= 2; },
                [this, s] {
                    QTimer::singleShot(200, s, [this, s] {
                        qint64 second = file.data.size();
                        for (qint64 start : RangeStarts(*server, 0))
                            if (start > 0) second = std::min(second, start);
                        s->write(file.data.mid(10000, second + 1000 - 10000));
                    });
                });
        });
        j = AddTestJob(server->Url("/r.swf"), dir, 3);
        run = std::make_unique<Runner>();
        ASSERT_TRUE(run->slot.BindAndStart(j));
        const bool ready = WaitFor(
            [this] {
                const auto& seg = Jobs[j].Segments;
                return run->watch.ended > 0 || run->watch.completed > 0 ||
                       (seg[1].CurPos > seg[1].EndPos && seg[2].StartPos > 0 &&
                        seg[2].CurPos - seg[2].StartPos >= 20000 && seg[3].StartPos > 0 &&
                        seg[3].CurPos - seg[3].StartPos >= 20000);
            },
            kWait);
        ASSERT_TRUE(ready) << Segments(Jobs[j]).toStdString();
        ASSERT_EQ(run->watch.ended + run->watch.completed, 0) << run->watch.endReason.toStdString();
    }
    // The honest second run on a new slot.
    void FinishHonestly() {
        const int32_t owed2 = Jobs[j].Segments[2].CurPos;
        const int32_t owed3 = Jobs[j].Segments[3].CurPos;
        honest = true;
        const qsizetype before = server->requests.size();
        ASSERT_TRUE(RunToEnd(run, j)) << Segments(Jobs[j]).toStdString();
        ExpectCompleteMeansExact(j, file.data);
        ASSERT_EQ(run->watch.completed, 1) << run->watch.endReason.toStdString();
        EXPECT_EQ(Jobs[j].State, StateComplete);
        EXPECT_EQ(Jobs[j].LocalFile, dir + "/a.swf");
        EXPECT_EQ(Files(), QStringList{"a.swf"});
        // Every range that still owed bytes was asked for them.
        const QList<qint64> starts = RangeStarts(*server, before);
        EXPECT_TRUE(starts.contains(owed2)) << owed2;
        EXPECT_TRUE(starts.contains(owed3)) << owed3;
    }

    ServedFile file;
    bool honest = false;
    std::unique_ptr<ScriptServer> server;
    std::unique_ptr<Runner> run;
    int j = 0;
};

TEST_F(IntegrityResume, PausedOnceRangeOneWasDoneWhileTheOthersStalled) {
    StartStalledRun();
    if (HasFatalFailure()) return;
    run->slot.Pause();
    EXPECT_EQ(Jobs[j].State, StatePaused);
    run.reset();
    FinishHonestly();
}

TEST_F(IntegrityResume, KilledOnceRangeOneWasDoneThenRestartedFromTheDatabase) {
    StartStalledRun();
    if (HasFatalFailure()) return;
    SaveDb();
    run.reset();  // ended without a pause, like a killed program
    j = Restart();
    ASSERT_EQ(j, 1);
    FinishHonestly();
}

// ----- Crash in the first run ----------------------------------------------------------------

TEST_F(Integrity, KilledInTheFirstRunFinishesUnderItsOwnName) {
    for (const bool deletePartial : {false, true}) {
        SCOPED_TRACE(deletePartial ? "partial file deleted" : "partial file kept");
        ClearJobs();
        JobValidators::Clear();
        dir = TestEnv::NewDir();
        const ServedFile file = MakeFile(420000, 61, "k1", "Wed, 02 Dec 2026 10:00:00");
        bool honest = false;
        ScriptServer server([&](QTcpSocket* s, const Request& r) {
            if (honest) return ServePaced(s, r, file);
            ServeAndStall(s, r, file, 30000);
        });
        Settings.UseQV = 1;
        int j = AddTestJob(server.Url("/k.swf"), dir, 3);
        auto run = std::make_unique<Runner>();
        ASSERT_TRUE(run->slot.BindAndStart(j));
        ASSERT_TRUE(WaitFor([&] { return Jobs[j].Received >= 60000 || run->watch.ended; }, kWait));
        ASSERT_EQ(run->watch.ended, 0) << run->watch.endReason.toStdString();
        EXPECT_EQ(Jobs[j].LocalFile, dir + "/a.swf!qv");
        SaveDb();
        run.reset();  // ended without a pause, like a killed program
        if (deletePartial) {
            ASSERT_TRUE(QFile::remove(dir + "/a.swf!qv"));
        }
        j = Restart();
        ASSERT_EQ(j, 1);
        honest = true;
        const qsizetype before = server.requests.size();
        ASSERT_TRUE(RunToEnd(run, j));
        ExpectCompleteMeansExact(j, file.data);
        ASSERT_EQ(run->watch.completed, 1) << run->watch.endReason.toStdString();
        EXPECT_EQ(Jobs[j].LocalFile, dir + "/a.swf");
        EXPECT_EQ(Files(), QStringList{"a.swf"});
        if (deletePartial) {
            // Without the partial file the job starts again from the first byte.
            bool fromZero = false;
            for (qsizetype i = before; i < server.requests.size(); ++i)
                if (server.requests[i].rangeStart <= 0) fromZero = true;
            EXPECT_TRUE(fromZero);
        }
    }
}

// ----- Resets and lengths --------------------------------------------------------------------

TEST_F(Integrity, ResetInABodyWithoutLengthIsNoCompletion) {
    const ServedFile file = MakeFile(400000, 41, "n1", "Thu, 03 Dec 2026 10:00:00");
    int mode = 0;  // 0 reset halfway, 1 honest, 2 no length and an orderly close after all bytes
    ScriptServer server([&](QTcpSocket* s, const Request& r) {
        if (mode == 1) return ServePaced(s, r, file);
        s->write(ScriptServer::Head(
            "HTTP/1.1 200 OK",
            {"Connection: close", "Content-Type: application/x-shockwave-flash"}));
        if (mode == 2) {
            s->write(file.data.left(150000));
            QTimer::singleShot(200, s, [s, &file] {
                s->write(file.data.mid(150000));
                s->disconnectFromHost();
            });
            return;
        }
        s->write(file.data.left(200000));
        ResetWhenSent(s, 300);
    });
    const int j = AddTestJob(server.Url("/n.swf"), dir, 3);
    std::unique_ptr<Runner> run;
    ASSERT_TRUE(RunToEnd(run, j));
    ExpectCompleteMeansExact(j, file.data);
    EXPECT_EQ(run->watch.completed, 0);
    EXPECT_EQ(run->watch.ended, 1);
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_TRUE(run->Said().contains("reset", Qt::CaseInsensitive))
        << run->watch.endReason.toStdString();
    EXPECT_FALSE(QFile::exists(dir + "/a.swf"));
    const int32_t got = Jobs[j].Segments[1].CurPos;
    EXPECT_GT(got, 0);

    // Resumable: the next run goes on from there and ends exact.
    mode = 1;
    const qsizetype before = server.requests.size();
    ASSERT_TRUE(RunToEnd(run, j));
    ExpectCompleteMeansExact(j, file.data);
    ASSERT_EQ(run->watch.completed, 1) << run->watch.endReason.toStdString();
    ASSERT_GT(server.requests.size(), before);
    EXPECT_EQ(server.requests[before].rangeStart, got);

    // The orderly close after the last byte is the end of such a body.
    mode = 2;
    const int k = AddTestJob(server.Url("/m.swf"), dir, 3, "m.swf");
    ASSERT_TRUE(RunToEnd(run, k));
    ExpectCompleteMeansExact(k, file.data);
    EXPECT_EQ(run->watch.completed, 1) << run->watch.endReason.toStdString();
    EXPECT_EQ(Jobs[k].LocalFile, dir + "/m.swf");
}

TEST_F(Integrity, ErrorStatusesAndAnswersWithoutStatusEndInState5) {
    const QByteArray page = TestEnv::RandomBytes(60000, 71);
    struct Case {
        QByteArray path;
        QByteArray answer;
        QString said;  // what the reason must name ("" when nothing in particular)
    };
    const QList<Case> cases{
        {"/e500", "HTTP/1.1 500 Internal Server Error", "500"},
        {"/e403", "HTTP/1.1 403 Forbidden", "403"},
        {"/e410", "HTTP/1.1 410 Gone", "410"},
        {"/raw-line", "", ""},
        {"/raw-bytes", "", ""},
    };
    ScriptServer server([&](QTcpSocket* s, const Request& r) {
        if (r.text.startsWith("GET /e404 "))
            s->write(ScriptServer::Head("HTTP/1.1 404 Not Found", {"Content-Length: 9"}) +
                     "not found");
        else if (r.text.startsWith("GET /raw-line "))
            s->write("SSH-2.0-OpenSSH_9.6\r\n\r\n" + page);  // a line that is no status line
        else if (r.text.startsWith("GET /raw-bytes "))
            s->write(page.left(3000));  // no head at all
        else
            for (const Case& c : cases)
                if (r.text.startsWith("GET " + c.path + " "))
                    s->write(ScriptServer::Head(c.answer, {"Content-Length: " + Num(page.size())}) +
                             page);
        s->disconnectFromHost();
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const QString name = QString::fromLatin1(c.path.mid(1)) + ".swf";
        const int j = AddTestJob(server.Url(QString::fromLatin1(c.path)), dir, 3, name);
        std::unique_ptr<Runner> run;
        ASSERT_TRUE(RunToEnd(run, j));
        EXPECT_EQ(run->watch.completed, 0);
        EXPECT_EQ(run->watch.ended, 1);
        EXPECT_EQ(Jobs[j].State, StateError);
        EXPECT_FALSE(run->watch.endReason.isEmpty());
        EXPECT_TRUE(run->watch.endReason.contains(c.said)) << run->watch.endReason.toStdString();
        EXPECT_FALSE(QFile::exists(dir + "/" + name)) << name.toStdString();
    }
    // 404 keeps its own report.
    const int j = AddTestJob(server.Url("/e404"), dir, 3, "e404.swf");
    std::unique_ptr<Runner> run;
    ASSERT_TRUE(RunToEnd(run, j));
    EXPECT_EQ(run->watch.completed, 0);
    EXPECT_EQ(Jobs[j].State, StateError);
    ASSERT_FALSE(run->watch.reports.isEmpty());
    EXPECT_EQ(run->watch.reports.last().kind, "RequestError");
    EXPECT_EQ(run->watch.reports.last().detail, "404");
}

// ----- Answers that do not fit the request ---------------------------------------------------

TEST_F(Integrity, PartialAnswerToARequestWithoutRangeIsNeverStoredAtTheStart) {
    const ServedFile file = MakeFile(300000, 81, "p1", "Fri, 04 Dec 2026 10:00:00");
    ScriptServer server([&](QTcpSocket* s, const Request& r) {
        if (r.rangeStart > 0) return ServePaced(s, r, file);
        const qint64 size = file.data.size();
        s->write(
            ScriptServer::Head("HTTP/1.1 206 Partial Content",
                               {"Content-Length: " + Num(size - 1000),
                                "Content-Range: bytes 1000-" + Num(size - 1) + "/" + Num(size)}));
        s->write(file.data.mid(1000));
        s->disconnectFromHost();
    });
    const int j = AddTestJob(server.Url("/p.swf"), dir, 3);
    std::unique_ptr<Runner> run;
    ASSERT_TRUE(RunToEnd(run, j));
    ExpectCompleteMeansExact(j, file.data);
    EXPECT_EQ(run->watch.completed, 0);
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_FALSE(QFile::exists(dir + "/a.swf"));
    const QByteArray partial = TestEnv::ReadFile(dir + "/a.swf!qv");
    EXPECT_FALSE(partial.size() >= 4096 && partial.left(4096) == file.data.mid(1000, 4096))
        << "the answer from byte 1000 was written at offset 0";
}

namespace {

// Content-Range values that do not fit a request from start of a file of size bytes.
QList<QPair<const char*, std::function<QByteArray(qint64, qint64)>>> BadContentRanges() {
    return {
        {"another start",
         [](qint64 start, qint64 size) {
             return "bytes " + Num(start + 500) + "-" + Num(size - 1) + "/" + Num(size);
         }},
        {"total nan",
         [](qint64 start, qint64 size) {
             return "bytes " + Num(start) + "-" + Num(size - 1) + "/nan";
         }},
        {"total -5",
         [](qint64 start, qint64 size) {
             return "bytes " + Num(start) + "-" + Num(size - 1) + "/-5";
         }},
        {"total 12abc",
         [](qint64 start, qint64 size) {
             return "bytes " + Num(start) + "-" + Num(size - 1) + "/12abc";
         }},
        {"another size",
         [](qint64 start, qint64 size) {
             return "bytes " + Num(start) + "-" + Num(size - 1) + "/" + Num(size + 1000);
         }},
        {"last byte at the total",
         [](qint64 start, qint64 size) {
             return "bytes " + Num(start) + "-" + Num(size) + "/" + Num(size);
         }},
    };
}

// A 206 with the given Content-Range and bytes that are not the file's, as many as the range
// names.
void ServeBadRange(QTcpSocket* s, qint64 start, qint64 size, const QByteArray& contentRange) {
    const qint64 last = contentRange.split('/').value(0).split('-').value(1).toLongLong();
    const QByteArray junk = TestEnv::RandomBytes((last > 0 ? last + 1 : size) - start, 999);
    s->write(ScriptServer::Head(
        "HTTP/1.1 206 Partial Content",
        {"Content-Length: " + Num(junk.size()), "Content-Range: " + contentRange}));
    s->write(junk.left(2000));
    s->flush();
    QTimer::singleShot(100, s, [s, junk] {
        s->write(junk.mid(2000));
        s->disconnectFromHost();
    });
}

}  // namespace

TEST_F(Integrity, ContentRangeThatDoesNotFitFailsItsConnection) {
    const ServedFile file = MakeFile(300000, 82, "c1", "Sat, 05 Dec 2026 10:00:00");
    std::function<QByteArray(qint64, qint64)> bad;
    ScriptServer server([&](QTcpSocket* s, const Request& r) {
        const qint64 size = file.data.size();
        if (r.rangeStart > 0) return ServeBadRange(s, r.rangeStart, size, bad(r.rangeStart, size));
        // Connection 1 is honest and slow, so that the later answers come first.
        ServePaced(s, r, file, true, 2000, 700);
    });
    int n = 0;
    for (const auto& [what, contentRange] : BadContentRanges()) {
        SCOPED_TRACE(what);
        bad = contentRange;
        const QString name = QStringLiteral("c%1.swf").arg(++n);
        const int j = AddTestJob(server.Url("/c.swf"), dir, 3, name);
        std::unique_ptr<Runner> run;
        ASSERT_TRUE(RunToEnd(run, j));
        ExpectCompleteMeansExact(j, file.data);
        EXPECT_TRUE(Jobs[j].State == StateComplete || Jobs[j].State == StateError);
        // Nothing of the answers that did not fit reached the file.
        EXPECT_EQ(run->watch.Count("DataArrival", 2), 0);
        EXPECT_EQ(run->watch.Count("DataArrival", 3), 0);
    }
}

TEST_F(Integrity, ContentRangeThatDoesNotFitOnEveryConnectionOfAResumeIsState5) {
    const ServedFile file = MakeFile(300000, 83, "c2", "Sun, 06 Dec 2026 10:00:00");
    std::function<QByteArray(qint64, qint64)> bad;
    bool resumed = false;
    ScriptServer server([&](QTcpSocket* s, const Request& r) {
        const qint64 size = file.data.size();
        if (r.rangeStart > 0) return ServeBadRange(s, r.rangeStart, size, bad(r.rangeStart, size));
        if (resumed) return ServePaced(s, r, file);
        ServeAndStall(s, r, file, 50000);
    });
    int n = 0;
    for (const auto& [what, contentRange] : BadContentRanges()) {
        SCOPED_TRACE(what);
        bad = contentRange;
        resumed = false;
        const QString name = QStringLiteral("c%1.swf").arg(++n);
        const int j = AddTestJob(server.Url("/c.swf"), dir, 1, name);
        auto run = std::make_unique<Runner>();
        ASSERT_TRUE(run->slot.BindAndStart(j));
        ASSERT_TRUE(WaitFor([&] { return Jobs[j].Received >= 50000 || run->watch.ended; }, kWait));
        run->slot.Pause();
        ASSERT_EQ(Jobs[j].State, StatePaused);
        resumed = true;
        const qsizetype before = server.requests.size();
        ASSERT_TRUE(RunToEnd(run, j));
        ExpectCompleteMeansExact(j, file.data);
        if (QByteArray(what) == "another size" && Jobs[j].State == StateComplete) {
            // Another size is also a sign of another file: starting again from the first byte
            // is as good as giving up.
            ASSERT_LT(before, server.requests.size());
            EXPECT_LT(server.requests.last().rangeStart, 1);
            continue;
        }
        EXPECT_EQ(run->watch.completed, 0);
        EXPECT_EQ(Jobs[j].State, StateError);
        EXPECT_EQ(
            Difference(TestEnv::ReadFile(Jobs[j].LocalFile).left(50000), file.data.left(50000)),
            "");
    }
}

TEST_F(Integrity, ContentLengthThatIsNoPlainNumberIsRefused) {
    const QByteArray body = TestEnv::RandomBytes(500, 84);
    const QList<QList<QByteArray>> heads{
        {"Content-Length: +500"},
        {"Content-Length: 5 00"},
        {"Content-Length: 500", "Content-Length: 400"},
        {"Content-Length: 0x1F4"},
    };
    QList<QByteArray> head;
    ScriptServer server([&](QTcpSocket* s, const Request&) {
        s->write(ScriptServer::Head("HTTP/1.1 200 OK", head) + body);
        s->disconnectFromHost();
    });
    int n = 0;
    for (const QList<QByteArray>& lines : heads) {
        SCOPED_TRACE(lines.join(" | ").toStdString());
        head = lines;
        const QString name = QStringLiteral("l%1.swf").arg(++n);
        const int j = AddTestJob(server.Url("/l.swf"), dir, 1, name);
        std::unique_ptr<Runner> run;
        ASSERT_TRUE(RunToEnd(run, j));
        ExpectCompleteMeansExact(j, body);
        EXPECT_EQ(run->watch.completed, 0);
        EXPECT_EQ(Jobs[j].State, StateError);
        EXPECT_FALSE(QFile::exists(dir + "/" + name));
        EXPECT_FALSE(QFile::exists(dir + "/" + name + "!qv"));
    }
}

// ----- The file changed on the server --------------------------------------------------------

TEST_F(Integrity, FileChangedBetweenPauseAndResumeStartsAgainWithTheNewFile) {
    struct Case {
        const char* what;
        qsizetype newSize;
        bool honourIfRange;
    };
    const QList<Case> cases{
        {"same size", 400000, true},
        {"other size", 430000, true},
        {"same size, If-Range ignored by the server", 400000, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServedFile file = MakeFile(400000, 91, "v1", "Mon, 07 Dec 2026 10:00:00");
        const QByteArray oldTag = file.etag;
        bool second = false;
        ScriptServer server([&](QTcpSocket* s, const Request& r) {
            if (second) return ServePaced(s, r, file, c.honourIfRange);
            ServeAndStall(s, r, file, 30000);
        });
        const QString name = QStringLiteral("v%1.swf").arg(++n);
        const int j = AddTestJob(server.Url("/v.swf"), dir, 3, name);
        std::unique_ptr<Runner> run = std::make_unique<Runner>();
        ASSERT_TRUE(run->slot.BindAndStart(j));
        ASSERT_TRUE(WaitFor([&] { return Jobs[j].Received >= 90000 || run->watch.ended; }, kWait));
        ASSERT_EQ(run->watch.ended, 0) << run->watch.endReason.toStdString();
        run->slot.Pause();
        ASSERT_EQ(Jobs[j].State, StatePaused);

        file = MakeFile(c.newSize, 92, "v2", "Tue, 08 Dec 2026 11:00:00");
        second = true;
        const qsizetype before = server.requests.size();
        ASSERT_TRUE(RunToEnd(run, j));
        ExpectCompleteMeansExact(j, file.data);
        ASSERT_EQ(run->watch.completed, 1) << run->watch.endReason.toStdString();
        EXPECT_EQ(Jobs[j].FileSize, file.data.size());
        EXPECT_EQ(Jobs[j].LocalFile, dir + "/" + name);
        EXPECT_TRUE(run->Said().contains("changed", Qt::CaseInsensitive));
        // The resumed requests named the file they continue.
        bool oldNamed = false;
        for (qsizetype i = before; i < server.requests.size(); ++i) {
            const Request& r = server.requests[i];
            if (r.rangeStart > 0) {
                EXPECT_FALSE(RequestHeader(r.text, "If-Range").isEmpty()) << r.text.toStdString();
            }
            if (RequestHeader(r.text, "If-Range") == oldTag) oldNamed = true;
        }
        EXPECT_TRUE(oldNamed);
    }
}

// ----- Names at the end ----------------------------------------------------------------------

TEST_F(Integrity, FailedFinalRenameKeepsTheCompleteFileUnderItsWorkingName) {
    const ServedFile file = MakeFile(120000, 101, "n1", "Wed, 09 Dec 2026 10:00:00");
    ScriptServer server([&](QTcpSocket* s, const Request& r) { ServePaced(s, r, file); });
    Settings.UseQV = 1;
    Settings.Fileexits = 0;  // overwrite: no other name is chosen
    ASSERT_TRUE(QDir(dir).mkdir("a.swf"));
    const int j = AddTestJob(server.Url("/f.swf"), dir, 2);
    std::unique_ptr<Runner> run;
    ASSERT_TRUE(RunToEnd(run, j));
    ExpectCompleteMeansExact(j, file.data);
    ASSERT_EQ(run->watch.completed, 1) << run->watch.endReason.toStdString();
    EXPECT_EQ(Jobs[j].State, StateComplete);
    EXPECT_EQ(Jobs[j].LocalFile, dir + "/a.swf!qv");
    EXPECT_TRUE(QFileInfo(Jobs[j].LocalFile).isFile());
    EXPECT_TRUE(QFileInfo(dir + "/a.swf").isDir());
    const QString said = run->Said();
    EXPECT_TRUE(said.contains("rename", Qt::CaseInsensitive) ||
                said.contains("Is a directory", Qt::CaseInsensitive))
        << said.toStdString();
}

// ----- Early pause ---------------------------------------------------------------------------

TEST_F(Integrity, PausedBeforeTheRangesWereLaidOutResumesOnSeveralConnections) {
    const ServedFile file = MakeFile(500000, 111, "e1", "Thu, 10 Dec 2026 10:00:00");
    bool second = false;
    ScriptServer server([&](QTcpSocket* s, const Request& r) {
        if (!second) return ServeAndStall(s, r, file, 5000);
        // Connection 1 is slow on the resume: the other ranges have time to be asked for.
        ServePaced(s, r, file, true, 2000, r.rangeStart > 0 && r.rangeStart < 100000 ? 800 : 150);
    });
    const int j = AddTestJob(server.Url("/e.swf"), dir, 5);
    auto run = std::make_unique<Runner>();
    bool paused = false;
    run->watch.onReport = [&](int part, const QString& kind, const QString& detail) {
        if (!paused && part == 1 && kind == "DataArrival" && detail.toLongLong() > 0) {
            paused = true;
            run->slot.Pause();
        }
    };
    ASSERT_TRUE(run->slot.BindAndStart(j));
    ASSERT_TRUE(WaitFor([&] { return paused; }, kWait));
    TestEnv::NothingWithin(100);
    ASSERT_EQ(Jobs[j].State, StatePaused);
    ASSERT_GT(Jobs[j].Segments[1].CurPos, 0) << Segments(Jobs[j]).toStdString();
    run.reset();

    second = true;
    const qsizetype before = server.requests.size();
    ASSERT_TRUE(RunToEnd(run, j));
    ExpectCompleteMeansExact(j, file.data);
    ASSERT_EQ(run->watch.completed, 1) << run->watch.endReason.toStdString();
    EXPECT_EQ(Jobs[j].LocalFile, dir + "/a.swf");
    QList<qint64> starts;
    for (qint64 start : RangeStarts(server, before))
        if (start > 0 && !starts.contains(start)) starts << start;
    EXPECT_GE(starts.size(), 2) << "ranged requests on the resume: " << starts.size();
}

// ----- Answers that overrun or fall short -----------------------------------------------------

TEST_F(Integrity, RangeAnswerRunningIntoTheNextRangeNeverOverwritesIt) {
    const ServedFile file = MakeFile(300000, 121, "o1", "Fri, 11 Dec 2026 10:00:00");
    const qint64 size = file.data.size();
    int j = 0;
    // The range that starts at start has all its bytes, as the job's record says.
    auto rangeDone = [&](qint64 start) {
        for (int k = 1; k <= kMaxParts; ++k)
            if (j > 0 && Jobs[j].Segments[k].StartPos == start &&
                Jobs[j].Segments[k].CurPos >= size)
                return true;
        return false;
    };
    ScriptServer server([&](QTcpSocket* s, const Request& r) {
        if (r.rangeStart < 0) {
            // Connection 1: range 1 and a little beyond, once the later ranges have answered.
            ServeAndStall(s, r, file, 10000);
            WhenThen(
                s, [&] { return RangeStarts(server, 0).size() >= 2; },
                [&, s] {
                    QTimer::singleShot(200, s, [&, s] {
                        const QList<qint64> starts = RangeStarts(server, 0);
                        const qint64 second = *std::min_element(starts.begin(), starts.end());
                        s->write(file.data.mid(10000, second + 1000 - 10000));
                    });
                });
            return;
        }
        qint64 from = 0;
        const QByteArray head = HonestHead(r, file, from);
        s->write(head + file.data.mid(from, 5000));
        WhenThen(
            s, [&] { return RangeStarts(server, 0).size() >= 2; },
            [&, s, from] {
                const QList<qint64> starts = RangeStarts(server, 0);
                const qint64 last = *std::max_element(starts.begin(), starts.end());
                if (from == last) {
                    // The last range: honest and quick.
                    s->write(file.data.mid(from + 5000));
                    s->disconnectFromHost();
                    return;
                }
                // The middle range, once the last one is in: right up to its end, then bytes
                // that are not the file's.
                WhenThen(
                    s, [&, last] { return rangeDone(last); },
                    [&, s, from, last] {
                        s->write(file.data.mid(from + 5000, last - 1000 - (from + 5000)));
                        s->flush();
                        // The bytes across the end of the range come in one piece.
                        QTimer::singleShot(100, s, [&, s, last] {
                            s->write(file.data.mid(last - 1000, 1001) +
                                     TestEnv::RandomBytes(size - last - 1, 555));
                            s->disconnectFromHost();
                        });
                    });
            });
    });
    j = AddTestJob(server.Url("/o.swf"), dir, 3);
    std::unique_ptr<Runner> run;
    ASSERT_TRUE(RunToEnd(run, j)) << Segments(Jobs[j]).toStdString();
    ExpectCompleteMeansExact(j, file.data);
    EXPECT_TRUE(Jobs[j].State == StateComplete || Jobs[j].State == StateError);

    // A 200 whose body is shorter than its Content-Length, then an orderly close.
    ScriptServer shortServer([&](QTcpSocket* s, const Request&) {
        s->write(ScriptServer::Head("HTTP/1.1 200 OK", {"Content-Length: " + Num(size + 50000)}));
        s->write(file.data);
        s->disconnectFromHost();
    });
    const int k = AddTestJob(shortServer.Url("/s.swf"), dir, 1, "s.swf");
    ASSERT_TRUE(RunToEnd(run, k));
    ExpectCompleteMeansExact(k, file.data);
    EXPECT_EQ(run->watch.completed, 0);
    EXPECT_EQ(Jobs[k].State, StateError);
    EXPECT_FALSE(QFile::exists(dir + "/s.swf"));
}
