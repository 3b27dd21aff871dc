// Downloads from a real nginx: layouts, range test, redirects, 404, pause and resume, report
// order, file naming.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "common/NginxServer.h"
#include "engine/EngineTestSupport.h"
#include "store/JobDbFormat.h"

using namespace EngineTest;

namespace {

class NginxDownload : public ::testing::Test {
protected:
    static NginxServer& Nginx() {
        return NginxServer::Shared(
            "location /slow/ { limit_rate 25k; }\n"
            "location /norange/ { max_ranges 0; limit_rate 60k; }\n"
            "location /rate/ { limit_rate 512k; }\n"
            "location = /r { absolute_redirect off; return 302 /slow/r.bin; }\n"
            "location = /rabs { return 301 /data/small.bin; }\n"
            "location = /loop { absolute_redirect off; return 302 /loop; }\n"
            "location = /u8 { absolute_redirect off; return 302 \"/data/\xc3\xbc b.bin\"; }\n");
    }
    void SetUp() override {
        ClearJobs();
        Settings = SettingsRecord{};
        Settings.Retries = 0;  // one attempt per connection; retries are tested on their own
        dir = TestEnv::NewDir();
        ASSERT_TRUE(nginx.Started());
    }
    // Puts a file of random bytes on the server.
    QByteArray Serve(const QString& path, qsizetype size, quint32 seed = 7) {
        const QByteArray data = TestEnv::RandomBytes(size, seed);
        EXPECT_TRUE(nginx.Put(path, data));
        return data;
    }

    NginxServer& nginx = Nginx();
    QString dir;
};

}  // namespace

TEST_F(NginxDownload, WholeFileOverOneToTenConnections) {
    const QByteArray data = Serve("data/f.bin", 2000000);
    for (int parts : {1, 2, 5, 10}) {
        const int j =
            AddTestJob(nginx.Url("/data/f.bin"), dir, parts, QStringLiteral("f%1.bin").arg(parts));
        DownloadSlot slot(1);
        SlotWatch watch(slot);
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(watch.WaitDone()) << parts;
        ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
        const JobRecord& r = Jobs[j];
        EXPECT_EQ(r.State, StateComplete);
        EXPECT_EQ(r.LocalFile, dir + QStringLiteral("/f%1.bin").arg(parts));
        EXPECT_EQ(TestEnv::ReadFile(r.LocalFile), data) << parts;
        EXPECT_FALSE(QFile::exists(r.LocalFile + "!qv"));
        EXPECT_EQ(r.Received, r.FileSize);
        EXPECT_FALSE(slot.InUse());
    }
}

TEST_F(NginxDownload, LayoutOf300000OverThreeAndReportOrder) {
    const QByteArray data = Serve("slow/l3.bin", 300000);
    const int j = AddTestJob(nginx.Url("/slow/l3.bin"), dir, 3);
    DownloadSlot slot(1);
    SlotWatch watch(slot);
    bool jobsCurrent = true;
    watch.onReport = [&](int, const QString&, const QString&) {
        // Jobs holds the working copy at every report.
        JobRecord copy = slot.Job()->Record();
        slot.Job()->CalcHaveDown();
        if (!(Jobs[j] == slot.Job()->Record())) jobsCurrent = false;
        slot.Job()->Record() = copy;
    };
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_TRUE(jobsCurrent);
    EXPECT_EQ(Jobs[j].CanResume, VbTrue);
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);

    const auto& seg = Jobs[j].Segments;
    EXPECT_EQ(seg[1].StartPos, 0);
    EXPECT_EQ(seg[1].EndPos, 100000);
    EXPECT_GT(seg[1].CurPos, 100000);
    EXPECT_EQ(seg[2], (SegmentRecord{100000, seg[2].CurPos, 200000}));
    EXPECT_GT(seg[2].CurPos, 200000);
    EXPECT_EQ(seg[3], (SegmentRecord{200000, 300000, 300000}));

    EXPECT_EQ(watch.Kinds(1), (QStringList{"Connecting", "Connected", "Request", "Response",
                                           "Autorename", "DataArrival", "Close"}));
    EXPECT_EQ(watch.Kinds(2), (QStringList{"Connecting", "Connected", "Request", "Response",
                                           "DataArrival", "Close"}));
    // The last range's close may come after the job is already complete (then it is not seen).
    EXPECT_EQ(watch.Kinds(3).mid(0, 5),
              (QStringList{"Connecting", "Connected", "Request", "Response", "DataArrival"}));
    // Connection 2 is announced after connection 1's first data; connection 3 after the 206.
    int firstData1 = -1, connecting2 = -1, response2 = -1, connecting3 = -1;
    for (int i = 0; i < watch.reports.size(); ++i) {
        const ReportEntry& e = watch.reports[i];
        if (e.part == 1 && e.kind == "DataArrival" && firstData1 < 0) firstData1 = i;
        if (e.part == 2 && e.kind == "Connecting") connecting2 = i;
        if (e.part == 2 && e.kind == "Response") response2 = i;
        if (e.part == 3 && e.kind == "Connecting") connecting3 = i;
        if (e.kind == "Close") {
            EXPECT_EQ(e.detail, e.part == 3 ? "ByServer" : "MeComplete") << e.part;
        }
    }
    EXPECT_LT(firstData1, connecting2);
    EXPECT_LT(response2, connecting3);
    EXPECT_EQ(watch.reports[0].detail, QStringLiteral("127.0.0.1:%1").arg(nginx.Port()));
    EXPECT_EQ(watch.reports[1].detail,
              QStringLiteral("127.0.0.1:%1(IP:127.0.0.1)").arg(nginx.Port()));
    EXPECT_TRUE(watch.log.contains("Start Receiving Date..."));
    EXPECT_TRUE(watch.log.contains("Range: bytes=100000-"));
}

