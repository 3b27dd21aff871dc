#include "browser/HandoffServer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "browser/BrowserLink.h"
#include "browser/SocketPlace.h"
#include "handoff_lib/HandoffProtocol.h"

namespace {
QByteArray Bytes(std::string_view word) {
    return QByteArray(word.data(), static_cast<qsizetype>(word.size()));
}

const QByteArray kRaise = Bytes(HandoffProtocol::kRaise);
const QByteArray kHandoff = Bytes(HandoffProtocol::kHandoff);
// The browser extension's host: the connection stays open for the browser link.
const QByteArray kBrowser = Bytes(HandoffProtocol::kBrowser);
const QByteArray kTaken = Bytes(HandoffProtocol::kTaken) + '\n';
const QByteArray kUnknown = Bytes(HandoffProtocol::kRefused) + "unknown request\n";
const QByteArray kTooLong = Bytes(HandoffProtocol::kRefused) + "the message is longer than " +
                            QByteArray::number(qulonglong(HandoffProtocol::kMaxMessage)) +
                            " bytes\n";
// A client that has not finished its request by then is dropped.
constexpr int kClientTimeoutMs = 10000;
}  // namespace

HandoffServer::HandoffServer(QObject* parent) : QObject(parent) {}

bool HandoffServer::Listen(const QString& path) {
    if (!SocketPlace::PrepareFolder(&error)) return false;
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path)) {
        // A socket left behind by a crashed instance: nobody answered, so take it over.
        QLocalServer::removeServer(path);
        if (!server->listen(path)) {
            error = server->errorString();
            return false;
        }
    }
    connect(server, &QLocalServer::newConnection, this, &HandoffServer::Accept);
    return true;
}

void HandoffServer::SetReceiver(std::function<void(const QString&)> r) {
    receiver = std::move(r);
    if (!receiver) return;
    const QStringList earlier = std::exchange(waiting, {});
    for (const QString& message : earlier) receiver(message);
}

void HandoffServer::Accept() {
    while (QLocalSocket* client = server->nextPendingConnection()) {
        buffers.insert(client, {});
        connect(client, &QLocalSocket::readyRead, this, [this, client] { Read(client); });
        connect(client, &QLocalSocket::disconnected, this, [this, client] {
            buffers.remove(client);
            client->deleteLater();
        });
        auto* timeout = new QTimer(client);
        timeout->setObjectName("requestTimeout");
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, client, [client] { client->abort(); });
        timeout->start(kClientTimeoutMs);
    }
}

void HandoffServer::Answer(QLocalSocket* client, const QByteArray& line) {
    // Nothing more is read from this client; the answer goes out, then the connection ends.
    disconnect(client, &QLocalSocket::readyRead, this, nullptr);
    buffers.remove(client);
    client->write(line);
    client->disconnectFromServer();
}

void HandoffServer::Read(QLocalSocket* client) {
    QByteArray& buffer = buffers[client];
    buffer += client->readAll();
    if (buffer.startsWith(kBrowser)) {
        const QByteArray rest = buffer.mid(kBrowser.size());
        disconnect(client, &QLocalSocket::readyRead, this, nullptr);
        buffers.remove(client);
        delete client->findChild<QTimer*>("requestTimeout");
        BrowserLink::Instance()->Attach(client, rest);
        return;
    }
    if (buffer.startsWith(kRaise)) {
        Answer(client, QByteArray());
        emit RaiseRequested();
        return;
    }
    const qsizetype end = buffer.indexOf('\n');
    if (end < 0) {
        if (buffer.size() > qsizetype(HandoffProtocol::kMaxHeader)) Answer(client, kUnknown);
        return;
    }
    if (!buffer.startsWith(kHandoff)) {
        Answer(client, kUnknown);
        return;
    }
    const QByteArray count = buffer.mid(kHandoff.size(), end - kHandoff.size());
    bool ok = !count.isEmpty();
    for (const char c : count) ok = ok && c >= '0' && c <= '9';
    const qlonglong size = ok ? count.toLongLong(&ok) : -1;
    if (!ok || size > qlonglong(HandoffProtocol::kMaxMessage)) {
        Answer(client, kTooLong);
        return;
    }
    if (buffer.size() - (end + 1) < size) return;
    const QString message = QString::fromUtf8(buffer.mid(end + 1, size));
    Answer(client, kTaken);
    if (receiver)
        receiver(message);
    else
        waiting.append(message);
}

bool HandoffServer::NotifyRunning(const QString& path, int timeoutMs) {
    // A short blocking exchange before any window exists: nothing else runs yet.
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(kRaise);
    socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return true;
}
