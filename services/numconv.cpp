#include "numconv.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace ehi {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 99;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int32_t TextToInteger(std::string_view s, int size, int& errorPos) {
  const size_t len = s.size();
  size_t pos = 0;
  auto fail = [&](size_t at) {
    errorPos = int(at + 1);
    return int32_t(0);
  };
  while (pos < len && IsBlank(s[pos])) ++pos;
  bool negative = false;
  if (pos < len && (s[pos] == '-' || s[pos] == '+')) {
    negative = s[pos] == '-';
    ++pos;
  }
  int base = 10;
  if (pos < len) {
    if (s[pos] == '$') {
      base = 16, ++pos;
    } else if (s[pos] == '%') {
      base = 2, ++pos;
    } else if (s[pos] == '&') {
      base = 8, ++pos;
    } else if (s[pos] == '0' && pos + 1 < len &&
               (s[pos + 1] == 'x' || s[pos + 1] == 'X')) {
      base = 16, pos += 2;
    }
  }
  if (pos >= len) return fail(len);
  // Leading zeros carry no value; a lone "0" stays as the digit.
  while (pos + 1 < len && s[pos] == '0') ++pos;
  const uint64_t limit =
      base != 10 ? 4294967295ull : (negative ? 2147483648ull : 2147483647ull);
  uint64_t magnitude = 0;
  for (; pos < len; ++pos) {
    int d = DigitValue(s[pos]);
    if (d >= base) return fail(pos);
    magnitude = magnitude * uint64_t(base) + uint64_t(d);
    if (magnitude > limit) return fail(pos);
  }
  errorPos = 0;
  uint32_t bits = uint32_t(magnitude);
  if (negative) return int32_t(0u - bits);
  if (base != 10) {
    if (size == 1) return int8_t(uint8_t(bits));
    if (size == 2) return int16_t(uint16_t(bits));
  }
  return int32_t(bits);
}

String IntegerToText(int32_t value, int width) {
  char digits[16];
  auto res = std::to_chars(digits, digits + sizeof digits, value);
  std::string_view text(digits, size_t(res.ptr - digits));
  if (width > int(text.size())) {
    std::string padded(size_t(width) - text.size(), ' ');
    padded += text;
    return String(padded);
  }
  return String(text);
}

