#include "screenmodel.h"

#include <algorithm>

#include "glyphs.h"

namespace ehi {

ScreenModel::ScreenModel(int width, int height, uint8_t attr)
    : width_(width), height_(height), cells_(size_t(width * height), Cell{' ', attr}) {}

void ScreenModel::ScrollUp(uint8_t attr) {
  std::copy(cells_.begin() + width_, cells_.end(), cells_.begin());
  std::fill(cells_.end() - width_, cells_.end(), Cell{' ', attr});
}

void ScreenModel::Put(unsigned char c, uint8_t attr) {
  Cell cell;
  cell.Ch = c;
  cell.Attr = attr;
  Place(cell);
}

// The cell at column x of the cursor's row stops being half of a wide
// character: its other half becomes a blank.
void ScreenModel::Unpair(int x) {
  Cell& c = Here(x);
  if (c.Code == kWideTail && x > 0) {
    Cell& head = Here(x - 1);
    head = Cell{' ', head.Attr};
  } else if (c.Code != 0 && x + 1 < width_ && Here(x + 1).Code == kWideTail) {
    Cell& tail = Here(x + 1);
    tail = Cell{' ', tail.Attr};
  }
}

void ScreenModel::Place(const Cell& c) {
  Unpair(x_);
  Here(x_) = c;
  ++x_;
}

// Keeps the cursor in the window: wraps at the right edge, scrolls at the
// bottom with the new row blank in `attr`.
void ScreenModel::Wrap(uint8_t attr) {
  if (x_ >= width_) {
    x_ = 0;
    ++y_;
  }
  while (y_ >= height_) {
    ScrollUp(attr);
    --y_;
  }
}

void ScreenModel::Write(std::string_view bytes, uint8_t attr) {
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case 7: break;
      case 8:
        if (x_ > 0) --x_;
        break;
      case 10: ++y_; break;
      case 13: x_ = 0; break;
      default: Put(c, attr); break;
    }
    Wrap(attr);
  }
}

void ScreenModel::WriteGlyphs(std::string_view bytes, uint8_t attr) {
  for (char ch : bytes) {
    Put(static_cast<unsigned char>(ch), attr);
    Wrap(attr);
  }
}

void ScreenModel::WriteText(const std::vector<TextPiece>& pieces, uint8_t attr) {
  for (const TextPiece& p : pieces) {
    if (p.Code == 0) {
      Put(p.Byte, attr);
      Wrap(attr);
      continue;
    }
    if (p.Columns == 2 && x_ + 1 >= width_) {
      if (width_ < 2) break;  // no room for it on any row
      Put(' ', attr);
      Wrap(attr);
    }
    Cell head;
    head.Ch = Cp437ByteOf(p.Code);
    head.Attr = attr;
    head.Code = p.Code;
    head.Marks[0] = p.Marks[0];
    head.Marks[1] = p.Marks[1];
    Place(head);
    if (p.Columns == 2) {
      Cell tail;
      tail.Attr = attr;
      tail.Code = kWideTail;
      Place(tail);
    }
    Wrap(attr);
  }
}

void ScreenModel::Clear(uint8_t attr) {
  std::fill(cells_.begin(), cells_.end(), Cell{' ', attr});
  x_ = y_ = 0;
}

void ScreenModel::GotoXY(int col, int row) {
  if (col < 1 || col > width_ || row < 1 || row > height_) return;
  x_ = col - 1;
  y_ = row - 1;
}

}  // namespace ehi
