// The Windows console backend on a real console (Wine's, in a terminal):
// the cells it writes for names, and the input it leaves behind at the end.
#include "platform_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "console.h"
#include "consolebackend.h"

namespace ehi {
namespace {

HANDLE Out() { return sys::Win(sys::TerminalOutput()); }
HANDLE In() { return sys::Win(sys::TerminalInput()); }

class WindowsConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    int w = 80, h = 25;
    std::unique_ptr<ConsoleBackend> b = CreatePlatformConsoleBackend(w, h);
    if (!b) GTEST_SKIP() << "no console";
    InstallConsoleBackend(std::move(b), w, h, 7);
    ::FlushConsoleInputBuffer(In());
    ClearScreen();
  }
  void TearDown() override { ReleaseConsole(); }

  static void Send(DWORD type, DWORD buttons, wchar_t c = 0) {
    INPUT_RECORD r = {};
    r.EventType = WORD(type);
    r.Event.MouseEvent.dwButtonState = buttons;
    if (type == KEY_EVENT) {
      r.Event.KeyEvent.bKeyDown = TRUE;
      r.Event.KeyEvent.wRepeatCount = 1;
      r.Event.KeyEvent.uChar.UnicodeChar = c;
    }
    DWORD written = 0;
    ::WriteConsoleInputW(In(), &r, 1, &written);
  }
  static DWORD Pending() {
    DWORD n = 0;
    ::GetNumberOfConsoleInputEvents(In(), &n);
    return n;
  }
};

// Names in UTF-8 reach the console as their characters: a wide one in two
// cells marked as its halves, a cut name ending in the mark, the frame
// beside it kept.
TEST_F(WindowsConsole, NamesInUtf8AreTheirCharacters) {
  GotoXY(34, 4);
  PutGlyphs("\xb3");
  GotoXY(3, 3);
  PutName("\xe6\xbc\xa2 caf\xc3\xa9", 31);
  GotoXY(3, 4);
  PutName("abcdefghijklmnopqrstuvwxyz0123\xe6\xbc\xa2x", 31);
  CONSOLE_SCREEN_BUFFER_INFO info;
  ASSERT_TRUE(::GetConsoleScreenBufferInfo(Out(), &info));
  const struct {
    int col, row;
    wchar_t ch;
    WORD halves;
  } table[] = {
      {3, 3, 0x6F22, COMMON_LVB_LEADING_BYTE}, {4, 3, 0x6F22, COMMON_LVB_TRAILING_BYTE},
      {5, 3, L' ', 0}, {9, 3, 0xE9, 0}, {32, 4, L'3', 0}, {33, 4, 0x2026, 0}, {34, 4, 0x2502, 0},
  };
  for (const auto& w : table) {
    CHAR_INFO c = {};
    const SHORT x = SHORT(info.srWindow.Left + w.col - 1), y = SHORT(info.srWindow.Top + w.row - 1);
    SMALL_RECT r = {x, y, x, y};
    ::ReadConsoleOutputW(Out(), &c, COORD{1, 1}, COORD{0, 0}, &r);
    EXPECT_EQ(c.Char.UnicodeChar, w.ch) << w.col << "," << w.row;
    EXPECT_EQ(c.Attributes & (COMMON_LVB_LEADING_BYTE | COMMON_LVB_TRAILING_BYTE), w.halves)
        << w.col << "," << w.row;
  }
}

// Nothing is left for the next program: keys left unread, and the release
// of a button held at the end, which comes late and is waited for. The
// input mode is the one found.
TEST_F(WindowsConsole, NoInputIsLeftAtTheEnd) {
  for (bool held : {false, true}) {
    SCOPED_TRACE(held ? "a button held" : "keys left unread");
    DWORD before = 0;
    ::GetConsoleMode(In(), &before);
    ClearScreen();
    for (wchar_t c : std::wstring(L"left")) Send(KEY_EVENT, 0, c);
    std::thread late;
    if (held) {
      EnableMouse();
      Send(MOUSE_EVENT, FROM_LEFT_1ST_BUTTON_PRESSED);
      MouseEvent e;
      for (int i = 0; i < 200 && !PeekMouseEvent(e); ++i) ::Sleep(5);
      late = std::thread([] {
        ::Sleep(150);
        Send(MOUSE_EVENT, 0);
      });
    }
    ReleaseConsole();
    if (late.joinable()) late.join();
    EXPECT_EQ(Pending(), 0u);
    DWORD after = 0;
    ::GetConsoleMode(In(), &after);
    EXPECT_EQ(after, before);
    SetUp();
  }
}

}  // namespace
}  // namespace ehi
