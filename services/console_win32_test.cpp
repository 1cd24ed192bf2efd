// The Windows console backend on a real console (Wine's, in a terminal):
// the cells it writes for names, and the input it leaves behind at the end.
// Skipped without a console.
#include "platform_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "console.h"
#include "consolebackend.h"

namespace ehi {
namespace {

class WindowsConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    int w = 80, h = 25;
    std::unique_ptr<ConsoleBackend> b = CreatePlatformConsoleBackend(w, h);
    if (!b) GTEST_SKIP() << "no console";
    InstallConsoleBackend(std::move(b), w, h, 7);
    out_ = sys::Win(sys::TerminalOutput());
    in_ = sys::Win(sys::TerminalInput());
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(::GetConsoleScreenBufferInfo(out_, &info));
    left_ = info.srWindow.Left;
    top_ = info.srWindow.Top;
    ::FlushConsoleInputBuffer(in_);
  }
  void TearDown() override { ReleaseConsole(); }

  // The console's own cell at a 1-based column and row of the window.
  CHAR_INFO At(int col, int row) {
    CHAR_INFO c = {};
    SMALL_RECT r = {SHORT(left_ + col - 1), SHORT(top_ + row - 1), SHORT(left_ + col - 1),
                    SHORT(top_ + row - 1)};
    ::ReadConsoleOutputW(out_, &c, COORD{1, 1}, COORD{0, 0}, &r);
    return c;
  }
  void Send(const INPUT_RECORD& r) {
    DWORD written = 0;
    ::WriteConsoleInputW(in_, &r, 1, &written);
  }
  static INPUT_RECORD Mouse(DWORD buttons) {
    INPUT_RECORD r = {};
    r.EventType = MOUSE_EVENT;
    r.Event.MouseEvent.dwMousePosition = COORD{4, 4};
    r.Event.MouseEvent.dwButtonState = buttons;
    return r;
  }
  static INPUT_RECORD Key(wchar_t c) {
    INPUT_RECORD r = {};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = TRUE;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.uChar.UnicodeChar = c;
    return r;
  }
  DWORD Pending() {
    DWORD n = 0;
    ::GetNumberOfConsoleInputEvents(in_, &n);
    return n;
  }

  HANDLE out_ = INVALID_HANDLE_VALUE, in_ = INVALID_HANDLE_VALUE;
  int left_ = 0, top_ = 0;
};

// Names in UTF-8 reach the console as their characters: a wide one in two
// cells marked as its halves, a cut name ending in the mark, the frame
// beside it kept.
TEST_F(WindowsConsole, NamesInUtf8AreTheirCharacters) {
  ClearScreen();
  GotoXY(34, 4);
  PutGlyphs("\xb3");
  GotoXY(3, 3);
  PutName("\xe6\xbc\xa2 caf\xc3\xa9", 31);
  GotoXY(3, 4);
  PutName("abcdefghijklmnopqrstuvwxyz0123\xe6\xbc\xa2x", 31);
  struct Want {
    int col, row;
    wchar_t ch;
    WORD halves;
  };
  const Want table[] = {
      {3, 3, 0x6F22, COMMON_LVB_LEADING_BYTE}, {4, 3, 0x6F22, COMMON_LVB_TRAILING_BYTE},
      {5, 3, L' ', 0},                         {9, 3, 0xE9, 0},
      {32, 4, L'3', 0},                        {33, 4, 0x2026, 0},
      {34, 4, 0x2502, 0},
  };
  for (const Want& w : table) {
    const CHAR_INFO c = At(w.col, w.row);
    EXPECT_EQ(c.Char.UnicodeChar, w.ch) << w.col << "," << w.row;
    EXPECT_EQ(c.Attributes & (COMMON_LVB_LEADING_BYTE | COMMON_LVB_TRAILING_BYTE), w.halves)
        << w.col << "," << w.row;
  }
}

// Keys left unread when the screen ends never reach the next program.
TEST_F(WindowsConsole, KeysLeftAtTheEndAreDiscarded) {
  ClearScreen();
  for (wchar_t c : std::wstring(L"left over")) Send(Key(c));
  ASSERT_GT(Pending(), 0u);
  ReleaseConsole();
  EXPECT_EQ(Pending(), 0u);
}

// A button held when the screen ends: its release, late, is taken in too.
TEST_F(WindowsConsole, TheReleaseOfAHeldButtonIsWaitedFor) {
  DWORD before = 0;
  ::GetConsoleMode(in_, &before);
  ClearScreen();
  EnableMouse();
  Send(Mouse(FROM_LEFT_1ST_BUTTON_PRESSED));
  MouseEvent e;
  for (int i = 0; i < 200 && !PeekMouseEvent(e); ++i) ::Sleep(5);
  ASSERT_TRUE(PeekMouseEvent(e));
  std::thread late([this] {
    ::Sleep(150);
    Send(Mouse(0));
  });
  ReleaseConsole();
  late.join();
  EXPECT_EQ(Pending(), 0u);
  DWORD after = 0;
  ::GetConsoleMode(in_, &after);
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace ehi
