// The one HTTP layer as its callers use it: the request bytes of each caller, the chunked
// decoder whatever pieces the bytes come in, and both ways of resolving references.

#include <gtest/gtest.h>

#include <QTest>
#include <functional>
#include <random>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "engine/ChunkedDecoder.h"
#include "engine/FileFetch.h"
#include "engine/HttpRequest.h"
#include "engine/UrlParts.h"
#include "engine/UrlResolve.h"
#include "engine/clsDownLoadJob.h"
#include "net/UpdateCheck.h"
#include "pages/PageHttp.h"
#include "pages/clsDownHtml.h"

namespace {

QByteArray EngineRequest(const char* url, bool proxy, int part, qint32 from, const char* ifRange) {
    JobRecord r;
    r.Url = url;
    r.UseProxy = VbBool(proxy);
    EXPECT_TRUE(clsDownLoadJob::SplitUrl(url, r)) << url;
    r.UserAgent = "UA";
    r.Segments[part].CurPos = from;
    return clsDownLoadJob::RequestText(r, part, ifRange);
}

QByteArray PageRequestOf(const char* url, bool proxy) {
    SearchRecord r;
    r.PageUrl = url;
    r.UseProxy = VbBool(proxy);
    EXPECT_TRUE(clsDownHtml::ParsePageUrl(r)) << url;
    return PageHttp::PageRequest(r.PagePath, r.PageHost);
}

const QByteArray kTail = "Connection: close\r\n\r\n";

}  // namespace

TEST(HttpLayer, EachCallersRequestBytes) {
    HttpRequest extra;
    extra.Target = "/a";
    extra.UserAgent = "UA";
    extra.Host = "h";
    extra.ExtraLines = {"Referer: http://h/p\r\nX: 1", "Authorization: Basic dTpw"};
    const struct {
        const char* name;
        std::function<QByteArray()> build;
        QByteArray expected;
    } cases[] = {
        {"engine, whole file",
         [] { return EngineRequest("http://host:8080/d/a.swf", false, 1, 0, ""); },
         "GET /d/a.swf HTTP/1.1\r\nAccept: */*\r\nUser-Agent: UA\r\nHost: host:8080\r\n" + kTail},
        {"engine, range and If-Range",
         [] { return EngineRequest("http://host/a.swf", false, 3, 1000, "\"v1\"\r\n"); },
         "GET /a.swf HTTP/1.1\r\nAccept: */*\r\nUser-Agent: UA\r\nHost: host\r\n"
         "Range: bytes=1000-\r\nIf-Range: \"v1\"  \r\n" +
             kTail},
        {"engine, If-Range without range",
         [] { return EngineRequest("http://host/a.swf", false, 2, 0, "\"v1\""); },
         "GET /a.swf HTTP/1.1\r\nAccept: */*\r\nUser-Agent: UA\r\nHost: host\r\n" + kTail},
        {"engine, proxy", [] { return EngineRequest("http://host:8080/a.swf", true, 1, 0, ""); },
         "GET http://host:8080/a.swf HTTP/1.1\r\nAccept: */*\r\nUser-Agent: UA\r\n"
         "Host: host:8080\r\n" +
             kTail},
        {"engine, secure through a proxy",
         [] { return EngineRequest("https://host/a b.swf", true, 1, 0, ""); },
         "GET /a%20b.swf HTTP/1.1\r\nAccept: */*\r\nUser-Agent: UA\r\nHost: host\r\n" + kTail},
        {"page", [] { return PageHttp::PageRequest("/dir/page.htm?a=1", "example.org:8080"); },
         "GET /dir/page.htm?a=1 HTTP/1.1\r\nAccept: */*\r\nUser-Agent: Quorvanta1.0\r\n"
         "Host: example.org:8080\r\n" +
             kTail},
        {"page, proxy", [] { return PageRequestOf("http://h:81/p.htm", true); },
         "GET http://h:81/p.htm HTTP/1.1\r\nAccept: */*\r\nUser-Agent: Quorvanta1.0\r\n"
         "Host: h:81\r\n" +
             kTail},
        {"page, odd host",
         [] { return PageHttp::PageRequest("/", QString::fromUtf8("h\xc3\xa9")); },
         "GET / HTTP/1.1\r\nAccept: */*\r\nUser-Agent: Quorvanta1.0\r\nHost: h%C3%A9\r\n" + kTail},
        {"update check", [] { return UpdateCheck::Request("127.0.0.1", 8080); },
         "GET /newquorvanta.txt HTTP/1.1\r\nAccept: */*\r\nUser-Agent: Quorvanta1.0\r\n"
         "Host: 127.0.0.1:8080\r\n" +
             kTail},
        {"update check, port 80", [] { return UpdateCheck::Request("h", 80); },
         "GET /newquorvanta.txt HTTP/1.1\r\nAccept: */*\r\nUser-Agent: Quorvanta1.0\r\n"
         "Host: h\r\n" +
             kTail},
        {"extra lines", [&extra] { return extra.Bytes(); },
         "GET /a HTTP/1.1\r\nAccept: */*\r\nUser-Agent: UA\r\nHost: h\r\n"
         "Referer: http://h/p  X: 1\r\nAuthorization: Basic dTpw\r\n" +
             kTail},
    };
    for (const auto& c : cases) EXPECT_EQ(c.build(), c.expected) << c.name;
}

