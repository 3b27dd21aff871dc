#include "store/TransferText.h"

#include <algorithm>
#include <cmath>

QString TransferText::Size(qint64 bytes) {
    if (bytes < 1024) return QString::number(std::max<qint64>(bytes, 0)) + QStringLiteral(" B");
    static const char* const units[] = {"KB", "MB", "GB"};
    double value = static_cast<double>(bytes);
    int unit = -1;
    // The next unit is taken as soon as this one would read 1024.0 after rounding.
    while (unit < 2 && std::round(value * 10.0) / 10.0 >= 1024.0) {
        value /= 1024.0;
        ++unit;
    }
    return QString::number(value, 'f', 1) + u' ' + QLatin1String(units[unit]);
}

QString TransferText::Speed(double bytesPerSecond) {
    if (!(bytesPerSecond > 0)) return QStringLiteral("0 B/s");
    return Size(static_cast<qint64>(std::llround(bytesPerSecond))) + QStringLiteral("/s");
}

QString TransferText::TimeLeft(qint64 seconds) {
    if (seconds < 0) return QString();
    const qint64 days = seconds / 86400;
    const qint64 hours = seconds / 3600 % 24;
    const qint64 minutes = seconds / 60 % 60;
    const qint64 secs = seconds % 60;
    const auto two = [](qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QChar(u'0')); };
    if (days > 0) return QStringLiteral("%1d %2h").arg(days).arg(two(hours));
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(two(minutes), two(secs));
    return QStringLiteral("%1:%2").arg(minutes).arg(two(secs));
}

qint64 TransferText::SecondsLeft(qint64 bytesLeft, double bytesPerSecond) {
    if (bytesLeft < 0 || !(bytesPerSecond > 0)) return -1;
    const double seconds = std::ceil(static_cast<double>(bytesLeft) / bytesPerSecond);
    // Beyond ten years the figure says nothing useful.
    if (seconds > 315360000.0) return -1;
    return static_cast<qint64>(seconds);
}

QString TransferText::ProgressLine(qint64 received, qint64 size, double bytesPerSecond) {
    QString line;
    if (size > 0)
        line = QStringLiteral("%1% %2 of %3")
                   .arg(std::clamp<qint64>(received * 100 / size, 0, 100))
                   .arg(Size(received), Size(size));
    else
        line = Size(received);
    line += QStringLiteral(", ") + Speed(bytesPerSecond);
    if (size > 0) {
        const QString left = TimeLeft(SecondsLeft(size - received, bytesPerSecond));
        if (!left.isEmpty()) line += QStringLiteral(", ") + left + QStringLiteral(" left");
    }
    return line;
}
