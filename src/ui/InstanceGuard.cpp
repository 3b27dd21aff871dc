#include "ui/InstanceGuard.h"

#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
const QByteArray kRaise = "QV-RAISE\n";
}

InstanceGuard::InstanceGuard(QObject* parent) : QObject(parent) {}

QString InstanceGuard::SocketName() {
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) dataHome = qEnvironmentVariable("HOME") + "/.local/share";
    const QByteArray hash =
        QCryptographicHash::hash(QDir::cleanPath(dataHome).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    return QStringLiteral("quorvanta-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

bool InstanceGuard::NotifyRunning(const QString& name, int timeoutMs) {
    // A short blocking exchange before any window exists: nothing else runs yet.
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(kRaise);
    socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool InstanceGuard::Listen(const QString& name) {
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        // A socket left behind by a crashed instance: nobody answered, so take it over.
        QLocalServer::removeServer(name);
        if (!server->listen(name)) return false;
    }
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                client->setProperty("buffer",
                                    client->property("buffer").toByteArray() + client->readAll());
            });
            connect(client, &QLocalSocket::disconnected, this, [this, client] {
                const QByteArray data =
                    client->property("buffer").toByteArray() + client->readAll();
                if (data == kRaise)
                    emit RaiseRequested();
                else if (!data.isEmpty())
                    emit MessageReceived(QString::fromUtf8(data));
            });
        }
    });
    return true;
}
