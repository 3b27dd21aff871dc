#include "player/FrameClock.h"

#include <algorithm>
#include <cmath>

FrameClock::FrameClock() {
    timer.start();
    now = [this] { return timer.elapsed(); };
}

FrameClock::FrameClock(TimeSource source) : now(std::move(source)) {}

void FrameClock::Reset(double frameRate, int totalFrames) {
    rate = std::isfinite(frameRate) && frameRate > 0 ? frameRate : 0;
    total = std::max(0, totalFrames);
    base = total > 0 ? 1 : 0;
    running = false;
}

void FrameClock::SetFrame(int n) {
    base = total > 0 ? std::clamp(n, 1, total) : 0;
    startMs = now();
}

void FrameClock::Start() {
    if (running) return;
    startMs = now();
    running = true;
}

void FrameClock::Stop() {
    if (!running) return;
    base = FrameAt(now());
    running = false;
}

int FrameClock::Frame() const {
    return running ? FrameAt(now()) : base;
}

int FrameClock::FrameAt(qint64 nowMs) const {
    if (!running || rate <= 0 || total <= 0) return base;
    const double played = std::floor(double(std::max<qint64>(0, nowMs - startMs)) * rate / 1000.0);
    return int(std::min<double>(total, base + played));
}
