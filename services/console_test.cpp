#include "console.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "consolebackend.h"
#include "glyphs.h"
#include "headless.h"
#include "mousequeue.h"
#include "textfile.h"

namespace ehi {
namespace {

class Console : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessConsole();
    IoError = 0;
  }
};

TEST_F(Console, ColourArithmetic) {
  SetBackground(1);
  SetForeground(14);
  EXPECT_EQ(TextAttr, 0x1E);
  SetBackground(9);  // only the eight dark colours: 9 gives 1
  EXPECT_EQ(TextAttr, 0x1E);
  SetForeground(0x8C);  // above 127: the high-intensity background bit
  EXPECT_EQ(TextAttr, 0x9C);
  SetBackground(2);  // bit 7 stays
  EXPECT_EQ(TextAttr, 0xAC);
}

TEST_F(Console, WritesGoToTheCellsInTheCurrentColours) {
  SetBackground(1);
  SetForeground(15);
  ClearScreen();
  EXPECT_EQ(ScreenAttr(80, 25), 0x1F);
  GotoXY(5, 3);
  WriteTextString(ConsoleOutput, "Hi");
  CheckIo();
  EXPECT_EQ(ScreenChar(5, 3), 'H');
  EXPECT_EQ(ScreenChar(6, 3), 'i');
  EXPECT_EQ(ScreenAttr(5, 3), 0x1F);
  EXPECT_EQ(WhereX(), 7);
  GotoXY(0, 5);
  GotoXY(81, 5);
  EXPECT_EQ(WhereX(), 7);
  EXPECT_EQ(WhereY(), 3);
}

TEST_F(Console, ScrollingKeepsTheBackgroundOfTheNewRow) {
  ClearScreen();
  SetBackground(4);
  for (int i = 0; i < 26; ++i) WriteLine(ConsoleOutput, "line " + std::to_string(i));
  EXPECT_EQ(ScreenRow(24).substr(0, 7), "line 25");
  EXPECT_EQ(ScreenRow(1).substr(0, 6), "line 2");
  EXPECT_EQ(ScreenAttr(1, 25) >> 4, 4);
}

TEST_F(Console, ExtendedKeysComeAsZeroThenTheCode) {
  PushExtendedKey(59);  // F1
  PushExtendedKey(15);  // Shift+Tab
  PushKey('x');
  EXPECT_TRUE(KeyPressed());
  EXPECT_EQ(ReadKey(), 0);
  EXPECT_TRUE(KeyPressed());  // the code is pending
  EXPECT_EQ(ReadKey(), 59);
  EXPECT_EQ(ReadKey(), 0);
  EXPECT_EQ(ReadKey(), 15);
  EXPECT_EQ(ReadKey(), 'x');
  EXPECT_FALSE(KeyPressed());
}

std::string ReadConsoleLine() {
  String s;
  ReadTextLine(ConsoleInput, s);
  CheckIo();
  return s.Str();
}

TEST_F(Console, LineInputEditing) {
  ClearScreen();
  PushKeys("abc");
  PushExtendedKey(71);  // Home
  PushKeys("X");        // overwrites inside the line
  PushKey(8);           // Backspace inside the line: nothing
  PushExtendedKey(79);  // End
  PushKey(8);           // removes the last character
  PushExtendedKey(53);  // keypad slash stores "/"
  PushKey(26);          // Ctrl-Z is ignored
  PushKey(13);
  EXPECT_EQ(ReadConsoleLine(), "Xb/");
  EXPECT_EQ(ScreenRow(1).substr(0, 4), "Xb/ ");
  EXPECT_EQ(WhereY(), 2);

  PushKeys("gone");
  PushKey(27);  // Escape empties the line
  PushKeys("ok");
  PushExtendedKey(28);  // keypad Enter
  EXPECT_EQ(ReadConsoleLine(), "ok");
  EXPECT_EQ(ScreenRow(2).substr(0, 5), "ok   ");

  PushKey(13);  // Enter at once: the empty line
  EXPECT_EQ(ReadConsoleLine(), "");
}

// Reports from past the window's edge keep the buttons' state but act on
// nothing.
TEST_F(Console, ReportsPastTheWindowActOnNothing) {
  EnableMouse();
  PushMouse(1, 200, 3);
  PushMouse(1, 65535, 3);
  MouseEvent e;
  EXPECT_FALSE(PeekMouseEvent(e));
  PushMouse(0, 5, 3);  // let go on the screen: a release, not a click
  ASSERT_TRUE(PeekMouseEvent(e));
  EXPECT_EQ(TakeMouseEvent().Action, mouse::kUp);
}

