// Scripted peers that misbehave: split heads, ignored ranges, resets, chunked bodies, unknown
// lengths, stalls, oversized answers, bad redirects; and a proxy.

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include "engine/EngineTestSupport.h"

using namespace EngineTest;

namespace {

// Runs f on the socket after ms milliseconds, if the socket still exists.
void Later(int ms, QTcpSocket* s, std::function<void(QTcpSocket*)> f) {
    QPointer<QTcpSocket> p(s);
    QTimer::singleShot(ms, s->parent(), [p, f] {
        if (p) f(p.data());
    });
}

QByteArray LengthHead(qint64 length) {
    return ScriptServer::Head("HTTP/1.1 200 OK", {"Content-Length: " + QByteArray::number(length)});
}

class Peers : public ::testing::Test {
protected:
    void SetUp() override {
        ClearJobs();
        Settings = SettingsRecord{};
        Settings.Retries = 0;  // one attempt per connection; retries are tested on their own
        dir = TestEnv::NewDir();
    }
    QString dir;
    DownloadSlot slot{1};
    SlotWatch watch{slot};
};

}  // namespace

TEST_F(Peers, HeadSplitOverPackets) {
    const QByteArray data = TestEnv::RandomBytes(40000, 5);
    const QByteArray head = LengthHead(data.size());
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request&) {
        s->write(head.left(10));
        Later(150, s, [&](QTcpSocket* s) { s->write(head.mid(10, 20)); });
        Later(300, s, [&](QTcpSocket* s) {
            s->write(head.mid(30) + data.left(100));
            s->flush();
        });
        Later(450, s, [&](QTcpSocket* s) {
            s->write(data.mid(100));
            s->disconnectFromHost();
        });
    });
    const int j = AddTestJob(server.Url("/h.swf"), dir, 1);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    EXPECT_EQ(watch.Count("Response"), 1);
    for (const ReportEntry& e : watch.reports)
        if (e.kind == "Response") {
            EXPECT_EQ(e.detail, QString::fromLatin1(head));
        }
    // A single connection ends with the server's close.
    EXPECT_EQ(watch.reports.last().kind, "Close");
    EXPECT_EQ(watch.reports.last().detail, "ByServer");
}

TEST_F(Peers, InterimAnswersArePassedOverUpToALimit) {
    const QByteArray data = TestEnv::RandomBytes(30000, 6);
    const QByteArray early = "HTTP/1.1 103 Early Hints\r\nLink: </a.css>; rel=preload\r\n\r\n";
    const struct {
        const char* name;
        QByteArray before;           // sent first; the real head and the file follow 100 ms later
        const char* said;            // what the reason of a failure names ("" : the file completes)
        bool bareLineFeeds = false;  // in the real head
    } cases[] = {
        {"100 Continue, then the answer", "HTTP/1.1 100 Continue\r\n\r\n", ""},
        {"103 and 100 in pieces", early + "HTTP/1.1 100 Con", ""},
        {"one interim answer too many", early.repeated(17), "More than 16 interim answers"},
        {"heads with bare line feeds", "HTTP/1.1 100 Continue\n\n", "", true},
        {"101 is no interim answer", "HTTP/1.1 101 Switching Protocols\r\n\r\n", "101"},
        {"no status of three digits", "HTTP/1.1 2000000000000 OK\r\n\r\n", "valid status"},
        {"a status above 599", "HTTP/1.1 600 Odd\r\n\r\n", "valid status"},
        {"a coding alone", "HTTP/1.1 200 OK\r\nTransfer-Encoding: br\r\n\r\nabc", ": br"},
        {"a coding under the chunks",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
         "gzip, chunked"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request&) {
            s->write(c.before);
            const QByteArray rest = c.before.endsWith("Con") ? "tinue\r\n\r\n" : "";
            Later(100, s, [&, rest](QTcpSocket* s) {
                QByteArray head = LengthHead(data.size());
                if (c.bareLineFeeds) head.replace("\r\n", "\n");
                s->write(rest + head + data);
                s->disconnectFromHost();
            });
        });
        const int j = AddTestJob(server.Url("/interim.swf"), TestEnv::NewDir(), 1);
        watch.Clear();
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(watch.WaitDone());
        const bool complete = *c.said == 0;
        EXPECT_EQ(watch.completed, complete ? 1 : 0) << watch.endReason.toStdString();
        EXPECT_TRUE(complete ? TestEnv::ReadFile(Jobs[j].LocalFile) == data
                             : watch.endReason.contains(c.said))
            << watch.endReason.toStdString();
    }
}

