#include <QSignalSpy>
#include <memory>

#include "PagesFixture.h"
#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "engine/DownloadSlot.h"
#include "pages/clsPageLinks.h"

namespace {

NginxServer& Nginx() {
    return NginxServer::Shared(QStringLiteral("chunked_transfer_encoding on;"), kPageTypes);
}

QString ObjectBlock(const QString& value, bool macromedia = true) {
    return QStringLiteral(
               "<object classid=\"clsid:D27CDB6E\" codebase=\"http://download%1com/"
               "swflash.cab\">\r\n<param name=movie VALUE=%2>\r\n"
               "<param name=quality value=high></object>\r\n")
        .arg(macromedia ? ".macromedia." : ".example.", value);
}

class DownHtmlTest : public PagesTest {
protected:
    void SetUp() override {
        PagesTest::SetUp();
        ASSERT_TRUE(Nginx().Started());
    }
    QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(Nginx().Port()); }
    QString At(const QString& path) const { return "http://" + Host() + path; }
};

TEST_F(DownHtmlTest, ObjectAndEmbedVariantsBecomeJobs) {
    const QString page =
        "<html><body>\r\n" + ObjectBlock("\"intro.swf\"") +  // relative: the page's folder
        ObjectBlock("'/a/site.swf'") +                       // site-rooted
        ObjectBlock("http://other.example/abs.swf") +        // absolute, unquoted
        ObjectBlock("\"ignored.swf\"", false) +              // no ".macromedia."
        "<OBJECT CLASSID=\"x\" codebase=\"http://a.MACROMEDIA.com/\"><PARAM NAME=movie "
        "Value=\"upper.swf\"></OBJECT>\n"  // any case, lone line feeds
        "<embed src=\"emb.swf\" type=\"application/x-shockwave-FLASH\"></embed>\r\n"
        "<EMBED SRC=\"noword.swf\" type=\"video/other\"></EMBED>\r\n"
        "<embed src=\"/root/emb2.swf\" pluginspage=\"http://www.macromedia.com/go/FlashPlayer\">"
        "</EMBED>\r\n"
        "<embed type=flash></embed>\r\n"  // no src=: skipped, the scan goes on
        "<embed src=unclosed.swf type=flash>\r\n</body></html>\r\n";
    ASSERT_TRUE(Nginx().Put("dir/page.htm", page.toUtf8()));
    const int s = AddSearch(PageSearch(At("/dir/page.htm")));
    const AnalyserRun run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);

    // The OBJECT and EMBED block scans first; then the pass over today's markup adds what they
    // skip: the movie parameter of an object without ".macromedia.", an embedded ".swf" without
    // the word "flash", and one without a closing tag.
    const QStringList expected = {
        At("/dir/intro.swf"),   At("/a/site.swf"),     "http://other.example/abs.swf",
        At("/dir/upper.swf"),   At("/dir/emb.swf"),    At("/root/emb2.swf"),
        At("/dir/ignored.swf"), At("/dir/noword.swf"), At("/dir/unclosed.swf")};
    ASSERT_EQ(JobCount, expected.size());
    for (int j = 1; j <= JobCount; ++j) {
        EXPECT_EQ(Jobs[j].Url, expected[j - 1]);
        EXPECT_EQ(Jobs[j].ClassKey, "101k");
        EXPECT_EQ(Jobs[j].Parts, 3);
        EXPECT_EQ(Jobs[j].State, StatePaused);
        EXPECT_GT(Jobs[j].CreateTime, 0);
    }
    EXPECT_EQ(Jobs[1].FileName, "intro.swf");
    EXPECT_EQ(Jobs[1].LocalFile, "/home/ann/movies/intro.swf");
    EXPECT_EQ(run.jobsAdded, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(run.Count("Found Flash"), 9);
    EXPECT_EQ(run.Count("Found A Link"), 0);  // depth 0: links are not followed
    EXPECT_EQ(Searches[s].SearchState, SearchAnalysed);
    EXPECT_EQ(Searches[s].PageReceived, page.toUtf8().size());
    EXPECT_EQ(Searches[s].PageSize, page.toUtf8().size());
    EXPECT_EQ(Searches[s].PageHost, Host());
    EXPECT_EQ(Searches[s].PageDir, "/dir/");

    // Event order of the transfer.
    ASSERT_GE(run.kinds.size(), 6u);
    EXPECT_EQ(run.kinds[0], "Connecting");
    EXPECT_EQ(run.details[0], Host());
    EXPECT_EQ(run.kinds[1], "Connected");
    EXPECT_EQ(run.kinds[2], "Request");
    EXPECT_TRUE(run.details[2].startsWith("GET /dir/page.htm HTTP/1.1\r\n"));
    EXPECT_TRUE(run.details[2].contains("\r\nHost: " + Host() + "\r\n"));
    EXPECT_EQ(run.kinds[3], "Response");
    EXPECT_TRUE(run.details[3].startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(run.details[3].endsWith("\r\n\r\n"));
    EXPECT_EQ(run.Count("Close"), 1);
}

TEST_F(DownHtmlTest, UnclosedObjectEndsTheBlockScans) {
    const QString page = ObjectBlock("first.swf") +
                         "<object classid=x codebase=.macromedia. value=never.swf >\r\n"
                         "<embed src=emb.swf type=flash></embed>\r\n";
    ASSERT_TRUE(Nginx().Put("unclosed.htm", page.toUtf8()));
    const int s = AddSearch(PageSearch(At("/unclosed.htm")));
    ASSERT_TRUE(RunAnalyser(s).completed);
    // The EMBED block is left to the pass over today's markup, which finds it after the OBJECT.
    ASSERT_EQ(JobCount, 2);
    EXPECT_EQ(Jobs[1].Url, At("/first.swf"));
    EXPECT_EQ(Jobs[2].Url, At("/emb.swf"));
    EXPECT_EQ(Searches[s].SearchState, SearchAnalysed);
}

TEST_F(DownHtmlTest, DuplicatesRecycleBinAndFreeRecords) {
    ASSERT_TRUE(Nginx().Put(
        "dup.htm", (ObjectBlock("a.swf") + ObjectBlock("b.swf") + ObjectBlock("a.swf")).toUtf8()));
    JobRecord recycled;
    recycled.Url = At("/a.swf");
    recycled.ClassKey = "Recely";
    recycled.State = StateComplete;
    AddJob(recycled);
    const int s = AddSearch(PageSearch(At("/dup.htm")));
    AnalyserRun run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    ASSERT_EQ(JobCount, 2);  // a.swf sits in the recycle bin: only b.swf is new
    EXPECT_EQ(Jobs[2].Url, At("/b.swf"));
    EXPECT_EQ(run.Count("Found Flash"), 1);

    // Fetched again: nothing new while the jobs exist.
    Searches[s].SearchState = SearchWaiting;
    run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(JobCount, 2);
    EXPECT_EQ(run.Count("Skipped Flash"), 2);  // said and counted, not silently passed over

    // Deleted for good: a.swf comes back. b.swf's record was freed, so the first movie takes
    // that record over (no "Found Flash" for it).
    Jobs[1].ClassKey = "Recely_Really";
    Jobs[2].State = StateFree;
    Jobs[2].Url.clear();
    run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    ASSERT_EQ(JobCount, 3);
    EXPECT_EQ(Jobs[2].Url, At("/a.swf"));
    EXPECT_EQ(Jobs[3].Url, At("/b.swf"));
    EXPECT_EQ(run.jobsAdded, (std::vector<int>{2, 3}));
    EXPECT_EQ(run.Count("Found Flash"), 1);
    EXPECT_EQ(run.Detail("Found Flash"), "Url=" + At("/b.swf"));
}

TEST_F(DownHtmlTest, DepthOneFollowsLinks) {
    QString page =
        "<html><a href=\"page2.htm\">two</a> <A HREF='/clip.SWF'>clip</A>\r\n"
        "<a href=movie.swf?x=1>q</a><abbr title=x>y</abbr>"
        "<a href=http://other.example/x.htm target=_top>o</a>";
    page += QString(40000, u'x');  // longer than a 16-bit counter can walk
    page += "<a href=\"far.htm\">far</a>";
    ASSERT_TRUE(Nginx().Put("d1/index.htm", page.toUtf8()));
    ASSERT_TRUE(Nginx().Put("d1/page2.htm", "<a href=deeper.htm>d</a>"));
    SearchRecord parent = PageSearch(At("/d1/index.htm"), 1);
    const int s = AddSearch(parent);
    AnalyserRun run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);

    EXPECT_EQ(run.Count("Found A Link"), 6);
    // A link to a movie (".swf" before any query) is a movie job made as an embedded one is:
    // the search's folder, part count and state.
    ASSERT_EQ(JobCount, 2);
    EXPECT_EQ(Jobs[1].Url, At("/clip.SWF"));
    EXPECT_EQ(Jobs[2].Url, At("/d1/movie.swf?x=1"));
    EXPECT_EQ(Jobs[1].State, StatePaused);
    EXPECT_EQ(Jobs[1].LocalFile, "/home/ann/movies/clip.SWF");
    EXPECT_EQ(Jobs[1].Parts, 3);
    EXPECT_EQ(Jobs[1].IsNew, VbTrue);
    EXPECT_EQ(run.jobsAdded, (std::vector<int>{1, 2}));
    EXPECT_EQ(run.Count("Found Flash"), 2);

    const QStringList pages = {At("/d1/page2.htm"), At("/d1/"), "http://other.example/x.htm",
                               At("/d1/far.htm")};
    ASSERT_EQ(SearchCount, 1 + pages.size());
    for (int k = 0; k < pages.size(); ++k) {
        const SearchRecord& child = Searches[2 + k];
        EXPECT_EQ(child.PageUrl, pages[k]);
        EXPECT_EQ(child.Depth, 0);
        EXPECT_EQ(child.SearchState, SearchWaiting);
        EXPECT_EQ(child.StartUrl, At("/d1/index.htm"));
        EXPECT_EQ(child.JobTemplate.LocalFile, "/home/ann/movies/");
    }
    EXPECT_EQ(run.searchesAdded, (std::vector<int>{2, 3, 4, 5}));

    // The child page is searched with depth 0: its links are not followed.
    run = RunAnalyser(2);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.Count("Found A Link"), 0);
    EXPECT_EQ(SearchCount, 5);
    EXPECT_EQ(Searches[2].SearchState, SearchAnalysed);

    // The same .swf links found again add no second job.
    run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(JobCount, 2);
}

