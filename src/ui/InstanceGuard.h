#pragma once
// One running instance per user and data folder: the first instance listens on a user-private
// local socket; a later start only asks it to come to the front and ends.

#include <QObject>
#include <QString>

class QLocalServer;

class InstanceGuard : public QObject {
    Q_OBJECT
public:
    explicit InstanceGuard(QObject* parent = nullptr);
    // Socket name for the current user and data folder (computed without touching any file).
    static QString SocketName();
    // True when another instance answered and was asked to come to the front.
    static bool NotifyRunning(const QString& name, int timeoutMs = 1000);
    // Starts listening; false when the name cannot be taken.
    bool Listen(const QString& name);

signals:
    void RaiseRequested();
    // Any other text a client delivers (the browser hand-off uses this path).
    void MessageReceived(const QString& text);

private:
    QLocalServer* server = nullptr;
};
