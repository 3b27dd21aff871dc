// Writes the first corpus of the fuzz targets from the program's own writers and from answers of
// a real test server, into the folder named by QV_FUZZ_SEEDS (tests/fuzz/corpus when refreshed by
// hand). Disabled in the suite: run as
//   QV_FUZZ_SEEDS=tests/fuzz/corpus build/tests/test_fuzz_replay
//       --gtest_also_run_disabled_tests --gtest_filter='*WriteSeeds*'

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTcpSocket>

#include "../player/SwfBuilder.h"
#include "common/NginxServer.h"
#include "handoff_lib/HandoffProtocol.h"
#include "pages/SearchFile.h"
#include "store/CategoryTree.h"
#include "store/JobDb.h"
#include "store/JobTable.h"
#include "store/JobValidators.h"

namespace {

QString seeds;

void Seed(const QString& target, const QString& name, const QByteArray& bytes) {
    QDir().mkpath(seeds + u'/' + target);
    QFile file(seeds + u'/' + target + u'/' + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The raw answer of the server to one request, up to its close.
QByteArray Ask(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(3000)) return {};
    socket.write(request);
    QByteArray answer;
    while (socket.waitForReadyRead(3000)) answer += socket.readAll();
    return answer + socket.readAll();
}

QByteArray Le32(quint32 v) {
    QByteArray b;
    SwfBuilder::Le32(b, v);
    return b;
}

}  // namespace

TEST(FuzzSeeds, DISABLED_WriteSeeds) {
    seeds = qEnvironmentVariable("QV_FUZZ_SEEDS");
    ASSERT_FALSE(seeds.isEmpty());

    // Answers of the test server: whole, ranged, past the end, missing, moved, and chunked.
    NginxServer server(
        QStringLiteral("location /moved { return 301 /movie.swf; }\n"
                       "location /gz/ { gzip on; gzip_min_length 1; "
                       "gzip_types *; }"));
    ASSERT_TRUE(server.IsRunning()) << server.Error().toStdString();
    ASSERT_TRUE(server.Put(QStringLiteral("movie.swf"), QByteArray(3000, 'm')));
    ASSERT_TRUE(server.Put(QStringLiteral("gz/page.html"),
                           "<html><body><embed src=\"a.swf\" type=\"flash\"></embed></body>"
                           "</html>\n"));
    const QByteArray host = "Host: 127.0.0.1\r\nConnection: close\r\n";
    const QList<std::pair<QString, QByteArray>> requests = {
        {"whole", "GET /movie.swf HTTP/1.1\r\n" + host + "\r\n"},
        {"ranged", "GET /movie.swf HTTP/1.1\r\n" + host + "Range: bytes=1000-\r\n\r\n"},
        {"past_end", "GET /movie.swf HTTP/1.1\r\n" + host + "Range: bytes=5000-\r\n\r\n"},
        {"missing", "GET /none.swf HTTP/1.1\r\n" + host + "\r\n"},
        {"moved", "GET /moved HTTP/1.1\r\n" + host + "\r\n"},
        {"chunked", "GET /gz/page.html HTTP/1.1\r\n" + host + "Accept-Encoding: gzip\r\n\r\n"},
    };
    for (const auto& [name, request] : requests) {
        const QByteArray answer = Ask(server.Port(), request);
        ASSERT_FALSE(answer.isEmpty()) << name.toStdString();
        // The head target's first bytes steer: the piece seed, the byte asked for (in
        // thousands), the chunked, resume and unknown-size flags, the size in thousands, an ETag.
        Seed("http_head", name, QByteArray("\x07\x01\x00\x01\x00\x03\x00", 7) + answer);
        const qsizetype body = answer.indexOf("\r\n\r\n") + 4;
        if (name == "chunked") {
            Seed("chunked", name, QByteArray("\x03\x01", 2) + answer.mid(body));
            Seed("update", name, answer);
        }
    }
    Seed("update", "newer",
         "HTTP/1.1 200 OK\r\nContent-Length: 60\r\n\r\nNewest Version:1.4\r\n"
         "DownSite:http://127.0.0.1/quorvanta-1.4.tar.gz");
    Seed("update", "same",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
         "14\r\nNewest Version:1.3\r\n\r\n0\r\n\r\n");

    // The job database, its validators and the page searches, as the program saves them.
    CategoryTree tree;
    AddFixedNodes(tree, true);
    ClearJobs();
    ASSERT_TRUE(tree.Add(TreeKeys::Downloaded, "k1", "Cartoons", "5", "6", "/tmp/cartoons"));
    ASSERT_TRUE(tree.Add("k1", "k2", "Short", "5", "6", ""));
    JobRecord job;
    job.Url = "http://127.0.0.1:8080/movies/a.swf";
    job.LocalFile = "/tmp/cartoons/a.swf";
    job.FileName = "a.swf";
    job.ClassKey = "k1";
    job.FileSize = 3000;
    job.State = 3;
    AddJob(job);
    job.Url = "http://127.0.0.1:8080/movies/b.swf";
    job.LocalFile = "/tmp/cartoons/b.swf";
    job.Referer = "http://127.0.0.1:8080/index.html";
    AddJob(job);
    Seed("job_db", "two_jobs", JobDbBytes(tree));
    ClearJobs();
    Seed("job_db", "empty", JobDbBytes(tree));

    QHash<QString, JobValidator> validators;
    validators.insert("/tmp/cartoons/a.swf", {"\"5f2a-bb8\"", "Mon, 07 Dec 2026 10:00:00 GMT"});
    validators.insert("/tmp/cartoons/b.swf", {"", "Tue, 08 Dec 2026 10:00:00 GMT"});
    Seed("side_files", "validators", JobValidators::ToBytes(validators));
    SearchFile::Entry entry;
    entry.record.PageUrl = "http://127.0.0.1:8080/index.html";
    entry.record.Depth = 1;
    entry.record.JobTemplate = job;
    entry.icon = "search";
    entry.texts = QStringList{"index.html", "0", "Analysed"};
    Seed("side_files", "searches", SearchFile::ToBytes({entry, entry}));

    // Movies: plain, zlib and LZMA, with frames to fold.
    using namespace SwfBuilder;
    const QByteArray body =
        Body(24 << 8, 3,
             {Tag(9, "\x10\x20\x30"), Tag(1, {}), Tag(12, QByteArray("\x07\x00", 2)), Tag(1, {}),
              Tag(1, {}, true), Tag(0, {})});
    Seed("swf", "plain", QByteArray("\x02", 1) + Fws(body));
    Seed("swf", "zlib", QByteArray("\x03", 1) + Cws(body));
    Seed("swf", "lzma", QByteArray("\x01", 1) + Zws(body));

    // The hand-off socket, the host's frames, the mail server's replies, a DNS reply.
    Seed("handoff", "down",
         "\x05" + QByteArray::fromStdString(HandoffProtocol::Frame(HandoffProtocol::DownMessage(
                      "http://127.0.0.1/a.swf", "Cartoon", "http://127.0.0.1/index.html"))));
    Seed("handoff", "search",
         "\x09" + QByteArray::fromStdString(HandoffProtocol::Frame(
                      HandoffProtocol::SearchMessage("http://127.0.0.1/index.html"))));
    Seed("handoff", "long", "\x02QV-HANDOFF 65537\n");
    const QByteArray json = R"({"command":"down","url":"http://127.0.0.1/a.swf"})";
    Seed("host_frames", "two",
         "\x01\x08" + Le32(quint32(json.size())) + json + Le32(quint32(json.size())) + json);
    Seed("host_frames", "skipped", "\x01\x08" + Le32(20) + QByteArray(20, 'x') + Le32(2) + "{}");
    Seed("smtp_reply", "session",
         "\x04"
         "220 mail.test ESMTP\r\n250-mail.test\r\n250-SIZE 1000\r\n250 HELP\r\n"
         "354 go on\r\n250 queued\r\n221 bye\r\n");
    QByteArray dns("\x11\xdf\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00", 12);
    dns += QByteArray("\x04mail\x04test\x00\x00\x0f\x00\x01", 15);
    dns += QByteArray("\xc0\x0c\x00\x0f\x00\x01\x00\x00\x0e\x10\x00\x09\x00\x0a\x02mx\xc0\x0c", 21);
    Seed("dns", "mx", dns);

    // Settings, job lists, pages.
    Seed("ini", "settings",
         "[Option]\r\nMaxJobs=3\r\nParts=4\r\nRetries=5\r\nUserAgent=Mozilla/5.0\r\n"
         "[Proxy]\r\nProxy1=127.0.0.1:3128\r\n; a note\r\n[Empty]\r\n");
    Seed("job_list", "list",
         "http://127.0.0.1/a.swf\r\n\"http://127.0.0.1/b c.swf\"\n\n  /home/u/c.swf\r"
         "C:\\films\\d.swf\n");
    Seed("page_scan", "blocks",
         "<html><head><base href=\"http://127.0.0.1/b/\"></head><body>\r\n"
         "<object classid=\"clsid:d27cdb6e\" codebase=\"http://download.macromedia.com/\">"
         "<param name=movie value=\"m1.swf\"></object>\n"
         "<embed src=\"m2.swf\" type=\"application/x-shockwave-flash\"></embed>\n"
         "<object data=\"m3.swf\" type=\"application/x-shockwave-flash\"></object>\n"
         "<script>swfobject.embedSWF('m4.swf', 'x', 550, 400);</script>\n"
         "<a href=\"/next.html\">next</a> <A HREF='m5.swf'>movie</A> <area href=x.html>\n"
         "</body></html>\n");
}
