#include <QSignalSpy>
#include <memory>

#include "PagesFixture.h"
#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "pages/clsSearchQueue.h"

namespace {

NginxServer& Nginx() {
    return NginxServer::Shared(QString(), kPageTypes);
}

QString MoviePage(const QString& movie) {
    return "<object classid=\"clsid:1\" codebase=\"http://download.macromedia.com/\">\r\n"
           "<param name=movie value=\"" +
           movie + "\"></object>\r\n";
}

// A peer that answers with a head and a little body, then keeps the connection open.
std::unique_ptr<ScriptedPeer> Stalling() {
    return std::make_unique<ScriptedPeer>(
        QList<QByteArray>{"HTTP/1.1 200 OK\r\n\r\n<html><a href=x.htm>"}, 1, true);
}

class SearchQueueTest : public PagesTest {
protected:
    void SetUp() override {
        PagesTest::SetUp();
        ASSERT_TRUE(Nginx().Started());
        queue = std::make_unique<clsSearchQueue>();
        queue->SetAddToNowDownList([this](int j) { nowDown.push_back(j); });
        QObject::connect(queue->Analyser(), &clsDownHtml::UpdataState,
                         [this](const QString& kind, const QString&) {
                             if (kind == "Connecting")
                                 trace << "start" + QString::number(queue->CurSearch);
                         });
        // A row's end shows in its icon before the queue moves on.
        QObject::connect(queue.get(), &clsSearchQueue::RowChanged, [this](int i) {
            const QString icon = queue->Row(i)->Icon;
            const QString done = "done" + QString::number(i);
            if ((icon == "Ok" || icon == "Error") && !trace.contains(done)) trace << done;
        });
    }
    void TearDown() override {
        queue.reset();
        PagesTest::TearDown();
    }
    // Appends a search record and hands it to the list, as every producer does.
    int Add(const SearchRecord& record) {
        const int i = AddSearch(record);
        queue->AddToSearchList(i);
        return i;
    }
    QString At(const QString& path) const { return Nginx().Url(path); }
    QString Col(int i, int c) const { return queue->Row(i)->SubItems[c]; }
    QString Icon(int i) const { return queue->Row(i)->Icon; }
    static bool WaitState(int i, int32_t state, int ms = 10000) {
        // The record may not exist yet: a page adds the searches of its links as it is analysed.
        return QTest::qWaitFor([&] { return i <= SearchCount && Searches[i].SearchState == state; },
                               ms);
    }
    // Text and kind of every log entry of row i.
    std::vector<std::pair<QString, int>> Log(int i) const {
        std::vector<std::pair<QString, int>> out;
        for (const int32_t e : LogEntryNumbers(queue->Row(i)->EntryList))
            out.emplace_back(JobLog[e].LogText, JobLog[e].LogKind);
        return out;
    }

