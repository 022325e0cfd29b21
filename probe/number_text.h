#pragma once

#include <QString>
#include <cstdint>
#include <string_view>

// Number reading with the C library's lenient rules (leading blanks, sign, the longest
// number-shaped prefix, else 0), but independent of the process locale: MediaInfo answers
// and stored settings always use "." as the decimal point.

// Decimal integer after optional white space and sign; 0 when there are no digits.
// Saturates at the int32 range instead of overflowing.
int32_t ParseIntPrefix(const QString &text);

// The longest leading decimal floating-point number (white space, sign, digits,
// fraction, exponent); 0 when there is none. No hex, "inf" or "nan".
double ParseDoublePrefix(std::string_view text);
double ParseDoublePrefix(const QString &text);
