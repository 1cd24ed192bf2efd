// Names laid out for the screen and messages made safe for a terminal,
// over arbitrary bytes: a layout never takes more columns than its zone and
// shows a character only in the columns it takes; an escaped text is UTF-8
// with no control character left in it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "utf8text.h"

using namespace ehi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int columns = data[0] % 40;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  int used = 0;
  for (const TextPiece& p : LayOutText(text, columns)) {
    used += p.Columns;
    if (p.Code == 0 || p.Code == kCutMark) {
      if (p.Columns != 1) std::abort();
    } else if (CharColumns(p.Code) != p.Columns) {
      std::abort();
    }
  }
  if (used > columns) std::abort();

  const std::string safe = EscapeControls(text);
  for (size_t i = 0; i < safe.size();) {
    char32_t c = 0;
    const size_t n = DecodeUtf8(std::string_view(safe).substr(i), c);
    if (n == 0 || CharColumns(c) < 0) std::abort();
    i += n;
  }
  return 0;
}
