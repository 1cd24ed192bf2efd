// Names between the program's bytes and the 16-bit units of Windows. Inside
// the program every name is bytes in UTF-8, on every system; Windows keeps
// names as 16-bit units that need not be valid UTF-16 (a surrogate may
// stand alone). WTF-8 (UTF-8 that also encodes a lone surrogate as its three
// bytes) carries every such name and back unchanged, and two different
// names never meet in one.
#pragma once

#include <string>
#include <string_view>

namespace ehi {

/// Appends the 16-bit units that `bytes` (WTF-8) spell to `units`. False
/// when the bytes are not WTF-8 (a stray or missing continuation byte, an
/// over-long form, a value past U+10FFFF, or a surrogate pair written as
/// two halves): no name on Windows has such a spelling.
bool Wtf8ToUtf16(std::string_view bytes, std::u16string& units);
/// The WTF-8 bytes of `units`: a surrogate pair as the 4 bytes of its
/// character, a lone surrogate as its own 3 bytes.
std::string Utf16ToWtf8(std::u16string_view units);

}  // namespace ehi
