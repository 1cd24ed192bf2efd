#include "shortstring.h"

#include <algorithm>

namespace ehi {

int ShortCompare(std::string_view left, std::string_view right) {
  size_t common = std::min(left.size(), right.size());
  // Equal stretches are skipped eight bytes at a time; the byte that
  // differs is then found one by one within its word.
  size_t i = 0;
  for (; i + 8 <= common; i += 8) {
    uint64_t a, b;
    std::memcpy(&a, left.data() + i, 8);
    std::memcpy(&b, right.data() + i, 8);
    if (a != b) break;
  }
  for (; i < common; ++i) {
    int l = static_cast<unsigned char>(left[i]);
    int r = static_cast<unsigned char>(right[i]);
    if (l != r) return l - r;
  }
  return int(left.size()) - int(right.size());
}

String ShortConcat(std::string_view first, std::string_view second) {
  String out(first);
  size_t room = 255 - out.Len;
  size_t n = std::min(room, second.size());
  std::memcpy(out.Chars + out.Len, second.data(), n);
  out.Len = uint8_t(out.Len + n);
  return out;
}

String ShortCopy(std::string_view s, int index, int count) {
  if (index < 1) index = 1;
  if (count < 0) count = 0;
  if (size_t(index) > s.size()) return String();
  return String(s.substr(size_t(index - 1), size_t(count)));
}

int CharPos(char c, std::string_view s) {
  size_t p = s.find(c);
  return p == std::string_view::npos ? 0 : int(p + 1);
}

int SubPos(std::string_view needle, std::string_view s) {
  if (needle.empty()) return 0;
  size_t p = s.find(needle);
  return p == std::string_view::npos ? 0 : int(p + 1);
}

}  // namespace ehi
