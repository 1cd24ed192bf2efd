// The console window in memory: one character byte and one colour byte per
// cell, and the cursor. Every console write acts here first; a backend then
// shows the cells.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "utf8text.h"

namespace ehi {

/// Code of the second cell of a wide character.
constexpr char32_t kWideTail = 0xFFFFFFFF;

/// One cell of the window: a byte shown through the glyph table, or (Code
/// set) a character shown as itself, with up to two combining marks; a
/// wide character takes its cell and the next, whose Code is kWideTail.
/// Ch of a character's cell is the byte whose glyph it is, else '?'.
struct Cell {
  /// The character byte, drawn as its glyph.
  uint8_t Ch = ' ';
  /// The colour attribute.
  uint8_t Attr = 7;
  /// Set for a character shown as itself (kWideTail for a wide one's second
  /// cell); 0 for a byte shown through the glyph table.
  char32_t Code = 0;
  /// Combining marks drawn with Code.
  char32_t Marks[2] = {0, 0};
  /// Same content in the same colour.
  bool operator==(const Cell& o) const {
    return Ch == o.Ch && Attr == o.Attr && Code == o.Code && Marks[0] == o.Marks[0] &&
           Marks[1] == o.Marks[1];
  }
};

/// The window's cells and cursor, with the console's writing rules.
class ScreenModel {
 public:
  /// A window of `width` x `height` cells, blank in `attr`.
  ScreenModel(int width, int height, uint8_t attr);

  /// Columns of the window.
  int Width() const { return width_; }
  /// Rows of the window.
  int Height() const { return height_; }
  /// Cursor column, 1-based within the window.
  int CursorX() const { return x_ + 1; }
  /// Cursor row, 1-based within the window.
  int CursorY() const { return y_ + 1; }
  /// The cell at a 1-based column and row (both within the window).
  const Cell& At(int col, int row) const { return cells_[size_t((row - 1) * width_ + col - 1)]; }

  /// Writes bytes at the cursor in colour `attr`: BEL is ignored, BS moves
  /// left (not past the left column), LF moves down, CR to the left column,
  /// every other byte is put in its cell; the cursor wraps at the right edge
  /// and the window scrolls up at the bottom, the new row blank in `attr`.
  void Write(std::string_view bytes, uint8_t attr);
  /// Writes bytes at the cursor like Write, but every byte, a control byte
  /// too, is put in its cell: text that comes from data (a file name) can
  /// never move the cursor.
  void WriteGlyphs(std::string_view bytes, uint8_t attr);
  /// Writes laid-out text (LayOutText) at the cursor: each character in
  /// the cells it takes (a wide one that would not fit on the row goes to
  /// the next, the last cell left blank), each byte as its glyph; the
  /// cursor wraps and the window scrolls as with WriteGlyphs.
  void WriteText(const std::vector<TextPiece>& pieces, uint8_t attr);
  /// Fills the window with blanks in `attr`; cursor to (1, 1).
  void Clear(uint8_t attr);
  /// Moves the cursor; ignored unless the position lies in the window.
  void GotoXY(int col, int row);

 private:
  void ScrollUp(uint8_t attr);
  void Put(unsigned char c, uint8_t attr);
  // Puts `c` at the cursor and moves on; a wide character it overwrites
  // half of leaves a blank in its other half.
  void Place(const Cell& c);
  void Unpair(int x);
  Cell& Here(int x) { return cells_[size_t(y_ * width_ + x)]; }
  void Wrap(uint8_t attr);
  int width_, height_;
  int x_ = 0, y_ = 0;
  std::vector<Cell> cells_;
};

}  // namespace ehi
