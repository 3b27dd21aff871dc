// Pages as the web serves them now: over TLS from nginx with a certificate of the test CA,
// servers that accept and then say nothing, and movies written in today's markup.

#include <QSslSocket>
#include <memory>

#include "PagesFixture.h"
#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "store/Settings.h"

namespace {

// A proxy that only opens tunnels: reads "CONNECT host:port", connects there, answers 200 and
// then relays bytes both ways.
class TunnelProxy : public QObject {
public:
    TunnelProxy() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = server.nextPendingConnection()) {
                client->setParent(this);
                auto* head = new QByteArray;
                QObject::connect(client, &QObject::destroyed, [head] { delete head; });
                QObject::connect(client, &QTcpSocket::readyRead, this, [this, client, head] {
                    if (client->property("tunnel").isValid()) return;
                    *head += client->readAll();
                    if (!head->contains("\r\n\r\n")) return;
                    requests << *head;
                    const QList<QByteArray> words = head->split(' ');
                    const QList<QByteArray> target = words.value(1).split(':');
                    auto* upstream = new QTcpSocket(client);
                    client->setProperty("tunnel", true);
                    QObject::connect(upstream, &QTcpSocket::connected, client, [client] {
                        client->write("HTTP/1.1 200 Connection established\r\n\r\n");
                    });
                    QObject::connect(upstream, &QTcpSocket::readyRead, client,
                                     [client, upstream] { client->write(upstream->readAll()); });
                    QObject::connect(client, &QTcpSocket::readyRead, upstream,
                                     [client, upstream] { upstream->write(client->readAll()); });
                    QObject::connect(upstream, &QTcpSocket::disconnected, client,
                                     [client] { client->disconnectFromHost(); });
                    upstream->connectToHost(QString::fromLatin1(target.value(0)),
                                            target.value(1).toUShort());
                });
            }
        });
    }
    quint16 Port() const { return server.serverPort(); }
    QList<QByteArray> requests;

private:
    QTcpServer server;
};

class ModernPagesTest : public PagesTest {
protected:
    void SetUp() override {
        PagesTest::SetUp();
        savedSettings = Settings;
        qputenv("SSL_CERT_FILE", NginxServer::TestCaFile().toLocal8Bit());
    }
    void TearDown() override {
        Settings = savedSettings;
        qunsetenv("SSL_CERT_FILE");
        PagesTest::TearDown();
    }
    static QStringList JobUrls() {
        QStringList urls;
        for (int j = 1; j <= JobCount; ++j) urls << Jobs[j].Url;
        return urls;
    }
    static QStringList SearchUrls(int from) {
        QStringList urls;
        for (int i = from; i <= SearchCount; ++i) urls << Searches[i].PageUrl;
        return urls;
    }
    SettingsRecord savedSettings;
};