TEST(HttpLayer, ChunkedDecodingDoesNotDependOnThePieces) {
    const ChunkedDecoder::Rules strict, lenient{.CheckDataEnd = false};
    const struct {
        QByteArray body;
        ChunkedDecoder::Rules rules;
        QByteArray data;
        bool done, lastChunk, failed;
    } cases[] = {
        {"5\r\nhello\r\n1;ext=1\r\n \r\nA \r\n0123456789\r\n0\r\nX-T: 1\r\n\r\nafter", strict,
         "hello 0123456789", true, true, false},
        {"5\nhello\n0\n\n", strict, "hello", true, true, false},
        {"5\r\nhello\r\n0\r\n", strict, "hello", false, true, false},
        {"5\r\nhello\r\n10\r\nabc", strict, "helloabc", false, false, false},
        {"5\r\nhelloXY\r\n0\r\n\r\n", strict, "hello", false, false, true},
        {"5\r\nhelloXY3\r\nabc\r\n0\r\n\r\n", lenient, "helloabc", true, true, false},
        {"zz\r\nhello", strict, "", false, false, true},
        {"-5\r\nhello", lenient, "", false, false, true},
        {"3\r\nabc\r\n" + QByteArray(5000, '0') + "1\r\nx", strict, "abc", false, false, true},
    };
    std::mt19937 random(7);
    for (const auto& c : cases) {
        for (int split = 0; split < 12; ++split) {
            ChunkedDecoder decoder(c.rules);
            QByteArray data;
            bool fed = true;
            for (qsizetype at = 0; at < c.body.size();) {
                // Whole, byte by byte, then random pieces.
                const qsizetype n = split == 0   ? c.body.size()
                                    : split == 1 ? 1
                                                 : static_cast<qsizetype>(1 + random() % 9);
                fed = decoder.Feed(c.body.mid(at, n), data);
                at += n;
            }
            const std::string what =
                c.body.left(20).toStdString() + " split " + std::to_string(split);
            EXPECT_EQ(data, c.data) << what;
            EXPECT_EQ(decoder.Done(), c.done) << what;
            EXPECT_EQ(decoder.SawLastChunk(), c.lastChunk) << what;
            EXPECT_EQ(decoder.Failed(), c.failed) << what;
            EXPECT_EQ(fed, !c.failed) << what;
        }
    }
}

