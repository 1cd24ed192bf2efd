// TextToInteger and TextToReal over arbitrary text; RealToText followed by
// TextToReal over arbitrary doubles.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "numconv.h"

using namespace ehi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size < 255 ? size : 255);
  for (int width : {1, 2, 4}) {
    int err = -1;
    int32_t v = TextToInteger(text, width, err);
    if (err < 0 || err > int(text.size()) + 1) std::abort();
    if (err != 0 && v != 0) std::abort();
  }
  int err = -1;
  long double r = TextToReal(text, err);
  if (err < 0 || err > int(text.size()) + 1) std::abort();
  if (err != 0 && r != 0) std::abort();
  if (err == 0 && std::isnan(r)) std::abort();

  if (size >= 8) {
    double x;
    std::memcpy(&x, data, 8);
    String t = RealToText(x);
    if (t.Length() != 23) std::abort();
    if (std::isnan(x)) {
      if (t.View() != "                    Nan") std::abort();
    } else if (std::isinf(x)) {
      if (t.View().substr(19) != (x > 0 ? "+Inf" : "-Inf")) std::abort();
    } else {
      int e = -1;
      long double back = TextToReal(t.View(), e);
      if (e != 0) std::abort();
      // Sixteen significant digits: within half a unit of the sixteenth
      // digit, plus the rounding of the text to binary.
      int exponent = std::atoi(std::string(t.View().substr(19)).c_str());
      long double unit = std::pow(10.0L, exponent - 15);
      if (std::fabs(back - (long double)x) > 0.5L * unit + std::fabs((long double)x) * 1e-18L)
        std::abort();
    }
  }
  return 0;
}