TEST_F(DownHtmlTest, NotFoundIsARequestError) {
    const int s = AddSearch(PageSearch(At("/missing.htm")));
    const AnalyserRun run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.Count("Response"), 1);
    EXPECT_EQ(run.Count("RequestError"), 1);
    EXPECT_EQ(run.Count("Close"), 0);
    EXPECT_EQ(run.Detail("RequestError"), "404");
    EXPECT_EQ(Searches[s].SearchState, SearchError);
    EXPECT_EQ(JobCount, 0);
}

TEST_F(DownHtmlTest, ChunkedPageFromNginxIsDecoded) {
    // gzip is off and the page is generated by SSI, so nginx sends it chunked.
    NginxServer chunky(QStringLiteral("location /ssi/ { ssi on; default_type text/html; }"));
    ASSERT_TRUE(chunky.IsRunning());
    QString page = "<!--# echo var=\"host\" -->" + ObjectBlock("chunk.swf");
    ASSERT_TRUE(chunky.Put("ssi/p.htm", page.toUtf8()));
    const int s = AddSearch(PageSearch(chunky.Url("/ssi/p.htm")));
    const AnalyserRun run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    const int resp = std::find(run.kinds.begin(), run.kinds.end(), "Response") - run.kinds.begin();
    EXPECT_TRUE(run.details[resp].contains("chunked", Qt::CaseInsensitive))
        << run.details[resp].toStdString();
    ASSERT_EQ(JobCount, 1);
    EXPECT_EQ(Jobs[1].Url, chunky.Url("/ssi/chunk.swf"));
}

