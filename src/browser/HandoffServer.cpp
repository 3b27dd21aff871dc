#include "browser/HandoffServer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "browser/BrowserLink.h"
#include "browser/HandoffFrame.h"
#include "browser/HandoffMessage.h"
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

QByteArray RefusedLine(QByteArray reason) {
    // A reason is one line.
    return Bytes(HandoffProtocol::kRefused) + reason.replace('\n', ' ') + '\n';
}
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

bool HandoffServer::KeepQueueIn(const QString& path, QString* why) {
    keeping = true;
    const bool whole = queue.Open(path, why);
    // Left by an earlier run: before anything this run takes.
    QList<Waiting> earlier;
    QList<qint64> noHandoff;
    for (const HandoffQueue::Entry& e : queue.Entries()) {
        const QString message = QString::fromUtf8(e.message);
        // Taken by an older version that took anything: it would open an empty dialog at every
        // start.
        if (!HandoffMessage::Problem(message).isEmpty())
            noHandoff.append(e.id);
        else
            earlier.append({message, e.id});
    }
    for (const qint64 id : noHandoff) Forget(id);
    waiting = earlier + waiting;
    if (receiver) SetReceiver(std::move(receiver));
    return whole;
}

void HandoffServer::SetReceiver(std::function<void(const QString&, qint64)> r) {
    receiver = std::move(r);
    if (!receiver) return;
    const QList<Waiting> earlier = std::exchange(waiting, {});
    for (const Waiting& w : earlier) receiver(w.message, w.id);
}

void HandoffServer::Forget(qint64 id) {
    QString why;
    if (id > 0 && !queue.Remove(id, &why))
        qWarning("Quorvanta: an answered hand-off stays in its queue: %s", qPrintable(why));
}

void HandoffServer::Deliver(const QString& message, qint64 id) {
    if (receiver)
        receiver(message, id);
    else
        waiting.append({message, id});
}

void HandoffServer::Accept() {
    while (QLocalSocket* client = server->nextPendingConnection()) {
        clients.insert(client, {});
        connect(client, &QLocalSocket::readyRead, this, [this, client] { Read(client); });
        connect(client, &QLocalSocket::disconnected, this, [this, client] {
            clients.remove(client);
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
    clients.remove(client);
    client->write(line);
    client->flush();
    client->disconnectFromServer();
}

void HandoffServer::Read(QLocalSocket* client) {
    Client& c = clients[client];
    c.buffer += client->readAll();
    if (c.taken) {
        if (!c.buffer.isEmpty()) Answer(client, RefusedLine(HandoffFrame::kOnePerConnection));
        return;
    }
    const QByteArray& buffer = c.buffer;
    if (buffer.startsWith(kBrowser)) {
        const QByteArray rest = buffer.mid(kBrowser.size());
        disconnect(client, &QLocalSocket::readyRead, this, nullptr);
        clients.remove(client);
        delete client->findChild<QTimer*>("requestTimeout");
        BrowserLink::Instance()->Attach(client, rest);
        return;
    }
    if (buffer.startsWith(kRaise)) {
        Answer(client, QByteArray());
        emit RaiseRequested();
        return;
    }
    QByteArray bytes;
    QByteArray reason;
    qsizetype used = 0;
    switch (HandoffFrame::Read(buffer, &bytes, &used, &reason)) {
        case HandoffFrame::Incomplete:
            return;
        case HandoffFrame::Refused:
            Answer(client, RefusedLine(reason));
            return;
        case HandoffFrame::Whole:
            break;
    }
    // Only a hand-off with an address is taken, and it is on disk before it is called taken.
    if (const QByteArray problem = HandoffMessage::Problem(QString::fromUtf8(bytes));
        !problem.isEmpty()) {
        Answer(client, RefusedLine(problem));
        return;
    }
    qint64 id = 0;
    if (keeping) {
        QString why;
        id = queue.Add(bytes, &why);
        if (id == 0) {
            Answer(client, RefusedLine(why.toUtf8()));
            return;
        }
    }
    const bool more = buffer.size() > used;
    c.buffer.clear();
    c.taken = true;
    // Out at once: a client that has ended its side may be gone by the next turn of the loop.
    client->write(kTaken);
    client->flush();
    // The client ends the connection once it has the answer; a second message is told it came
    // too many.
    if (more) Answer(client, RefusedLine(HandoffFrame::kOnePerConnection));
    Deliver(QString::fromUtf8(bytes), id);
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
