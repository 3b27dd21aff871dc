#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread (self-pipe). The handlers
// are installed by Install() as the first step of main, before the application object exists:
// a signal that arrives while the program starts waits in the pipe until the notifier reads it,
// also inside the nested event loop of a dialog.

#include <QObject>

class QSocketNotifier;

class SignalPipe : public QObject {
    Q_OBJECT
public:
    // Creates the pipe and installs the handlers; once per process.
    static void Install();

    explicit SignalPipe(QObject* parent = nullptr);
    ~SignalPipe() override;

signals:
    void TerminationRequested(int signalNumber);

private:
    QSocketNotifier* notifier = nullptr;
};