TEST_F(DownHtmlTest, DribbledHeadAndBodyAreJoined) {
    const QByteArray body = (ObjectBlock("slow.swf") + "<a href=next.htm>n</a>").toUtf8();
    const QByteArray response =
        "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    ScriptedPeer peer(Pieces(response, 7), 2);
    const int s = AddSearch(PageSearch(peer.Url("/x/slow.htm"), 1));
    const AnalyserRun run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.Count("Response"), 1);
    EXPECT_GT(run.Count("DataArrival"), 10);
    EXPECT_EQ(Searches[s].PageReceived, body.size());
    EXPECT_EQ(Searches[s].PageSize, body.size());
    ASSERT_EQ(JobCount, 1);
    EXPECT_EQ(Jobs[1].Url, peer.Url("/x/slow.swf"));
    EXPECT_EQ(SearchCount, 2);
    EXPECT_EQ(Searches[2].PageUrl, peer.Url("/x/next.htm"));
    EXPECT_EQ(peer.request,
              "GET /x/slow.htm HTTP/1.1\r\nAccept: */*\r\n"
              "User-Agent: Quorvanta1.0\r\n"
              "Host: 127.0.0.1:" +
                  QByteArray::number(peer.Port()) + "\r\nConnection: close\r\n\r\n");
}

