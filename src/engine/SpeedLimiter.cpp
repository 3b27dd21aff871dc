#include "engine/SpeedLimiter.h"

#include <algorithm>

namespace {
// How often waiting readers are served, and how much the bucket may hold: a tenth of a second's
// worth, so that the limit holds over any few seconds.
constexpr int kTickMs = 20;
constexpr double kBurstSeconds = 0.1;
constexpr qint64 kMinBurst = 4096;
}  // namespace

SpeedLimiter::SpeedLimiter(QObject* parent) : QObject(parent) {
    tick.setInterval(kTickMs);
    connect(&tick, &QTimer::timeout, this, &SpeedLimiter::OnTick);
    clock.start();
}

void SpeedLimiter::SetRate(qint64 bytesPerSecond) {
    rate = std::max<qint64>(0, bytesPerSecond);
    tokens = 0;
    clock.restart();
    // No limit any more: everyone who waits reads again at once.
    if (rate == 0) OnTick();
}

void SpeedLimiter::Refill() {
    const double burst = std::max<double>(kMinBurst, rate * kBurstSeconds);
    tokens = std::min(burst, tokens + rate * (clock.restart() / 1000.0));
}

qint64 SpeedLimiter::Take(QObject* reader, qint64 want, std::function<void()> resume) {
    if (rate == 0) return want;
    Refill();
    bool queued = false;
    for (const Waiter& w : waiting) queued = queued || w.reader == reader;
    // Those who wait come first: a newcomer queues behind them; a waiter served in its turn gets
    // its share of what the bucket holds.
    if (!queued && (reader == serving || waiting.isEmpty()) && tokens >= 1) {
        const double share = tokens / static_cast<double>(waiting.size() + 1);
        const qint64 granted = std::clamp<qint64>(static_cast<qint64>(share), 1, want);
        tokens -= static_cast<double>(granted);
        return granted;
    }
    if (!queued) waiting.append({reader, std::move(resume)});
    if (!tick.isActive()) tick.start();
    return 0;
}

void SpeedLimiter::GiveBack(qint64 bytes) {
    if (rate > 0 && bytes > 0) tokens += bytes;
}

void SpeedLimiter::Forget(QObject* reader) {
    waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
                                 [reader](const Waiter& w) { return w.reader == reader; }),
                  waiting.end());
    if (waiting.isEmpty()) tick.stop();
}

void SpeedLimiter::OnTick() {
    Refill();
    // Each waiter once, in turn, while the bucket has something; a reader that wants more after
    // its turn queues again at the back.
    for (qsizetype n = waiting.size(); n > 0 && !waiting.isEmpty() && (rate == 0 || tokens >= 1);
         --n) {
        const Waiter w = waiting.takeFirst();
        if (!w.reader || !w.resume) continue;
        serving = w.reader;
        w.resume();
        serving = nullptr;
    }
    if (waiting.isEmpty()) tick.stop();
}
