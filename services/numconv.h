// Conversions between numbers and short strings.
//
// The integer syntax decides which file extensions count as numbers; the
// real forms are the number formats of report files.
#pragma once

#include <cstdint>
#include <string_view>

#include "shortstring.h"

namespace ehi {

/// Reads `s` as an integer for a destination of `size` bytes (1, 2 or 4).
/// Syntax: leading blanks or tabs, an optional sign, an optional base prefix
/// ("$", "0x", "0X" hexadecimal, "%" binary, "&" octal), then digits of the
/// base and nothing after them. On success `errorPos` is 0; on failure the
/// result is 0 and `errorPos` is the 1-based position of the offending
/// character (length + 1 when the text ended too early).
int32_t TextToInteger(std::string_view s, int size, int& errorPos);

/// Decimal text of `value` ("-" for negatives, no "+"), right-aligned with
/// blanks in `width` characters when the width exceeds the length.
String IntegerToText(int32_t value, int width);

/// The 23-character scientific form: sign position, one digit, ".", fifteen
/// digits, "E", exponent sign and at least three exponent digits; infinities
/// and not-a-number as "+Inf", "-Inf", "Nan" right-aligned in 23 characters.
String RealToText(double value);

/// Reads `s` as a decimal real: leading blanks or tabs, optional sign,
/// digits with an optional point (at least one digit), an optional exponent
/// ("E"/"e", optional sign, at least one digit), nothing after. On failure
/// the result is 0 and `errorPos` is where reading stopped (never 0).
long double TextToReal(std::string_view s, int& errorPos);

}  // namespace ehi
