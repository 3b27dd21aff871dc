#include "store/VbDate.h"

#include <cmath>
#include <limits>

#include "store/NumberRule.h"

namespace VbDate {

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr qint64 kMsPerDay = 86400000;
// Day numbers beyond this (about 2.7 million years) are taken as this; the date arithmetic
// stays far inside qint64 and QDate.
constexpr double kMaxDays = 1e9;

// A stored date as its calendar day (days since the epoch) and milliseconds since that day's
// local midnight. The time of day counts forward from midnight on both sides of the epoch; a
// fraction that rounds to a whole day is the next day's midnight.
struct Parts {
    qint64 day = 0;
    int msecs = 0;
};

Parts Split(double days) {
    if (std::isnan(days)) return {};
    const double clamped = std::fmax(-kMaxDays, std::fmin(kMaxDays, days));
    const double whole = std::trunc(clamped);
    Parts p;
    p.day = NumberRule::SaturatingCast<qint64>(whole);
    const qint64 msecs = NumberRule::SaturatingCast<qint64>(
        std::round(std::fabs(clamped - whole) * static_cast<double>(kMsPerDay)));
    if (msecs >= kMsPerDay)
        ++p.day;
    else
        p.msecs = static_cast<int>(msecs);
    return p;
}

// Offset of local time from UTC at the instant utcMs, in milliseconds.
qint64 OffsetAt(qint64 utcMs) {
    return static_cast<qint64>(QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc()) * 1000;
}
}  // namespace

double FromDateTime(const QDateTime& localTime) {
    const QDateTime t = localTime.toLocalTime();
    const double day = static_cast<double>(kEpoch.daysTo(t.date()));
    const double fraction = t.time().msecsSinceStartOfDay() / 86400000.0;
    // Before the epoch the integer part counts days back while the fraction still counts forward.
    return day >= 0 ? day + fraction : day - fraction;
}

QDateTime ToDateTime(double days) {
    const Parts p = Split(days);
    const QDate date = kEpoch.addDays(p.day);
    const QTime time = QTime::fromMSecsSinceStartOfDay(p.msecs);
    const QDateTime t(date, time, Qt::LocalTime);
    if (t.isValid()) return t;
    // A wall-clock time skipped by a daylight-saving change: taken with the offset in force
    // before the change, which lands as far past the change as the time was into the gap.
    const qint64 wallMs = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(wallMs - OffsetAt(wallMs - kMsPerDay));
}

double FromUtcMs(qint64 utcMs) {
    // Asking for the local offset costs a system call, so an offset is kept for up to a second
    // (a change of the machine's zone shows within a second), but never past a daylight-saving
    // change: when the offset a second later differs, it is asked for again on every call.
    static qint64 validFrom = 0;
    static qint64 validUntil = 0;  // empty until the first call
    static qint64 offsetMs = 0;
    if (utcMs < validFrom || utcMs >= validUntil) {
        constexpr qint64 kKeepMs = 1000;
        const qint64 ahead = utcMs > std::numeric_limits<qint64>::max() - kKeepMs
                                 ? std::numeric_limits<qint64>::max()
                                 : utcMs + kKeepMs;
        offsetMs = OffsetAt(utcMs);
        validFrom = utcMs;
        validUntil = OffsetAt(ahead) == offsetMs ? ahead : utcMs;
    }
    // Day 25569 is 1 January 1970.
    return 25569.0 + (static_cast<double>(utcMs) + static_cast<double>(offsetMs)) /
                         static_cast<double>(kMsPerDay);
}

double Now() {
    return FromUtcMs(QDateTime::currentMSecsSinceEpoch());
}

int DayBoundaries(double from, double to) {
    // Stored dates are local already: their day numbers are the calendar days.
    return static_cast<int>(Split(to).day - Split(from).day);
}

}  // namespace VbDate
