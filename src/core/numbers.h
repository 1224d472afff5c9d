#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <string_view>

namespace ph {

// Lenient number reading used for every field, cell, record value and API argument:
// blanks, tabs and line feeds are dropped, then the longest leading decimal number
// (sign, digits, one point, exponent) or "&H" hexadecimal is read; no number reads as 0.
double ReadNumber(QStringView text);
double ReadNumber(std::string_view text);

// The value of one hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char16_t c);

// Nearest whole number, a half going to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);
// The same rule at two decimals (0.125 -> 0.12).
double RoundHalfEven2(double value);

// Half-to-even rounding into a fixed-width integer, saturating at the type's limits
// so that an oversized field never wraps around.
int16_t RoundToInt16(double value);
int32_t RoundToInt32(double value);

// A success ratio as whole percent: successes / tests rounded to two decimals, times 100.
// No tests gives 0.
int RatioPercent(double successes, double tests);

// A number as a cell or a field holds it: whole numbers without a fraction ("5", "-3"), others
// with up to 15 significant digits. Texts of whole numbers below kSmallNumbers are made once
// and shared, as counters and ratios repeat across rows. Window's thread only.
inline constexpr int kSmallNumbers = 10000;
QString NumberText(double value);
const QString& SmallNumberText(int value);  // 0 <= value < kSmallNumbers

}  // namespace ph
