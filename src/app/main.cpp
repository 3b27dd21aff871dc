// Quorvanta: start-up.

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include "store/Globals.h"
#include "ui/InstanceGuard.h"
#include "ui/SignalBridge.h"
#include "ui/StartUp.h"
#include "ui/frmMain.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvanta");
    QApplication::setApplicationVersion("1.3");
    QApplication::setWindowIcon(QIcon(":/icons/app.png"));

    // A second start brings the running window to the front and ends without touching a file.
    const QString socketName = InstanceGuard::SocketName();
    if (InstanceGuard::NotifyRunning(socketName)) return 0;
    InstanceGuard guard;
    guard.Listen(socketName);

    SignalBridge signalBridge;
    frmMain* window = StartUp::Run();
    QObject::connect(&guard, &InstanceGuard::RaiseRequested, window, &frmMain::RestoreWindow);
    QObject::connect(&signalBridge, &SignalBridge::TerminationRequested, window,
                     &frmMain::ShutdownNow);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window,
                     [window](QSessionManager&) { window->ShutdownNow(); });
    const int rc = app.exec();
    delete window;
    return rc;
}