TEST_F(DownHtmlTest, ChunkedScriptedPageSplitInsideABlock) {
    const QByteArray body = (ObjectBlock("inchunks.swf")).toUtf8();
    QByteArray chunked;
    for (const QByteArray& piece : Pieces(body, 13))
        chunked += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    chunked += "0\r\n\r\n";
    const QByteArray response = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked;
    ScriptedPeer peer(Pieces(response, 50), 1);
    const int s = AddSearch(PageSearch(peer.Url("/c.htm")));
    ASSERT_TRUE(RunAnalyser(s).completed);
    ASSERT_EQ(JobCount, 1);
    EXPECT_EQ(Jobs[1].Url, peer.Url("/inchunks.swf"));
}

TEST_F(DownHtmlTest, HeadlessCloseAndRedirectAreRequestErrors) {
    ScriptedPeer garbage({"HTTP/1.1 200 OK\r\nContent-"}, 1);
    int s = AddSearch(PageSearch(garbage.Url("/g.htm")));
    AnalyserRun run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.Count("RequestError"), 1);
    EXPECT_EQ(run.Detail("Response"), "");
    EXPECT_EQ(Searches[s].SearchState, SearchError);

    ScriptedPeer moved({"HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n"}, 1);
    s = AddSearch(PageSearch(moved.Url("/m.htm")));
    run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.Detail("RequestError"), "");
    EXPECT_EQ(Searches[s].SearchState, SearchError);
}

TEST_F(DownHtmlTest, SocketErrorEndsTheJob) {
    const int s =
        AddSearch(PageSearch(QStringLiteral("http://127.0.0.1:%1/x.htm").arg(TestEnv::FreePort())));
    const AnalyserRun run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.Count("Error"), 1);
    EXPECT_EQ(Searches[s].SearchState, SearchError);
}

TEST_F(DownHtmlTest, PauseStopsTheTransferAndUnusableUrlsAreRefused) {
    ScriptedPeer stall({"HTTP/1.1 200 OK\r\n\r\n<a href=x.htm>"}, 1, true);
    const int s = AddSearch(PageSearch(stall.Url("/p.htm"), 1));
    clsDownHtml analyser;
    QSignalSpy events(&analyser, &clsDownHtml::UpdataState);
    QSignalSpy down(&analyser, &clsDownHtml::DownComplete);
    ASSERT_TRUE(analyser.Create(s));
    EXPECT_EQ(Searches[s].SearchState, SearchRunning);
    analyser.Start();
    ASSERT_TRUE(TestEnv::WaitFor([&] { return Searches[s].PageReceived > 0; }, 5000));
    analyser.Pause();
    EXPECT_FALSE(analyser.InUse);
    EXPECT_EQ(Searches[s].SearchState, SearchPaused);
    const auto seen = events.count();
    TestEnv::NothingWithin(100);
    EXPECT_EQ(events.count(), seen);
    EXPECT_EQ(down.count(), 0);
    analyser.Pause();  // nothing runs: the job stays paused, nothing is written
    EXPECT_EQ(Searches[s].SearchState, SearchPaused);

    const int bad = AddSearch(PageSearch("www.example.com/page.htm"));
    EXPECT_FALSE(analyser.Create(bad));
    EXPECT_EQ(Searches[bad].SearchState, SearchWaiting);
}