TEST_F(Peers, HeadWithoutEndFailsTheConnection) {
    ScriptServer server([](QTcpSocket* s, const ScriptServer::Request&) {
        s->write("HTTP/1.1 200 OK\r\n");
        for (int i = 0; i < 2000; ++i) s->write("X-Filler: 0123456789012345678901234567890123\r\n");
    });
    const int j = AddTestJob(server.Url("/big-head"), dir, 1);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    EXPECT_EQ(watch.ended, 1);
    EXPECT_EQ(watch.Count("Error", 1), 1);
    EXPECT_EQ(watch.Count("Response"), 0);
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_TRUE(watch.endReason.contains("Response head larger than 65536 bytes"))
        << watch.endReason.toStdString();
}

TEST_F(Peers, StallPauseThenResumeWhereTheServerIgnoresRanges) {
    const QByteArray data = TestEnv::RandomBytes(300000, 9);
    bool honour = true;
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        if (!honour) return ScriptServer::ServeWhole(s, data);
        // First run: every connection sends a little of its range and then stalls.
        if (r.rangeStart > 0) {
            s->write(ScriptServer::Head(
                "HTTP/1.1 206 Partial Content",
                {"Content-Length: " + QByteArray::number(data.size() - r.rangeStart),
                 "Content-Range: bytes " + QByteArray::number(r.rangeStart) + "-299999/300000"}));
            s->write(data.mid(r.rangeStart, 20000));
        } else {
            s->write(LengthHead(data.size()));
            s->write(data.left(30000));
        }
    });
    const int j = AddTestJob(server.Url("/s.swf"), dir, 3);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(WaitFor([&] { return Jobs[j].Received >= 70000 || watch.ended; }));
    EXPECT_EQ(watch.ended, 0);
    // The request bytes as the server got them.
    ASSERT_GE(server.requests.size(), 3);
    JobRecord expect = Jobs[j];
    expect.Segments[2].CurPos = 100000;
    EXPECT_EQ(server.requests[1].text, clsDownLoadJob::RequestText(expect, 2));
    EXPECT_EQ(server.requests[1].rangeStart, 100000);
    slot.Pause();
    EXPECT_EQ(Jobs[j].State, StatePaused);

    honour = false;
    watch.Clear();
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_TRUE(slot.Job()->RespHead(1).startsWith("HTTP/1.1 200 OK"));
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
}

TEST_F(Peers, ALaterConnectionAnsweredWithTheWholeFileIsCovered) {
    const QByteArray data = TestEnv::RandomBytes(300000, 10);
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        if (r.rangeStart == 100000) return ScriptServer::ServeRanges(s, r, data);
        if (r.rangeStart > 0) return ScriptServer::ServeWhole(s, data);  // connection 3
        s->write(LengthHead(data.size()));
        s->write(data.left(10000));
        Later(800, s, [&](QTcpSocket* s) {
            s->write(data.mid(10000));
            s->disconnectFromHost();
        });
    });
    const int j = AddTestJob(server.Url("/c.swf"), dir, 3);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(watch.Count("Error", 3), 1);
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
}

