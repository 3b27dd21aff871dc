#include "ui/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QVariantMap>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
// The name of the installed desktop entry (without ".desktop") and of the icon.
const QString kDesktopId = QStringLiteral("org.example.Quorvanta");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// Whether the session has a bus to reach: its address is given, or the user's bus is in the
// runtime folder. Without either nothing is asked, so no bus is started on the fly (autolaunch).
bool SessionBusKnown() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent), sessionBus(true) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& connection, QObject* parent)
    : QObject(parent), bus(connection) {}

bool DesktopNotifier::Reach() {
    if (!reached) {
        reached = true;
        if (sessionBus && SessionBusKnown()) bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                        SLOT(OnActionInvoked(uint, QString)));
            bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                        SLOT(OnClosed(uint, uint)));
        }
    }
    return bus.isConnected();
}

void DesktopNotifier::Notify(const QString& summary, const QString& body,
                             const QList<Action>& actions, ActionHandler onAction) {
    if (!Reach()) return;
    Pending notice{summary, body, actions, std::move(onAction)};
    if (asked == Asked::Answered) {
        Send(notice);
        return;
    }
    waiting.append(std::move(notice));
    AskCapabilities();
}

void DesktopNotifier::AskCapabilities() {
    if (asked != Asked::No) return;
    asked = Asked::Asking;
    const QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                             QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QStringList> reply = *w;
        w->deleteLater();
        // No answer: the notifications go without buttons (a server started late still shows
        // them).
        hasActions = !reply.isError() && reply.value().contains(QStringLiteral("actions"));
        asked = Asked::Answered;
        const QList<Pending> queued = std::exchange(waiting, {});
        for (const Pending& notice : queued) Send(notice);
    });
}

void DesktopNotifier::Send(const Pending& notice) {
    QStringList actions;
    if (hasActions)
        for (const Action& a : notice.Actions) actions << a.Key << a.Label;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    // The installed desktop entry and icon, so the desktop files the notice under the program.
    hints.insert(QStringLiteral("desktop-entry"), kDesktopId);
    call << QStringLiteral("Quorvanta") << uint(0) << kDesktopId << notice.Summary << notice.Body
         << actions << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), this);
    const ActionHandler handler = actions.isEmpty() ? ActionHandler() : notice.OnAction;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, handler](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<uint> reply = *w;
                w->deleteLater();
                if (reply.isError()) return;
                const uint id = reply.value();
                if (handler) handlers.insert(id, handler);
                emit Shown(id);
            });
}

void DesktopNotifier::OnActionInvoked(uint id, const QString& key) {
    // Other programs' notifications come by on the same signal: only ours have handlers.
    const auto it = handlers.constFind(id);
    if (it == handlers.cend()) return;
    const ActionHandler handler = *it;
    handler(key);
}

void DesktopNotifier::OnClosed(uint id, uint reason) {
    Q_UNUSED(reason);
    handlers.remove(id);
}
