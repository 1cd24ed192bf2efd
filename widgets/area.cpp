#include "area.h"

#include <string>

#include "console.h"
#include "textfile.h"

namespace ehi {

int16_t MouseX = 0;
int16_t MouseY = 0;
uint8_t DefaultTextColor = 0;
uint8_t DefaultBackColor = 0;
uint8_t DefaultFrameColor = 0;
uint8_t DefaultArrowColor = 0;
uint8_t DefaultMarkColor = 0;
uint8_t DefaultFrameStyle = 0;
String DefaultLeftMargin;
String DefaultRightMargin;

void InitUButtons() {
  MouseX = 0;
  MouseY = 0;
  DefaultTextColor = 15;
  DefaultBackColor = 1;
  DefaultFrameColor = 15;
  DefaultArrowColor = 14;
  DefaultMarkColor = 2;
  DefaultFrameStyle = 1;
  DefaultLeftMargin = " ";
  DefaultRightMargin = " ";
}

// Widgets draw text that may come from data (names, titles, fields): every
// byte is shown as its glyph, so a name with a line feed cannot move the
// cursor and overwrite the screen.
void PutText(std::string_view s) { PutGlyphs(s); }

void PutBlanks(int count) {
  if (count <= 0) return;
  WriteTextString(ConsoleOutput, "", count);
  CheckIo();
}

MouseDetector::MouseDetector(int16_t x1, int16_t x2, int16_t y1, int16_t y2)
    : X1(x1), Y1(y1), X2(x2), Y2(y2) {}

void MouseDetector::SetArea(int16_t x1, int16_t x2, int16_t y1, int16_t y2) {
  X1 = x1;
  X2 = x2;
  Y1 = y1;
  Y2 = y2;
}

bool MouseDetector::Hit() {
  if (MouseX < X1 || MouseX > X2 || MouseY < Y1 || MouseY > Y2) return false;
  RelX = int16_t(MouseX - X1 + 1);
  RelY = int16_t(MouseY - Y1 + 1);
  return true;
}

Area::Area(int16_t X, int16_t Y, std::string_view S) {
  TextColor = DefaultTextColor;
  BackColor = DefaultBackColor;
  X1 = X;
  Y1 = Y;
  if (!S.empty()) AddLine(S);
}

void Area::AddLine(std::string_view S) {
  if (NLines >= MaxWidgetLines) return;  // a line past the storage is refused
  ++NLines;
  Lines[NLines] = S;
  Y2 = int16_t(Y1 + NLines - 1);
  if (Lines[NLines].Length() > MaxLen) {
    MaxLen = int16_t(Lines[NLines].Length());
    X2 = int16_t(X1 + MaxLen - 1);
  }
  Detector.SetArea(X1, X2, Y1, Y2);
}

void Area::Draw() {
  SetForeground(TextColor);
  SetBackground(BackColor);
  for (int i = 1; i <= Y2 - Y1 + 1 && i <= MaxWidgetLines; ++i) {
    GotoXY(X1, Y1 + i - 1);
    PutText(Lines[i].View());
    PutBlanks(MaxLen - Lines[i].Length());
  }
}

}  // namespace ehi
