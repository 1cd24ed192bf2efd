#include "button.h"

#include <string>

#include "console.h"
#include "textfile.h"

namespace ehi {

namespace {

void PutChar(uint8_t c) { PutText(std::string_view(reinterpret_cast<const char*>(&c), 1)); }

}  // namespace

Button::Button(int16_t X, int16_t Y, std::string_view S) {
  FrameColor = DefaultFrameColor;
  TextColor = DefaultTextColor;
  BackColor = DefaultBackColor;
  X1 = X;
  Y1 = Y;
  LeftMargin = DefaultLeftMargin;
  RightMargin = DefaultRightMargin;
  SetFrameStyle(DefaultFrameStyle);
  if (!S.empty()) AddLine(S);
}

void Button::SetFrameStyle(uint8_t Style) {
  static const uint8_t kSets[5][8] = {
      {},
      {218, 191, 192, 217, 179, 179, 196, 196},
      {201, 187, 200, 188, 186, 186, 205, 205},
      {222, 221, 222, 221, 222, 221, 223, 220},
      {219, 219, 219, 219, 219, 219, 219, 219},
  };
  int s = Style % 4;
  if (s == 0) s = 4;
  const uint8_t* c = kSets[s];
  TopLeft = c[0], TopRight = c[1], BottomLeft = c[2], BottomRight = c[3];
  LeftSide = c[4], RightSide = c[5], TopEdge = c[6], BottomEdge = c[7];
  // A restyled button must never draw stale borders.
  if (X2 != 0 || Y2 != 0) Layout();
}

void Button::Layout() {
  MaxLen = int16_t(X2 - X1 - 1 - LeftMargin.Length() - RightMargin.Length());
  int inner = X2 - X1 - 1;
  if (inner < 0) inner = 0;
  if (inner > 255) inner = 255;
  TopLine = std::string(size_t(inner), char(TopEdge));
  BottomLine = std::string(size_t(inner), char(BottomEdge));
  Detector.SetArea(X1, X2, Y1, Y2);
}

void Button::AddLine(std::string_view S) {
  if (NLines >= MaxWidgetLines) return;  // a line past the storage is refused
  ++NLines;
  Lines[NLines] = S;
  Y2 = int16_t(Y1 + NLines + 1);
  if (Lines[NLines].Length() > MaxLen) {
    MaxLen = int16_t(Lines[NLines].Length());
    X2 = int16_t(X1 + MaxLen + LeftMargin.Length() + RightMargin.Length() + 1);
  }
  Layout();
}

void Button::Draw() {
  if (X2 == 0 && Y2 == 0) return;
  GotoXY(X1, Y1);
  SetForeground(FrameColor);
  SetBackground(BackColor);
  PutChar(TopLeft);
  PutText(TopLine.View());
  PutChar(TopRight);
  for (int i = 1; i <= Y2 - Y1 - 1; ++i) {
    GotoXY(X1, Y1 + i);
    SetForeground(FrameColor);
    PutChar(LeftSide);
    SetForeground(TextColor);
    std::string_view t = i <= NLines && i <= MaxWidgetLines ? Lines[i].View() : std::string_view();
    PutText(LeftMargin.View());
    if (TextIsName) {
      PutBlanks(MaxLen - PutName(t, MaxLen));
    } else {
      PutText(t);
      PutBlanks(MaxLen - int(t.size()));
    }
    PutText(RightMargin.View());
    SetForeground(FrameColor);
    PutChar(RightSide);
  }
  GotoXY(X1, Y2);
  SetForeground(FrameColor);
  PutChar(BottomLeft);
  PutText(BottomLine.View());
  PutChar(BottomRight);
}

TTicBox::TTicBox(int16_t X, int16_t Y, bool PassTicked) : Area(X, Y, " ") {
  TickChar = 'X';
  EmptyChar = '_';
  Ticked = PassTicked;
  Changed = false;
}

void TTicBox::Draw() {
  if (Ticked) {
    Lines[1] = std::string_view(reinterpret_cast<const char*>(&TickChar), 1);
    TextColor = 15;
  } else {
    Lines[1] = std::string_view(reinterpret_cast<const char*>(&EmptyChar), 1);
    TextColor = 8;
  }
  Area::Draw();
  Changed = false;
}

void TTicBox::Toggle() {
  Ticked = !Ticked;
  Draw();
  Changed = true;
}

Field::Field(int16_t X, int16_t Y, std::string_view S, int16_t PassWidth) : Button(X, Y, "") {
  Width = PassWidth;
  TextIsName = true;
  int blanks = PassWidth >= 1 ? PassWidth : 1;
  if (blanks > 255) blanks = 255;
  AddLine(std::string(size_t(blanks), ' '));
  Lines[1] = S;
}

void Field::Edit() {
  SetForeground(TextColor);
  for (int i = 1; i <= NLines && i <= MaxWidgetLines; ++i) {
    GotoXY(X1 + 1 + LeftMargin.Length(), Y1 + i);
    PutBlanks(MaxLen >= 1 ? MaxLen : 1);
  }
  for (int i = 1; i <= NLines && i <= MaxWidgetLines; ++i) {
    GotoXY(X1 + 1 + LeftMargin.Length(), Y1 + i);
    ReadTextLine(ConsoleInput, Lines[i]);
    CheckIo();
  }
}

}  // namespace ehi
