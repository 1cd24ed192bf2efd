#include "button.h"

#include <gtest/gtest.h>

#include <string>

#include "console.h"
#include "widget_testutil.h"

namespace ehi {
namespace {

using test::Cells;
using test::Snapshot;

class Buttons : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessConsole();
    InitUButtons();
    ClearScreen();
  }
};

std::string Repeat(int n, unsigned char c) { return std::string(size_t(n), char(c)); }
std::string B(unsigned char c) { return std::string(1, char(c)); }

TEST_F(Buttons, ClearAllButton) {
  Button b(36, 9, "Clear all");
  EXPECT_EQ(b.X2, 48);
  EXPECT_EQ(b.Y2, 11);
  EXPECT_EQ(b.MaxLen, 9);
  b.SetFrameColor(14);
  b.Draw();
  EXPECT_EQ(Cells(36, 9, 13), B(218) + Repeat(11, 196) + B(191));
  EXPECT_EQ(Cells(36, 10, 13), B(179) + " Clear all " + B(179));
  EXPECT_EQ(Cells(36, 11, 13), B(192) + Repeat(11, 196) + B(217));
  EXPECT_EQ(ScreenAttr(36, 9), 0x1E);   // frame: yellow on blue
  EXPECT_EQ(ScreenAttr(48, 10), 0x1E);
  EXPECT_EQ(ScreenAttr(37, 10), 0x1F);  // margin and text: white on blue
  EXPECT_EQ(ScreenAttr(40, 10), 0x1F);
  EXPECT_EQ(Cells(35, 10, 1), " ");     // nothing outside the frame
  EXPECT_EQ(Cells(49, 10, 1), " ");
}

TEST_F(Buttons, OkButtonWithTwoLines) {
  Button b(46, 17, "      OK");
  b.AddLine("done selecting");
  EXPECT_EQ(b.X2, 63);
  EXPECT_EQ(b.Y2, 20);
  EXPECT_EQ(b.MaxLen, 14);
  EXPECT_EQ(b.Detector.X1, 46);
  EXPECT_EQ(b.Detector.X2, 63);
  EXPECT_EQ(b.Detector.Y1, 17);
  EXPECT_EQ(b.Detector.Y2, 20);
  b.Draw();
  EXPECT_EQ(Cells(47, 18, 16), "       OK       ");
  EXPECT_EQ(Cells(47, 19, 16), " done selecting ");
  EXPECT_EQ(Cells(63, 20, 1), B(217));
}

TEST_F(Buttons, ShorterSecondLineGrowsOnlyDownwards) {
  Button b(1, 1, "longer");
  b.AddLine("ab");
  EXPECT_EQ(b.X2, 10);
  EXPECT_EQ(b.MaxLen, 6);
  EXPECT_EQ(b.Y2, 4);
  MouseX = 5, MouseY = 4;
  EXPECT_TRUE(b.Detector.Hit());  // the new bottom border row
}

TEST_F(Buttons, FrameStyles) {
  struct Case {
    uint8_t style;
    uint8_t topLeft, topEdge, bottomEdge, rightSide;
  };
  const Case cases[] = {{0, 219, 219, 219, 219}, {4, 219, 219, 219, 219},
                        {8, 219, 219, 219, 219}, {5, 218, 196, 196, 179},
                        {6, 201, 205, 205, 186}, {7, 222, 223, 220, 221}};
  for (const Case& c : cases) {
    Button b(1, 1, "x");
    b.SetFrameStyle(c.style);
    EXPECT_EQ(b.TopLeft, c.topLeft) << int(c.style);
    EXPECT_EQ(b.TopEdge, c.topEdge) << int(c.style);
    EXPECT_EQ(b.BottomEdge, c.bottomEdge) << int(c.style);
    EXPECT_EQ(b.RightSide, c.rightSide) << int(c.style);
    // The borders are rebuilt at once: no stale edge is drawn.
    b.Draw();
    EXPECT_EQ(ScreenChar(2, 1), c.topEdge) << int(c.style);
    EXPECT_EQ(ScreenChar(2, 3), c.bottomEdge) << int(c.style);
  }
}

