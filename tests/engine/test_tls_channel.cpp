// TlsChannel on descriptors of QTcpSocket connections: a real nginx with certificates from the
// test CA (good, for another name, from an unknown CA) and a scripted TLS peer that ends in the
// middle of a body with or without its close notice, or that speaks nothing newer than TLS 1.1.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "engine/TlsChannel.h"

namespace {

struct Fetched {
    QByteArray bytes;
    qint64 end = 1;  // the last Read result: 0 or -2 (1 while neither came)
    QString failure;
    QString error;
};

// GET path from port as host; the request is written before the handshake ends, so it must wait
// for the verified server.
Fetched Fetch(quint16 port, const QString& host, const QByteArray& path) {
    Fetched f;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000)) return f;
    TlsChannel channel;
    QObject::connect(&channel, &TlsChannel::Failed, [&](const QString& r) { f.failure = r; });
    QObject::connect(&channel, &TlsChannel::ReadyRead, [&] {
        char buf[65536];
        qint64 n;
        while ((n = channel.Read(buf, sizeof buf)) > 0) f.bytes.append(buf, n);
        if (n != -1) f.end = n;
    });
    channel.Start(socket.socketDescriptor(), host);
    socket.abort();  // the channel goes on with its own descriptor
    channel.Write("GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    TestEnv::WaitFor([&] { return f.end != 1 || !f.failure.isEmpty(); }, 20000);
    f.error = channel.ErrorText();
    return f;
}

QByteArray Body(const QByteArray& answer) {
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

}  // namespace

TEST(TlsChannel, VerifiesTheServerBeforeSendingAndReadsToTheCloseNotice) {
    qputenv("SSL_CERT_FILE", QFile::encodeName(NginxServer::TestCaFile()));
    const QByteArray data = TestEnv::RandomBytes(3 * 1024 * 1024 + 7, 51);
    struct Case {
        NginxServer::Tls tls;
        QString host;
        QString failure;  // "" for a good transfer
    };
    const Case cases[] = {
        {NginxServer::Tls::Trusted, "127.0.0.1", ""},
        {NginxServer::Tls::Trusted, "localhost", ""},
        {NginxServer::Tls::WrongName, "localhost", "Certificate error: hostname mismatch"},
        {NginxServer::Tls::WrongName, "127.0.0.1", "Certificate error: IP address mismatch"},
        {NginxServer::Tls::Untrusted, "127.0.0.1", "Certificate error: unable to get local issuer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host.toStdString() + " " + c.failure.toStdString());
        const QString log = TestEnv::NewDir() + "/access.log";
        Fetched f;
        {
            NginxServer nginx("access_log " + log + ";", {}, c.tls);
            ASSERT_TRUE(nginx.Started());
            ASSERT_TRUE(nginx.Put("f.bin", data));
            f = Fetch(nginx.TlsPort(), c.host, "/f.bin");
        }  // the log is complete once nginx has ended
        if (c.failure.isEmpty()) {
            EXPECT_EQ(f.failure, QString());
            EXPECT_EQ(f.end, 0) << f.error.toStdString();
            EXPECT_TRUE(Body(f.bytes) == data) << f.bytes.size();
        } else {
            EXPECT_TRUE(f.failure.startsWith(c.failure)) << f.failure.toStdString();
            EXPECT_EQ(f.bytes, QByteArray());
        }
        EXPECT_EQ(TestEnv::ReadFile(log).contains("GET /f.bin"), c.failure.isEmpty());
    }
    qunsetenv("SSL_CERT_FILE");
}

TEST(TlsChannel, TellsACutFromTheCloseNotice) {
    qputenv("SSL_CERT_FILE", QFile::encodeName(NginxServer::TestCaFile()));
    const QString certs = QFileInfo(NginxServer::TestCaFile()).absolutePath();
    // One connection: the head of a 10 MB answer, 300000 bytes of it, then the end.
    const QString script = QStringLiteral(R"(
import socket, ssl, sys
ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(sys.argv[2] + '/trusted.pem', sys.argv[2] + '/trusted.key')
if sys.argv[1] == 'tls1.1':
    ctx.set_ciphers('AES128-SHA:@SECLEVEL=0')  # RSA key exchange: no legacy signature
    ctx.minimum_version = ctx.maximum_version = ssl.TLSVersion.TLSv1_1
srv = socket.socket()
srv.bind(('127.0.0.1', 0))
srv.listen(1)
print(srv.getsockname()[1], flush=True)
s = ctx.wrap_socket(srv.accept()[0], server_side=True)
head = b''
while b'\r\n\r\n' not in head: head += s.recv(4096)
s.sendall(b'HTTP/1.1 200 OK\r\nContent-Length: 10000000\r\n\r\n' + bytes(range(250)) * 1200)
try:
    s.unwrap() if sys.argv[1] == 'notice' else s.shutdown(socket.SHUT_RDWR)
except OSError:
    pass
)");
    // end 1: no connection at all.
    for (const auto& [mode, end] :
         {std::pair{"notice", 0}, std::pair{"cut", -2}, std::pair{"tls1.1", 1}}) {
        SCOPED_TRACE(mode);
        QProcess peer;
        peer.start("python3", {"-c", script, mode, certs});
        ASSERT_TRUE(peer.waitForReadyRead(10000)) << peer.readAllStandardError().toStdString();
        const Fetched f = Fetch(peer.readLine().trimmed().toUShort(), "127.0.0.1", "/");
        EXPECT_EQ(f.end, end) << f.error.toStdString();
        EXPECT_EQ(f.bytes.size() > 0 ? Body(f.bytes).size() : 0, end == 1 ? 0 : 300000);
        EXPECT_EQ(f.failure.isEmpty(), end != 1);
        if (end < 0) {
            EXPECT_TRUE(f.error.contains("without the server's close notice"));
        }
        peer.kill();
        peer.waitForFinished();
    }
    qunsetenv("SSL_CERT_FILE");
}
