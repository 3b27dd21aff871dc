#pragma once
// The program's local socket, one per user and data folder (HandoffProtocol has its place and
// words). A later start of the program asks the
// running one to come to the front through it ("QV-RAISE\n"); the hand-off library delivers a
// browser message through it ("QV-HANDOFF <byte count>\n" and the UTF-8 message, at most 64 KiB,
// HandoffFrame), answered with "QV-TAKEN\n" once the message is on disk in the hand-off queue
// (HandoffQueue) and on its way to the receiver, or "QV-REFUSED <reason>\n". Only a hand-off
// with an address is taken (HandoffMessage::Problem); anything else, an empty message included,
// is refused with the reason and kept nowhere. One message per connection: a second one is
// refused with a reason.
// The browser extension's host opens with "QV-BROWSER\n" and keeps its connection: it is handed
// to the browser link (BrowserLink).

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "browser/HandoffQueue.h"

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
    // Keeps every message taken in the queue file at path before it is answered; the messages
    // a crashed run left there go to the receiver first. False with the reason when the file
    // could not be read whole (it is kept aside and the queue starts empty).
    bool KeepQueueIn(const QString& path, QString* error = nullptr);
    // Where messages go, in the order they arrived, each with its id in the queue file (0 without
    // one); those taken before a receiver was set are handed to it at once.
    void SetReceiver(std::function<void(const QString& message, qint64 id)> receiver);
    // The dialog of the message with that id was answered: it leaves the queue file.
    void Forget(qint64 id);
    const HandoffQueue& Queue() const { return queue; }

    // A later start: true when a program listened at path and was asked to come to the front.
    static bool NotifyRunning(const QString& path, int timeoutMs = 1000);

signals:
    void RaiseRequested();

private:
    void Accept();
    void Read(QLocalSocket* client);
    void Answer(QLocalSocket* client, const QByteArray& line);
    void Deliver(const QString& message, qint64 id);

    struct Client {
        QByteArray buffer;
        // Its message was taken: anything more it sends is a second message.
        bool taken = false;
    };
    struct Waiting {
        QString message;
        qint64 id = 0;
    };

    QLocalServer* server = nullptr;
    QString error;
    std::function<void(const QString&, qint64)> receiver;
    QList<Waiting> waiting;
    QHash<QLocalSocket*, Client> clients;
    HandoffQueue queue;
    bool keeping = false;
};
