#pragma once
// Notifications through the desktop's notification server (org.freedesktop.Notifications on
// the session bus). The server is asked once what it can do; buttons go with a notification only
// when it offers actions. A click on a button comes back to the handler given with the
// notification. Without a session bus or a server nothing is shown and nothing is reported.

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    // A button: the key the server reports back, and its label.
    struct Action {
        QString Key;
        QString Label;
    };
    using ActionHandler = std::function<void(const QString& key)>;

    // On the session bus, reached at the first notification.
    explicit DesktopNotifier(QObject* parent = nullptr);
    DesktopNotifier(const QDBusConnection& bus, QObject* parent);

    void Notify(const QString& summary, const QString& body, const QList<Action>& actions = {},
                ActionHandler onAction = {});

    // The server's answer to what it can do has come (or there was no answer).
    bool CapabilitiesKnown() const { return asked == Asked::Answered; }
    bool ServerHasActions() const { return hasActions; }

signals:
    // The server took a notification and gave it this id.
    void Shown(uint id);

private slots:
    void OnActionInvoked(uint id, const QString& key);
    void OnClosed(uint id, uint reason);

private:
    struct Pending {
        QString Summary;
        QString Body;
        QList<Action> Actions;
        ActionHandler OnAction;
    };
    // The bus, connected to the server's signals; false without one.
    bool Reach();
    void AskCapabilities();
    void Send(const Pending& notice);

    QDBusConnection bus{QString()};
    bool sessionBus = false;  // the session bus is still to be reached
    bool reached = false;
    enum class Asked { No, Asking, Answered } asked = Asked::No;
    bool hasActions = false;
    QList<Pending> waiting;  // sent once the capabilities are known
    QHash<uint, ActionHandler> handlers;
};