TEST_F(NginxDownload, LayoutOf100001OverTwoAndTheSizeThreshold) {
    const QByteArray data = Serve("slow/l2.bin", 100001);
    const int j = AddTestJob(nginx.Url("/slow/l2.bin"), dir, 2);
    DownloadSlot slot(1);
    SlotWatch watch(slot);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(Jobs[j].Segments[1].EndPos, 50000);
    EXPECT_EQ(Jobs[j].Segments[2].StartPos, 50000);
    EXPECT_EQ(Jobs[j].Segments[2].EndPos, 100001);
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);

    for (int size : {51200, 51201}) {
        const QByteArray small = Serve(QStringLiteral("slow/t%1.bin").arg(size), size);
        const int k = AddTestJob(nginx.Url(QStringLiteral("/slow/t%1.bin").arg(size)), dir, 2,
                                 QStringLiteral("t%1.bin").arg(size));
        watch.Clear();
        ASSERT_TRUE(slot.BindAndStart(k));
        ASSERT_TRUE(watch.WaitDone());
        ASSERT_EQ(watch.completed, 1);
        EXPECT_EQ(watch.Count("Connecting"), size == 51200 ? 1 : 2);
        EXPECT_EQ(TestEnv::ReadFile(Jobs[k].LocalFile), small);
    }
}

TEST_F(NginxDownload, ServerWithoutRangesFailsTheRangeTest) {
    const QByteArray data = Serve("norange/n.bin", 240000);
    const int j = AddTestJob(nginx.Url("/norange/n.bin"), dir, 3);
    DownloadSlot slot(1);
    SlotWatch watch(slot);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(watch.Count("ReSumeTestError", 2), 1);
    for (const ReportEntry& e : watch.reports)
        if (e.kind == "ReSumeTestError") {
            EXPECT_EQ(e.detail, Jobs[j].Url);
        }
    EXPECT_EQ(watch.Count("Connecting", 3), 0);
    EXPECT_EQ(Jobs[j].CanResume, VbFalse);
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
}