// Row 1 as a terminal shows it: each character once (a wide one's second
// cell adds nothing), each byte as its glyph.
std::string ShownRow() {
  std::string out;
  const ScreenModel& m = ConsoleModel();
  for (int x = 1; x <= m.Width(); ++x) {
    const Cell& c = m.At(x, 1);
    if (c.Code == 0) out += Cp437Glyph(c.Ch);
    else if (c.Code != kWideTail) AppendUtf8(out, c.Code);
  }
  return out.substr(0, out.find_last_not_of(' ') + 1);
}

// On a console that shows characters, a character typed in UTF-8 is edited
// whole and echoed as itself in the cells it takes; elsewhere, and for
// bytes that are no character, each byte takes a cell of its own.
TEST_F(Console, LineInputEditsCharactersWhole) {
  constexpr int kHome = -71, kLeft = -75, kEnd = -79;  // extended keys
  const struct {
    const char* name;
    bool characters;
    std::vector<int> keys;  // bytes typed; negative: an extended key
    std::string line, shown;
  } cases[] = {
      {"a wide character overwritten by a narrow one",
       true, {'a', 0xE6, 0x97, 0xA5, 'b', kLeft, kLeft, 0xC3, 0xA9, kEnd, 'c'},
       "a\xC3\xA9" "bc", "a\xC3\xA9" "bc"},
      {"Backspace takes a whole character",
       true, {0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC, 8, 'x'}, "\xE6\x97\xA5x", "\xE6\x97\xA5x"},
      {"Escape clears every cell", true, {'o', 0xE6, 0x97, 0xA5, 27, 'k'}, "k", "k"},
      {"Home, then a wide character over a narrow one",
       true, {'a', 'b', kHome, 0xE6, 0x97, 0xA5}, "\xE6\x97\xA5" "b", "\xE6\x97\xA5" "b"},
      {"a byte that starts no character", true, {0xC3, '('}, "\xC3(", "\u251C("},
      {"a console that shows bytes", false, {0xC3, 0xA9}, "\xC3\xA9", "\u251C\u2310"},
  };
  for (const auto& c : cases) {
    UseHeadlessConsole(c.characters);
    ClearScreen();
    WriteTextString(ConsoleOutput, "> ");  // what stands before the line stays
    for (int k : c.keys) k < 0 ? PushExtendedKey(uint8_t(-k)) : PushKey(char(k));
    PushKey(13);
    EXPECT_EQ(ReadConsoleLine(), c.line) << c.name;
    EXPECT_EQ(ShownRow(), "> " + c.shown) << c.name;
  }
}

TEST_F(Console, LineInputKeeps254Characters) {
  ClearScreen();
  PushKeys(std::string(300, 'k'));
  PushKey(13);
  String s;
  ReadTextString(ConsoleInput, s);
  SkipTextLine(ConsoleInput);
  EXPECT_EQ(s.Length(), 254);
}

TEST_F(Console, MouseQueueRules) {
  EnableMouse();
  PushClick(0, 0);  // top-left cell
  MouseEvent e;
  ASSERT_TRUE(PeekMouseEvent(e));
  e = TakeMouseEvent();
  EXPECT_EQ(e.Action, 1);
  EXPECT_EQ(e.Buttons, 1);
  EXPECT_EQ(e.X, 0);
  EXPECT_EQ(e.Y, 0);
  e = TakeMouseEvent();
  EXPECT_EQ(e.Action, 2);
  EXPECT_EQ(e.Buttons, 0);
  EXPECT_FALSE(PeekMouseEvent(e));

  // Seventeen events before the first take: the seventeenth is lost.
  for (uint16_t i = 0; i < 17; ++i) PushMouse(i % 2 ? 0 : 1, i, 0);
  for (uint16_t i = 0; i < 16; ++i) {
    e = TakeMouseEvent();
    EXPECT_EQ(e.X, i);
    EXPECT_EQ(e.Action, i % 2 ? 2 : 1);
  }
  EXPECT_FALSE(PeekMouseEvent(e));
}

TEST(MouseQueue, ActionsAndMergedMoves) {
  MouseQueue q;
  q.Report({0, 1, 1});  // a move with no buttons
  q.Report({0, 2, 1});  // merges with the previous move
  q.Report({0, 2, 1});  // nothing changed: no event
  q.Report({1, 2, 1});  // down
  q.Report({3, 2, 1});  // right added: down again
  q.Report({2, 3, 1});  // left released (and moved): up
  MouseEvent e;
  ASSERT_TRUE(q.Take(e));
  EXPECT_EQ(e.Action, 4);
  EXPECT_EQ(e.X, 2);
  ASSERT_TRUE(q.Take(e));
  EXPECT_EQ(e.Action, 1);
  ASSERT_TRUE(q.Take(e));
  EXPECT_EQ(e.Action, 1);
  EXPECT_EQ(e.Buttons, 3);
  ASSERT_TRUE(q.Take(e));
  EXPECT_EQ(e.Action, 2);
  EXPECT_EQ(e.Buttons, 2);
  EXPECT_FALSE(q.Take(e));
}

}  // namespace
}  // namespace ehi
