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
    loops = false;
    stops.clear();
}

void FrameClock::SetTimeline(bool loop, const QList<int>& stopFrames) {
    loops = loop;
    stops = stopFrames;
}

int FrameClock::HaltFrom(int n) const {
    for (const int f : stops)
        if (f >= n && f <= total) return f;
    return 0;
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
    const int halt = HaltFrom(base);
    if (halt > 0) return int(std::min<double>(halt, base + played));
    if (!loops || base + played <= total) return int(std::min<double>(total, base + played));
    // Past the last frame: the next pass starts at frame 1 and halts at its first stop.
    const double next = base + played - total;  // frame of the next pass, from 1
    const int halt1 = HaltFrom(1);
    if (halt1 > 0 && next >= halt1) return halt1;
    return int(std::fmod(next - 1, double(total))) + 1;
}
