#pragma once
// Dates as stored in job records: days since 30 December 1899 (local time), time of day as the
// fraction. Durations are the same doubles counted from day zero.

#include <QDateTime>

namespace VbDate {

double FromDateTime(const QDateTime& localTime);
QDateTime ToDateTime(double days);
double Now();
// Number of midnights (local calendar days) between two dates; later minus earlier.
int DayBoundaries(double from, double to);
// A duration in days as seconds.
inline double DurationSeconds(double days) {
    return days * 86400.0;
}

}  // namespace VbDate
