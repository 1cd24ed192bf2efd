#include "selectfiles.h"

#include <optional>
#include <string>

#include "UButtons.h"
#include "console.h"
#include "platform.h"
#include "process.h"
#include "textfile.h"

namespace ehi {

MouseEvent LastMouseEvent;
bool MouseClicked = false;
bool MouseWheeled = false;

void StartMouse() { EnableMouse(); }

void PollMouse() {
  MouseEvent e;
  if (PeekMouseEvent(e)) {
    LastMouseEvent = TakeMouseEvent();
    MouseClicked = LastMouseEvent.Buttons != 0 && LastMouseEvent.Action == 1;
    MouseWheeled = (LastMouseEvent.Action & (mouse::kWheelUp | mouse::kWheelDown)) != 0;
  } else {
    MouseClicked = MouseWheeled = false;
  }
}

namespace {

// The screen's widgets, held for the duration of one SelectFiles call.
struct Screen {
  Screen(DirPtr d, bool m) : dir(d), multi(m) {}
  DirPtr dir;
  bool multi;
  bool done = false;
  MarkableScrollWindow fileList{1, 2, 34, 25};
  std::optional<Field> maskField;
  std::optional<Button> selectAll, clearAll, switchMarks;
  std::optional<Button> byName, byExtension, byDate, bySize, ok, quit;

  Button& Framed(std::optional<Button>& b, int16_t x, int16_t y, const char* text,
                 uint8_t colour) {
    b.emplace(x, y, text);
    b->SetFrameColor(colour);
    b->SetTextColor(colour);
    b->Draw();
    return *b;
  }

  void Build(std::string_view mask, std::string_view heading) {
    std::string stars;
    for (int i = 1; i <= (76 - int(heading.size())) / 2; ++i) stars += '*';
    String line(stars + " " + std::string(heading) + " " + stars);
    SetBackground(1);
    ClearScreen();
    // The heading is the caller's text: its control characters show as
    // glyphs instead of moving the cursor.
    PutText(line.View());
    WriteLine(ConsoleOutput, "");

    fileList.SetTextColor(15);
    fileList.SetFrameColor(15);
    fileList.SetMarkColor(15);
    fileList.List = dir;
    // The mask is the user's, in the field: "\\" may separate its folders.
    dir->ReadListing(sys::TypedPath(mask), dir->AttrAllowed, dir->AttrRequired);
    fileList.Top = 1;
    fileList.Bottom = fileList.PageSize;
    fileList.Draw();

    int16_t c = 36, r = 4;
    GotoXY(c, r);
    SetForeground(2);
    SetBackground(1);
    PutText("Mask:");
    maskField.emplace(36, 5, mask, 37);
    maskField->SetFrameColor(2);
    maskField->SetTextColor(2);
    maskField->Draw();

    r = int16_t(maskField->Y2 + 1);
    GotoXY(36, r);
    SetForeground(15);
    SetBackground(1);
    PutText("File selections:");
    ++r;
    if (multi) c = int16_t(Framed(selectAll, c, r, "Select all", 15).X2 + 2);
    c = int16_t(Framed(clearAll, c, r, "Clear all", 15).X2 + 2);
    if (multi) Framed(switchMarks, c, r, "Switch", 15);

    c = 36;
    r = int16_t(clearAll->Y2 + 1);
    SetForeground(14);
    SetBackground(1);
    GotoXY(36, r);
    PutText("Sort by:");
    ++r;
    c = int16_t(Framed(byName, c, r, "Name", 14).X2 + 2);
    c = int16_t(Framed(byExtension, c, r, "Extension", 14).X2 + 2);
    c = int16_t(Framed(byDate, c, r, "Date", 14).X2 + 2);
    Framed(bySize, c, r, "Size", 14);

    ok.emplace(46, int16_t(bySize->Y2 + 2), "      OK");
    ok->SetFrameColor(10);
    ok->SetTextColor(10);
    ok->AddLine("done selecting");
    ok->Draw();
    Framed(quit, 47, int16_t(ok->Y2 + 1), "Quit Program", 12);
  }

  void Relist() {
    dir->ReadListing(sys::TypedPath(maskField->Lines[1].View()), dir->AttrAllowed,
                     dir->AttrRequired);
    fileList.Top = 1;
    fileList.Bottom = fileList.PageSize;
    fileList.Draw();
  }

  // The wheel over the list pages it as the arrow blocks do.
  void HandleWheel() {
    MouseX = int16_t(LastMouseEvent.X + 1);
    MouseY = int16_t(LastMouseEvent.Y + 1);
    if (!fileList.Detector.Hit()) return;
    GotoXY(1, 24);
    fileList.Scroll(LastMouseEvent.Action == mouse::kWheelUp);
  }

  void HandleClick() {
    MouseX = int16_t(LastMouseEvent.X + 1);
    MouseY = int16_t(LastMouseEvent.Y + 1);
    GotoXY(1, 24);
    if (fileList.UpDetector.Hit()) {
      fileList.Scroll(true);
    } else if (fileList.DownDetector.Hit()) {
      fileList.Scroll(false);
    } else if (fileList.Detector.Hit()) {
      int16_t item = fileList.ItemAt(MouseY);
      if (multi) {
        fileList.ToggleMark(item);
      } else {
        bool wasMarked = dir->IthMark(item);
        fileList.MarkAll(false);
        if (!wasMarked) fileList.ToggleMark(item);
      }
    }
    if (maskField->Detector.Hit()) {
      maskField->Edit();
      Relist();
    }
    if (multi && selectAll->Detector.Hit()) {
      fileList.MarkAll(true);
      fileList.Draw();
    }
    if (clearAll->Detector.Hit()) {
      fileList.MarkAll(false);
      fileList.Draw();
    }
    if (multi && switchMarks->Detector.Hit()) {
      fileList.InvertMarks();
      fileList.Draw();
    }
    if (byName->Detector.Hit()) PutText("Sort by name      ");
    if (bySize->Detector.Hit()) PutText("Sort by size      ");
    if (byExtension->Detector.Hit()) PutText("Sort by extension ");
    if (byDate->Detector.Hit()) PutText("Sort by date      ");
    if (ok->Detector.Hit()) done = true;
    if (quit->Detector.Hit()) {
      SetBackground(0);
      SetForeground(15);
      ClearScreen();
      WriteLine(ConsoleOutput, "User abort!");
      Halt(1);
    }
  }
};

}  // namespace

void SelectFiles(DirPtr& Dir, std::string_view Mask, std::string_view Heading,
                 bool MultiSelect) {
  StartMouse();
  Screen screen(Dir, MultiSelect);
  screen.Build(Mask, Heading);
  while (!screen.done) {
    bool input = false;
    if (KeyPressed()) {
      if (ReadKey() == 0) ReadKey();  // the second code of an extended key
      screen.done = true;
      input = true;
    }
    PollMouse();
    if (MouseClicked) screen.HandleClick();
    if (MouseWheeled) screen.HandleWheel();
    GotoXY(80, 25);
    // Nothing came: wait for input, so an open screen does not keep a
    // processor busy (and wakes at once when something comes).
    if (!input && !MouseClicked && !MouseWheeled) WaitForInput(100);
  }
  SetForeground(15);
  SetBackground(0);
  ClearScreen();
  Dir->CountSelected();
}

}  // namespace ehi
