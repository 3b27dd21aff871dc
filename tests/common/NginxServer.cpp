#include "common/NginxServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>
#include <map>
#include <memory>

#include "common/TestEnv.h"

namespace {
bool Openssl(const QStringList& args, QString* error) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = "openssl " + args.join(' ') + ": " + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

// A CA (key and certificate) in dir, named name.
bool MakeCa(const QString& dir, const QString& name, QString* error) {
    return Openssl(
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=" + name,
         "-keyout", dir + "/" + name + ".key", "-out", dir + "/" + name + ".pem", "-addext",
         "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"},
        error);
}

// A server certificate for subjectAltName san, signed by CA ca; files <out>.key, <out>.pem.
bool MakeServerCert(const QString& dir, const QString& ca, const QString& out, const QString& san,
                    QString* error) {
    const QString ext = dir + "/" + out + ".ext";
    TestEnv::WriteFile(ext, ("subjectAltName=" + san +
                             "\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n")
                                .toUtf8());
    return Openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + out, "-keyout",
                    dir + "/" + out + ".key", "-out", dir + "/" + out + ".csr"},
                   error) &&
           Openssl({"x509", "-req", "-in", dir + "/" + out + ".csr", "-CA", dir + "/" + ca + ".pem",
                    "-CAkey", dir + "/" + ca + ".key", "-CAcreateserial", "-days", "2", "-out",
                    dir + "/" + out + ".pem", "-extfile", ext},
                   error);
}

// The folder with the test CA and the three server certificates, made once.
QString CertDir(QString* error) {
    static QString dir;
    static QString failure;
    if (dir.isEmpty() && failure.isEmpty()) {
        const QString d = TestEnv::NewDir("certs");
        if (MakeCa(d, "testca", &failure) && MakeCa(d, "otherca", &failure) &&
            MakeServerCert(d, "testca", "trusted", "DNS:localhost,IP:127.0.0.1", &failure) &&
            MakeServerCert(d, "testca", "wrongname", "DNS:other.invalid", &failure) &&
            MakeServerCert(d, "otherca", "untrusted", "DNS:localhost,IP:127.0.0.1", &failure))
            dir = d;
    }
    if (dir.isEmpty()) *error = failure;
    return dir;
}

std::map<std::pair<QString, QString>, std::unique_ptr<NginxServer>>& SharedServers() {
    static std::map<std::pair<QString, QString>, std::unique_ptr<NginxServer>> servers;
    return servers;
}

QString FindNginx() {
    for (const QString& p : {QStringLiteral("/usr/sbin/nginx"), QStringLiteral("/usr/bin/nginx")})
        if (QFile::exists(p)) return p;
    return QStandardPaths::findExecutable("nginx");
}
}  // namespace

NginxServer::NginxServer(const QString& serverExtra, const QString& httpExtra, Tls tls) {
    const QString nginx = FindNginx();
    if (nginx.isEmpty()) {
        error = "nginx not found";
        return;
    }
    QString tlsListen;
    QString certName;
    if (tls != Tls::None) {
        const QString certs = CertDir(&error);
        if (certs.isEmpty()) return;
        certName = tls == Tls::Trusted     ? QStringLiteral("trusted")
                   : tls == Tls::WrongName ? QStringLiteral("wrongname")
                                           : QStringLiteral("untrusted");
        certName = certs + "/" + certName;
    }
    prefix = TestEnv::NewDir("nginx");
    root = prefix + "/www";
    QDir().mkpath(root);
    QDir().mkpath(prefix + "/logs");
    QDir().mkpath(prefix + "/tmp");
    for (int attempt = 0; attempt < 5 && !running; ++attempt) {
        port = TestEnv::FreePort();
        if (!certName.isEmpty()) {
            do tlsPort = TestEnv::FreePort();
            while (tlsPort == port);
            tlsListen = QStringLiteral(
                            "listen 127.0.0.1:%1 ssl;\n    ssl_certificate %2.pem;\n"
                            "    ssl_certificate_key %2.key;\n"
                            "    ssl_protocols TLSv1.2 TLSv1.3;\n")
                            .arg(tlsPort)
                            .arg(certName);
        }
        const QString conf = QStringLiteral(
                                 "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                                 "error_log %1/logs/error.log warn;\npid %1/logs/nginx.pid;\n"
                                 "events { worker_connections 256; }\n"
                                 "http {\n"
                                 "  access_log off;\n"
                                 "  client_body_temp_path %1/tmp/body;\n"
                                 "  proxy_temp_path %1/tmp/proxy;\n"
                                 "  fastcgi_temp_path %1/tmp/fastcgi;\n"
                                 "  uwsgi_temp_path %1/tmp/uwsgi;\n"
                                 "  scgi_temp_path %1/tmp/scgi;\n"
                                 "  default_type application/octet-stream;\n"
                                 "  sendfile on;\n"
                                 "  %4\n"
                                 "  server {\n"
                                 "    listen 127.0.0.1:%2;\n"
                                 "    %6"
                                 "    server_name localhost;\n"
                                 "    root %3;\n"
                                 "    %5\n"
                                 "  }\n"
                                 "}\n")
                                 .arg(prefix)
                                 .arg(port)
                                 .arg(root, httpExtra, serverExtra, tlsListen);
        TestEnv::WriteFile(prefix + "/nginx.conf", conf.toUtf8());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(
            nginx, {"-p", prefix, "-c", prefix + "/nginx.conf", "-e", prefix + "/logs/error.log"});
        if (!process.waitForStarted(5000)) {
            error = "nginx did not start: " + process.errorString();
            continue;
        }
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000 && process.state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(200)) {
                running = true;
                break;
            }
            QThread::msleep(20);
        }
        if (!running) {
            error = "nginx did not listen: " + TestEnv::ReadFile(prefix + "/logs/error.log");
            process.kill();
            process.waitForFinished(2000);
        }
    }
}

::testing::AssertionResult NginxServer::Started() const {
    if (running) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error.toStdString();
}

NginxServer& NginxServer::Shared(const QString& serverExtra, const QString& httpExtra) {
    std::unique_ptr<NginxServer>& server = SharedServers()[{serverExtra, httpExtra}];
    if (!server) server = std::make_unique<NginxServer>(serverExtra, httpExtra);
    return *server;
}

void NginxServer::StopShared() {
    SharedServers().clear();
}

NginxServer::~NginxServer() {
    TestEnv::EndProcess(process, 3000);
}

QString NginxServer::SecureUrl(const QString& path) const {
    return QStringLiteral("https://127.0.0.1:%1%2").arg(tlsPort).arg(path);
}

QString NginxServer::TestCaFile() {
    QString error;
    const QString dir = CertDir(&error);
    return dir.isEmpty() ? QString() : dir + "/testca.pem";
}

QString NginxServer::Url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
}

bool NginxServer::Put(const QString& relativePath, const QByteArray& bytes) const {
    return TestEnv::WriteFile(root + "/" + relativePath, bytes);
}