TEST_F(ModernPagesTest, SecurePageGivesSecureMoviesAndLinks) {
    NginxServer nginx(QString(), kPageTypes, NginxServer::Tls::Trusted);
    ASSERT_TRUE(nginx.Started());
    const QString origin = QStringLiteral("https://127.0.0.1:%1").arg(nginx.TlsPort());
    const QString page =
        "<object classid=\"clsid:D27CDB6E\" codebase=\"http://download.macromedia.com/x.cab\">"
        "<param name=movie value=\"intro.swf\"></object>\r\n"
        "<embed src=\"/top/side.swf\">\r\n"
        "<a href=\"next.htm\">n</a> <a href=\"mailto:ann@example.org\">m</a>"
        "<a href=\"#top\">t</a> <a href='javascript:void(0)'>j</a> <a href=ftp://files/f.zip>f</a>"
        "<a href=\"//127.0.0.1:" +
        QString::number(nginx.TlsPort()) +
        "/other.htm\">o</a> <a href=\"http://plain.example/p.htm\">p</a>"
        "<a href=\"clip.swf\">c</a>";
    ASSERT_TRUE(nginx.Put("s/index.htm", page.toUtf8()));
    const int s = AddSearch(PageSearch(nginx.SecureUrl("/s/index.htm"), 1));
    AnalyserRun run = RunAnalyser(s);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(Searches[s].SearchState, SearchAnalysed) << run.Detail("Error").toStdString();
    EXPECT_EQ(Searches[s].PagePort, nginx.TlsPort());
    EXPECT_EQ(Searches[s].PageReceived, page.toUtf8().size());
    EXPECT_TRUE(run.Detail("Response").startsWith("HTTP/1.1 200 OK\r\n"));

    EXPECT_EQ(JobUrls(), (QStringList{origin + "/s/intro.swf", origin + "/top/side.swf",
                                      origin + "/s/clip.swf"}));
    EXPECT_EQ(run.Count("Found Flash"), 3);
    // Only links to web pages are followed; the others are not even counted.
    EXPECT_EQ(SearchUrls(2), (QStringList{origin + "/s/next.htm", origin + "/other.htm",
                                          "http://plain.example/p.htm"}));
    EXPECT_EQ(run.Count("Found A Link"), 4);

    // A child page over https is fetched the same way.
    ASSERT_TRUE(nginx.Put("s/next.htm", "<embed src=\"../deeper/d.swf\" width=1>"));
    run = RunAnalyser(2);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(Searches[2].SearchState, SearchAnalysed);
    EXPECT_EQ(JobUrls().value(3), origin + "/deeper/d.swf");

    // Through a proxy: a CONNECT tunnel to the page's host, then TLS end to end and the plain
    // path in the request.
    TunnelProxy proxy;
    SearchRecord viaProxy = PageSearch(nginx.SecureUrl("/s/next.htm"));
    viaProxy.UseProxy = VbTrue;
    viaProxy.ProxyHost = "127.0.0.1";
    viaProxy.ProxyPort = proxy.Port();
    ClearJobs();
    const int p = AddSearch(viaProxy);
    run = RunAnalyser(p);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(Searches[p].SearchState, SearchAnalysed) << run.Detail("Error").toStdString();
    ASSERT_EQ(proxy.requests.size(), 1);
    EXPECT_TRUE(proxy.requests[0].startsWith(
        "CONNECT 127.0.0.1:" + QByteArray::number(nginx.TlsPort()) + " HTTP/1.1\r\n"));
    EXPECT_TRUE(run.Detail("Request").startsWith("GET /s/next.htm HTTP/1.1\r\n"));
    EXPECT_EQ(JobUrls(), QStringList{origin + "/deeper/d.swf"});
}

TEST_F(ModernPagesTest, CertificatesThatFailVerificationEndThePage) {
    for (const auto tls : {NginxServer::Tls::Untrusted, NginxServer::Tls::WrongName}) {
        NginxServer nginx(QString(), kPageTypes, tls);
        ASSERT_TRUE(nginx.Started());
        ASSERT_TRUE(nginx.Put("p.htm", "<embed src=a.swf>"));
        const int s = AddSearch(PageSearch(nginx.SecureUrl("/p.htm")));
        const AnalyserRun run = RunAnalyser(s);
        ASSERT_TRUE(run.completed);
        EXPECT_TRUE(run.Detail("Error").startsWith("Certificate error: "))
            << run.Detail("Error").toStdString();
        EXPECT_EQ(run.Count("Request"), 0);
        EXPECT_EQ(Searches[s].SearchState, SearchError);
        EXPECT_EQ(JobCount, 0);
    }
}

