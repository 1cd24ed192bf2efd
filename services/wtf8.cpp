#include "wtf8.h"

#include <cstdint>

#include "glyphs.h"

namespace ehi {

namespace {

constexpr bool IsHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool IsLow(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

bool Wtf8ToUtf16(std::string_view bytes, std::u16string& units) {
  // The last unit appended came from a 3-byte high surrogate: a low one
  // right after it would make a pair that has a 4-byte spelling of its own.
  bool afterHigh = false;
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = uint8_t(bytes[i]);
    size_t length = 0;
    uint32_t cp = 0, least = 0;
    if (lead < 0x80) length = 1, cp = lead;
    else if (lead >= 0xC2 && lead <= 0xDF) length = 2, cp = lead & 0x1Fu, least = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, cp = lead & 0x0Fu, least = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, cp = lead & 0x07u, least = 0x10000;
    else return false;
    if (bytes.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = uint8_t(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF) return false;
    if (IsLow(cp) && afterHigh) return false;
    afterHigh = IsHigh(cp);
    if (cp >= 0x10000) {
      units += char16_t(0xD800 + ((cp - 0x10000) >> 10));
      units += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      units += char16_t(cp);
    }
    i += length;
  }
  return true;
}

std::string Utf16ToWtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    const uint32_t u = units[i];
    if (IsHigh(u) && i + 1 < units.size() && IsLow(units[i + 1])) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (uint32_t(units[i + 1]) - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

}  // namespace ehi
