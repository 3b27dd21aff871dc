// Secure downloads against a real nginx with certificates from a test CA (segmented, paused and
// resumed, redirected between the schemes, through a CONNECT proxy, refused certificates), and
// the connect and receive timeouts with their retries against scripted peers.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>

#include "common/NginxServer.h"
#include "engine/EngineTestSupport.h"
#include "engine/ToolTestSupport.h"

using namespace EngineTest;

namespace {

// A small CONNECT proxy: opens the asked tunnel to 127.0.0.1 and copies bytes both ways.
// Answers 403 when refuse is set.
class TunnelProxy : public QObject {
public:
    explicit TunnelProxy(bool refuse = false) : refuse(refuse) {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = server.nextPendingConnection()) Serve(client);
        });
    }
    quint16 Port() const { return server.serverPort(); }
    QStringList requestLines;

private:
    void Serve(QTcpSocket* client) {
        client->setParent(this);
        auto head = std::make_shared<QByteArray>();
        auto up = std::make_shared<QPointer<QTcpSocket>>();
        connect(client, &QTcpSocket::readyRead, this, [this, client, head, up] {
            if (*up) {
                (*up)->write(client->readAll());
                return;
            }
            head->append(client->readAll());
            const qsizetype end = head->indexOf("\r\n\r\n");
            if (end < 0) return;
            const QByteArray line = head->left(head->indexOf("\r\n"));
            requestLines << QString::fromLatin1(line);
            if (refuse || !line.startsWith("CONNECT 127.0.0.1:")) {
                client->write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
                client->disconnectFromHost();
                return;
            }
            const quint16 port = line.mid(18).split(' ').value(0).toUShort();
            auto* server = new QTcpSocket(this);
            *up = server;
            const QByteArray early = head->mid(end + 4);
            connect(server, &QTcpSocket::connected, this, [client, server, early] {
                client->write("HTTP/1.1 200 Connection established\r\n\r\n");
                if (!early.isEmpty()) server->write(early);
            });
            connect(server, &QTcpSocket::readyRead, this,
                    [client, server] { client->write(server->readAll()); });
            connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
            server->connectToHost(QHostAddress::LocalHost, port);
        });
    }
    QTcpServer server;
    bool refuse;
};

class Secure : public SlotTest {
protected:
    void SetUp() override {
        SlotTest::SetUp();
        const QString ca = NginxServer::TestCaFile();
        ASSERT_FALSE(ca.isEmpty());
        qputenv("SSL_CERT_FILE", QFile::encodeName(ca));
    }
    void TearDown() override { qunsetenv("SSL_CERT_FILE"); }
};

}  // namespace

TEST_F(Secure, SegmentedPausedAndResumedOverTls) {
    NginxServer nginx("location /slow/ { limit_rate 256k; }", {}, NginxServer::Tls::Trusted);
    ASSERT_TRUE(nginx.Started());
    const QByteArray data = TestEnv::RandomBytes(3 * 1024 * 1024 + 17, 41);
    ASSERT_TRUE(nginx.Put("f.bin", data));
    ASSERT_TRUE(nginx.Put("slow/f.bin", data));

    // Slowed down per connection, so that every range gets its own connection.
    for (int parts : {1, 10}) {
        watch.Clear();
        const int j = AddTestJob(nginx.SecureUrl(parts == 1 ? "/f.bin" : "/slow/f.bin"), dir, parts,
                                 QStringLiteral("f%1.bin").arg(parts));
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(watch.WaitDone());
        ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
        EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data) << parts;
        EXPECT_EQ(watch.Count("Connected"), parts);
    }

    // Paused in the middle, then resumed by a new run from the stored ranges.
    watch.Clear();
    const int j = AddTestJob(nginx.SecureUrl("/slow/f.bin"), dir, 10, "slow.bin");
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(WaitFor([&] { return watch.arrived > 1024 * 1024; }));
    slot.Pause();
    EXPECT_EQ(Jobs[j].State, StatePaused);
    watch.Clear();
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    EXPECT_LT(watch.arrived, data.size() - 1024 * 1024) << "the resumed run fetched again";
    for (const QString& r : Requests()) EXPECT_TRUE(r.contains("Range: bytes=")) << r.toStdString();
}

