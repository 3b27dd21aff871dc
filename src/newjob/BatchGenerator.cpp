#include "newjob/BatchGenerator.h"

#include "store/NumberRule.h"

namespace {

QString TooManyLines() {
    return QStringLiteral("Too many urls: at most %1 urls can be generated at once !")
        .arg(BatchGenerator::kMaxLines);
}

}  // namespace

QString BatchGenerator::PadNumber(int value, int width) {
    QString text = QString::number(value);
    if (text.size() < width) text.prepend(QString(width - text.size(), QLatin1Char('0')));
    return text;
}

BatchResult BatchGenerator::Numbers(const QString& pattern, const QString& fromText,
                                    const QString& toText, const QString& widthText) {
    BatchResult result;
    const double first = NumberRule::RoundHalfEven(NumberRule::Val(fromText));
    const double last = NumberRule::RoundHalfEven(NumberRule::Val(toText));
    const int width = NumberRule::ValInt16(widthText);
    if (first > kLargestNumber + 1 || last > kLargestNumber || first < -32768 || last < -32768) {
        result.Error = QStringLiteral("The numbers must be between 0 and %1 !").arg(kLargestNumber);
        return result;
    }
    if (first > last) return result;
    if (last - first + 1 > kMaxLines) {
        result.Error = TooManyLines();
        return result;
    }
    for (int i = static_cast<int>(first); i <= static_cast<int>(last); ++i)
        result.Urls.append(QString(pattern).replace(QLatin1Char('*'), PadNumber(i, width)));
    return result;
}

BatchResult BatchGenerator::Letters(const QString& pattern, const QString& fromText,
                                    const QString& toText) {
    BatchResult result;
    if (fromText.isEmpty() || toText.isEmpty()) return result;
    const int first = fromText.at(0).unicode();
    const int last = toText.at(0).unicode();
    if (first > last) return result;
    if (last - first + 1 > kMaxLines) {
        result.Error = TooManyLines();
        return result;
    }
    for (int code = first; code <= last; ++code)
        result.Urls.append(QString(pattern).replace(QLatin1Char('*'), QChar(code)));
    return result;
}
