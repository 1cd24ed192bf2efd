#include "scrollwindow.h"

#include "console.h"

namespace ehi {

ScrollWindow::ScrollWindow(int16_t PassX1, int16_t PassY1, int16_t PassX2, int16_t PassY2)
    : Button(PassX1, PassY1, "") {
  UpChar = 24;
  DownChar = 25;
  ArrowColor = DefaultArrowColor;
  X2 = PassX2;
  Y2 = PassY2;
  PageSize = int16_t(Y2 - Y1 - 1);
  Layout();
  UpX = int16_t(X2 - 2);
  DownX = UpX;
  UpY = int16_t(Y1 + 1);
  DownY = int16_t(Y2 - 2);
  UpDetector = MouseDetector(UpX, int16_t(UpX + 1), UpY, int16_t(UpY + 1));
  DownDetector = MouseDetector(DownX, int16_t(DownX + 1), DownY, int16_t(DownY + 1));
}

void ScrollWindow::Scroll(bool Up) {
  const int n = List->NStrings;
  int top = Top, bottom = Bottom;
  if (Up) {
    top -= PageSize;
    if (top < 1) top = 1;
    bottom = top + PageSize - 1;
  } else {
    bottom += PageSize;
    if (bottom > n) bottom = n;
    top = bottom - PageSize + 1;
  }
  if (top < 1) top = 1;
  if (bottom > n) bottom = n;
  Top = int16_t(top);
  Bottom = int16_t(bottom);
  Draw();
}

int16_t ScrollWindow::ItemAt(int16_t Row) const {
  int i = Row - Y1 + Top - 1;
  return (i < Top || i > Bottom) ? 0 : int16_t(i);
}

void ScrollWindow::Draw() {
  const int w = X2 - X1 - 2;
  Button::Draw();
  SetForeground(ArrowColor);
  const char up[2] = {char(UpChar), char(UpChar)};
  const char down[2] = {char(DownChar), char(DownChar)};
  if (Top > 1) {
    GotoXY(UpX, UpY);
    PutText(std::string_view(up, 2));
    GotoXY(UpX, UpY + 1);
    PutText(std::string_view(up, 2));
  }
  if (Bottom < List->NStrings) {
    GotoXY(DownX, DownY);
    PutText(std::string_view(down, 2));
    GotoXY(DownX, DownY + 1);
    PutText(std::string_view(down, 2));
  }
  SetForeground(TextColor);
  for (int i = Top; i <= Bottom; ++i) {
    GotoXY(X1 + 1 + LeftMargin.Length(), Y1 + i - Top + 1);
    String80 t = List->IthString(int16_t(i));
    PutName(t.View(), w);
  }
}

MarkableScrollWindow::MarkableScrollWindow(int16_t PassX1, int16_t PassY1, int16_t PassX2,
                                           int16_t PassY2)
    : ScrollWindow(PassX1, PassY1, PassX2, PassY2) {
  MarkColor = DefaultMarkColor;
  Title = "";
}

void MarkableScrollWindow::Draw() {
  ScrollWindow::Draw();
  if (!Title.Empty()) {
    GotoXY(X1 + (X2 - X1) / 2 - Title.Length() / 2, Y1);
    PutText(Title.View());
  }
  if (List->UsingMarks) {
    SetForeground(MarkColor);
    for (int i = Top; i <= Bottom; ++i) {
      if (List->IthMark(int16_t(i))) {
        GotoXY(X1 + 1, Y1 + 1 + i - Top);
        PutText("*");
      }
    }
  }
}

void MarkableScrollWindow::DrawMark(int16_t I) {
  if (I < Top || I > Bottom) return;
  GotoXY(X1 + 1, Y1 + I - Top + 1);
  SetForeground(MarkColor);
  PutText(List->IthMark(I) ? "*" : " ");
}

void MarkableScrollWindow::ToggleMark(int16_t I) {
  List->SetIthMark(I, !List->IthMark(I));
  DrawMark(I);
}

void MarkableScrollWindow::MarkAll(bool ToWhat) {
  for (int i = 1; i <= List->NStrings; ++i) {
    List->SetIthMark(int16_t(i), ToWhat);
    DrawMark(int16_t(i));
  }
}

void MarkableScrollWindow::InvertMarks() {
  for (int i = 1; i <= List->NStrings; ++i) List->SetIthMark(int16_t(i), !List->IthMark(int16_t(i)));
}

}  // namespace ehi
