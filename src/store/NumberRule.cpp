#include "store/NumberRule.h"

#include <cmath>
#include <limits>

namespace NumberRule {

namespace {

bool IsSkipped(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Iterates the text's characters with the skipped ones left out.
class Reader {
public:
    explicit Reader(const QString& t) : text(t) { Skip(); }
    bool AtEnd() const { return pos >= text.size(); }
    QChar Peek() const { return AtEnd() ? QChar() : text.at(pos); }
    void Next() {
        ++pos;
        Skip();
    }

private:
    void Skip() {
        while (pos < text.size() && IsSkipped(text.at(pos))) ++pos;
    }
    const QString& text;
    qsizetype pos = 0;
};

double ReadRadix(Reader& r, int radix) {
    double value = 0;
    bool any = false;
    while (!r.AtEnd()) {
        int digit = -1;
        const QChar c = r.Peek().toUpper();
        if (c >= u'0' && c <= u'9')
            digit = c.unicode() - u'0';
        else if (c >= u'A' && c <= u'F')
            digit = c.unicode() - u'A' + 10;
        if (digit < 0 || digit >= radix) break;
        value = value * radix + digit;
        any = true;
        r.Next();
    }
    return any ? value : 0;
}

}  // namespace

double Val(const QString& text) {
    Reader r(text);
    if (r.Peek() == u'&') {
        r.Next();
        const QChar k = r.Peek().toUpper();
        if (k == u'H') {
            r.Next();
            return ReadRadix(r, 16);
        }
        if (k == u'O') {
            r.Next();
            return ReadRadix(r, 8);
        }
        return 0;
    }
    QString number;
    if (r.Peek() == u'+' || r.Peek() == u'-') {
        number += r.Peek();
        r.Next();
    }
    bool digits = false, point = false;
    while (!r.AtEnd()) {
        const QChar c = r.Peek();
        if (c.isDigit() && c.unicode() < 128) {
            number += c;
            digits = true;
        } else if (c == u'.' && !point) {
            number += c;
            point = true;
        } else {
            break;
        }
        r.Next();
    }
    if (!digits) return 0;
    const QChar e = r.Peek().toUpper();
    if (e == u'E' || e == u'D') {
        // The exponent counts only when digits follow (with an optional sign).
        QString exponent = QStringLiteral("e");
        Reader probe = r;
        probe.Next();
        if (probe.Peek() == u'+' || probe.Peek() == u'-') {
            exponent += probe.Peek();
            probe.Next();
        }
        bool expDigits = false;
        while (!probe.AtEnd() && probe.Peek().isDigit() && probe.Peek().unicode() < 128) {
            exponent += probe.Peek();
            expDigits = true;
            probe.Next();
        }
        if (expDigits) number += exponent;
    }
    bool ok = false;
    const double v = number.toDouble(&ok);
    return ok ? v : 0;
}

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    const double floorValue = std::floor(value);
    const double diff = value - floorValue;
    if (diff > 0.5) return floorValue + 1;
    if (diff < 0.5) return floorValue;
    return std::fmod(floorValue, 2.0) == 0 ? floorValue : floorValue + 1;
}

namespace {
template <typename T>
T Clamp(double value) {
    return SaturatingCast<T>(RoundHalfEven(value));
}
}  // namespace

int16_t ToInt16(double value) {
    return Clamp<int16_t>(value);
}
int32_t ToInt32(double value) {
    return Clamp<int32_t>(value);
}
int16_t ValInt16(const QString& text) {
    return Clamp<int16_t>(Val(text));
}
int32_t ValInt32(const QString& text) {
    return Clamp<int32_t>(Val(text));
}
uint16_t ValUInt16(const QString& text) {
    return Clamp<uint16_t>(Val(text));
}

}  // namespace NumberRule
