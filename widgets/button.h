// Framed buttons, tick boxes and one-line entry fields.
#pragma once

#include <cstdint>
#include <string_view>

#include "area.h"

namespace ehi {

/// A framed block of text lines. Each row between the borders holds the
/// left frame character, LeftMargin, a text zone of MaxLen columns,
/// RightMargin and the right frame character.
class Button : public Area {
 public:
  /// The colour of the frame.
  uint8_t FrameColor = 0;
  ///@{
  /// A frame character of the style in force (code page 437).
  uint8_t TopLeft = 0, TopRight = 0, BottomLeft = 0, BottomRight = 0;
  uint8_t LeftSide = 0, RightSide = 0, TopEdge = 0, BottomEdge = 0;
  ///@}
  ///@{
  /// A border string, prepared by Layout.
  String TopLine;
  String BottomLine;
  ///@}
  ///@{
  /// The text between the frame and the text zone on each row.
  String LeftMargin;
  String RightMargin;
  ///@}
  /// The text lines are names or typed text (data): shown as PutName shows
  /// a name, as characters where the console shows them, and cut at the
  /// text zone; otherwise byte for byte through the glyph table.
  bool TextIsName = false;

  /// A button at (X, Y) with first line S (none when S is empty).
  Button(int16_t X, int16_t Y, std::string_view S);

  /// Sets FrameColor.
  void SetFrameColor(uint8_t C) { FrameColor = C; }
  /// 1 single line, 2 double line, 3 half blocks, 4 (and 0) full blocks;
  /// any value is taken modulo 4. Rebuilds the borders of a sized button.
  void SetFrameStyle(uint8_t Style);
  /// Recomputes the text width, the border strings and the detector from
  /// the rectangle.
  void Layout();
  /// Adds a line; the frame grows around it. A sixth line is ignored.
  void AddLine(std::string_view S) override;
  /// Frame in FrameColor, margins and text in TextColor, on BackColor. A
  /// button without a rectangle yet draws nothing.
  void Draw() override;
};

/// A one-cell tick box: "X" in white when ticked, "_" in dark grey when not.
class TTicBox : public Area {
 public:
  /// Whether the box is ticked.
  bool Ticked = false;
  /// True after Toggle, until the next Draw.
  bool Changed = false;
  /// The character of a ticked box.
  uint8_t TickChar = 'X';
  /// The character of an empty box.
  uint8_t EmptyChar = '_';

  /// A box at (X, Y), ticked or not.
  TTicBox(int16_t X, int16_t Y, bool PassTicked);
  /// Flips the box, redraws it and sets Changed.
  void Toggle();
  void Draw() override;
};

/// A framed one-line text entry box of a requested width.
class Field : public Button {
 public:
  /// A field at (X, Y) showing S, with a text zone of PassWidth columns
  /// (at least one).
  Field(int16_t X, int16_t Y, std::string_view S, int16_t PassWidth);
  /// Clears the text zone, then reads one line typed at the keyboard into
  /// Lines[1]. Does not redraw.
  void Edit();
};

}  // namespace ehi