namespace {

// Rounds the decimal digit string `digits` (exact expansion of the value,
// most significant first) to `keep` digits, half up. Returns true when the
// rounding carried into a new leading digit.
bool RoundHalfUp(std::string& digits, size_t keep) {
  bool up = digits.size() > keep && digits[keep] >= '5';
  digits.resize(keep, '0');
  if (!up) return false;
  for (size_t i = keep; i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
  digits.resize(keep);
  return true;
}

// `text` right-aligned with blanks in the 23 characters of the real form.
String RightAligned23(std::string_view text) {
  String out;
  out.Len = 23;
  std::memset(out.Chars, ' ', 23);
  std::memcpy(out.Chars + 23 - text.size(), text.data(), text.size());
  return out;
}

}  // namespace

String RealToText(double value) {
  if (std::isnan(value)) return RightAligned23("Nan");
  if (std::isinf(value)) return RightAligned23(value > 0 ? "+Inf" : "-Inf");
  const bool negative = std::signbit(value) && value != 0;
  double magnitude = std::fabs(value);
  // The shortest route to correctly rounded digits is to_chars; it rounds
  // ties to even, so an exact tie at the seventeenth digit is detected and
  // redone from the exact expansion, half up.
  char buf[1100];
  auto r = std::to_chars(buf, buf + sizeof buf, magnitude,
                         std::chars_format::scientific, 16);
  std::string_view seventeen(buf, size_t(r.ptr - buf));
  std::string digits;
  int exponent = 0;
  auto split = [&](std::string_view sci) {
    digits.clear();
    size_t e = sci.find('e');
    for (size_t i = 0; i < e; ++i)
      if (sci[i] != '.') digits += sci[i];
    std::from_chars(sci.data() + e + (sci[e + 1] == '+' ? 2 : 1),
                    sci.data() + sci.size(), exponent);
  };
  split(seventeen);
  if (digits[16] == '5') {
    r = std::to_chars(buf, buf + sizeof buf, magnitude,
                      std::chars_format::scientific, 1074);
    split(std::string_view(buf, size_t(r.ptr - buf)));
    if (RoundHalfUp(digits, 16)) ++exponent;
  } else {
    r = std::to_chars(buf, buf + sizeof buf, magnitude,
                      std::chars_format::scientific, 15);
    split(std::string_view(buf, size_t(r.ptr - buf)));
  }
  std::string out;
  out.reserve(24);
  out += negative ? '-' : ' ';
  out += digits[0];
  out += '.';
  out.append(digits, 1, 15);
  out += 'E';
  out += exponent < 0 ? '-' : '+';
  std::string ex = std::to_string(exponent < 0 ? -exponent : exponent);
  if (ex.size() < 3) ex.insert(0, 3 - ex.size(), '0');
  out += ex;
  return String(out);
}

long double TextToReal(std::string_view s, int& errorPos) {
  const size_t len = s.size();
  size_t pos = 0;
  auto fail = [&](size_t at) {
    errorPos = int(at + 1);
    return 0.0L;
  };
  while (pos < len && IsBlank(s[pos])) ++pos;
  bool negative = false;
  if (pos < len && (s[pos] == '+' || s[pos] == '-')) {
    negative = s[pos] == '-';
    ++pos;
  }
  const size_t mantissaStart = pos;
  size_t digitCount = 0;
  while (pos < len && IsDigit(s[pos])) ++pos, ++digitCount;
  if (pos < len && s[pos] == '.') {
    ++pos;
    while (pos < len && IsDigit(s[pos])) ++pos, ++digitCount;
  }
  if (digitCount == 0) return fail(pos);
  const size_t mantissaEnd = pos;
  if (pos < len && (s[pos] == 'E' || s[pos] == 'e')) {
    ++pos;
    if (pos < len && (s[pos] == '+' || s[pos] == '-')) ++pos;
    size_t expDigits = 0;
    while (pos < len && IsDigit(s[pos])) ++pos, ++expDigits;
    if (expDigits == 0) return fail(pos);
  }
  if (pos != len) return fail(pos);
  errorPos = 0;

  // The exponent as given, saturated: it may have any number of digits.
  long long exp = 0;
  if (mantissaEnd < len) {
    size_t i = mantissaEnd + 1;
    bool expNeg = false;
    if (s[i] == '+' || s[i] == '-') expNeg = s[i++] == '-';
    for (; i < len; ++i)
      if (exp < 100000000) exp = exp * 10 + (s[i] - '0');
    if (expNeg) exp = -exp;
  }

  // The syntax is checked; strtold does the exact conversion at the full
  // precision of long double on every system (from_chars of long double is
  // not exact everywhere). It reads the digits without their point, scaled
  // by the power of ten that the point stood for: the decimal separator of
  // the program's locale (a comma in many) then plays no part.
  std::string text;
  long long fractionDigits = 0;
  bool afterPoint = false;
  for (size_t i = mantissaStart; i < mantissaEnd; ++i) {
    if (s[i] == '.') {
      afterPoint = true;
    } else {
      text += s[i];
      fractionDigits += afterPoint;
    }
  }
  text += 'e';
  text += std::to_string(exp - fractionDigits);
  errno = 0;
  long double value = std::strtold(text.c_str(), nullptr);
  if (errno == ERANGE && (std::isinf(value) || value == 0.0L)) {
    // Decide between overflow and underflow from the decimal magnitude:
    // position of the first non-zero digit relative to the point, plus the
    // exponent. `lead` is the power of ten of the first significant digit,
    // plus one.
    long long intDigits = 0, fracZeros = 0;
    bool seenPoint = false, seenNonZero = false;
    for (size_t i = mantissaStart; i < mantissaEnd && !(seenPoint && seenNonZero); ++i) {
      const char c = s[i];
      if (c == '.') {
        seenPoint = true;
      } else if (!seenPoint) {
        if (c != '0') seenNonZero = true;
        if (seenNonZero) ++intDigits;
      } else if (c == '0') {
        ++fracZeros;
      } else {
        seenNonZero = true;
      }
    }
    const long long lead = intDigits > 0 ? intDigits : -fracZeros;
    value = (seenNonZero && lead + exp > 0) ? HUGE_VALL : 0.0L;
  }
  return negative ? -value : value;
}

}  // namespace ehi
