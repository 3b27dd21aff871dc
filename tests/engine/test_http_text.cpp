// URL splitting, request bytes, head reading, file name parts and the job log texts.

#include <gtest/gtest.h>

#include "engine/DownloadLogText.h"
#include "engine/ServerCapacity.h"
#include "engine/clsDownLoadJob.h"

namespace {

JobRecord Split(const QString& url, bool proxy = false, bool* ok = nullptr) {
    JobRecord r;
    r.UseProxy = VbBool(proxy);
    const bool result = clsDownLoadJob::SplitUrl(url, r);
    if (ok) *ok = result;
    return r;
}

}  // namespace

TEST(SplitUrl, HostPortPathAndFileName) {
    bool ok = false;
    JobRecord r = Split("http://host/dir/a.swf", false, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.Host, "host");
    EXPECT_EQ(r.Port, 80);
    EXPECT_EQ(r.Path, "/dir/a.swf");
    EXPECT_EQ(r.FileName, "a.swf");
    EXPECT_EQ(r.Spare, "a.swf");

    r = Split("  http://host:8080/a.swf  ", false, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.Host, "host");
    EXPECT_EQ(r.Port, 8080);
    EXPECT_EQ(r.Path, "/a.swf");

    // Ports above 32767 are kept (the field is read as unsigned 16 bits).
    r = Split("http://host:65535/x/", false, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.Port, 65535);
    EXPECT_EQ(r.FileName, "");

    r = Split("HTTP://HOST/x?a=1/b.swf", false, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.Host, "HOST");
    EXPECT_EQ(r.FileName, "b.swf");

    r = Split("http://host:8080/a.swf", true, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.Path, "http://host:8080/a.swf");

    // Secure addresses: port 443 unless given; through a proxy the path stays plain (tunnel).
    r = Split("HTTPS://host/d/m.swf", true, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.Host, "host");
    EXPECT_EQ(r.Port, 443);
    EXPECT_EQ(r.Path, "/d/m.swf");
    r = Split("https://host:8443/", false, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.Port, 8443);
}

TEST(SplitUrl, RefusesAndChangesNothing) {
    for (const char* url :
         {"http://host", "ftp://host/a", "https://host", "xhttp://host/a", "https://:443/a",
          "httpss://host/a", "http:///a", "http://host:/a", "http://host:0/a",
          "http://host:70000/a", "http://host:80x/a", "http://ho st/a", ""}) {
        JobRecord r;
        r.Host = "keep";
        r.Port = 1;
        r.Path = "/keep";
        EXPECT_FALSE(clsDownLoadJob::SplitUrl(url, r)) << url;
        EXPECT_EQ(r.Host, "keep");
        EXPECT_EQ(r.Port, 1);
        EXPECT_EQ(r.Path, "/keep");
    }
}

TEST(RequestText, ExactBytes) {
    JobRecord r = Split("http://host:8080/dir/a.swf");
    r.UserAgent = "Quorvanta 1.0";
    EXPECT_EQ(clsDownLoadJob::RequestText(r, 1), QByteArray("GET /dir/a.swf HTTP/1.1\r\n"
                                                            "Accept: */*\r\n"
                                                            "User-Agent: Quorvanta 1.0\r\n"
                                                            "Host: host:8080\r\n"
                                                            "Connection: close\r\n\r\n"));
    r.Segments[3].CurPos = 1000;
    EXPECT_EQ(clsDownLoadJob::RequestText(r, 3), QByteArray("GET /dir/a.swf HTTP/1.1\r\n"
                                                            "Accept: */*\r\n"
                                                            "User-Agent: Quorvanta 1.0\r\n"
                                                            "Host: host:8080\r\n"
                                                            "Range: bytes=1000-\r\n"
                                                            "Connection: close\r\n\r\n"));

    // Through a proxy: the absolute target with its port, Host names the origin.
    JobRecord p = Split("http://host:8080/a.swf", true);
    p.UserAgent = "UA";
    EXPECT_EQ(clsDownLoadJob::RequestText(p, 1),
              QByteArray("GET http://host:8080/a.swf HTTP/1.1\r\nAccept: */*\r\nUser-Agent: UA\r\n"
                         "Host: host:8080\r\nConnection: close\r\n\r\n"));

    // The old malformed line when asked for.
    clsDownLoadJob::SendAcceptEncodingLine = true;
    EXPECT_TRUE(clsDownLoadJob::RequestText(p, 1).contains(
        "Accept: */*\r\nAccept -Encoding: gzip , deflate\r\nUser-Agent: UA\r\n"));
    clsDownLoadJob::SendAcceptEncodingLine = false;
}