TEST_F(DownHtmlTest, PageLinksAreListedWithoutCreatingJobs) {
    ASSERT_TRUE(Nginx().Put("links.htm",
                            (ObjectBlock("m.swf") + "<a href=one.htm>1</a><a href=two.swf>2</a>"
                                                    "<a href=one.htm>again</a>")
                                .toUtf8()));
    clsPageLinks links;
    QSignalSpy ready(&links, &clsPageLinks::LinksReady);
    QSignalSpy failed(&links, &clsPageLinks::FetchFailed);
    ASSERT_TRUE(links.Fetch(At("/links.htm")));
    ASSERT_TRUE(ready.wait(5000));
    EXPECT_EQ(ready.at(0).at(0).toStringList(),
              (QStringList{At("/m.swf"), At("/one.htm"), At("/two.swf")}));
    EXPECT_EQ(JobCount, 0);
    EXPECT_EQ(SearchCount, 0);

    ASSERT_TRUE(links.Fetch(At("/nothere.htm")));
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_EQ(failed.at(0).at(0).toString(), "404");
    EXPECT_FALSE(links.Fetch("nonsense"));
}

}  // namespace

namespace {

// The page is turned into text piece by piece: a CR LF pair or a UTF-8 character split between
// two pieces must come out as on a page read whole.
TEST_F(DownHtmlTest, LongPagePiecesJoinLineBreaksAndCharacters) {
    constexpr int kPiece = 256 * 1024;
    QByteArray page = "<object classid=x codebase=.macromedia.><param value=";
    const qsizetype fill = kPiece - 1 - page.size() - 5;
    page += QByteArray(fill, 'x');
    page += "a.swf\r\n</object>";  // "\r" is the last byte of the first piece
    ASSERT_EQ(page.indexOf('\r'), kPiece - 1);
    QByteArray second = QByteArray(2 * kPiece - 1 - page.size(), ' ');
    page += second + "\xc3\xa9<embed src=b.swf flash></embed>";  // "é" split over two pieces
    ASSERT_TRUE(Nginx().Put("pieces.htm", page));
    const int s = AddSearch(PageSearch(At("/pieces.htm")));
    QString text;
    ASSERT_TRUE(RunAnalyser(s, 10000, [&](clsDownHtml& a) { text = a.PageText; }).completed);
    EXPECT_EQ(text.mid(kPiece - 6, 9), "a.swf </o");
    EXPECT_TRUE(text.contains(QString::fromUtf8("  \xc3\xa9<embed")));
    EXPECT_FALSE(text.contains(QChar::ReplacementCharacter));
    ASSERT_EQ(JobCount, 2);
    EXPECT_EQ(Jobs[1].FileName, QString(fill, u'x') + "a.swf");
    EXPECT_EQ(Jobs[2].Url, At("/b.swf"));
}

}  // namespace

namespace {

TEST_F(DownHtmlTest, ProxyGetsTheAbsoluteTargetAndMoviesStayOnTheSite) {
    const QByteArray body = "<embed src=m.swf type=flash></embed>";
    ScriptedPeer proxy({"HTTP/1.0 200 OK\r\n\r\n" + body}, 1);
    SearchRecord search = PageSearch("http://site.example:8080/d/p.htm");
    search.UseProxy = VbTrue;
    search.ProxyHost = "127.0.0.1";
    search.ProxyPort = proxy.Port();
    const int s = AddSearch(search);
    const AnalyserRun run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.details[0], QString("127.0.0.1:%1").arg(proxy.Port()));
    EXPECT_TRUE(proxy.request.startsWith("GET http://site.example:8080/d/p.htm HTTP/1.1\r\n"));
    EXPECT_TRUE(proxy.request.contains("\r\nHost: site.example:8080\r\n"));
    ASSERT_EQ(JobCount, 1);
    EXPECT_EQ(Jobs[1].Url, "http://site.example:8080/d/m.swf");
}

}  // namespace

// Whether an answer is read as a page: by its type, or without one by the start of its body.
TEST_F(DownHtmlTest, OnlyPagesAreAnalysed) {
    const QByteArray movie = "<embed src=\"m.swf\" type=flash></embed>";
    struct Case {
        QByteArray head;
        QByteArray body;
        bool page;
    };
    const QList<Case> cases = {
        {"Content-Type: Text/HTML; charset=utf-8\r\n", movie, true},
        {"Content-Type: application/xhtml+xml\r\n", movie, true},
        {"", "\xEF\xBB\xBF \r\n" + movie, true},
        {"", "<!DOCTYPE html>" + movie, true},
        {"", "PK\x03\x04" + movie, false},
        {"", "plain text " + movie, false},
        {"Content-Type: text/plain\r\n", movie, false},
        {"Content-Type: application/zip\r\n", movie, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.head + c.body.left(20)).toStdString());
        ClearJobs();
        // The body comes in two pieces: the verdict may wait for the second.
        ScriptedPeer peer({"HTTP/1.1 200 OK\r\n" + c.head + "\r\n" + c.body.left(1), c.body.mid(1)},
                          20);
        const int s = AddSearch(PageSearch(peer.Url("/p")));
        const AnalyserRun run = RunAnalyser(s);
        ASSERT_TRUE(run.completed);
        EXPECT_EQ(JobCount, c.page ? 1 : 0);
        EXPECT_EQ(run.Count("NotPage"), c.page ? 0 : 1);
        EXPECT_EQ(Searches[s].SearchState, SearchAnalysed);
    }
}