TEST_F(ModernPagesTest, SilentServersEndThePageAfterTheTimeouts) {
    // Accepts, reads the request and never answers.
    ScriptedPeer silent({}, 1, true);
    Settings.Ctimeout = 1;
    Settings.Rtimeout = 1;
    QElapsedTimer clock;
    clock.start();
    int s = AddSearch(PageSearch(silent.Url("/p.htm")));
    AnalyserRun run = RunAnalyser(s, 10000);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.Detail("Error"), "Read timeout: nothing received for 1 second");
    EXPECT_EQ(run.Count("Request"), 1);
    EXPECT_EQ(Searches[s].SearchState, SearchError);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_EQ(silent.connections, 1);  // no retry

    // Over TLS the connection is ready only after the handshake, which this peer never answers.
    clock.restart();
    s = AddSearch(PageSearch(QStringLiteral("https://127.0.0.1:%1/p.htm").arg(silent.Port())));
    run = RunAnalyser(s, 10000);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.Detail("Error"), "Connect timeout: not connected after 1 second");
    EXPECT_EQ(run.Count("Request"), 0);
    EXPECT_EQ(Searches[s].SearchState, SearchError);
    EXPECT_GE(clock.elapsed(), 900);
}

// Markup -------------------------------------------------------------------------------------

class MarkupTest : public ModernPagesTest {
protected:
    static NginxServer& Nginx() { return NginxServer::Shared(QString(), kPageTypes); }
    void SetUp() override {
        ModernPagesTest::SetUp();
        ASSERT_TRUE(Nginx().Started());
    }
    QString At(const QString& path) const { return Nginx().Url(path); }
    // The job URLs a page gives, with each found movie announced once.
    QStringList Analyse(const QString& path, const QString& page) {
        ClearJobs();
        EXPECT_TRUE(Nginx().Put(path.mid(1), page.toUtf8()));
        const AnalyserRun run = RunAnalyser(AddSearch(PageSearch(At(path))));
        EXPECT_TRUE(run.completed);
        EXPECT_EQ(run.Count("Found Flash"), JobCount);
        for (int j = 1; j <= JobCount; ++j) {
            EXPECT_EQ(Jobs[j].ClassKey, "101k");
            EXPECT_EQ(Jobs[j].State, StatePaused);
            EXPECT_EQ(Jobs[j].LocalFile, "/home/ann/movies/" + Jobs[j].FileName);
        }
        return JobUrls();
    }
};

TEST_F(MarkupTest, EachStyleGivesItsMovies) {
    EXPECT_EQ(Analyse("/e/embed.htm",
                      "<embed src=\"a.swf\">\r\n"
                      "<EMBED SRC='B.SWF?v=2' WIDTH=1><p>text</p>\r\n"
                      "<embed src=c.swf width=3 />\r\n"
                      "<embed\r\n type=\"Application/X-Shockwave-Flash\" "
                      "src=\"player.php?id=1&amp;q=2\">\r\n"
                      "<embed src=\"clip.mov\" type=\"video/quicktime\">\r\n"
                      "<embed   src = \"spaced.swf\"   >"),
              (QStringList{At("/e/a.swf"), At("/e/B.SWF?v=2"), At("/e/c.swf"),
                           At("/e/player.php?id=1&q=2"), At("/e/spaced.swf")}));

    EXPECT_EQ(
        Analyse("/o/object.htm",
                "<object data=\"d.swf\" type=\"application/x-shockwave-flash\"></object>\r\n"
                "<object type='application/x-shockwave-flash' data='gen.php?m=1'>"
                "<param name='movie' value='gen.php?m=1'></object>\r\n"
                "<OBJECT classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" width=1>"
                "<PARAM NAME=\"Movie\" VALUE=\"p.swf\"><param name=src value=srcp.php></OBJECT>\r\n"
                "<object data=\"video.mp4\" type=\"video/mp4\"><param name=\"src\" "
                "value=\"video.mp4\"></object>\r\n"
                "<object><param name=\"src\" value=\"plain.swf\"></object>\r\n"
                "<param name=\"movie\" value=\"outside.swf\">"),
        (QStringList{At("/o/d.swf"), At("/o/gen.php?m=1"), At("/o/p.swf"), At("/o/srcp.php"),
                     At("/o/plain.swf")}));

    EXPECT_EQ(
        Analyse("/j/script.htm",
                "<script type=\"text/javascript\">\r\n"
                "  swfobject.embedSWF(\"s1.swf\", \"alt\", \"300\", \"120\", \"9.0.0\");\r\n"
                "  var so = new SWFObject('s2.swf?x=1', \"movie\", \"400\", \"200\", \"8\");\r\n"
                "  SWFObject . embedSWF ( \"dir\\/s3.swf\" , \"a\");\r\n"
                "  if (a < b) { mySwfObject.embedSWF(\"no.swf\"); }\r\n"
                "  swfobject.embedSWF(movieVariable, \"alt\");\r\n"
                "</script><p>after</p>"),
        (QStringList{At("/j/s1.swf"), At("/j/s2.swf?x=1"), At("/j/dir/s3.swf")}));

    // Resolved as a browser does: <base href>, "../", "./", "//host/path", "/path".
    const QString port = QString::number(Nginx().Port());
    EXPECT_EQ(Analyse("/r/sub/page.htm",
                      "<head><base href=\"/base/dir/\"></head>\r\n"
                      "<embed src=\"../up.swf\"><embed src=\"./here.swf\">\r\n"
                      "<embed src=\"//127.0.0.1:" +
                          port +
                          "/sr.swf\"><embed src=\"/abs/x.swf\">"
                          "<embed src=\"https://secure.example/y.swf\">"
                          "<embed src=\"javascript:void(0).swf\">"),
              (QStringList{At("/base/up.swf"), At("/base/dir/here.swf"), At("/sr.swf"),
                           At("/abs/x.swf"), "https://secure.example/y.swf"}));
    EXPECT_EQ(Analyse("/r/sub/nobase.htm", "<embed src=\"../../../up.swf\"><embed src=x/./y.swf>"),
              (QStringList{At("/up.swf"), At("/r/sub/x/y.swf")}));
}

