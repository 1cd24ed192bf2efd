// Names between UTF-8 bytes and Windows' 16-bit units: bytes that are
// taken come back byte for byte, and any units come back unit for unit.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "wtf8.h"

using namespace ehi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::u16string units;
  if (Wtf8ToUtf16(bytes, units) && Utf16ToWtf8(units) != bytes) std::abort();

  std::u16string any;
  for (size_t i = 0; i + 1 < size; i += 2) any += char16_t(data[i] | (data[i + 1] << 8));
  std::u16string back;
  if (!Wtf8ToUtf16(Utf16ToWtf8(any), back) || back != any) std::abort();
  return 0;
}
