#include "numconv.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "testutil.h"

namespace ehi {
namespace {

struct IntCase {
  const char* text;
  int size;
  int32_t value;
  int errorPos;
};

TEST(TextToInteger, SyntaxAndValues) {
  const IntCase cases[] = {
      {"001", 4, 1, 0},        {" 12", 4, 12, 0},       {"+7", 4, 7, 0},
      {"$1F", 4, 31, 0},       {"1.5", 4, 0, 2},        {"12 ", 4, 0, 3},
      {"1 ", 4, 0, 2},         {"999", 2, 999, 0},      {"-0", 4, 0, 0},
      {"0x1", 4, 1, 0},        {"0X1f", 4, 31, 0},      {"%11", 4, 3, 0},
      {"&17", 4, 15, 0},       {"&18", 4, 0, 3},        {"0xg", 4, 0, 3},
      {"12a", 4, 0, 3},        {"1e2", 4, 0, 2},        {"\t-05", 4, -5, 0},
      {"0", 4, 0, 0},          {"000", 4, 0, 0},        {"-", 4, 0, 2},
      {"$", 4, 0, 2},          {"0x", 4, 0, 3},         {"  ", 4, 0, 3},
      {"2147483647", 4, 2147483647, 0},
      {"2147483648", 4, 0, 10},
      {"-2147483648", 4, int32_t(-2147483647 - 1), 0},
      {"-2147483649", 4, 0, 11},
      {"$FFFFFFFF", 4, -1, 0},  {"$100000000", 4, 0, 10},
      {"$FF", 1, -1, 0},        {"$FF", 2, 255, 0},      {"$8000", 2, -32768, 0},
      {"-$10", 4, -16, 0},      {"300", 1, 300, 0},  // decimal is not narrowed
  };
  for (const IntCase& c : cases) {
    int err = -1;
    int32_t v = TextToInteger(c.text, c.size, err);
    EXPECT_EQ(v, c.value) << '"' << c.text << '"';
    EXPECT_EQ(err, c.errorPos) << '"' << c.text << '"';
  }
  int err = 0;
  EXPECT_EQ(TextToInteger("", 4, err), 0);
  EXPECT_TRUE(err == 1 || err == 2);
}

TEST(IntegerToText, DigitsAndWidth) {
  EXPECT_EQ(IntegerToText(42, 0).Str(), "42");
  EXPECT_EQ(IntegerToText(-42, 5).Str(), "  -42");
  EXPECT_EQ(IntegerToText(12345, 2).Str(), "12345");
  EXPECT_EQ(IntegerToText(int32_t(-2147483647 - 1), -3).Str(), "-2147483648");
}

TEST(RealToText, DefaultForm) {
  EXPECT_EQ(RealToText(1).Str(), " 1.000000000000000E+000");
  EXPECT_EQ(RealToText(0).Str(), " 0.000000000000000E+000");
  EXPECT_EQ(RealToText(-0.0).Str(), " 0.000000000000000E+000");
  EXPECT_EQ(RealToText(-2.5).Str(), "-2.500000000000000E+000");
  EXPECT_EQ(RealToText(0.001234).Str(), " 1.234000000000000E-003");
  EXPECT_EQ(RealToText(123.456).Str(), " 1.234560000000000E+002");
  EXPECT_EQ(RealToText(1e300).Str(), " 1.000000000000000E+300");
  EXPECT_EQ(RealToText(5e-324).Str(), " 4.940656458412465E-324");
  EXPECT_EQ(RealToText(9.9999999999999999e22).Str(), " 9.999999999999999E+022");
  // 2^-24 = 5.9604644775390625e-8 lies exactly on a rounding boundary at
  // the sixteenth digit: half up, not half even.
  EXPECT_EQ(RealToText(std::ldexp(1.0, -24)).Str(), " 5.960464477539063E-008");
  EXPECT_EQ(RealToText(INFINITY).Str(), std::string(19, ' ') + "+Inf");
  EXPECT_EQ(RealToText(-INFINITY).Str(), std::string(19, ' ') + "-Inf");
  EXPECT_EQ(RealToText(NAN).Str(), std::string(20, ' ') + "Nan");
  EXPECT_EQ(RealToText(1).Length(), 23);
}

TEST(TextToReal, AcceptedAndRejected) {
  const char* good[] = {"1.5", "-2", ".5", "5.", "1e3", "1.000000000000000E+000",
                        " \t+3", "7E-2"};
  const long double values[] = {1.5L, -2.0L, 0.5L, 5.0L, 1000.0L, 1.0L, 3.0L, 0.07L};
  for (size_t i = 0; i < std::size(good); ++i) {
    int err = -1;
    long double v = TextToReal(good[i], err);
    EXPECT_EQ(err, 0) << good[i];
    EXPECT_EQ(v, values[i]) << good[i];
  }
  struct Bad {
    const char* text;
    int pos;
  };
  const Bad bad[] = {{"", 1}, {"e3", 1}, {"1e", 3}, {"1,5", 2}, {"1.5x", 4},
                     {".", 2}, {"+", 2}, {"1e+", 4}, {"--1", 2}};
  for (const Bad& b : bad) {
    int err = 0;
    EXPECT_EQ(TextToReal(b.text, err), 0.0L) << b.text;
    EXPECT_EQ(err, b.pos) << b.text;
  }
}

TEST(TextToReal, OutOfRangeSaturates) {
  int err = -1;
  EXPECT_TRUE(std::isinf(TextToReal("1e99999", err)));
  EXPECT_EQ(err, 0);
  EXPECT_EQ(TextToReal("1e-99999", err), 0.0L);
  EXPECT_EQ(err, 0);
  EXPECT_LT(TextToReal("-1e99999", err), 0);
}

TEST(RealConversions, RoundTripKeepsSixteenDigits) {
  std::mt19937_64 rng(20261208);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = rng();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    String text = RealToText(x);
    ASSERT_EQ(text.Length(), 23);
    int err = -1;
    double back = double(TextToReal(text, err));
    ASSERT_EQ(err, 0) << text.Str();
    // Sixteen significant digits: the relative difference stays below
    // half a unit in the sixteenth digit.
    // Sixteen significant digits: off by at most half a unit in the
    // sixteenth digit, plus the rounding of the text back to a double.
    int exponent = std::stoi(text.Str().substr(19));
    long double unit = std::pow(10.0L, exponent - 15);
    const long double b = back, xl = x;
    EXPECT_LE(std::fabs(b - xl), 0.5L * unit + std::fabs(xl) * 2.3e-16L)
        << text.Str();
  }
}

#ifndef _WIN32
// Puts the program's number format into a locale whose decimal point is a
// comma for the object's lifetime: an installed one, or one compiled for
// the test. Active() is false when there is none to be had.
class CommaLocale {
 public:
  CommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
      if (std::setlocale(LC_NUMERIC, name)) return;
    setenv("LOCPATH", compiled_.Path().c_str(), 1);
    const std::string make =
        "localedef -i de_DE -f UTF-8 '" + compiled_ / "de_DE.UTF-8" + "' >/dev/null 2>&1";
    // localedef ends with 1 on mere warnings: whether the locale loads
    // tells.
    (void)std::system(make.c_str());
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
  }
  bool Active() const { return std::strcmp(std::localeconv()->decimal_point, ",") == 0; }

 private:
  test::TempDir compiled_;
};

// A program that takes its number format from the user's locale (a comma
// for the decimal point in much of the world) reads and writes reals as
// any other: the conversions never consult the locale.
TEST(RealConversions, IndependentOfTheLocale) {
  CommaLocale comma;
  if (!comma.Active())
    GTEST_SKIP() << "no locale with a decimal comma is installed, and localedef could not make "
                    "one (it needs the locales package)";
  const struct {
    const char* text;
    long double value;
    int errorPos;
  } cases[] = {{"1.5", 1.5L, 0}, {"-2.25e1", -22.5L, 0}, {".5", 0.5L, 0},
               {"1.000000000000000E+000", 1.0L, 0}, {"1,5", 0.0L, 2}};
  for (const auto& c : cases) {
    int err = -1;
    EXPECT_EQ(TextToReal(c.text, err), c.value) << c.text;
    EXPECT_EQ(err, c.errorPos) << c.text;
  }
  EXPECT_EQ(RealToText(-2.5).Str(), "-2.500000000000000E+000");
}
#endif

}  // namespace
}  // namespace ehi