TEST_F(Peers, ResetInTheMiddleThenResume) {
    const QByteArray data = TestEnv::RandomBytes(200000, 12);
    bool reset = true;
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        if (!reset) return ScriptServer::ServeRanges(s, r, data);
        s->write(LengthHead(data.size()));
        s->write(data.left(80000));
        s->flush();
        Later(400, s, [](QTcpSocket* s) { s->abort(); });
    });
    const int j = AddTestJob(server.Url("/r.swf"), dir, 1);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.ended, 1);
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_TRUE(watch.endReason.contains("before the file was complete"))
        << watch.endReason.toStdString();
    EXPECT_EQ(Jobs[j].IsNew, VbFalse);
    const int32_t got = Jobs[j].Segments[1].CurPos;
    EXPECT_GT(got, 0);

    reset = false;
    watch.Clear();
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(server.requests.last().rangeStart, got);
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
}

TEST_F(Peers, CutWhereTheServerIgnoresRangesStartsAgainInTheSameRun) {
    // The first answer is cut; the server answers every request, the retry's "Range" too, with
    // the whole file. Retrying the range would get that answer again and again.
    const QByteArray data = TestEnv::RandomBytes(300000, 19);
    for (const bool chunked : {false, true}) {
        SCOPED_TRACE(chunked ? "chunked" : "with a length");
        int answers = 0;
        ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request&) {
            if (++answers > 1) return ScriptServer::ServeWhole(s, data);
            s->write(chunked
                         ? ScriptServer::Head("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"}) +
                               "11170\r\n" + data.left(70000)
                         : LengthHead(data.size()) + data.left(70000));
            s->flush();
            Later(300, s, [](QTcpSocket* s) { s->disconnectFromHost(); });
        });
        Settings.Retries = 2;
        Settings.Redelay = 0;
        watch.Clear();
        const int j = AddTestJob(server.Url("/n.swf"), dir, 1);
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(watch.WaitDone());
        ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
        EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
        EXPECT_EQ(answers, 3);  // the cut, the whole file to the retry, the new start
    }
}

TEST_F(Peers, ChunkedBodyIsDecoded) {
    const QByteArray data = TestEnv::RandomBytes(70000, 13);
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request&) {
        QByteArray body;
        qsizetype at = 0;
        for (int size : {1, 4096, 30000, 0}) {
            const int n = size == 0 ? static_cast<int>(data.size() - at) : size;
            body += QByteArray::number(n, 16) + ";ext=1\r\n" + data.mid(at, n) + "\r\n";
            at += n;
        }
        body += "0\r\nX-Trailer: 1\r\n\r\n";
        s->write(ScriptServer::Head("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"}));
        s->write(body.left(5000));
        Later(200, s, [body](QTcpSocket* s) { s->write(body.mid(5000)); });
    });
    const int j = AddTestJob(server.Url("/k.swf"), dir, 3);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(Jobs[j].FileSize, data.size());
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    EXPECT_EQ(watch.Count("Connecting"), 1);
}

TEST_F(Peers, NoLengthCompletesOnlyWhenTheServerCloses) {
    const QByteArray data = TestEnv::RandomBytes(90000, 14);
    bool closed = false;
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request&) {
        s->write(
            ScriptServer::Head("HTTP/1.1 200 OK", {"Content-Type: application/x-shockwave-flash"}));
        s->write(data.left(1000));
        Later(600, s, [&](QTcpSocket* s) {
            s->write(data.mid(1000));
            closed = true;
            s->disconnectFromHost();
        });
    });
    const int j = AddTestJob(server.Url("/n.swf"), dir, 4);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    EXPECT_TRUE(closed);
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(Jobs[j].FileSize, data.size());
    EXPECT_EQ(Jobs[j].Received, data.size());
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    EXPECT_EQ(watch.Count("Connecting"), 1);
}

TEST_F(Peers, CloseWithoutAnswerIsNoCompletion) {
    ScriptServer server(
        [](QTcpSocket* s, const ScriptServer::Request&) { s->disconnectFromHost(); });
    const int j = AddTestJob(server.Url("/gone.swf"), dir, 1);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    EXPECT_EQ(watch.completed, 0);
    EXPECT_EQ(watch.ended, 1);
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_EQ(Jobs[j].IsNew, VbTrue);
}