TEST_F(NginxDownload, RedirectsRelativeAbsoluteAndLoops) {
    DownloadSlot slot(1);
    SlotWatch watch(slot);
    const struct {
        const char* path;
        int parts;
        QString served;  // where the redirect leads
        qsizetype size;
    } cases[] = {
        {"/r", 2, "slow/r.bin", 70000},
        {"/rabs", 1, "data/small.bin", 1000},  // an absolute Location naming "localhost"
        // Raw UTF-8 in the Location is asked for as browsers ask for it (%C3%BC%20).
        {"/u8", 1, QString::fromUtf8("data/\xc3\xbc b.bin"), 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const QByteArray data = Serve(c.served, c.size, c.parts);
        const int j = AddTestJob(nginx.Url(c.path), dir, c.parts, c.served.section('/', -1));
        watch.Clear();
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(watch.WaitDone());
        ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
        EXPECT_TRUE(Jobs[j].Url.endsWith(QStringLiteral(":%1/").arg(nginx.Port()) + c.served))
            << Jobs[j].Url.toStdString();
        EXPECT_TRUE(watch.log.contains("Redirect link to other site:" + Jobs[j].Url));
        EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    }

    const int loop = AddTestJob(nginx.Url("/loop"), dir, 1, "loop.bin");
    watch.Clear();
    ASSERT_TRUE(slot.BindAndStart(loop));
    ASSERT_TRUE(watch.WaitDone());
    EXPECT_EQ(watch.ended, 1);
    EXPECT_EQ(Jobs[loop].State, StateError);
    EXPECT_EQ(watch.Count("Redirect"), 10);
    EXPECT_TRUE(watch.endReason.contains("Too many redirects")) << watch.endReason.toStdString();
    EXPECT_FALSE(slot.InUse());
}

TEST_F(NginxDownload, NotFoundEndsTheJobInState5) {
    const int j = AddTestJob(nginx.Url("/missing.swf"), dir, 3, "missing.swf");
    DownloadSlot slot(1);
    SlotWatch watch(slot);
    QList<int> icons;
    QObject::connect(&slot, &DownloadSlot::StateIcon, [&](int, int s) { icons << s; });
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    EXPECT_EQ(watch.ended, 1);
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_EQ(watch.endReason, "Request Url Error! 404");
    EXPECT_EQ(watch.reports.last().kind, "RequestError");
    EXPECT_EQ(watch.reports.last().detail, "404");
    EXPECT_EQ(icons, (QList<int>{1, 5}));
    EXPECT_FALSE(slot.InUse());
    EXPECT_EQ(Jobs[j].IsNew, VbTrue);  // no file was made
    EXPECT_FALSE(QFile::exists(dir + "/missing.swf!qv"));
}

TEST_F(NginxDownload, PauseAndResumeAcrossARestartWithoutFetchingAgain) {
    const qsizetype size = 3 * 1024 * 1024;
    const QByteArray data = Serve("rate/p.bin", size);
    const int j = AddTestJob(nginx.Url("/rate/p.bin"), dir, 3);
    qint64 atPause = 0;
    {
        DownloadSlot slot(1);
        SlotWatch watch(slot);
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(WaitFor([&] { return Jobs[j].Received >= 1024 * 1024 || watch.ended; }));
        ASSERT_EQ(watch.ended, 0);
        slot.Pause();
        atPause = Jobs[j].Received;
        EXPECT_EQ(Jobs[j].State, StatePaused);
        EXPECT_EQ(Jobs[j].IsNew, VbFalse);
        EXPECT_EQ(Jobs[j].FileOpen, VbFalse);
        EXPECT_FALSE(slot.InUse());
        EXPECT_EQ(QFileInfo(Jobs[j].LocalFile).size(), size);
        // Nothing more happens after the pause.
        TestEnv::NothingWithin(300);
        EXPECT_EQ(Jobs[j].Received, atPause);
    }
    // The record goes through the database layout, as after a restart of the program.
    QByteArray bytes;
    JobDbFormat::WriteJob(bytes, Jobs[j]);
    ClearJobs();
    JobRecord restored;
    JobDbFormat::Reader reader(bytes);
    ASSERT_TRUE(reader.ReadJob(restored));
    const int again = AddJob(restored);

    DownloadSlot slot(2);
    SlotWatch watch(slot);
    ASSERT_TRUE(slot.BindAndStart(again));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(watch.Count("Autorename"), 0);
    EXPECT_EQ(TestEnv::ReadFile(Jobs[again].LocalFile), data);
    EXPECT_EQ(Jobs[again].LocalFile, dir + "/a.swf");
    // Only the missing bytes came again (plus at most a read's worth per connection).
    EXPECT_LT(watch.arrived, size - atPause + 3 * 300 * 1024);
}

TEST_F(NginxDownload, PauseBeforeTheFirstAnswerKeepsTheJobNew) {
    Serve("slow/k.bin", 80000);
    const int j = AddTestJob(nginx.Url("/slow/k.bin"), dir, 2, "k.bin");
    DownloadSlot slot(1);
    SlotWatch watch(slot);
    watch.onReport = [&](int, const QString& kind, const QString&) {
        if (kind == "Request") slot.Pause();  // from inside the report
    };
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(WaitFor([&] { return !slot.InUse(); }));
    TestEnv::NothingWithin(200);
    EXPECT_EQ(Jobs[j].State, StatePaused);
    EXPECT_EQ(Jobs[j].IsNew, VbTrue);
    EXPECT_FALSE(QFile::exists(dir + "/k.bin!qv"));
    watch.onReport = nullptr;
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(QFileInfo(Jobs[j].LocalFile).size(), 80000);
}

TEST_F(NginxDownload, FileNamesAutorenameOverwriteAndMissingFolder) {
    const QByteArray data = Serve("data/n.swf", 5000, 11);
    // "a.swf!qv" is taken: a0.swf!qv, and the final name a0.swf.
    TestEnv::WriteFile(dir + "/a.swf!qv", "old partial");
    int j = AddTestJob(nginx.Url("/data/n.swf"), dir, 1);
    DownloadSlot slot(1);
    SlotWatch watch(slot);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1);
    EXPECT_TRUE(watch.log.contains("File Exits , Auto Rename:" + dir + "/a0.swf!qv"));
    EXPECT_EQ(Jobs[j].LocalFile, dir + "/a0.swf");
    EXPECT_EQ(TestEnv::ReadFile(dir + "/a.swf!qv"), "old partial");

    // The final name is taken although its "!qv" name is free: it is kept, too.
    TestEnv::WriteFile(dir + "/b.swf", "keep me");
    j = AddTestJob(nginx.Url("/data/n.swf"), dir, 1, "b.swf");
    watch.Clear();
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    EXPECT_EQ(Jobs[j].LocalFile, dir + "/b0.swf");
    EXPECT_EQ(TestEnv::ReadFile(dir + "/b.swf"), "keep me");
    EXPECT_EQ(TestEnv::ReadFile(dir + "/b0.swf"), data);

    // Overwrite, without "!qv": a longer file is cut to the new size.
    Settings.Fileexits = 0;
    Settings.UseQV = 0;
    TestEnv::WriteFile(dir + "/c.swf", QByteArray(20000, 'x'));
    j = AddTestJob(nginx.Url("/data/n.swf"), dir, 1, "c.swf");
    watch.Clear();
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    EXPECT_EQ(watch.Count("Autorename"), 0);
    EXPECT_EQ(TestEnv::ReadFile(dir + "/c.swf"), data);

    // A folder that does not exist: state 5 with the reason, never "complete".
    j = AddTestJob(nginx.Url("/data/n.swf"), dir + "/nowhere", 1, "d.swf");
    watch.Clear();
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    EXPECT_EQ(watch.ended, 1);
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_TRUE(watch.endReason.contains("Cannot create the file"))
        << watch.endReason.toStdString();
}