TEST(RequestText, UnsafeTextCannotBreakTheRequest) {
    JobRecord r = Split(QString::fromUtf8("http://host/d\xc3\xa9j\xc3\xa0 vu.swf"));
    r.UserAgent = "UA\r\nX-Evil: 1";
    const QByteArray text = clsDownLoadJob::RequestText(r, 1);
    EXPECT_TRUE(text.startsWith("GET /d%C3%A9j%C3%A0%20vu.swf HTTP/1.1\r\n"));
    EXPECT_TRUE(text.contains("User-Agent: UA  X-Evil: 1\r\n"));
    EXPECT_FALSE(text.contains("\r\nX-Evil"));
}

TEST(ResponseHead, CutStatusLengthLocation) {
    EXPECT_EQ(clsDownLoadJob::GetResponseHead("HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody"),
              "HTTP/1.1 200 OK\r\nA: b\r\n\r\n");
    EXPECT_EQ(clsDownLoadJob::GetResponseHead("HTTP/1.1 200 OK\r\nA: b\r\n"), "");

    EXPECT_EQ(clsDownLoadJob::GetStatusClass("HTTP/1.1 302 Found\r\n\r\n"), "30");
    EXPECT_EQ(clsDownLoadJob::GetStatusClass("HTTP/1.0 302 Found\r\n\r\n"), "");
    EXPECT_EQ(clsDownLoadJob::GetStatusClass("HTTP/1.1 206 Partial Content\r\n\r\n"), "206");
    EXPECT_EQ(clsDownLoadJob::GetStatusClass("HTTP/1.0 206 Partial\r\n\r\n"), "206");
    EXPECT_EQ(clsDownLoadJob::GetStatusClass("HTTP/1.1 200 Ok\r\n\r\n"), "");
    EXPECT_EQ(clsDownLoadJob::GetStatusClass("HTTP/1.0 200 OK\r\n\r\n"), "200");
    EXPECT_EQ(clsDownLoadJob::GetStatusClass("HTTP/1.1 404 Not Found\r\n\r\n"), "404");
    EXPECT_EQ(clsDownLoadJob::GetStatusClass("HTTP/1.1 403 Forbidden\r\n\r\n"), "");

    EXPECT_EQ(clsDownLoadJob::GetContentLength("HTTP/1.1 200 OK\r\nContent-Length: 12345\r\n\r\n"),
              "12345");
    EXPECT_EQ(clsDownLoadJob::GetContentLength("HTTP/1.1 200 OK\r\ncontent-length:12345\r\n\r\n"),
              "12345");
    EXPECT_EQ(clsDownLoadJob::GetContentLength("HTTP/1.1 200 OK\r\nX: y\r\n\r\n"), "0");
    EXPECT_EQ(clsDownLoadJob::GetContentLength(
                  "HTTP/1.1 200 OK\r\nX-Original-Content-Length: 9\r\nContent-Length: 7\r\n\r\n"),
              "7");

    EXPECT_EQ(clsDownLoadJob::GetLocation(
                  "HTTP/1.1 302 Found\r\nLocation:   http://other/b.swf  \r\n\r\n"),
              "http://other/b.swf");
    EXPECT_EQ(clsDownLoadJob::GetLocation(
                  "HTTP/1.1 302 Found\r\nContent-Location: /x\r\nlocation: /y\r\n\r\n"),
              "/y");
    EXPECT_EQ(clsDownLoadJob::GetLocation("HTTP/1.1 200 OK\r\n\r\n"), "");

    // A Retry-After of days waits an hour at most.
    EXPECT_EQ(ServerCapacity::RetryAfterSeconds(" 999999 "), 3600);
}