    std::unique_ptr<clsSearchQueue> queue;
    std::vector<int> nowDown;
    QStringList trace;
};

TEST_F(SearchQueueTest, WaitingJobsRunOneAtATimeInIndexOrder) {
    for (int k = 1; k <= 4; ++k)
        ASSERT_TRUE(
            Nginx().Put(QString("q%1.htm").arg(k), MoviePage(QString("m%1.swf").arg(k)).toUtf8()));
    const int first = Add(PageSearch(At("/q1.htm")));
    EXPECT_TRUE(queue->Analyser()->InUse);
    EXPECT_EQ(queue->CurSearch, first);
    EXPECT_EQ(queue->CurSearchRow, first);
    // Added while the first runs, out of order: a paused one and two waiting ones.
    SearchRecord paused = PageSearch(At("/q2.htm"));
    paused.SearchState = SearchPaused;
    const int second = Add(paused);
    const int third = Add(PageSearch(At("/q3.htm")));
    const int fourth = Add(PageSearch(At("/q4.htm")));
    for (const int i : {third, fourth}) {
        EXPECT_EQ(Col(i, 1), "Waiting Search");
        EXPECT_EQ(Icon(i), "Waitfor");
        EXPECT_EQ(Col(i, 3), "??");
        EXPECT_EQ(Col(i, 5), "0%");
    }
    EXPECT_EQ(Icon(second), "Pause");
    EXPECT_EQ(Col(third, 2), "q3.htm");
    EXPECT_EQ(Col(third, 9), At("/q3.htm"));
    EXPECT_EQ(queue->Row(third)->Key(), QString::number(third) + "Key");

    ASSERT_TRUE(WaitState(fourth, SearchAnalysed));
    EXPECT_EQ(trace, (QStringList{"start1", "done1", "start3", "done3", "start4", "done4"}));
    EXPECT_EQ(Searches[second].SearchState, SearchPaused);
    EXPECT_EQ(nowDown, (std::vector<int>{1, 2, 3}));

    const int size = MoviePage("m1.swf").toUtf8().size();
    EXPECT_EQ(Col(first, 1), "Anlyliz Complete");
    EXPECT_EQ(Icon(first), "Ok");
    EXPECT_EQ(Col(first, 3), QString::number(size));
    EXPECT_EQ(Col(first, 4), QString::number(size));
    EXPECT_EQ(Col(first, 5), "100%");
    EXPECT_EQ(Col(first, 6), "0");
    EXPECT_EQ(Col(first, 8), "1");

    const auto log = Log(first);
    ASSERT_GE(log.size(), 14u);
    EXPECT_TRUE(log[0].first.startsWith("Connecting:127.0.0.1:"));
    EXPECT_EQ(log[0].second, 1);
    EXPECT_TRUE(log[1].first.startsWith("Connected:"));
    EXPECT_EQ(log[1].second, 1);
    EXPECT_EQ(log[2], std::make_pair(QString("Send Request."), 100));
    EXPECT_EQ(log[3], std::make_pair(QString("GET /q1.htm HTTP/1.1"), 3));
    EXPECT_EQ(log[4], std::make_pair(QString("Accept: */*"), 3));
    // The blank line that ends the request is not logged.
    EXPECT_EQ(log[7], std::make_pair(QString("Connection: close"), 3));
    EXPECT_EQ(log[8], std::make_pair(QString("Waiting For Server Response..."), 100));
    EXPECT_EQ(log[9], std::make_pair(QString("Reveive the Server Response.."), 100));
    EXPECT_EQ(log[10], std::make_pair(QString("HTTP/1.1 200 OK"), 4));
    const size_t n = log.size();
    EXPECT_EQ(log[n - 5], std::make_pair(QString("Start Receiving Date..."), 100));
    EXPECT_EQ(log[n - 4], std::make_pair(QString("Receive Data Complete ."), 6));
    EXPECT_EQ(log[n - 3], std::make_pair(QString("Start Analysis.."), 100));
    EXPECT_EQ(log[n - 2], std::make_pair("Found Flash. Url=" + At("/m1.swf"), 9));
    EXPECT_EQ(log[n - 1], std::make_pair(QString("Anlyliz Complete"), 100));
}

TEST_F(SearchQueueTest, FailuresEndTheJobAndTheQueueMovesOn) {
    ASSERT_TRUE(Nginx().Put("ok.htm", MoviePage("fine.swf").toUtf8()));
    const int missing = Add(PageSearch(At("/gone.htm")));
    const int unusable = Add(PageSearch("www.example.com/index.htm"));
    const int refused = Add(PageSearch(QString("http://127.0.0.1:%1/").arg(TestEnv::FreePort())));
    const int good = Add(PageSearch(At("/ok.htm")));
    ASSERT_TRUE(WaitState(good, SearchAnalysed));

    EXPECT_EQ(Searches[missing].SearchState, SearchError);
    EXPECT_EQ(Col(missing, 1), "Error");
    EXPECT_EQ(Icon(missing), "Error");
    const auto log = Log(missing);
    EXPECT_NE(std::find(log.begin(), log.end(), std::make_pair(QString("Receive Data Error ."), 8)),
              log.end());
    EXPECT_EQ(log.back(), std::make_pair(QString("Anlyliz Complete"), 100));

    EXPECT_EQ(Searches[unusable].SearchState, SearchError);
    EXPECT_EQ(Icon(unusable), "Error");
    EXPECT_EQ(Searches[refused].SearchState, SearchError);
    EXPECT_EQ(Icon(refused), "Error");
    EXPECT_EQ(Col(refused, 1), "Error");
    EXPECT_EQ(Icon(good), "Ok");
    EXPECT_EQ(trace,
              (QStringList{"start1", "done1", "done2", "start3", "done3", "start4", "done4"}));
}

TEST_F(SearchQueueTest, LinksBecomeRowsThatRunAfterTheirPage) {
    ASSERT_TRUE(Nginx().Put("tree/top.htm",
                            "<a href=\"a.htm\">a</a><a href=b.htm>b</a><a href=c.swf>c</a>"));
    ASSERT_TRUE(Nginx().Put("tree/a.htm", MoviePage("ma.swf").toUtf8() + "<a href=z.htm>z</a>"));
    ASSERT_TRUE(Nginx().Put("tree/b.htm", "<a href=y.htm>y</a>"));
    const int top = Add(PageSearch(At("/tree/top.htm"), 1));
    ASSERT_TRUE(WaitState(3, SearchAnalysed));
    EXPECT_EQ(SearchCount, 3);  // depth 0 pages add no further searches
    EXPECT_EQ(Col(top, 6), "3");
    EXPECT_EQ(Col(top, 7), "0");
    EXPECT_EQ(Col(top, 8), "1");  // the linked movie
    EXPECT_EQ(Col(2, 9), At("/tree/a.htm"));
    EXPECT_EQ(Col(2, 8), "1");
    EXPECT_EQ(trace, (QStringList{"start1", "done1", "start2", "done2", "start3", "done3"}));
    // c.swf and ma.swf became download jobs and were handed to the job manager.
    EXPECT_EQ(nowDown, (std::vector<int>{1, 2}));
    EXPECT_EQ(Jobs[1].Url, At("/tree/c.swf"));
}

TEST_F(SearchQueueTest, StartAndPauseCommands) {
    auto p1 = Stalling(), p2 = Stalling(), p3 = Stalling();
    const int one = Add(PageSearch(p1->Url("/1.htm")));
    const int two = Add(PageSearch(p2->Url("/2.htm")));
    SearchRecord pausedRecord = PageSearch(p3->Url("/3.htm"));
    pausedRecord.SearchState = SearchPaused;
    const int three = Add(pausedRecord);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return Col(one, 1) == QString("Receive Data"); }, 5000));

    // Start on a paused row while another runs: it waits; the running job keeps its row.
    queue->StartSearchJob(three);
    EXPECT_EQ(Searches[three].SearchState, SearchWaiting);
    EXPECT_EQ(Icon(three), "Waitfor");
    EXPECT_EQ(queue->CurSearchRow, one);
    // Start on the running row changes nothing.
    queue->StartSearchJob(one);
    EXPECT_EQ(Searches[one].SearchState, SearchRunning);
    queue->StartSearchJob(0);

    // Pause: the running job stops, the lowest waiting one starts.
    queue->PauseSearchJob();
    EXPECT_EQ(Searches[one].SearchState, SearchPaused);
    EXPECT_EQ(Icon(one), "Pause");
    EXPECT_EQ(queue->CurSearch, two);
    EXPECT_EQ(Searches[two].SearchState, SearchRunning);

    // Pause all: the running and the waiting ones are paused.
    queue->PauseAllSearchJob();
    EXPECT_FALSE(queue->Analyser()->InUse);
    for (const int i : {one, two, three}) {
        EXPECT_EQ(Searches[i].SearchState, SearchPaused) << i;
        EXPECT_EQ(Icon(i), "Pause") << i;
    }

    // Start all: the first paused job runs, the others wait; finished jobs are left alone.
    Searches[three].SearchState = SearchAnalysed;
    queue->StartAllSearchJob();
    EXPECT_EQ(queue->CurSearch, one);
    EXPECT_EQ(Searches[one].SearchState, SearchRunning);
    EXPECT_EQ(Searches[two].SearchState, SearchWaiting);
    EXPECT_EQ(Icon(two), "Waitfor");
    EXPECT_EQ(Searches[three].SearchState, SearchAnalysed);

    // Start on a selected row while the analyser is free starts that row.
    queue->PauseAllSearchJob();
    queue->StartSearchJob(two);
    EXPECT_EQ(queue->CurSearch, two);
    EXPECT_EQ(queue->CurSearchRow, two);
    EXPECT_TRUE(queue->Analyser()->InUse);
}

