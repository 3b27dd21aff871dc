#pragma once
// The program's local socket, one per user and data folder. A later start of the program asks the
// running one to come to the front through it ("QV-RAISE\n"); the hand-off library delivers a
// browser message through it ("QV-HANDOFF <byte count>\n" and the UTF-8 message, at most 64 KiB),
// answered with "QV-TAKEN\n" once the message is in the receiver's queue, or
// "QV-REFUSED <reason>\n". The browser extension's host opens with "QV-BROWSER\n" and keeps its
// connection: it is handed to the browser link (BrowserLink).

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
    static constexpr int kMaxMessage = 65536;

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
