#pragma once
// The program's local socket, one per user and data folder (HandoffProtocol has its place and
// words). A later start of the program asks the running one to come to the front through it; the
// hand-off library delivers a browser message through it, answered once the message is in the
// receiver's queue; the browser extension's host keeps its connection: it is handed to the
// browser link (BrowserLink).

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QLocalServer;
class QLocalSocket;

class HandoffServer : public QObject {
    Q_OBJECT
public:
    explicit HandoffServer(QObject* parent = nullptr);
    // Prepares the private folder and listens on path (taking over a socket a crashed instance
    // left behind: the caller holds the instance lock). False with ErrorString() otherwise.
    bool Listen(const QString& path);
    QString ErrorString() const { return error; }
    // Where messages go, in the order they arrived; those taken before a receiver was set are
    // handed to it at once.
    void SetReceiver(std::function<void(const QString&)> receiver);

    // A later start: true when a program listened at path and was asked to come to the front.
    static bool NotifyRunning(const QString& path, int timeoutMs = 1000);

signals:
    void RaiseRequested();

private:
    void Accept();
    void Read(QLocalSocket* client);
    void Answer(QLocalSocket* client, const QByteArray& line);

    QLocalServer* server = nullptr;
    QString error;
    std::function<void(const QString&)> receiver;
    QStringList waiting;
    QHash<QLocalSocket*, QByteArray> buffers;
};
