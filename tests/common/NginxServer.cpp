#include "common/NginxServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>

#include "common/TestEnv.h"

namespace {
QString FindNginx() {
    for (const QString& p : {QStringLiteral("/usr/sbin/nginx"), QStringLiteral("/usr/bin/nginx")})
        if (QFile::exists(p)) return p;
    return QStandardPaths::findExecutable("nginx");
}
}  // namespace

NginxServer::NginxServer(const QString& serverExtra, const QString& httpExtra) {
    const QString nginx = FindNginx();
    if (nginx.isEmpty()) {
        error = "nginx not found";
        return;
    }
    prefix = TestEnv::NewDir("nginx");
    root = prefix + "/www";
    QDir().mkpath(root);
    QDir().mkpath(prefix + "/logs");
    QDir().mkpath(prefix + "/tmp");
    for (int attempt = 0; attempt < 5 && !running; ++attempt) {
        port = TestEnv::FreePort();
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
                                 "    server_name localhost;\n"
                                 "    root %3;\n"
                                 "    %5\n"
                                 "  }\n"
                                 "}\n")
                                 .arg(prefix)
                                 .arg(port)
                                 .arg(root, httpExtra, serverExtra);
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

NginxServer::~NginxServer() {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
}

QString NginxServer::Url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
}

bool NginxServer::Put(const QString& relativePath, const QByteArray& bytes) const {
    return TestEnv::WriteFile(root + "/" + relativePath, bytes);
}
