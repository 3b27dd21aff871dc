#include "net/DnsmasqServer.h"

#include <unistd.h>
#include <QFile>
#include <QUdpSocket>

#include "common/TestEnv.h"

namespace {
QString UserName() {
    const QByteArray user = qgetenv("USER");
    if (!user.isEmpty()) return QString::fromLocal8Bit(user);
    return getuid() == 0 ? QStringLiteral("root") : QString();
}
}  // namespace

DnsmasqServer::DnsmasqServer(const QStringList& records) {
    QString program = QStringLiteral("/usr/sbin/dnsmasq");
    if (!QFile::exists(program)) {
        error = "dnsmasq not found";
        return;
    }
    for (int attempt = 0; attempt < 5 && !running; ++attempt) {
        port = TestEnv::FreePort();
        QStringList args{"--keep-in-foreground",
                         "--conf-file=/dev/null",
                         "--port=" + QString::number(port),
                         "--listen-address=127.0.0.1",
                         "--bind-interfaces",
                         "--no-resolv",
                         "--no-hosts",
                         "--no-negcache",
                         "--pid-file=",
                         "--log-facility=-"};
        // As root dnsmasq would change to "nobody"; stay the user the test runs as.
        const QString user = UserName();
        if (!user.isEmpty() && getuid() == 0) args << "--user=" + user;
        args << records;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, args);
        if (!process.waitForStarted(5000)) {
            error = "dnsmasq did not start: " + process.errorString();
            return;
        }
        TestEnv::WaitFor([this] { return process.state() != QProcess::Running || Answers(); }, 5000,
                         50);
        running = process.state() == QProcess::Running && Answers();
        if (!running) {
            error = QString::fromLocal8Bit(process.readAll());
            process.kill();
            process.waitForFinished(2000);
        }
    }
}

DnsmasqServer::~DnsmasqServer() {
    TestEnv::EndProcess(process, 3000);
}

bool DnsmasqServer::Answers() {
    QUdpSocket probe;
    // An SOA question for the root: any answer at all shows the server is listening.
    const QByteArray q = QByteArray::fromHex("abcd010000010000000000000000060001");
    if (probe.writeDatagram(q, QHostAddress::LocalHost, port) != q.size()) return false;
    return probe.waitForReadyRead(200) && probe.hasPendingDatagrams();
}
