#include "screenmodel.h"

#include <gtest/gtest.h>

#include <string>

namespace ehi {
namespace {

std::string Row(const ScreenModel& m, int row) {
  std::string s;
  for (int c = 1; c <= m.Width(); ++c) s += char(m.At(c, row).Ch);
  return s;
}

TEST(ScreenModel, ControlBytesAndWrapping) {
  ScreenModel m(10, 3, 7);
  m.Write("ab\x07" "c\bX", 0x1E);
  EXPECT_EQ(Row(m, 1), "abX       ");
  EXPECT_EQ(m.At(1, 1).Attr, 0x1E);
  EXPECT_EQ(m.CursorX(), 4);
  m.Write("\r", 7);
  EXPECT_EQ(m.CursorX(), 1);
  m.Write("\b", 7);  // not past the left column
  EXPECT_EQ(m.CursorX(), 1);
  m.Write("\n", 7);
  EXPECT_EQ(m.CursorY(), 2);
  EXPECT_EQ(m.CursorX(), 1);
  m.Write("\x1b\x01\t", 7);  // no other byte is a control
  EXPECT_EQ(m.At(1, 2).Ch, 27);
  EXPECT_EQ(m.At(3, 2).Ch, 9);
}

TEST(ScreenModel, FullWidthLineThenCrLfLeavesAnEmptyRow) {
  ScreenModel m(10, 4, 7);
  m.Write("0123456789\r\nnext", 7);
  EXPECT_EQ(Row(m, 1), "0123456789");
  EXPECT_EQ(Row(m, 2), "          ");
  EXPECT_EQ(Row(m, 3), "next      ");
}

TEST(ScreenModel, ScrollingFillsTheNewRowWithTheCurrentColours) {
  ScreenModel m(5, 3, 7);
  m.Write("one\r\ntwo\r\nthree\r\nfour", 0x17);
  EXPECT_EQ(Row(m, 1), "three");
  EXPECT_EQ(Row(m, 2), "     ");
  EXPECT_EQ(Row(m, 3), "four ");
  EXPECT_EQ(m.At(5, 3).Attr, 0x17);
  EXPECT_EQ(m.CursorY(), 3);
}

TEST(ScreenModel, GotoOutsideTheWindowIsIgnored) {
  ScreenModel m(80, 25, 7);
  m.GotoXY(10, 5);
  m.GotoXY(0, 5);
  m.GotoXY(81, 5);
  m.GotoXY(10, 26);
  EXPECT_EQ(m.CursorX(), 10);
  EXPECT_EQ(m.CursorY(), 5);
  m.Clear(0x20);
  EXPECT_EQ(m.CursorX(), 1);
  EXPECT_EQ(m.At(80, 25).Attr, 0x20);
}

// Characters of a name: a wide one takes two cells and never half of one
// survives an overwrite; one that does not fit on the row goes to the next.
TEST(ScreenModel, WideCharactersKeepTheirTwoCellsTogether) {
  ScreenModel m(6, 3, 7);
  m.WriteText(LayOutText("a\xe6\xbc\xa2\xc3\xa9", 6), 0x1F);
  EXPECT_EQ(m.At(2, 1).Code, char32_t(0x6F22));
  EXPECT_EQ(m.At(3, 1).Code, kWideTail);
  EXPECT_EQ(m.At(4, 1).Code, char32_t(0xE9));
  EXPECT_EQ(m.At(4, 1).Ch, 0x82);  // the glyph byte of the same character
  EXPECT_EQ(m.CursorX(), 5);
  m.GotoXY(3, 1);
  m.WriteGlyphs("x", 7);  // over its second half: the first goes blank
  EXPECT_EQ(Row(m, 1), "a x\x82  ");
  EXPECT_EQ(m.At(2, 1).Code, char32_t(0));
  m.GotoXY(5, 1);
  m.WriteText(LayOutText("\xe6\xbc\xa2\xe5\xad\x97", 6), 7);
  EXPECT_EQ(m.At(5, 1).Code, char32_t(0x6F22));
  EXPECT_EQ(m.At(1, 2).Code, char32_t(0x5B57));  // did not fit at column 6
  EXPECT_EQ(m.At(6, 1).Code, kWideTail);
  m.GotoXY(5, 1);
  m.WriteGlyphs("y", 7);  // over its first half: the second goes blank
  EXPECT_EQ(m.At(6, 1).Code, char32_t(0));
  EXPECT_EQ(m.At(6, 1).Ch, ' ');
}

}  // namespace
}  // namespace ehi
