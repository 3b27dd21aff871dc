#include "ui/LogindPowerOff.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

LogindPowerOff::LogindPowerOff(QObject* parent) : QObject(parent) {}

void LogindPowerOff::Request() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        const QString why = bus.lastError().message();
        emit Finished(false,
                      why.isEmpty() ? QStringLiteral("the system bus is not available") : why);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    // Not interactive-forced: false lets logind apply its inhibitors and policy.
    call << false;
    call.setInteractiveAuthorizationAllowed(true);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 30000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<> reply = *w;
        w->deleteLater();
        if (reply.isError())
            emit Finished(false, reply.error().message().isEmpty() ? reply.error().name()
                                                                   : reply.error().message());
        else
            emit Finished(true, QString());
    });
}