TEST_F(Secure, RedirectsBetweenPlainAndSecure) {
    const QByteArray secureData = TestEnv::RandomBytes(200000, 42);
    const QByteArray plainData = TestEnv::RandomBytes(150000, 43);
    NginxServer* nginxPtr = nullptr;
    ScriptServer script([&](QTcpSocket* s, const ScriptServer::Request& r) {
        if (r.text.startsWith("GET /to-secure ")) {
            s->write(ScriptServer::Head(
                "HTTP/1.1 302 Found",
                {"Location: " + nginxPtr->SecureUrl("/s.bin").toLatin1(), "Content-Length: 0"}));
            s->disconnectFromHost();
        } else {
            ScriptServer::ServeRanges(s, r, plainData);
        }
    });
    NginxServer nginx(
        QStringLiteral("location = /to-plain { return 302 %1; }").arg(script.Url("/p.bin")), {},
        NginxServer::Tls::Trusted);
    ASSERT_TRUE(nginx.Started());
    nginxPtr = &nginx;
    ASSERT_TRUE(nginx.Put("s.bin", secureData));

    int j = AddTestJob(script.Url("/to-secure"), dir, 4, "s.bin");
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(Jobs[j].Url, nginx.SecureUrl("/s.bin"));
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), secureData);

    watch.Clear();
    j = AddTestJob(nginx.SecureUrl("/to-plain"), dir, 4, "p.bin");
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(Jobs[j].Url, script.Url("/p.bin"));
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), plainData);
}

TEST_F(Secure, ThroughAConnectProxy) {
    NginxServer nginx("limit_rate 256k;", {}, NginxServer::Tls::Trusted);
    ASSERT_TRUE(nginx.Started());
    const QByteArray data = TestEnv::RandomBytes(1024 * 1024 + 3, 44);
    ASSERT_TRUE(nginx.Put("f.bin", data));
    TunnelProxy proxy;
    const int j = AddTestJob(nginx.SecureUrl("/f.bin"), dir, 5);
    Jobs[j].UseProxy = VbTrue;
    Jobs[j].ProxyHost = "127.0.0.1";
    Jobs[j].ProxyPort = proxy.Port();
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone());
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    ASSERT_EQ(proxy.requestLines.size(), 5);
    for (const QString& line : proxy.requestLines)
        EXPECT_EQ(line, QStringLiteral("CONNECT 127.0.0.1:%1 HTTP/1.1").arg(nginx.TlsPort()));
    // Inside the tunnel the request names the path, not the whole address.
    for (const QString& r : Requests()) EXPECT_TRUE(r.startsWith("GET /f.bin HTTP/1.1\r\n"));
}

// Failures that no retry can mend end the job at once, with their reason.
TEST_F(Secure, RefusedCertificatesProxiesAndMissingFilesAreNotRetried) {
    Settings.Retries = 3;
    Settings.Redelay = 0;
    NginxServer untrusted({}, {}, NginxServer::Tls::Untrusted);
    NginxServer wrongName({}, {}, NginxServer::Tls::WrongName);
    NginxServer good({}, {}, NginxServer::Tls::Trusted);
    ASSERT_TRUE(untrusted.IsRunning() && wrongName.IsRunning() && good.IsRunning());
    for (NginxServer* n : {&untrusted, &wrongName}) ASSERT_TRUE(n->Put("f.bin", "x"));
    TunnelProxy refusing(true);

    struct Case {
        QString url;
        bool proxy;
        QString reason;
    };
    const QList<Case> cases = {
        {untrusted.SecureUrl("/f.bin"), false, "Certificate error: "},
        {wrongName.SecureUrl("/f.bin"), false, "Certificate error: "},
        {good.SecureUrl("/missing.bin"), false, "404"},
        {good.SecureUrl("/f.bin"), true, "Proxy refused the tunnel: HTTP/1.1 403 Forbidden"},
    };
    for (const Case& c : cases) {
        watch.Clear();
        const int j = AddTestJob(c.url, dir, 3);
        if (c.proxy) {
            Jobs[j].UseProxy = VbTrue;
            Jobs[j].ProxyHost = "127.0.0.1";
            Jobs[j].ProxyPort = refusing.Port();
        }
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(watch.WaitDone(20000));
        EXPECT_EQ(watch.ended, 1) << c.url.toStdString();
        EXPECT_EQ(Jobs[j].State, StateError);
        EXPECT_TRUE(watch.endReason.contains(c.reason)) << watch.endReason.toStdString();
        EXPECT_EQ(watch.Count("Connecting"), 1) << c.url.toStdString();
        if (c.reason.startsWith("Certificate")) {
            EXPECT_EQ(watch.Count("Request"), 0) << "a request went to an unverified server";
        }
    }
}

