#pragma once
// Reading numbers out of text the way every box, header and file field of the program does.

#include <QString>
#include <cmath>
#include <cstdint>
#include <limits>

namespace NumberRule {

// The leading number of a text: blanks, tabs and line feeds are skipped wherever they stand;
// an optional sign, digits with at most one decimal point, an optional exponent (E or D and
// digits), or "&H"/"&O" for a hexadecimal/octal integer. Reading stops at the first character
// that cannot continue the number; text without a leading number reads 0.
double Val(const QString& text);

// Rounds to the nearest whole number, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double RoundHalfEven(double value);

// Leading number rounded halves-to-even and clamped into the integer field's range.
int16_t ValInt16(const QString& text);
int32_t ValInt32(const QString& text);
uint16_t ValUInt16(const QString& text);

int16_t ToInt16(double value);
int32_t ToInt32(double value);

// A floating value as the integer type T with the fraction cut off (towards zero): NaN is 0, and
// anything beyond T's range, infinities included, is T's lowest or highest value. A plain cast
// of such a value is undefined, so values read from files, settings or servers go through here.
template <typename T>
T SaturatingCast(double value) {
    static_assert(std::numeric_limits<T>::is_integer);
    if (std::isnan(value)) return 0;
    // A limit a double cannot hold exactly (the highest qint64) rounds up to the next power of
    // two, so everything below it converts.
    if (value <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (value >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

}  // namespace NumberRule
