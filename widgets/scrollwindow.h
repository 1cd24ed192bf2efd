// Scroll windows: one page of a string list inside a button frame, with
// blocks of up and down arrows that page through it, and (markable) a mark
// column and a title.
#pragma once

#include <cstdint>

#include "button.h"
#include "stringlist.h"

namespace ehi {

/// A framed page of a MarkableStringList that the owner pages with Scroll.
class ScrollWindow : public Button {
 public:
  ///@{
  /// The 2 x 2 cells of the up arrows and of the down arrows.
  MouseDetector UpDetector;
  MouseDetector DownDetector;
  ///@}
  /// The entries shown; set by the owner, not owned.
  MarkableStringList* List = nullptr;
  ///@{
  /// The top left cell of the up arrows and of the down arrows.
  int16_t UpX = 0, UpY = 0, DownX = 0, DownY = 0;
  ///@}
  ///@{
  /// Index of the entry on the first row, and of the last entry shown.
  int16_t Top = 0, Bottom = 0;
  ///@}
  /// Number of entry rows.
  int16_t PageSize = 0;
  /// The character of the up arrows.
  uint8_t UpChar = 24;
  /// The character of the down arrows.
  uint8_t DownChar = 25;
  /// The colour of the arrows.
  uint8_t ArrowColor = 0;

  /// A window with the rectangle (X1, Y1)-(X2, Y2), no list and no page.
  ScrollWindow(int16_t PassX1, int16_t PassY1, int16_t PassX2, int16_t PassY2);

  /// Sets ArrowColor.
  void SetArrowColor(uint8_t C) { ArrowColor = C; }
  /// One page towards the start (Up) or the end, then redraws.
  void Scroll(bool Up);
  /// The entry shown on a screen row, or 0.
  int16_t ItemAt(int16_t Row) const;
  void Draw() override;
};

/// A scroll window with a mark column ("*" beside marked entries) and an
/// optional title on its top border.
class MarkableScrollWindow : public ScrollWindow {
 public:
  /// The title on the top border; none when empty.
  String Title;
  /// The colour of the mark column.
  uint8_t MarkColor = 0;

  /// A window with the rectangle (X1, Y1)-(X2, Y2), no list and no page.
  MarkableScrollWindow(int16_t PassX1, int16_t PassY1, int16_t PassX2, int16_t PassY2);

  /// Sets MarkColor.
  void SetMarkColor(uint8_t C) { MarkColor = C; }
  void Draw() override;
  /// Paints the mark cell of entry I when it is on the page.
  void DrawMark(int16_t I);
  /// Flips the mark of entry I and paints its cell.
  void ToggleMark(int16_t I);
  /// Sets every mark and paints the cells on the page.
  void MarkAll(bool ToWhat);
  /// Flips every mark; paints nothing (the owner redraws).
  void InvertMarks();
};

}  // namespace ehi