TEST_F(DownHtmlTest, PageWithoutEndIsNotHeldWhole) {
    // A page server that sends without end, and one that announces more than a page is held.
    const QByteArray mib = QByteArray(1024 * 1024, 'a');
    QList<QByteArray> endless{"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>"};
    for (int i = 0; i < 40; ++i) endless << mib;
    const QList<QList<QByteArray>> answers = {
        endless,
        {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 40000000\r\n\r\n<html>"}};
    for (const QList<QByteArray>& packets : answers) {
        ScriptedPeer peer(packets, 0);
        const int s = AddSearch(PageSearch(peer.Url("/big.htm")));
        const AnalyserRun run = RunAnalyser(s, 30000);
        ASSERT_TRUE(run.completed);
        ASSERT_EQ(run.Count("Error"), 1);
        EXPECT_EQ(run.Detail("Error"), "The page is larger than 32 MB; it is not analysed.");
        EXPECT_EQ(Searches[s].SearchState, SearchError);
        EXPECT_LE(Searches[s].PageReceived, 33 * 1024 * 1024);
    }
}

// Movies behind a hot-link check (what most Flash sites have) are fetched as a browser fetches
// them: with the page they were found on as referrer, also one link deeper.
TEST_F(DownHtmlTest, HotLinkedMoviesOfASearchDownloadWithThePageAsReferrer) {
    NginxServer site(
        QStringLiteral("location /site/ { valid_referers ~^127\\.0\\.0\\.1:[0-9]+/site/; "
                       "if ($invalid_referer) { return 403; } }"
                       "location = /site/index.htm { }"),
        kPageTypes);
    ASSERT_TRUE(site.Started());
    const QByteArray teal = TestEnv::RandomBytes(70000, 3), cyan = TestEnv::RandomBytes(9000, 4);
    ASSERT_TRUE(site.Put("site/ref/teal.swf", teal));
    ASSERT_TRUE(site.Put("site/ref/cyan.swf", cyan));
    ASSERT_TRUE(site.Put("site/index.htm",
                         ("<embed src=ref/teal.swf type=flash><a href=\"more.htm\">more</a>")));
    ASSERT_TRUE(site.Put("site/more.htm", "<embed src=\"ref/cyan.swf\" type=flash>"));
    const QString folder = TestEnv::NewDir("hotlink") + "/";
    SearchRecord search = PageSearch(site.Url("/site/index.htm"), 1);
    search.JobTemplate.LocalFile = folder;
    ASSERT_TRUE(RunAnalyser(AddSearch(search)).completed);
    const int child = SearchWithUrl(site.Url("/site/more.htm"));
    ASSERT_NE(child, 0);
    const AnalyserRun deeper = RunAnalyser(child);
    ASSERT_TRUE(deeper.completed);
    EXPECT_EQ(Searches[child].SearchState, SearchAnalysed) << deeper.Detail("Error").toStdString();
    ASSERT_EQ(JobCount, 2);
    for (int j = 1; j <= JobCount; ++j) {
        DownloadSlot slot(1);
        QSignalSpy completed(&slot, &DownloadSlot::Completed);
        QSignalSpy ended(&slot, &DownloadSlot::RunEnded);
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(TestEnv::WaitFor([&] { return completed.size() + ended.size() > 0; }));
        EXPECT_EQ(Jobs[j].State, StateComplete) << Jobs[j].Url.toStdString();
    }
    EXPECT_EQ(TestEnv::ReadFile(folder + "teal.swf"), teal);
    EXPECT_EQ(TestEnv::ReadFile(folder + "cyan.swf"), cyan);
}
