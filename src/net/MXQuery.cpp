#include "net/MXQuery.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "net/DnsPacket.h"
#include "net/DnsServers.h"
#include "store/NumberRule.h"
#include "store/Settings.h"

MXQuery::MXQuery(QObject* parent) : QObject(parent) {
    replyTimer.setSingleShot(true);
    connect(&replyTimer, &QTimer::timeout, this, [this] { Finish(QString(), ReceiveProblem); });
}

MXQuery::~MXQuery() = default;

QString MXQuery::ServerText() {
    const QString configured = Settings.DnsServer.trimmed();
    if (!configured.isEmpty()) return configured;
    return DnsServers.value(0).trimmed();
}

void MXQuery::Start(const QString& domain) {
    ++generation;
    running = true;
    replyTimer.stop();
    delete socket;
    socket = nullptr;

    if (DnsServers.isEmpty()) GetDnsServers();
    QString server = ServerText();
    if (server.isEmpty()) {
        const QString answer = askServer ? askServer().trimmed() : QString();
        if (answer.isEmpty()) return FinishLater(QString(), QString());
        DnsServers = QStringList{answer};
        server = answer;
    }
    // "host:port" (one colon only: an IPv6 address has several and takes the standard port).
    serverHost = server;
    serverPort = kDnsPort;
    if (server.count(u':') == 1) {
        const qsizetype colon = server.indexOf(u':');
        const uint16_t port = NumberRule::ValUInt16(server.mid(colon + 1));
        serverHost = server.left(colon);
        if (port != 0) serverPort = port;
    }
    Ask(domain.isEmpty() ? LocalDnsDomain : domain);
}

void MXQuery::Ask(const QString& domain) {
    if (domain.size() < 5) return FinishLater(QString(), NoValidDomain);
    asked = domain;
    QHostAddress address;
    if (address.setAddress(serverHost)) return SendTo(address);
    const int current = generation;
    QHostInfo::lookupHost(serverHost, this, [this, current](const QHostInfo& info) {
        if (current != generation || !running) return;
        for (const QHostAddress& a : info.addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol) return SendTo(a);
        Finish(QString(), QString());
    });
}

void MXQuery::SendTo(const QHostAddress& address) {
    serverAddress = address;
    if (!socket) {
        socket = new QUdpSocket(this);
        const QHostAddress any = address.protocol() == QAbstractSocket::IPv6Protocol
                                     ? QHostAddress(QHostAddress::AnyIPv6)
                                     : QHostAddress(QHostAddress::AnyIPv4);
        if (!socket->bind(any, 0)) return FinishLater(QString(), QString());
        connect(socket, &QUdpSocket::readyRead, this, &MXQuery::OnReadyRead);
    }
    const QByteArray query = DnsPacket::BuildMxQuery(asked);
    const qint64 sent = socket->writeDatagram(query, address, serverPort);
    if (sent <= 0) return FinishLater(QString(), SendProblem);
    replyTimer.start(replyMs);
}

void MXQuery::OnReadyRead() {
    while (socket && socket->hasPendingDatagrams()) {
        const QNetworkDatagram d = socket->receiveDatagram(DnsPacket::kReplyBuffer);
        if (!running || !replyTimer.isActive()) continue;
        // Only the server asked may answer, and only to our question.
        if (!d.senderAddress().isEqual(serverAddress, QHostAddress::TolerantConversion) ||
            d.senderPort() != serverPort)
            continue;
        const QByteArray reply = d.data();
        if (reply.size() >= 2) {
            const uint16_t id = uint16_t((uint8_t(reply.at(0)) << 8) | uint8_t(reply.at(1)));
            if (id != DnsPacket::kQueryId) continue;
        }
        OnReply(reply);
    }
}

void MXQuery::OnReply(const QByteArray& reply) {
    replyTimer.stop();
    uint16_t id = 0, answers = 0;
    if (!DnsPacket::ReadHeader(reply, &id, &answers)) return Finish(QString(), ReceiveProblem);
    if (answers > 0) return Finish(DnsPacket::BestExchanger(reply), QString());
    // No answer: below the base domain, ask the parent name.
    const qsizetype at = BaseDomain.isEmpty() ? -1 : asked.indexOf(BaseDomain);
    if (at > 0) {
        const qsizetype dot = asked.indexOf(u'.');
        return Ask(asked.mid(dot + 1));
    }
    Finish(QString(), QString());
}

void MXQuery::Finish(const QString& exchanger, const QString& error) {
    if (!running) return;
    running = false;
    ++generation;
    replyTimer.stop();
    if (socket) socket->deleteLater();
    socket = nullptr;
    emit Finished(exchanger, error);
}

void MXQuery::FinishLater(const QString& exchanger, const QString& error) {
    replyTimer.stop();
    const int current = generation;
    QTimer::singleShot(0, this, [this, current, exchanger, error] {
        if (current == generation) Finish(exchanger, error);
    });
}
