// Quorvanta: start-up.

#include <QApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QSessionManager>
#include <QStringList>
#include <QThread>
#include <chrono>
#include <string>

#include "app/InstanceLock.h"
#include "app/SignalPipe.h"
#include "browser/HandoffReceiver.h"
#include "browser/HandoffServer.h"
#include "browser/SocketPlace.h"
#include "handoff_lib/HandoffProtocol.h"
#include "handoff_lib/ProgramSocket.h"
#include "player/flash1.h"
#include "store/Globals.h"
#include "ui/StartUp.h"
#include "ui/frmMain.h"

namespace {

// A later start: asks the first instance to come to the front and ends, touching no file. The
// first one may hold the lock a moment before it listens, so the request is repeated briefly.
int HandOver(const QString& socketPath) {
    const QDeadlineTimer deadline(3000);
    while (!HandoffServer::NotifyRunning(socketPath, 500) && !deadline.hasExpired())
        QThread::msleep(50);
    return 0;
}

// The address given on the command line (the desktop entry opens http and https links with the
// program), as the message a browser's "Using Quorvanta to download" sends; empty without one.
std::string UrlMessage(const QStringList& args) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
            a.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive))
            return HandoffProtocol::DownMessage(a.toStdString(), "", "");
    }
    return {};
}

// Hands the address to the running program, waiting up to `wait` for one that holds the lock
// but does not listen yet; false when it was not taken.
bool HandOverUrl(const std::string& message, std::chrono::milliseconds wait) {
    ProgramSocket socket;
    if (!socket.Locate()) {
        qWarning("Quorvanta: %s", socket.Error().c_str());
        return false;
    }
    const auto deadline = ProgramSocket::Clock::now() + wait;
    for (;;) {
        switch (socket.Exchange(message, deadline + std::chrono::seconds(2))) {
            case ProgramSocket::Delivered:
                return true;
            case ProgramSocket::Unsafe:
            case ProgramSocket::Failed:
                qWarning("Quorvanta: %s", socket.Error().c_str());
                return false;
            case ProgramSocket::NotListening:
            case ProgramSocket::Vanished:
                break;
        }
        if (ProgramSocket::Clock::now() >= deadline) {
            qWarning("Quorvanta: the running program did not take %s", message.c_str());
            return false;
        }
        QThread::msleep(50);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Termination signals are taken from the first moment; until the event loop reads them they
    // wait in the pipe.
    SignalPipe::Install();
    // The movie player's URL scheme is known to the web engine only when set before the
    // application object.
    flash1::RegisterScheme();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvanta");
    QApplication::setApplicationVersion("1.3");
    // The installed desktop entry; on Wayland the window's application id.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Quorvanta"));
    QApplication::setWindowIcon(QIcon(":/icons/app.png"));
    SignalPipe signalPipe;
    const std::string urlMessage = UrlMessage(QCoreApplication::arguments());

    // The lock decides which start is the first one, before any file of the program is read; it
    // is held until the process ends.
    const QString socketPath = SocketPlace::Path();
    InstanceLock lock(SocketPlace::BaseName());
    switch (lock.TryLock()) {
        case InstanceLock::HeldElsewhere:
            if (urlMessage.empty()) return HandOver(socketPath);
            return HandOverUrl(urlMessage, std::chrono::seconds(5)) ? 0 : 1;
        case InstanceLock::Unavailable:
            if (!urlMessage.empty() && HandOverUrl(urlMessage, std::chrono::milliseconds(0)))
                return 0;
            if (HandoffServer::NotifyRunning(socketPath)) return 0;
            break;
        case InstanceLock::Taken:
            break;
    }
    // The same socket takes the browser's hand-offs; those that arrive during the load step wait
    // in the server until the window's receiver takes them.
    HandoffServer server;
    if (!server.Listen(socketPath))
        qWarning("Browser hand-off unavailable: %s", qPrintable(server.ErrorString()));
    // Every message taken is on disk until its dialog is answered; those a killed run left there
    // are shown first.
    InitGlobals();
    QString queueError;
    if (!server.KeepQueueIn(DataDir + QStringLiteral("/handoff.qvq"), &queueError))
        qWarning("Quorvanta: %s", qPrintable(queueError));

    // A termination during the load step (a message box of the load may be open) closes the
    // dialogs and ends the nested event loops; the loaded jobs are saved once the load is done.
    frmMain* window = nullptr;
    bool terminating = false;
    QObject::connect(&signalPipe, &SignalPipe::TerminationRequested, &app, [&] {
        terminating = true;
        if (window) {
            window->ShutdownNow();
        } else {
            frmMain::CloseModalWindows();
            QCoreApplication::exit(0);
        }
    });
    window = StartUp::Run();
    if (terminating) {
        window->ShutdownNow();
        delete window;
        return 0;
    }
    QObject::connect(&server, &HandoffServer::RaiseRequested, window, &frmMain::RestoreWindow);
    QObject::connect(window->Handoff(), &HandoffReceiver::Answered, &server,
                     &HandoffServer::Forget);
    server.SetReceiver(
        [window](const QString& message, qint64 id) { window->Handoff()->Enqueue(message, id); });
    if (!urlMessage.empty()) window->Handoff()->Enqueue(QString::fromStdString(urlMessage));
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window,
                     [window](QSessionManager&) { window->ShutdownNow(); });
    const int rc = app.exec();
    delete window;
    return rc;
}
