#pragma once
// A real dnsmasq on 127.0.0.1 and a free port, answering only from its own records (no upstream
// servers, no hosts file) for the lifetime of the object.

#include <QProcess>
#include <QString>
#include <QStringList>

class DnsmasqServer {
public:
    // records: dnsmasq options such as "--mx-host=example.test,mx.example.test,10".
    explicit DnsmasqServer(const QStringList& records);
    ~DnsmasqServer();
    DnsmasqServer(const DnsmasqServer&) = delete;
    DnsmasqServer& operator=(const DnsmasqServer&) = delete;

    bool IsRunning() const { return running; }
    QString Error() const { return error; }
    quint16 Port() const { return port; }
    // "127.0.0.1:<port>", the form of the DnsServer setting.
    QString Address() const { return QStringLiteral("127.0.0.1:") + QString::number(port); }

private:
    bool Answers();

    QProcess process;
    QString error;
    quint16 port = 0;
    bool running = false;
};
