#include "vtrenderer.h"

#include "glyphs.h"

namespace ehi {

namespace {

// The console's colour numbers have blue in bit 0 and red in bit 2; the
// terminal's the other way round.
int SwapRedBlue(int c) { return ((c & 1) << 2) | (c & 2) | ((c & 4) >> 2); }

void AppendSgr(std::string& out, uint8_t attr) {
  int fg = attr & 15, bg = (attr >> 4) & 7;
  out += "\x1b[0;";
  out += std::to_string(fg & 8 ? 90 + SwapRedBlue(fg & 7) : 30 + SwapRedBlue(fg));
  out += ';';
  out += std::to_string(attr & 0x80 ? 100 + SwapRedBlue(bg) : 40 + SwapRedBlue(bg));
  out += 'm';
}

void AppendMove(std::string& out, int col, int row) {
  out += "\x1b[" + std::to_string(row) + ";" + std::to_string(col) + "H";
}

}  // namespace

std::string VtRenderer::Render(const ScreenModel& m, int cols, int rows) {
  if (cols < kMinCols || rows < kMinRows) {
    // Too small to show the screen: one line says so until it is not.
    valid_ = false;
    if (noticeShown_) return std::string();
    noticeShown_ = true;
    return "\x1b[0m\x1b[2J\x1b[H" + std::string(kTooSmall);
  }
  std::string out;
  const size_t cells = size_t(m.Width() * m.Height());
  if (shown_.size() != cells) {
    shown_.assign(cells, Cell());
    valid_ = false;
  }
  if (!valid_) out = "\x1b[0m\x1b[2J";  // a whole repaint starts clean
  noticeShown_ = false;
  const int width = m.Width() < cols ? m.Width() : cols;
  const int height = m.Height() < rows ? m.Height() : rows;
  int curCol = -1, curRow = -1, curAttr = -1;
  for (int row = 1; row <= height; ++row) {
    bool again = false;  // the cell is sent even if unchanged
    for (int col = 1; col <= width; ++col) {
      const Cell& c = m.At(col, row);
      Cell& s = shown_[size_t((row - 1) * m.Width() + col - 1)];
      const bool forced = again;
      again = false;
      if (valid_ && s == c && !forced) continue;
      s = c;
      // The second half of a wide character is drawn with its first.
      if (c.Code == kWideTail) continue;
      if (row != curRow || col != curCol) AppendMove(out, col, row);
      if (c.Attr != curAttr) AppendSgr(out, c.Attr), curAttr = c.Attr;
      curRow = row;
      curCol = col + 1;
      if (c.Code == 0) {
        out += Cp437Glyph(c.Ch);  // never a raw control byte
        continue;
      }
      const bool wide = col < m.Width() && m.At(col + 1, row).Code == kWideTail;
      if (wide && col == width) {
        out += ' ';  // the terminal's edge cuts it: no half of it is shown
        continue;
      }
      AppendUtf8(out, c.Code);
      for (char32_t mark : c.Marks)
        if (mark != 0) AppendUtf8(out, mark);
      // Where the terminal takes another width for the character than the
      // screen does, the next cell is still drawn in its own place; and
      // where it takes two columns for one, the cell it spilled onto (a
      // frame, unchanged) is sent again.
      curCol = -1;
      again = !wide;
    }
  }
  valid_ = true;
  // Nothing changed: nothing is written (an idle screen sends no bytes).
  if (out.empty() && m.CursorX() == cursorX_ && m.CursorY() == cursorY_) return out;
  cursorX_ = m.CursorX();
  cursorY_ = m.CursorY();
  if (cursorX_ <= cols && cursorY_ <= rows) AppendMove(out, cursorX_, cursorY_);
  return out;
}

std::string VtRenderer::PassThrough(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == 7) continue;
    if ((c >= 32 && c < 127) || c == '\r' || c == '\n' || c == '\b')
      out += ch;
    else
      out += Cp437Glyph(c);
  }
  return out;
}

}  // namespace ehi