class Retry : public ::testing::Test {
protected:
    void SetUp() override {
        ClearJobs();
        Settings = SettingsRecord{};
        Settings.Ctimeout = 1;
        Settings.Rtimeout = 1;
        Settings.Retries = 2;
        Settings.Redelay = 1;
        dir = TestEnv::NewDir();
    }
    QString dir;
    DownloadSlot slot{1};
    SlotWatch watch{slot};
};

TEST_F(Retry, SilentServersCostTheirRetriesThenTheJob) {
    // Accepts and never answers: the receive timeout.
    ScriptServer silent([](QTcpSocket*, const ScriptServer::Request&) {});
    int j = AddTestJob(silent.Url("/s.bin"), dir, 1);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone(30000));
    EXPECT_EQ(watch.ended, 1);
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_EQ(watch.Count("Error", 1), 3);
    EXPECT_EQ(silent.requests.size(), 3);
    EXPECT_TRUE(watch.endReason.contains("Receive timeout: nothing received for 1 seconds"))
        << watch.endReason.toStdString();
    EXPECT_EQ(watch.log.filter("trying again in 1 seconds").size(), 2);

    // A secure address whose server never starts the handshake: the connect timeout.
    watch.Clear();
    QTcpServer mute;
    ASSERT_TRUE(mute.listen(QHostAddress::LocalHost, 0));
    j = AddTestJob(QStringLiteral("https://127.0.0.1:%1/m.bin").arg(mute.serverPort()), dir, 1);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone(30000));
    EXPECT_EQ(Jobs[j].State, StateError);
    EXPECT_EQ(watch.Count("Error", 1), 3);
    EXPECT_TRUE(watch.endReason.contains("Connect timeout: not connected after 1 seconds"))
        << watch.endReason.toStdString();
}

TEST_F(Retry, StallInTheBodyCostsARetryNotTheJob) {
    const QByteArray data = TestEnv::RandomBytes(500000, 45);
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        if (r.number == 1) {
            // The whole file announced, half of it sent, then nothing more.
            s->write(ScriptServer::Head(
                "HTTP/1.1 200 OK",
                {"Content-Length: " + QByteArray::number(data.size()), "ETag: \"v1\""}));
            s->write(data.left(200000));
            return;
        }
        ScriptServer::ServeRanges(s, r, data);
    });
    const int j = AddTestJob(server.Url("/stall.bin"), dir, 1);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone(30000));
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    ASSERT_EQ(server.requests.size(), 2);
    EXPECT_EQ(server.requests[1].rangeStart, 200000);
    EXPECT_TRUE(server.requests[1].text.contains("If-Range: \"v1\""));
    EXPECT_EQ(watch.Count("Error", 1), 1);
}

TEST_F(Retry, ResetsTwiceThenServes) {
    Settings.Redelay = 0;
    Settings.Rtimeout = 5;  // connection 1's pauses (0.8 s) are no stall, on a busy machine too
    const QByteArray data = TestEnv::RandomBytes(400000, 46);
    int resets = 0;
    ScriptServer server([&](QTcpSocket* s, const ScriptServer::Request& r) {
        if (r.rangeStart <= 0) {
            // Connection 1 is slow, so that the later ranges are fetched by their own connections.
            s->write(ScriptServer::Head("HTTP/1.1 200 OK",
                                        {"Content-Length: " + QByteArray::number(data.size())}));
            s->write(data.left(20000));
            for (int i = 1; i <= 4; ++i) {
                QPointer<QTcpSocket> p(s);
                QTimer::singleShot(800 * i, s, [p, i, &data] {
                    if (p) p->write(data.mid(20000 * i, i < 4 ? 20000 : -1));
                });
            }
            return;
        }
        // The first two requests for a later range get a piece of it and then a reset.
        if (r.rangeStart > 0 && resets < 2) {
            ++resets;
            const QByteArray part = data.mid(r.rangeStart, 5000);
            s->write(ScriptServer::Head(
                "HTTP/1.1 206 Partial Content",
                {"Content-Length: " + QByteArray::number(data.size() - r.rangeStart),
                 "Content-Range: bytes " + QByteArray::number(r.rangeStart) + "-" +
                     QByteArray::number(data.size() - 1) + "/" + QByteArray::number(data.size())}));
            s->write(part);
            s->flush();
            ScriptServer::Reset(s);
            return;
        }
        ScriptServer::ServeRanges(s, r, data);
    });
    const int j = AddTestJob(server.Url("/reset.bin"), dir, 4);
    ASSERT_TRUE(slot.BindAndStart(j));
    ASSERT_TRUE(watch.WaitDone(30000));
    ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
    EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
    EXPECT_EQ(resets, 2);
    QString errors;
    for (const ReportEntry& e : watch.reports)
        if (e.kind == "Error") errors += QStringLiteral("\n  %1: %2").arg(e.part).arg(e.detail);
    EXPECT_EQ(watch.Count("Error"), 2) << errors.toStdString();
}

