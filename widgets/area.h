// The module's defaults, the rectangle hit test and the Area: a block of up
// to five text lines in two colours.
#pragma once

#include <cstdint>
#include <string_view>

#include "shortstring.h"

namespace ehi {

/// The text lines an Area, a Button or a Field holds, at most.
constexpr int MaxWidgetLines = 5;

/// Column (1-based) of the click being dispatched; set by the host.
extern int16_t MouseX;
/// Row (1-based) of the click being dispatched; set by the host.
extern int16_t MouseY;
///@{
/// A colour or style that new widgets take when they are constructed.
extern uint8_t DefaultTextColor;
extern uint8_t DefaultBackColor;
extern uint8_t DefaultFrameColor;
extern uint8_t DefaultArrowColor;
extern uint8_t DefaultMarkColor;
extern uint8_t DefaultFrameStyle;
extern String DefaultLeftMargin;
extern String DefaultRightMargin;
///@}

/// Sets the module's defaults; runs before the directory module's.
void InitUButtons();

/// A sensitive rectangle, all four bounds inclusive.
class MouseDetector {
 public:
  ///@{
  /// The bounds: columns X1..X2, rows Y1..Y2.
  int16_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  ///@}
  ///@{
  /// Position of the last hit relative to the rectangle (X1 is 1); 0 before.
  int16_t RelX = 0, RelY = 0;
  ///@}

  MouseDetector() = default;
  /// Note the order: both horizontal bounds, then both vertical bounds.
  MouseDetector(int16_t x1, int16_t x2, int16_t y1, int16_t y2);
  /// Replaces the bounds; RelX and RelY stay.
  void SetArea(int16_t x1, int16_t x2, int16_t y1, int16_t y2);
  /// Whether (MouseX, MouseY) lies in the rectangle; sets RelX and RelY.
  bool Hit();
};

/// A block of up to five lines in a text and a background colour.
class Area {
 public:
  /// The lines, at indices 1 to 5 (index 0 is not used).
  String Lines[MaxWidgetLines + 1];
  ///@{
  /// The rectangle: columns X1..X2, rows Y1..Y2.
  int16_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  ///@}
  /// Width of the text (the longest line for an area).
  int16_t MaxLen = 0;
  /// The number of lines held.
  int16_t NLines = 0;
  /// The requested character width of a Field; 0 for other widgets.
  int16_t Width = 0;
  /// The colour of the text.
  uint8_t TextColor = 0;
  /// The colour of the background.
  uint8_t BackColor = 0;
  /// Kept equal to the widget's rectangle.
  MouseDetector Detector;

  /// An area at (X, Y) with first line S (none when S is empty).
  Area(int16_t X, int16_t Y, std::string_view S);
  virtual ~Area() = default;

  /// Sets TextColor.
  void SetTextColor(uint8_t C) { TextColor = C; }
  /// Sets BackColor.
  void SetBackColor(uint8_t C) { BackColor = C; }
  /// Adds a line below the others; a sixth line is ignored.
  virtual void AddLine(std::string_view S);
  /// Paints every row in full, in the area's colours.
  virtual void Draw();

 protected:
  /// For descendants that set the fields themselves.
  Area() = default;
};

/// Writes `s` at the cursor, every byte shown as its glyph (control bytes
/// too).
void PutText(std::string_view s);
/// Writes `count` blanks at the cursor.
void PutBlanks(int count);

}  // namespace ehi
