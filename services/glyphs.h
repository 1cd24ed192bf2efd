// The code page 437 glyph of every byte, in UTF-8, so that each byte the
// console shows appears as the character the screen designs expect (frames,
// blocks, arrows) and no byte ever reaches a terminal as a control code.
#pragma once

#include <string_view>

namespace ehi {

/// The UTF-8 text of the glyph of byte `b` (0 shows as a blank).
std::string_view Cp437Glyph(unsigned char b);

}  // namespace ehi
