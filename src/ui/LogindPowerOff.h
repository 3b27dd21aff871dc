#pragma once
// Asks the desktop to power the computer off: systemd-logind's PowerOff on the system bus,
// without forcing it (logind and polkit may refuse, or ask the user). The answer arrives
// asynchronously.

#include <QObject>
#include <QString>

class LogindPowerOff : public QObject {
    Q_OBJECT
public:
    explicit LogindPowerOff(QObject* parent = nullptr);
    // Sends the request; Finished follows once.
    void Request();

signals:
    // ok: logind accepted; otherwise error says why it was refused or could not be asked.
    void Finished(bool ok, const QString& error);
};
