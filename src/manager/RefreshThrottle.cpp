#include "manager/RefreshThrottle.h"

RefreshThrottle::RefreshThrottle(int intervalMs, std::function<void()> fn, QObject* parent)
    : QObject(parent), refresh(std::move(fn)), interval(intervalMs) {
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &RefreshThrottle::Run);
}

void RefreshThrottle::Request() {
    if (timer.isActive()) return;
    if (!sinceRun.isValid() || sinceRun.elapsed() >= interval) {
        Run();
        return;
    }
    timer.start(static_cast<int>(interval - sinceRun.elapsed()));
}

void RefreshThrottle::Flush() {
    if (timer.isActive()) {
        timer.stop();
        Run();
    }
}

void RefreshThrottle::Run() {
    sinceRun.start();
    refresh();
}