TEST_F(MarkupTest, MixedPageGivesEachMovieOnce) {
    const QString page =
        "<html><head><title>mix</title></head><body>\r\n"
        // The old style: found by the block scans.
        "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" "
        "codebase=\"http://download.macromedia.com/pub/swflash.cab\">\r\n"
        "<param name=\"movie\" value=\"intro.swf\">\r\n"
        "<embed src=\"intro.swf\" type=\"application/x-shockwave-flash\"></embed>\r\n"
        "</object>\r\n"
        "<embed src=\"banner.swf?t=1&amp;u=2\" type=\"application/x-shockwave-flash\"></embed>\r\n"
        // The same movies again in today's styles, and new ones.
        "<object type=\"application/x-shockwave-flash\" data=\"./intro.swf\"></object>\r\n"
        "<object type=\"application/x-shockwave-flash\" data=\"game.swf\">"
        "<param name=movie value=game.swf><embed src=game.swf></object>\r\n"
        "<script>swfobject.embedSWF('intro.swf', 'a', 1, 1, '9');\r\n"
        "swfobject.embedSWF('banner.swf?t=1&u=2', 'b', 1, 1, '9');</script>\r\n"
        "<embed src='/site/logo.swf'><embed src=\"banner.swf?t=1&amp;u=2\">\r\n"
        "<a href=\"not-a-movie.swf\">a link, not an embedded movie</a>\r\n"
        "</body></html>";
    EXPECT_EQ(Analyse("/mix/index.htm", page),
              (QStringList{At("/mix/intro.swf"), At("/mix/banner.swf?t=1&amp;u=2"),
                           At("/mix/game.swf"), At("/site/logo.swf")}));

    // Analysed again: nothing new while the jobs exist.
    ASSERT_EQ(JobCount, 4);
    const AnalyserRun again = RunAnalyser(AddSearch(PageSearch(At("/mix/index.htm"))));
    ASSERT_TRUE(again.completed);
    EXPECT_EQ(JobCount, 4);
    EXPECT_EQ(again.Count("Found Flash"), 0);
}

}  // namespace
