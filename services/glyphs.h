// The code page 437 glyph of every byte, in UTF-8, so that each byte the
// console shows appears as the character the screen designs expect (frames,
// blocks, arrows) and no byte ever reaches a terminal as a control code.
#pragma once

#include <string>
#include <string_view>

namespace ehi {

/// The UTF-8 text of the glyph of byte `b` (0 shows as a blank).
std::string_view Cp437Glyph(unsigned char b);

/// The byte whose glyph is the character `code`, or '?' when none is.
unsigned char Cp437ByteOf(char32_t code);

/// Appends the UTF-8 form of `code` to `out`.
void AppendUtf8(std::string& out, char32_t code);

}  // namespace ehi
