#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread (self-pipe), so the
// program can pause its jobs and save before it ends.

#include <QObject>

class QSocketNotifier;

class SignalBridge : public QObject {
    Q_OBJECT
public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

signals:
    void TerminationRequested(int signalNumber);

private:
    QSocketNotifier* notifier = nullptr;
};
