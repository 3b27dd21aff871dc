#pragma once
// Sizes, speeds and times left as people read them: bytes below a kilobyte as they are, larger
// sizes in KB, MB or GB (1024 each) with one decimal; a time left as m:ss, h:mm:ss or days and
// hours.

#include <QString>
#include <QtGlobal>

class TransferText {
public:
    // "512 B", "1.5 KB", "20.0 MB", "1.1 GB". A negative size reads as 0.
    static QString Size(qint64 bytes);
    // The size per second: "0 B/s", "12.3 KB/s".
    static QString Speed(double bytesPerSecond);
    // "0:42", "12:05", "1:02:03", "2d 03h"; empty for a negative (unknown) time.
    static QString TimeLeft(qint64 seconds);
    // Whole seconds (rounded up) to fetch what is left at this speed; -1 when it cannot be told
    // (no speed, or nothing known of the size).
    static qint64 SecondsLeft(qint64 bytesLeft, double bytesPerSecond);
    // One line of progress: "42% 1.5 MB of 3.6 MB, 512.0 KB/s, 0:04 left"; without a known
    // size "1.5 MB, 512.0 KB/s"; the time left only while there is a speed.
    static QString ProgressLine(qint64 received, qint64 size, double bytesPerSecond);
};