TEST_F(Peers, ServerThatKeepsTheConnectionOpenIsLeftAfterTheLastByte) {
    const QByteArray data = TestEnv::RandomBytes(5000, 18);
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request&) {
        s->write(LengthHead(data.size()) + data);  // and no close
    });
    const int j = AddTestJob(server.Url("/open.swf"), dir, 1);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(watch.reports.last().kind, "Close");
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
}

TEST_F(Peers, UnknownLengthPausedAndResumedLearnsTheSize) {
    const QByteArray data = TestEnv::RandomBytes(100000, 19);
    bool second = false;
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        if (second) return ScriptServer::ServeRanges(s, r, data);
        s->write(ScriptServer::Head("HTTP/1.1 200 OK", {"Content-Type: x"}));
        s->write(data.left(30000));  // and stall
    });
    const int j = AddTestJob(server.Url("/u.swf"), dir, 3);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(WaitFor([&] { return Jobs[j].Received >= 30000; }));
    slot.Pause();
    EXPECT_EQ(Jobs[j].FileSize, 0);
    EXPECT_EQ(Jobs[j].Segments[1].EndPos, clsDownLoadJob::kUnknownEnd);
    EXPECT_EQ(Jobs[j].State, StatePaused);
    second = true;
    watch.Clear();
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(server.requests.last().rangeStart, 30000);
    EXPECT_EQ(Jobs[j].FileSize, data.size());
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
}

TEST_F(Peers, FailedWriteEndsTheJobInState5) {
    // The file may not grow beyond 50000 bytes: the write of the growing file fails.
    const QByteArray data = TestEnv::RandomBytes(200000, 20);
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request&) {
        s->write(ScriptServer::Head("HTTP/1.1 200 OK", {"Content-Type: x"}) + data);
        s->disconnectFromHost();
    });
    const int j = AddTestJob(server.Url("/w.swf"), dir, 1);
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 50000;
    setrlimit(RLIMIT_FSIZE, &small);
    ASSERT_TRUE(slot.BindAndStart(j));
    const bool done = watch.WaitDone();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(done);
    EXPECT_EQ(watch.completed, 0);
    EXPECT_EQ(watch.ended, 1);
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_TRUE(watch.endReason.contains("Cannot write the file " + dir + "/a.swf!qv"))
        << watch.endReason.toStdString();
}

TEST_F(Peers, PauseFromInsideADataReportAndGoOn) {
    const QByteArray data = TestEnv::RandomBytes(400000, 23);
    int answers = 0;
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        // The first answer of each connection comes in two pieces.
        ++answers;
        const QByteArray whole = r.rangeStart > 0 ? data.mid(r.rangeStart) : data;
        QByteArray head =
            r.rangeStart > 0
                ? ScriptServer::Head("HTTP/1.1 206 Partial Content",
                                     {"Content-Length: " + QByteArray::number(whole.size()),
                                      "Content-Range: bytes " + QByteArray::number(r.rangeStart) +
                                          "-399999/400000"})
                : LengthHead(data.size());
        s->write(head + whole.left(20000));
        s->flush();
        Later(300, s, [whole](QTcpSocket* s) {
            s->write(whole.mid(20000));
            s->disconnectFromHost();
        });
    });
    const int j = AddTestJob(server.Url("/i.swf"), dir, 4);
    bool paused = false;
    watch.onReport = [&](int part, const QString& kind, const QString&) {
        if (!paused && part == 2 && kind == "DataArrival") {
            paused = true;
            slot.Pause();
        }
    };
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(WaitFor([&] { return paused; }));
    TestEnv::NothingWithin(500);
    EXPECT_EQ(Jobs[j].State, StatePaused);
    EXPECT_FALSE(slot.InUse());
    EXPECT_EQ(watch.completed + watch.ended, 0);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
}

