#include "consolekeys.h"

#include <gtest/gtest.h>

#include <vector>

namespace ehi {
namespace {

struct Collect : InputSink {
  std::vector<KeyEvent> Keys;
  void OnKey(const KeyEvent& k) override { Keys.push_back(k); }
  void OnMouse(const MouseState&) override {}
};

using namespace conkey;
constexpr uint32_t kAlt = kLeftAlt, kCtrl = kLeftCtrl;

ConsoleKeyRecord Down(uint16_t vk, uint16_t scan, char16_t ch, uint32_t control = 0) {
  return {true, vk, scan, ch, control};
}
ConsoleKeyRecord Up(uint16_t vk, uint16_t scan, uint32_t control = 0, char16_t ch = 0) {
  return {false, vk, scan, ch, control};
}
KeyEvent Ext(uint8_t code) { return {code, true}; }
KeyEvent Chr(uint8_t code) { return {code, false}; }

// Each row: the records of one keystroke and the keys they make.
struct Case {
  const char* Name;
  std::vector<ConsoleKeyRecord> Records;
  std::vector<KeyEvent> Keys;
};

TEST(ConsoleKeys, RecordsBecomeTheConsolesKeys) {
  const std::vector<Case> cases = {
      {"letter", {Down('A', 30, 'a'), Up('A', 30)}, {Chr('a')}},
      {"modifiers alone are passed over",
       {Down(0x10, 42, 0, kShift), Down(0x11, 29, 0, kCtrl), Down(0x12, 56, 0, kAlt),
        Down(0x14, 58, 0), Down(0x90, 69, 0), Down(0x91, 70, 0)},
       {}},
      {"F1 plain, Shift, Ctrl, Alt",
       {Down(0x70, 59, 0), Down(0x70, 59, 0, kShift), Down(0x70, 59, 0, kCtrl),
        Down(0x70, 59, 0, kAlt)},
       {Ext(59), Ext(84), Ext(94), Ext(104)}},
      {"F12 plain, Shift, Ctrl, Alt",
       {Down(0x7B, 88, 0), Down(0x7B, 88, 0, kShift), Down(0x7B, 88, 0, kCtrl),
        Down(0x7B, 88, 0, kAlt | kCtrl)},
       {Ext(134), Ext(136), Ext(138), Ext(140)}},
      {"cursor block: enhanced, Ctrl forms",
       {Down(0x24, 71, 0, kEnhanced), Down(0x26, 72, 0, kEnhanced | kCtrl),
        Down(0x21, 73, 0, kEnhanced | kCtrl | kShift), Down(0x2E, 83, 0, kEnhanced | kCtrl)},
       {Ext(71), Ext(141), Ext(132), Ext(147)}},
      {"Shift+Tab and Ctrl+Tab are extended, Tab is a character",
       {Down(0x09, 15, 9, kShift), Down(0x09, 15, 9, kCtrl), Down(0x09, 15, 9)},
       {Ext(15), Ext(148), Chr(9)}},
      {"keypad Enter and slash (enhanced) against the main keys",
       {Down(0x0D, 28, 13, kEnhanced), Down(0x0D, 28, 13), Down(0x6F, 53, '/', kEnhanced),
        Down(0xBF, 53, '/'), Down(0x6F, 53, 0, kEnhanced | kCtrl), Down(0x6F, 53, 0, kEnhanced | kAlt)},
       {Ext(28), Chr(13), Ext(53), Chr('/'), Ext(149), Ext(164)}},
      {"Alt with the digit row, letters, Enter and Del",
       {Down('1', 2, '1', kAlt), Down(0xBB, 13, '=', kAlt), Down('Q', 16, 'q', kAlt),
        Down(0x0D, 28, 13, kAlt), Down(0x2E, 83, 0, kAlt | kEnhanced)},
       {Ext(120), Ext(131), Ext(16), Ext(166), Ext(163)}},
      {"right Alt (AltGr) with a character types the character",
       {Down('Q', 16, '@', kRightAlt | kLeftCtrl)},
       {Chr('@')}},
      {"Alt + keypad 6 5 types 'A' when Alt is let go",
       {Down(0x12, 56, 0, kAlt), Down(0x66, 77, 0, kAlt), Down(0x65, 76, 0, kAlt), Up(0x12, 56)},
       {Chr('A')}},
      {"the Alt number is kept in 8 bits; 0 types nothing",
       {Down(0x62, 80, 0, kAlt), Down(0x65, 76, 0, kAlt), Down(0x68, 72, 0, kAlt), Up(0x12, 56),
        Down(0x60, 82, 0, kAlt), Up(0x12, 56)},
       {Chr(2)}},  // 258 mod 256
      {"letting go of Alt without digits types nothing",
       {Down(0x12, 56, 0, kAlt), Up(0x12, 56)},
       {}},
      {"Ctrl letters are characters", {Down('Y', 21, 25, kCtrl), Down('Z', 44, 26, kCtrl)},
       {Chr(25), Chr(26)}},
      // Characters beyond ASCII come as their UTF-8 bytes, as names are.
      {"a character beyond ASCII", {Down(0xDE, 40, u'\u00E9'), Down(0, 0, u'\u65E5')},
       {Chr(0xC3), Chr(0xA9), Chr(0xE6), Chr(0x97), Chr(0xA5)}},
      {"a surrogate pair in two records, a release between",
       {Down(0, 0, 0xD83D), Up(0, 0), Down(0, 0, 0xDE00)},
       {Chr(0xF0), Chr(0x9F), Chr(0x98), Chr(0x80)}},
      {"a first half cut short by another key",
       {Down(0, 0, 0xD83D), Down(0x24, 71, 0, kEnhanced)},
       {Chr(0xED), Chr(0xA0), Chr(0xBD), Ext(71)}},
      {"Alt + keypad 1 3 0: the character the system made, else the glyph's",
       {Down(0x12, 56, 0, kAlt), Down(0x61, 79, 0, kAlt), Down(0x63, 81, 0, kAlt),
        Down(0x60, 82, 0, kAlt), Up(0x12, 56, 0, u'\u00E9'), Down(0x12, 56, 0, kAlt),
        Down(0x61, 79, 0, kAlt), Down(0x63, 81, 0, kAlt), Down(0x60, 82, 0, kAlt), Up(0x12, 56)},
       {Chr(0xC3), Chr(0xA9), Chr(0xC3), Chr(0xA9)}},
  };
  for (const Case& c : cases) {
    ConsoleKeyMapper mapper;
    Collect sink;
    for (const ConsoleKeyRecord& r : c.Records) mapper.Feed(r, sink);
    EXPECT_EQ(sink.Keys, c.Keys) << c.Name;
  }
}

TEST(ConsoleKeys, MouseButtonsAndCellsRelativeToTheWindow) {
  EXPECT_EQ(ConsoleMouseState(0x1, 0, 0, 0, 0), (MouseState{1, 0, 0}));
  EXPECT_EQ(ConsoleMouseState(0x2 | 0x4, 10, 30, 0, 20), (MouseState{6, 10, 10}));
  // Buttons beyond the third are not the console's; a cell left of or above
  // the window is its edge.
  EXPECT_EQ(ConsoleMouseState(0x8 | 0x1, 2, 3, 5, 5), (MouseState{1, 0, 0}));
}

}  // namespace
}  // namespace ehi
