#pragma once
// Dates as stored in job records: days since 30 December 1899 (local time), time of day as the
// fraction. Durations are the same doubles counted from day zero.

#include <QDateTime>

namespace VbDate {

double FromDateTime(const QDateTime& localTime);
// The local date and time a stored date stands for; a time skipped by a daylight-saving change
// comes out as far after the change as it was into the gap.
QDateTime ToDateTime(double days);
// The instant utcMs (milliseconds since 1970 UTC) as a local date, with the offset in force at
// that instant.
double FromUtcMs(qint64 utcMs);
// The local date and time now.
double Now();
// Number of midnights (local calendar days) between two dates; later minus earlier.
int DayBoundaries(double from, double to);
// A duration in days as seconds.
inline double DurationSeconds(double days) {
    return days * 86400.0;
}

}  // namespace VbDate
