#pragma once
// Expands a URL pattern with "*" placeholders into a list of URLs, one per value of a number or
// letter range. Every "*" of the pattern gets the same value on a line.

#include <QString>
#include <QStringList>

struct BatchResult {
    QStringList Urls;
    // Not empty when the range was refused; the list is then empty.
    QString Error;
};

class BatchGenerator {
public:
    // Counters are 16-bit: a range reaching 32767 cannot be walked.
    static constexpr int kLargestNumber = 32766;
    static constexpr int kMaxLines = 10000;

    // From, To and width are box texts read by the leading-number rule; numbers shorter than
    // width get leading zeros (a longer number is never cut). From greater than To gives no line.
    static BatchResult Numbers(const QString& pattern, const QString& fromText,
                               const QString& toText, const QString& widthText);

    // The first characters of fromText and toText give the range of character codes. An empty
    // box gives no line.
    static BatchResult Letters(const QString& pattern, const QString& fromText,
                               const QString& toText);

    // The decimal text of value, with leading zeros up to width characters.
    static QString PadNumber(int value, int width);
};