TEST(FileName, BaseAndExtensionOfTheLastComponent) {
    EXPECT_EQ(clsDownLoadJob::GetFileBase("/my.down/a.swf!qv"), "/my.down/a");
    EXPECT_EQ(clsDownLoadJob::GetFileExt("/my.down/a.swf!qv"), ".swf!qv");
    EXPECT_EQ(clsDownLoadJob::GetFileBase("/my.down/movie"), "/my.down/movie");
    EXPECT_EQ(clsDownLoadJob::GetFileExt("/my.down/movie"), "");
    EXPECT_EQ(clsDownLoadJob::GetFileBase("movie.tar.gz"), "movie.tar");
    EXPECT_EQ(clsDownLoadJob::GetFileExt("movie.tar.gz"), ".gz");
}

TEST(LogText, TableAndHeadSplitting) {
    using DownloadLogText::Lines;
    EXPECT_EQ(Lines(1, ReportKind::Connecting, "h:80"),
              (QList<DownloadLogLine>{{"Connecting:h:80", LogConnecting}}));
    EXPECT_EQ(Lines(3, ReportKind::Cancel, "1"),
              (QList<DownloadLogLine>{{"This Part 3 Cancel By Part 1", LogProblem}}));
    EXPECT_EQ(Lines(2, ReportKind::Close, "MeComplete"),
              (QList<DownloadLogLine>{{"This Part Receiving Data Complete.", LogClosed},
                                      {"Close the Connection.", LogClosed}}));
    EXPECT_EQ(Lines(2, ReportKind::Close, "ByServer").value(1).Text,
              "The Connection Close by Server.");
    EXPECT_EQ(Lines(1, ReportKind::RequestError, "404").value(0).Text, "Request Url Error! 404");
    EXPECT_EQ(Lines(1, ReportKind::Autorename, "/d/a0.swf!qv").value(0).Text,
              "File Exits , Auto Rename:/d/a0.swf!qv");
    EXPECT_EQ(Lines(1, ReportKind::Redirect, "http://x/").value(0).Text,
              "Redirect link to other site:http://x/");
    EXPECT_TRUE(Lines(1, ReportKind::DataArrival, "5").isEmpty());
    EXPECT_TRUE(Lines(1, ReportKind::Error, "1x").isEmpty());
    EXPECT_TRUE(Lines(2, ReportKind::ResumeTestError, "u").isEmpty());

    const QList<DownloadLogLine> response =
        Lines(1, ReportKind::Response, "HTTP/1.1 200 OK\r\nA: 1\r\n\r\n");
    ASSERT_EQ(response.size(), 4);
    EXPECT_EQ(response[0], (DownloadLogLine{"Reveive the Server Response..", LogGeneral}));
    EXPECT_EQ(response[1], (DownloadLogLine{"HTTP/1.1 200 OK", LogResponseLine}));
    EXPECT_EQ(response[2], (DownloadLogLine{"A: 1", LogResponseLine}));
    EXPECT_EQ(response[3], (DownloadLogLine{"Start Receiving Date...", LogGeneral}));
    EXPECT_EQ(Lines(1, ReportKind::Request, "GET / HTTP/1.1\r\n\r\n").value(2).Text,
              "Waiting For Server Response...");

    // A last line without CR LF is not logged; an empty line between two pairs is.
    EXPECT_EQ(DownloadLogText::SplitHeadLines("a\r\n\r\nbcdef"), (QStringList{"a", ""}));
    EXPECT_EQ(DownloadLogText::SplitHeadLines(""), QStringList{});
}
