#include <gtest/gtest.h>

#include "pages/PageHttp.h"
#include "pages/clsDownHtml.h"

using namespace PageHttp;

TEST(PageHttp, RequestIsByteExactWithHostAndPort) {
    EXPECT_EQ(PageRequest("/dir/page.htm?a=1", "example.org:8080"),
              QByteArray("GET /dir/page.htm?a=1 HTTP/1.1\r\n"
                         "Accept: */*\r\n"
                         "User-Agent: Quorvanta1.0\r\n"
                         "Host: example.org:8080\r\n"
                         "Connection: close\r\n\r\n"));
    // The old line with the blank in its name, for servers that still take it.
    SendAcceptEncodingLine = true;
    EXPECT_TRUE(PageRequest("/", "h").contains("\r\nAccept -Encoding: gzip , deflate\r\nUser"));
    SendAcceptEncodingLine = false;
    // Blanks, line breaks and non-ASCII characters cannot break the request into extra lines.
    const QByteArray odd = PageRequest(QString::fromUtf8("/a b\r\nX: y/\xc3\xa9.htm"), "h");
    EXPECT_TRUE(odd.startsWith("GET /a%20b%0D%0AX:%20y/%C3%A9.htm HTTP/1.1\r\n")) << odd.data();
}

TEST(PageHttp, StatusLengthAndChunkedHead) {
    EXPECT_EQ(PageStatus("HTTP/1.1 200 OK\r\n\r\n"), "200");
    EXPECT_EQ(PageStatus("HTTP/1.0 200 OK\r\n\r\n"), "200");
    EXPECT_EQ(PageStatus("HTTP/1.1 200 Ok\r\n\r\n"), "");
    EXPECT_EQ(PageStatus("HTTP/1.1 206 Partial\r\n\r\n"), "206");
    EXPECT_EQ(PageStatus("HTTP/1.0 404 Not Found\r\n\r\n"), "404");
    EXPECT_EQ(PageStatus("HTTP/1.1 302 Found\r\n\r\n"), "");
    EXPECT_EQ(PageStatus("HTTP/1.1 500 Oops\r\n\r\n"), "");
    EXPECT_EQ(PageContentLength("HTTP/1.1 200 OK\r\ncontent-length: 12345\r\n\r\n"), 12345);
    EXPECT_EQ(PageContentLength("HTTP/1.1 200 OK\r\nContent-Length:77\r\n\r\n"), 77);
    EXPECT_EQ(PageContentLength("HTTP/1.1 200 OK\r\n\r\n"), 0);
    EXPECT_TRUE(IsChunked("HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n"));
    EXPECT_FALSE(IsChunked("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"));
    EXPECT_EQ(HeadEnd("HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody"), 25);
    EXPECT_EQ(HeadEnd("HTTP/1.1 200 OK\r\nA: b\r\n"), -1);
}

TEST(PageHttp, ChunkedBodiesDecodeAndTruncationIsTolerated) {
    bool complete = false;
    EXPECT_EQ(
        DecodeChunked("5\r\nhello\r\n1;ext=1\r\n \r\nA\r\n0123456789\r\n0\r\n\r\n", &complete),
        "hello 0123456789");
    EXPECT_TRUE(complete);
    EXPECT_EQ(DecodeChunked("5\r\nhello\r\n10\r\nabc", &complete), "helloabc");
    EXPECT_FALSE(complete);
    EXPECT_EQ(DecodeChunked("zz\r\nhello", &complete), "");
}

TEST(PageHttp, ReferencesBecomeAbsolute) {
    EXPECT_EQ(AbsoluteUrl("intro.swf", "h:81", "/dir/"), "http://h:81/dir/intro.swf");
    EXPECT_EQ(AbsoluteUrl("/a/intro.swf", "h", "/dir/"), "http://h/a/intro.swf");
    EXPECT_EQ(AbsoluteUrl("HTTP://other/x.swf", "h", "/dir/"), "HTTP://other/x.swf");
    EXPECT_EQ(AbsoluteUrl("", "h", "/dir/"), "http://h/dir/");
    EXPECT_EQ(AbsoluteUrl("../up.swf", "h", "/dir/"), "http://h/dir/../up.swf");
}

TEST(PageHttp, HrefOfAnchorTags) {
    EXPECT_EQ(HrefOf("<a href=\"page2.htm\" class=x>"), "page2.htm");
    EXPECT_EQ(HrefOf("<A HREF='/p.htm'>"), "/p.htm");
    // Without a blank the tag's closing ">" is cut off.
    EXPECT_EQ(HrefOf("<a href=page3.htm>"), "page3.htm");
    EXPECT_EQ(HrefOf("<abbr title=x>"), "");
    EXPECT_EQ(HrefOf("<a href=>"), "");
    EXPECT_EQ(FileNameOf("http://h/a\\b.swf"), "b.swf");
    EXPECT_EQ(FileNameOf("nofolder"), "");
}

TEST(PageHttp, PageUrlParsing) {
    SearchRecord r;
    r.PageUrl = "http://host:8080/dir/page.htm?x=/y/z";
    ASSERT_TRUE(clsDownHtml::ParsePageUrl(r));
    EXPECT_EQ(r.PageHost, "host:8080");
    EXPECT_EQ(r.PagePort, 8080);
    EXPECT_EQ(r.PagePath, "/dir/page.htm?x=/y/z");
    EXPECT_EQ(r.PageName, "z");
    EXPECT_EQ(r.PageDir, "/dir/");  // a "/" in the query is not a folder

    r = SearchRecord{};
    r.PageUrl = "http://host";
    r.UseProxy = VbTrue;
    ASSERT_TRUE(clsDownHtml::ParsePageUrl(r));
    EXPECT_EQ(r.PageHost, "host");
    EXPECT_EQ(r.PagePort, 80);
    EXPECT_EQ(r.PagePath, "http://host/");
    EXPECT_EQ(r.PageDir, "/");
    EXPECT_EQ(r.PageName, "");

    for (const char* bad : {"ftp://host/a", "HTTP://host/a", "http:///a", "http://h:0/",
                            "http://h:70000/", "http://h:8x/", "www.host.com/"}) {
        SearchRecord b;
        b.PageUrl = bad;
        EXPECT_FALSE(clsDownHtml::ParsePageUrl(b)) << bad;
    }
}