TEST_F(SearchQueueTest, DeleteEnablingAndTheShownLog) {
    auto p1 = Stalling(), p2 = Stalling();
    EXPECT_FALSE(queue->SearchCommandsEnabled(1));
    const int one = Add(PageSearch(p1->Url("/1.htm")));
    const int two = Add(PageSearch(p2->Url("/2.htm")));
    EXPECT_FALSE(queue->SearchCommandsEnabled(1));  // no job shown yet

    QSignalSpy logSpy(queue.get(), &clsSearchQueue::SearchLogChanged);
    queue->ShowSearch(one);
    ASSERT_EQ(logSpy.count(), 1);
    EXPECT_EQ(logSpy.at(0).at(1).toInt(), 0);  // full refresh
    EXPECT_TRUE(queue->SearchCommandsEnabled(1));
    EXPECT_FALSE(queue->SearchCommandsEnabled(2));
    // Later events of the shown job append their new entries only.
    ASSERT_TRUE(TestEnv::WaitFor([&] { return logSpy.count() >= 3; }, 5000));
    EXPECT_EQ(logSpy.last().at(0).toInt(), one);
    EXPECT_GT(logSpy.last().at(1).toInt(), 0);

    // Deleting the running job stops it; the next waiting job starts and its events go to its
    // own row. A deleted job is never written back.
    QSignalSpy removed(queue.get(), &clsSearchQueue::RowRemoved);
    queue->DeleteSearchJobs({one});
    EXPECT_EQ(removed.count(), 1);
    EXPECT_FALSE(queue->HasRow(one));
    EXPECT_EQ(Searches[one].SearchState, SearchFree);
    EXPECT_EQ(queue->CurSearch, two);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return Col(two, 1) == QString("Receive Data"); }, 5000));
    EXPECT_EQ(Searches[one].SearchState, SearchFree);

    queue->DeleteSearchJobs({two});
    EXPECT_EQ(queue->RowCount(), 0);
    EXPECT_FALSE(queue->SearchCommandsEnabled(1));
    EXPECT_FALSE(queue->Analyser()->InUse);
}