TEST_F(NginxDownload, OwnerMayBindTheSlotAgainFromItsHandlers) {
    const QByteArray one = Serve("data/one.bin", 60000, 21);
    const QByteArray two = Serve("data/two.bin", 70000, 22);
    const int j1 = AddTestJob(nginx.Url("/data/one.bin"), dir, 2, "one.bin");
    const int j2 = AddTestJob(nginx.Url("/data/two.bin"), dir, 2, "two.bin");
    const int bad = AddTestJob("ftp://nowhere/x", dir, 2, "x.bin");
    DownloadSlot slot(3);
    SlotWatch watch(slot);
    QList<int> done;
    QObject::connect(&slot, &DownloadSlot::Completed, [&](int s, int j) {
        EXPECT_EQ(s, 3);
        done << j;
        if (j == j1) slot.BindAndStart(j2);  // the next waiting job, from inside the handler
    });
    EXPECT_FALSE(slot.BindAndStart(bad));
    EXPECT_EQ(Jobs[bad].State, StateError);
    EXPECT_TRUE(watch.endReason.startsWith("Request Url Error! ")) << watch.endReason.toStdString();
    ASSERT_TRUE(slot.BindAndStart(j1));
    ASSERT_TRUE(WaitFor([&] { return done.size() == 2; }));
    EXPECT_EQ(done, (QList<int>{j1, j2}));
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j1].LocalFile), one);
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j2].LocalFile), two);
}