TEST_F(Secure, CommandLineDownloaderOverTlsWithItsTimeouts) {
    NginxServer nginx({}, {}, NginxServer::Tls::Trusted);
    ASSERT_TRUE(nginx.Started());
    const QByteArray data = TestEnv::RandomBytes(2 * 1024 * 1024 + 5, 47);
    ASSERT_TRUE(nginx.Put("t.bin", data));
    ToolTest::ToolRun run =
        ToolTest::RunTool({"--dir", dir, "--parts", "4", nginx.SecureUrl("/t.bin")});
    ASSERT_EQ(run.code, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(TestEnv::ReadFile(dir + "/t.bin"), data);

    // A server that never answers: one retry, then the tool gives up with the reason.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    run = ToolTest::RunTool({"--dir", dir, "--read-timeout", "1", "--retries", "1", "--retry-delay",
                             "0",
                             QStringLiteral("http://127.0.0.1:%1/s.bin").arg(silent.serverPort())});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.out.contains("trying again in 0 seconds (retry 1 of 1)"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Receive timeout: nothing received for 1 seconds"))
        << run.out.toStdString();
    EXPECT_LT(run.ms, 20000);
}

namespace {

// A scripted TLS peer with the test CA's certificate for 127.0.0.1: the script gets each
// connection once its request head is in.
class TlsScriptServer : public QTcpServer {
public:
    using Script = std::function<void(QSslSocket*)>;
    explicit TlsScriptServer(Script script) : script(std::move(script)) {
        const QString dir = QFileInfo(NginxServer::TestCaFile()).absolutePath();
        certificate = QSslCertificate::fromPath(dir + "/trusted.pem").value(0);
        QFile keyFile(dir + "/trusted.key");
        keyFile.open(QIODevice::ReadOnly);
        key = QSslKey(keyFile.readAll(), QSsl::Rsa);
        listen(QHostAddress::LocalHost, 0);
    }
    QString Url(const QString& path) const {
        return QStringLiteral("https://127.0.0.1:%1%2").arg(serverPort()).arg(path);
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* s = new QSslSocket(this);
        s->setSocketDescriptor(descriptor);
        s->setLocalCertificate(certificate);
        s->setPrivateKey(key);
        auto head = std::make_shared<QByteArray>();
        connect(s, &QSslSocket::readyRead, this, [this, s, head] {
            head->append(s->readAll());
            if (!head->contains("\r\n\r\n") || head->isEmpty()) return;
            head->clear();
            head->append('x');  // answered once
            script(s);
        });
        s->startServerEncryption();
    }

private:
    Script script;
    QSslCertificate certificate;
    QSslKey key;
};

}  // namespace

// A body of unannounced length is complete over TLS only when the server ends TLS in order.
TEST_F(Secure, UnannouncedLengthEndsOnlyWithTheServersCloseNotice) {
    const QByteArray data = TestEnv::RandomBytes(300000, 48);
    for (const bool inOrder : {true, false}) {
        watch.Clear();
        TlsScriptServer server([&](QSslSocket* s) {
            s->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            s->write(data);
            QPointer<QSslSocket> p(s);
            QTimer::singleShot(300, s, [p, inOrder] {
                if (!p) return;
                if (inOrder) {
                    p->disconnectFromHost();  // sends the close notice
                } else {
                    ScriptServer::Reset(p);  // the TCP connection ends without it
                }
            });
        });
        ASSERT_TRUE(server.isListening());
        const int j = AddTestJob(server.Url("/n.bin"), dir, 1, inOrder ? "in.bin" : "cut.bin");
        ASSERT_TRUE(slot.BindAndStart(j));
        ASSERT_TRUE(watch.WaitDone(20000));
        if (inOrder) {
            ASSERT_EQ(watch.completed, 1) << watch.endReason.toStdString();
            EXPECT_EQ(TestEnv::ReadFile(Jobs[j].LocalFile), data);
        } else {
            EXPECT_EQ(watch.completed, 0);
            EXPECT_EQ(Jobs[j].State, StateError);
            EXPECT_TRUE(watch.endReason.contains("close notice")) << watch.endReason.toStdString();
        }
    }
}