TEST_F(SearchQueueTest, PauseDuringAnalysisLetsItFinishFirst) {
    QString page;
    for (int k = 0; k < 20000; ++k) page += QString("<a href=p%1.htm>x</a>\n").arg(k);
    ASSERT_TRUE(Nginx().Put("many.htm", page.toUtf8()));
    auto stall = Stalling();
    const int big = Add(PageSearch(At("/many.htm"), 1));
    SearchRecord other = PageSearch(stall->Url("/o.htm"));
    const int next = Add(other);
    int links = 0;
    QObject::connect(queue->Analyser(), &clsDownHtml::UpdataState,
                     [&](const QString& kind, const QString&) {
                         if (kind == "Found A Link" && ++links == 1) {
                             queue->PauseSearchJob();
                             trace << "paused";
                         }
                     });
    ASSERT_TRUE(WaitState(big, SearchAnalysed, 60000));
    EXPECT_EQ(links, 20000);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return queue->CurSearch == next; }, 5000));
    EXPECT_EQ(trace.mid(0, 4), (QStringList{"start1", "paused", "done1", "start2"}));
    EXPECT_EQ(Icon(big), "Ok");
    EXPECT_EQ(SearchCount, 20002);
}

}  // namespace

// "Search current page and its links" on a page linking a large file, a movie, a script that
// answers with a movie, and a page: only the pages are read. The large file is closed after its
// head (nginx's log: bytes sent well below its size); both movies become jobs.
TEST_F(SearchQueueTest, OnlyPagesAreReadAndLinkedMoviesBecomeJobs) {
    const QString log = TestEnv::NewDir("nginxlog") + "/sent.log";
    NginxServer nginx("access_log " + log +
                          " sent;\nlocation = /site/play { default_type "
                          "application/x-shockwave-flash; }",
                      kPageTypes + "\nlog_format sent '$uri $bytes_sent';");
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    constexpr qsizetype kBig = 48 * 1024 * 1024;
    ASSERT_TRUE(nginx.Put("site/big.zip", QByteArray(kBig, 'z')));
    ASSERT_TRUE(nginx.Put("site/x.swf", "FWS"));
    ASSERT_TRUE(nginx.Put("site/play", "FWS"));
    ASSERT_TRUE(nginx.Put("site/more.htm", "<embed src=\"deep.swf\" type=flash></embed>"));
    ASSERT_TRUE(nginx.Put("site/index.htm",
                          "<a href=\"big.zip\">zip</a> <a href=\"x.swf\">x</a> "
                          "<a href=\"play\">p</a> <a href=\"more.htm\">more</a>"));
    const int top = Add(PageSearch(nginx.Url("/site/index.htm"), 1));
    ASSERT_TRUE(WaitState(4, SearchAnalysed, 20000));
    EXPECT_EQ(Searches[top].SearchState, SearchAnalysed);
    for (int i = 2; i <= 4; ++i) EXPECT_EQ(Icon(i), "Ok");

    // The zip's log line: closed after the head, its body not read.
    const auto zipLog = Log(2);
    EXPECT_NE(std::find(zipLog.begin(), zipLog.end(),
                        std::make_pair(QString("Not a page (type application/zip): closed after "
                                               "the head."),
                                       100)),
              zipLog.end());
    qint64 sent = -1;
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            for (const QByteArray& line : TestEnv::ReadFile(log).split('\n'))
                if (line.startsWith("/site/big.zip ")) sent = line.mid(14).toLongLong();
            return sent >= 0;
        },
        10000));
    EXPECT_LT(sent, kBig / 4);

    // The linked movie, the movie a link answered with, the movie of the linked page.
    QStringList urls;
    for (int j = 1; j <= JobCount; ++j) urls << Jobs[j].Url;
    EXPECT_EQ(urls, (QStringList{nginx.Url("/site/x.swf"), nginx.Url("/site/play"),
                                 nginx.Url("/site/deep.swf")}));
    EXPECT_EQ(Jobs[2].LocalFile, "/home/ann/movies/play");
}