TEST_F(Peers, OversizedAndUnusableAnswersEndTheJob) {
    ScriptServer server([](QTcpSocket* s, const ScriptServer::Request& r) {
        if (r.text.startsWith("GET /huge"))
            s->write(ScriptServer::Head("HTTP/1.1 200 OK", {"Content-Length: 3000000000"}));
        else
            s->write(ScriptServer::Head("HTTP/1.1 302 Found", {"Location: ftp://files/x.swf"}));
    });
    const int j = AddTestJob(server.Url("/huge"), dir, 2);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    EXPECT_EQ(watch.ended, 1);
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_EQ(Jobs[j].FileSize, 0);
    EXPECT_TRUE(watch.endReason.contains("File too large")) << watch.endReason.toStdString();
    EXPECT_FALSE(QFile::exists(dir + "/a.swf!qv"));

    const int k = AddTestJob(server.Url("/moved"), dir, 2);
    watch.Clear();
    ASSERT_TRUE(slot.BindAndStart(k));
    ASSERT_TRUE(watch.WaitDone());
    EXPECT_EQ(watch.ended, 1);
    EXPECT_EQ(Jobs[k].State, StateError);
    EXPECT_TRUE(watch.endReason.contains("Invalid redirect target: ftp://files/x.swf"))
        << watch.endReason.toStdString();
    TestEnv::NothingWithin(200);
    EXPECT_EQ(server.requests.size(), 2);  // no reconnection to the old target
}

TEST_F(Peers, RedirectWhileResumingAndARecordLeftRunning) {
    const QByteArray data = TestEnv::RandomBytes(120000, 15);
    int phase = 1;
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        if (phase == 1) {
            s->write(LengthHead(data.size()));
            s->write(data.left(50000));  // and stall
        } else if (r.text.startsWith("GET /old")) {
            s->write(ScriptServer::Head("HTTP/1.1 302 Found", {"Location: /new.swf"}));
            s->disconnectFromHost();
        } else {
            ScriptServer::ServeRanges(s, r, data);
        }
    });
    const int j = AddTestJob(server.Url("/old.swf"), dir, 1);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(WaitFor([&] { return Jobs[j].Received >= 50000; }));
    // The program ended while the job ran: the stored record still says running, file open.
    slot.Job()->StopAll();
    slot.Job()->CloseFile();
    JobRecord left = Jobs[j];
    left.State = StateRunning;
    left.FileOpen = VbTrue;
    DownloadSlot fresh(2);
    SlotWatch freshWatch(fresh);
    Jobs[j] = left;
    phase = 2;
    ASSERT_TRUE(fresh.BindAndStart(j));
    ASSERT_TRUE(freshWatch.WaitDone());
    ASSERT_EQ(freshWatch.completed, 1) << freshWatch.endReason.toStdString();
    EXPECT_EQ(freshWatch.Count("Autorename"), 0);
    EXPECT_EQ(freshWatch.Count("Redirect"), 1);
    EXPECT_EQ(server.requests.last().rangeStart, 50000);
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
}

TEST_F(Peers, ConnectionOneOvertakingARangeCancelsIt) {
    // A paused job whose range test had failed: range 1 covers the file, range 2 was given up,
    // range 3 has not started.
    const QByteArray data = TestEnv::RandomBytes(300000, 16);
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        ScriptServer::ServeRanges(s, r, data);
    });
    const int j = AddTestJob(server.Url("/o.swf"), dir, 3);
    JobRecord& r = Jobs[j];
    r.IsNew = VbFalse;
    r.State = StatePaused;
    r.FileSize = 300000;
    r.LocalFile = dir + "/a.swf!qv";
    r.Segments[1] = {0, 150000, 300000};
    r.Segments[2] = {0, 0, 0};
    r.Segments[3] = {200000, 200000, 300000};
    QByteArray onDisk = data.left(150000);
    onDisk.resize(300000, '\0');
    TestEnv::WriteFile(r.LocalFile, onDisk);

    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    bool cancelled = false;
    for (const ReportEntry& e : watch.reports)
        if (e.kind == "Cancel" && e.part == 3 && e.detail == "1") cancelled = true;
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(watch.log.contains("This Part 3 Cancel By Part 1"));
    EXPECT_EQ(Jobs[j].Segments[3], (SegmentRecord{0, 0, 0}));
    EXPECT_EQ(Jobs[j].LocalFile, dir + "/a.swf");
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
}