TEST(HttpLayer, ReferencesResolveByPageOrBrowserRules) {
    const auto page = UrlResolve::PageRules(), old = UrlResolve::OldPageRules(),
               finder = UrlResolve::PageRules(false), browser = UrlResolve::BrowserRules();
    const struct {
        const char* reference;
        const char* base;
        UrlResolve::Rules rules;
        const char* expected;
    } cases[] = {
        {"x.swf", "http://h:81/d/", page, "http://h:81/d/x.swf"},
        {"../x.swf", "http://h/d/", page, "http://h/d/../x.swf"},
        {"/x.swf", "https://h/d/", page, "https://h/x.swf"},
        {"//o/x.swf", "https://h/d/", page, "https://o/x.swf"},
        {"//o/x.swf", "http://h/d/", finder, "http://h//o/x.swf"},
        {"HTTPS://o/x.swf", "http://h/d/", page, "HTTPS://o/x.swf"},
        {"https://o/x.swf", "http://h/d/", old, "http://h/d/https://o/x.swf"},
        {"", "http://h/d/", page, "http://h/d/"},
        {"../x.swf", "http://h/a/b/p.htm", browser, "http://h/a/x.swf"},
        {"./x.swf#f", "http://h/a/b/", browser, "http://h/a/b/x.swf"},
        {"//o:8/x.swf", "https://h/a/", browser, "https://o:8/x.swf"},
        {"/a/../x.swf?q=/1", "http://h/b/p.htm", browser, "http://h/x.swf?q=/1"},
        {"?q", "http://h/b/p.htm?old", browser, "http://h/b/p.htm?q"},
        {"x.swf", "http://h/b/p.htm#s/t", browser, "http://h/b/x.swf"},
        {" d\\x.swf ", "http://h/base/", browser, "http://h/base/d/x.swf"},
        {"javascript:x.swf", "http://h/", browser, ""},
        {"#top", "http://h/", browser, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlResolve::Resolve(c.reference, c.base, c.rules), c.expected)
            << c.reference << " on " << c.base;
}

TEST(HttpLayer, EngineAndPageAddressRulesDiffer) {
    const struct {
        const char* url;
        bool engine, page;
    } cases[] = {
        {"http://h/a", true, true},         {" http://h/a", true, false},
        {"HTTP://h/a", true, false},        {"http://h", false, true},
        {"http://h h/a", false, true},      {"http://h:65535/a", true, true},
        {"http://h:65536/a", false, false}, {"http://:80/a", false, false},
    };
    for (const auto& c : cases) {
        UrlParts parts;
        EXPECT_EQ(parts.Split(c.url, UrlParts::EngineRules()), c.engine) << c.url;
        EXPECT_EQ(parts.Split(c.url, UrlParts::PageRules()), c.page) << c.url;
    }
}

// One file fetched whole: redirects followed (relative and to another server) up to a limit, the
// login only to the server it belongs to, the referrer as a browser sends it, the size bounded.
TEST(FileFetch, FollowsRedirectsAndKeepsTheLoginToItsOwnServer) {
    const QString logs = TestEnv::NewDir("fetchlogs");
    const QString format = "log_format qv '$request_uri [$http_authorization] [$http_referer]';";
    NginxServer other("access_log " + logs + "/other.log qv;", format);
    ASSERT_TRUE(other.Started());
    NginxServer home("absolute_redirect off;\naccess_log " + logs + "/home.log qv;\n" +
                         "location = /here { return 301 data/level.xml; }\n" +
                         "location = /away { return 302 " + other.Url("/x/level.xml") + "; }\n" +
                         "location = /loop { return 302 /loop; }",
                     format);
    ASSERT_TRUE(home.Started());
    ASSERT_TRUE(home.Put("data/level.xml", "<level/>"));
    ASSERT_TRUE(other.Put("x/level.xml", "<other/>"));
    FileFetch::Request request;
    request.Referrer = home.Url("/games/game.swf");
    request.LoginAddress = request.Referrer;
    request.UseLogin = true;
    request.User = "u";
    request.Password = "p";
    auto fetch = [&](const QString& path, qint64 limit = 1 << 20) {
        FileFetch f;
        FileFetch::Result result;
        bool done = false;
        QObject::connect(&f, &FileFetch::Done, [&](const FileFetch::Result& r) {
            result = r;
            done = true;
        });
        request.Address = home.Url(path);
        request.Limit = limit;
        f.Start(request);
        EXPECT_TRUE(TestEnv::WaitFor([&] { return done; }, 10000)) << path.toStdString();
        return result;
    };
    FileFetch::Result r = fetch("/here");
    EXPECT_TRUE(r.Ok) << r.Failure.toStdString();
    EXPECT_EQ(r.Bytes, "<level/>");
    EXPECT_EQ(r.Address, home.Url("/data/level.xml"));
    r = fetch("/away");
    EXPECT_EQ(r.Bytes, "<other/>");
    r = fetch("/loop");
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Failure, "more than 10 redirects");
    r = fetch("/data/level.xml", 7);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Failure, "larger than 7 bytes");
    QTest::qWait(200);  // nginx writes its log after the answer
    const QByteArray login = "[Basic dTpw] [" + request.Referrer.toUtf8() + "]";
    EXPECT_TRUE(TestEnv::ReadFile(logs + "/home.log")
                    .startsWith("/here " + login + "\n/data/level.xml " + login));
    EXPECT_EQ(TestEnv::ReadFile(logs + "/other.log"),
              "/x/level.xml [-] [" + home.Url("/").toUtf8() + "]\n");
    // From a secure page, a plain address is told no referrer.
    request.Referrer = "https://" + home.Url("/games/game.swf").mid(7);
    fetch("/away");
    QTest::qWait(200);
    EXPECT_TRUE(TestEnv::ReadFile(logs + "/other.log").endsWith("\n/x/level.xml [-] [-]\n"));
}
