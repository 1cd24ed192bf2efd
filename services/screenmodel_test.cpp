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

}  // namespace
}  // namespace ehi
