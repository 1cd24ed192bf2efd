#include "area.h"

#include <gtest/gtest.h>

#include "console.h"
#include "widget_testutil.h"

namespace ehi {
namespace {

using test::Cells;
using test::Snapshot;

class Widgets : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessConsole();
    InitUButtons();
    ClearScreen();
  }
};

TEST_F(Widgets, DetectorBoundsAreInclusive) {
  MouseDetector d(10, 20, 5, 7);
  MouseX = 10, MouseY = 5;
  EXPECT_TRUE(d.Hit());
  EXPECT_EQ(d.RelX, 1);
  EXPECT_EQ(d.RelY, 1);
  MouseX = 20, MouseY = 7;
  EXPECT_TRUE(d.Hit());
  EXPECT_EQ(d.RelX, 11);
  EXPECT_EQ(d.RelY, 3);
  MouseX = 21;
  EXPECT_FALSE(d.Hit());
  EXPECT_EQ(d.RelX, 11);  // a miss keeps the last hit
  d.SetArea(1, 2, 1, 2);
  EXPECT_EQ(d.RelX, 11);
  EXPECT_EQ(d.RelY, 3);
  MouseX = 9, MouseY = 6;
  EXPECT_FALSE(MouseDetector(10, 20, 5, 7).Hit());
}

TEST_F(Widgets, AreaGrowsWithItsLinesAndPaintsEveryRowInFull) {
  Area a(5, 3, "abcde");
  a.AddLine("xy");
  EXPECT_EQ(a.NLines, 2);
  EXPECT_EQ(a.MaxLen, 5);
  EXPECT_EQ(a.X2, 9);
  EXPECT_EQ(a.Y2, 4);
  EXPECT_EQ(a.Detector.X1, 5);
  EXPECT_EQ(a.Detector.X2, 9);
  EXPECT_EQ(a.Detector.Y2, 4);
  GotoXY(1, 4);
  SetBackground(0);
  a.Draw();
  EXPECT_EQ(Cells(4, 3, 7), " abcde ");
  EXPECT_EQ(Cells(5, 4, 6), "xy    ");
  EXPECT_EQ(ScreenAttr(9, 4), 0x1F);  // the filling blanks in the area's colours
  EXPECT_EQ(ScreenAttr(10, 4), 0x07);  // nothing beyond X2
}

TEST_F(Widgets, EmptyLinesMakeNoHittableArea) {
  Area none(5, 3, "");
  EXPECT_EQ(none.NLines, 0);
  auto before = Snapshot();
  none.Draw();
  EXPECT_EQ(Snapshot(), before);
  MouseX = 1, MouseY = 1;
  EXPECT_FALSE(none.Detector.Hit());

  Area blank(5, 3, "");
  blank.AddLine("");
  EXPECT_EQ(blank.NLines, 1);
  EXPECT_EQ(blank.Y2, 3);
  EXPECT_EQ(blank.X2, 0);
  MouseX = 5, MouseY = 3;
  EXPECT_FALSE(blank.Detector.Hit());
}

TEST_F(Widgets, ColourSettersWaitForTheNextDraw) {
  Area a(1, 1, "text");
  a.Draw();
  auto before = Snapshot();
  a.SetTextColor(4);
  EXPECT_EQ(Snapshot(), before);
  a.Draw();
  EXPECT_EQ(ScreenAttr(1, 1), 0x14);
}

TEST_F(Widgets, SixthLineIsIgnored) {
  Area a(1, 1, "1");
  for (const char* s : {"2", "3", "4", "5"}) a.AddLine(s);
  Area copy = a;
  a.AddLine("a much longer sixth line");
  EXPECT_EQ(a.NLines, 5);
  EXPECT_EQ(a.MaxLen, copy.MaxLen);
  EXPECT_EQ(a.Y2, copy.Y2);
  EXPECT_EQ(a.TextColor, copy.TextColor);
}

}  // namespace
}  // namespace ehi
