#pragma once
// The speed of a transfer over its last few seconds: counts of bytes received so far, sampled
// with the time they were taken, give the bytes per second across the samples still in the
// window. A count that goes back (a download started again from zero) starts the window anew.

#include <QtGlobal>
#include <deque>
#include <utility>

class RateWindow {
public:
    explicit RateWindow(qint64 spanMs = 5000) : span(spanMs) {}

    // The total received by msecs (a monotonic clock's time).
    void Add(qint64 msecs, qint64 total);
    void Clear() { samples.clear(); }
    bool IsEmpty() const { return samples.empty(); }
    // Bytes per second across the window; 0 until two samples lie apart in time.
    double Rate() const;

private:
    qint64 span;
    std::deque<std::pair<qint64, qint64>> samples;  // (msecs, total), oldest first
};
