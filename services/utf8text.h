// Text as a terminal shows it: UTF-8 decoding, the columns a character
// takes, names laid out in a zone of so many columns, and control
// characters made harmless for a terminal. Pure: bytes in, values out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ehi {

/// Decodes the UTF-8 character at the start of `s`: its length (1 to 4)
/// with `code` set, or 0 when the bytes there are no valid UTF-8 (overlong
/// forms, surrogates and values past U+10FFFF included). `incomplete`, when
/// given, tells whether the bytes are a valid character cut short by the
/// end of `s`.
size_t DecodeUtf8(std::string_view s, char32_t& code, bool* incomplete = nullptr);

/// The columns a terminal gives a character: 2 for the East Asian wide and
/// full-width ones, 0 for a mark that joins the character before it, 1 for
/// the others; -1 for what is no text to show (controls, format
/// characters, line and paragraph separators).
int CharColumns(char32_t code);

/// `s` with every control character shown escaped, safe to write to a
/// terminal: `\e`, `\t`, `\n`, `\r` and `\xHH` for the other C0 controls,
/// DEL and bytes that are not UTF-8; `\uHHHH` (`\UHHHHHHHH` past U+FFFF)
/// for the C1 controls and the format characters (bidirectional overrides
/// and tags among them) written in UTF-8.
std::string EscapeControls(std::string_view s);

/// One piece of a text laid out in columns: a character shown as itself
/// (Code, with up to two combining marks), one or two columns wide, or a
/// byte shown through the glyph table (Code 0; one column).
struct TextPiece {
  /// The character, or 0 for a byte shown through the glyph table.
  char32_t Code = 0;
  /// Combining marks drawn with Code.
  char32_t Marks[2] = {0, 0};
  /// The byte, when Code is 0.
  uint8_t Byte = 0;
  /// Columns taken: 1 or 2.
  int Columns = 1;
};

/// The mark that ends a text cut short.
constexpr char32_t kCutMark = 0x2026;  // "…"

/// Lays out `text` in at most `columns` columns. A text that is valid UTF-8
/// (a last character cut short by the end of the text allowed) and holds a
/// character beyond ASCII comes as its characters; cut at the zone's edge,
/// it is cut between characters and ends in kCutMark. Any other text comes
/// byte for byte, cut at `columns` bytes. Characters that are no text to
/// show, and marks with no character before them, come as their bytes.
std::vector<TextPiece> LayOutText(std::string_view text, int columns);

}  // namespace ehi
