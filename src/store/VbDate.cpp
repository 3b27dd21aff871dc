#include "store/VbDate.h"

#include <cmath>
#include <limits>

namespace VbDate {

namespace {
const QDate kEpoch(1899, 12, 30);
}

double FromDateTime(const QDateTime& localTime) {
    const QDateTime t = localTime.toLocalTime();
    const double day = static_cast<double>(kEpoch.daysTo(t.date()));
    const double fraction = t.time().msecsSinceStartOfDay() / 86400000.0;
    // Before the epoch the integer part counts days back while the fraction still counts forward.
    return day >= 0 ? day + fraction : day - fraction;
}

QDateTime ToDateTime(double days) {
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole);
    const QDate date = kEpoch.addDays(static_cast<qint64>(whole));
    const int msecs = static_cast<int>(std::llround(fraction * 86400000.0));
    QDateTime t(date, QTime(0, 0), Qt::LocalTime);
    return t.addMSecs(msecs);
}

double Now() {
    // Asking for the local time zone costs a system call each time; the offset is taken again
    // at most once a second, which follows daylight-saving changes closely enough.
    static qint64 offsetTakenAt = std::numeric_limits<qint64>::min();
    static qint64 offsetMs = 0;
    const qint64 utcMs = QDateTime::currentMSecsSinceEpoch();
    if (utcMs - offsetTakenAt >= 1000 || utcMs < offsetTakenAt) {
        offsetMs =
            static_cast<qint64>(QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc()) * 1000;
        offsetTakenAt = utcMs;
    }
    // Day 25569 is 1 January 1970.
    return 25569.0 + static_cast<double>(utcMs + offsetMs) / 86400000.0;
}

int DayBoundaries(double from, double to) {
    return static_cast<int>(ToDateTime(from).date().daysTo(ToDateTime(to).date()));
}

}  // namespace VbDate