TEST_F(Buttons, ButtonWithoutRectangleDrawsNothing) {
  Button b(10, 10, "");
  EXPECT_EQ(b.X2, 0);
  EXPECT_EQ(b.Y2, 0);
  auto before = Snapshot();
  b.Draw();
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(Buttons, SixthLineLeavesTheButtonAsItWas) {
  Button b(1, 1, "1");
  for (const char* s : {"2", "3", "4", "5"}) b.AddLine(s);
  b.AddLine("sixth line, much longer");
  EXPECT_EQ(b.NLines, 5);
  EXPECT_EQ(b.Y2, 7);
  EXPECT_EQ(b.MaxLen, 1);
}

TEST_F(Buttons, TickBox) {
  TTicBox t(10, 5, false);
  EXPECT_EQ(t.X2, 10);
  EXPECT_EQ(t.Y2, 5);
  t.Draw();
  EXPECT_EQ(ScreenChar(10, 5), '_');
  EXPECT_EQ(ScreenAttr(10, 5), 0x18);  // dark grey on blue
  t.Toggle();
  EXPECT_EQ(ScreenChar(10, 5), 'X');
  EXPECT_EQ(ScreenAttr(10, 5), 0x1F);
  EXPECT_TRUE(t.Ticked);
  EXPECT_TRUE(t.Changed);
  auto before = Snapshot();
  t.Draw();
  EXPECT_FALSE(t.Changed);
  EXPECT_EQ(Snapshot(), before);
  MouseX = 10, MouseY = 5;
  EXPECT_TRUE(t.Detector.Hit());
  MouseX = 11;
  EXPECT_FALSE(t.Detector.Hit());
}

TEST_F(Buttons, FieldGeometryAndDrawing) {
  Field f(36, 5, "*.*", 37);
  EXPECT_EQ(f.X2, 76);
  EXPECT_EQ(f.Y2, 7);
  EXPECT_EQ(f.MaxLen, 37);
  EXPECT_EQ(f.Lines[1].Str(), "*.*");
  f.Draw();
  EXPECT_EQ(Cells(36, 6, 41), B(179) + " *.*" + std::string(34, ' ') + " " + B(179));

  Field narrow(1, 1, "", 0);
  EXPECT_EQ(narrow.MaxLen, 1);
  EXPECT_EQ(narrow.X2, 5);
}

// A field's text is what a user typed or a mask given: a name in UTF-8
// shows as its characters where the console shows them, and no text runs
// over the frame.
TEST_F(Buttons, FieldShowsItsTextInTheZone) {
  const struct {
    bool characters;
    std::string text, zone;  // the zone's 37 cells as their bytes
  } cases[] = {
      {true, "caf\xC3\xA9*", "caf\x82*" + std::string(32, ' ')},
      {false, "caf\xC3\xA9*", "caf\xC3\xA9*" + std::string(31, ' ')},
      {true, std::string(50, 'q'), std::string(37, 'q')},
  };
  for (const auto& c : cases) {
    UseHeadlessConsole(c.characters);
    ClearScreen();
    Field f(36, 5, c.text, 37);
    f.Draw();
    EXPECT_EQ(Cells(36, 6, 41), B(179) + " " + c.zone + " " + B(179)) << c.text;
  }
}

TEST_F(Buttons, FieldEditReadsATypedLine) {
  Field f(36, 5, "*.*", 37);
  f.Draw();
  PushKeys(std::string(50, 'q'));
  PushKey(13);
  f.Edit();
  EXPECT_EQ(f.Lines[1].Str(), std::string(50, 'q'));
  // Typed text runs on over the frame; the zone was cleared first.
  EXPECT_EQ(Cells(38, 6, 43), std::string(43, 'q'));

  PushKey(13);  // Enter at once
  f.Edit();
  EXPECT_EQ(f.Lines[1].Str(), "");
  EXPECT_EQ(Cells(38, 6, 37), std::string(37, ' '));
}

}  // namespace
}  // namespace ehi
