#include "store/RateWindow.h"

void RateWindow::Add(qint64 msecs, qint64 total) {
    if (!samples.empty() && (total < samples.back().second || msecs < samples.back().first))
        samples.clear();
    samples.emplace_back(msecs, total);
    // The oldest sample kept is the last one at or before the start of the span, so the window
    // always covers the whole span once the transfer has run that long.
    while (samples.size() > 2 && samples[1].first <= msecs - span) samples.pop_front();
}

double RateWindow::Rate() const {
    if (samples.size() < 2) return 0;
    const qint64 ms = samples.back().first - samples.front().first;
    if (ms <= 0) return 0;
    return static_cast<double>(samples.back().second - samples.front().second) * 1000.0 /
           static_cast<double>(ms);
}