TEST_F(Peers, RequestsGoThroughTheProxy) {
    const QByteArray data = TestEnv::RandomBytes(3000, 17);
    ScriptServer proxy(
        [&](QTcpSocket* s, const ScriptServer::Request&) { ScriptServer::ServeWhole(s, data); });
    const int j = AddTestJob("http://origin.invalid:8080/dir/p.swf", dir, 2);
    Jobs[j].UseProxy = VbTrue;
    Jobs[j].ProxyHost = "127.0.0.1";
    Jobs[j].ProxyPort = proxy.Port();
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(watch.reports.first().detail, QStringLiteral("127.0.0.1:%1").arg(proxy.Port()));
    ASSERT_EQ(proxy.requests.size(), 1);
    EXPECT_EQ(proxy.requests[0].text,
              QByteArray("GET http://origin.invalid:8080/dir/p.swf HTTP/1.1\r\nAccept: */*\r\n"
                         "User-Agent: Quorvanta 1.0\r\nHost: origin.invalid:8080\r\n"
                         "Connection: close\r\n\r\n"));
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
}

TEST_F(Peers, ARefusalWhileTheServerHasNotSeenAConnectionCloseKeepsTheCount) {
    // A server of four connections at a time that learns of a closed connection only later:
    // the first connection after the first close is turned away although a place is free. That
    // passing refusal must not cost the rest of the job a connection.
    const QByteArray data = TestEnv::RandomBytes(4000000, 18);
    constexpr int kPlaces = 4;
    int open = 0;
    bool lagging = false;
    bool lagUsed = false;
    int peakAfterLag = 0;
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        if (open >= kPlaces || lagging) {
            lagging = false;
            s->write(ScriptServer::Head("HTTP/1.1 503 Service Unavailable", {"Content-Length: 0"}));
            s->disconnectFromHost();
            return;
        }
        ++open;
        if (lagUsed) peakAfterLag = std::max(peakAfterLag, open);
        const qint64 from = std::max<qint64>(r.rangeStart, 0);
        s->write(ScriptServer::Head(
            r.rangeStart > 0 ? "HTTP/1.1 206 Partial Content" : "HTTP/1.1 200 OK",
            {"Content-Length: " + QByteArray::number(data.size() - from),
             "Content-Range: bytes " + QByteArray::number(from) + "-" +
                 QByteArray::number(data.size() - 1) + "/" + QByteArray::number(data.size())}));
        // 8 kB every 10 ms: about 800 kB/s a connection, so ranges end while others wait.
        auto* pace = new QTimer(s);
        auto at = std::make_shared<qint64>(from);
        QObject::connect(pace, &QTimer::timeout, s, [s, pace, at, &data] {
            s->write(data.mid(*at, 8192));
            *at += 8192;
            if (*at >= data.size()) {
                pace->stop();
                s->disconnectFromHost();
            }
        });
        pace->start(10);
        QObject::connect(s, &QTcpSocket::disconnected, s, [&open, &lagging, &lagUsed] {
            --open;
            if (!lagUsed) lagging = lagUsed = true;
        });
    });
    const int j = AddTestJob(server.Url("/lag.swf"), dir, 10);

    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    EXPECT_TRUE(lagUsed);
    EXPECT_EQ(peakAfterLag, kPlaces) << watch.log.join("\n").toStdString();
}
