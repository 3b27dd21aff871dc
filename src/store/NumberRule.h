#pragma once
// Reading numbers out of text the way every box, header and file field of the program does.

#include <QString>
#include <cstdint>

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

}  // namespace NumberRule
