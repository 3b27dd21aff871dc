#pragma once
// Keeps a display refresh from running more often than a set interval: the first request after a
// quiet spell runs at once, requests during a burst are gathered into one run at the end of the
// interval. Data is never dropped, only its drawing is gathered.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

class RefreshThrottle : public QObject {
    Q_OBJECT
public:
    RefreshThrottle(int intervalMs, std::function<void()> refresh, QObject* parent = nullptr);
    // Asks for a refresh.
    void Request();
    // Runs a pending refresh now.
    void Flush();
    bool Pending() const { return timer.isActive(); }

private:
    void Run();

    std::function<void()> refresh;
    QTimer timer;
    QElapsedTimer sinceRun;
    int interval;
};
