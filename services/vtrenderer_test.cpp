#include "vtrenderer.h"

#include <gtest/gtest.h>

#include <string>

namespace ehi {
namespace {

// What a terminal is sent, step by step: only what changed, and nothing at
// all when nothing did.
TEST(VtRenderer, SendsOnlyWhatChanged) {
  ScreenModel m(80, 25, 0x07);
  VtRenderer r;
  const std::string first = r.Render(m, 80, 25);
  EXPECT_EQ(first.rfind("\x1b[0m\x1b[2J", 0), 0u);  // a whole first paint
  EXPECT_EQ(r.Render(m, 80, 25), "");                // idle: not a byte

  m.GotoXY(3, 2);
  m.Write("Hi", 0x1E);
  EXPECT_EQ(r.Render(m, 80, 25), "\x1b[2;3H\x1b[0;93;44mHi\x1b[2;5H");
  m.GotoXY(1, 1);
  EXPECT_EQ(r.Render(m, 80, 25), "\x1b[1;1H");  // the cursor alone

  m.GotoXY(1, 3);
  m.Write("\x1b", 0x07);  // a control byte in a cell is shown as its glyph
  EXPECT_EQ(r.Render(m, 80, 25).find("\x1b\x1b"), std::string::npos);
}

TEST(VtRenderer, TooSmallATerminalGetsOneNoticeThenAWholeRepaint) {
  ScreenModel m(80, 25, 0x07);
  VtRenderer r;
  r.Render(m, 80, 25);
  const std::string notice = r.Render(m, 79, 25);
  EXPECT_NE(notice.find(VtRenderer::kTooSmall), std::string::npos);
  EXPECT_EQ(r.Render(m, 60, 20), "");  // said once
  const std::string back = r.Render(m, 100, 30);
  EXPECT_EQ(back.rfind("\x1b[0m\x1b[2J", 0), 0u);
  EXPECT_NE(back.find("\x1b[25;1H"), std::string::npos);  // every row again
}

TEST(VtRenderer, PassThroughNeverSendsAControlByte) {
  EXPECT_EQ(VtRenderer::PassThrough("a\x07" "b\r\n\b"), "ab\r\n\b");
  EXPECT_EQ(VtRenderer::PassThrough("\x1b[2J").find('\x1b'), std::string::npos);
}

// A character of a name goes out as itself, a wide one once for its two
// cells, its marks with it; the cell after it is placed anew, and after a
// narrow one sent again even when unchanged (a terminal that takes two
// columns for it has drawn over that cell: a frame, as the list scrolls).
TEST(VtRenderer, CharactersOfNames) {
  ScreenModel m(80, 25, 0x07);
  VtRenderer r;
  r.Render(m, 80, 25);
  m.GotoXY(3, 2);
  m.WriteText(LayOutText("\xe6\xbc\xa2" "e\xcc\x81x", 31), 0x07);
  EXPECT_EQ(r.Render(m, 80, 25),
            "\x1b[2;3H\x1b[0;37;40m\xe6\xbc\xa2\x1b[2;5He\xcc\x81\x1b[2;6Hx\x1b[2;7H \x1b[2;7H");
  m.GotoXY(7, 2);
  m.Write("|", 0x07);
  r.Render(m, 80, 25);
  m.GotoXY(6, 2);
  m.WriteText(LayOutText("\xe4\xb7\x80", 1), 0x07);  // U+4DC0: wide on some terminals
  EXPECT_EQ(r.Render(m, 80, 25), "\x1b[2;6H\x1b[0;37;40m\xe4\xb7\x80\x1b[2;7H|\x1b[2;7H");
  // Cut by the terminal's edge, a wide character is not sent at all (the
  // terminal would wrap it onto the next row).
  ScreenModel wide(82, 25, 0x07);
  wide.GotoXY(80, 1);
  wide.WriteText(LayOutText("\xe6\xbc\xa2", 2), 0x07);
  VtRenderer cut;
  const std::string edge = cut.Render(wide, 80, 25);
  EXPECT_EQ(edge.find("\xe6\xbc\xa2"), std::string::npos);
}

}  // namespace
}  // namespace ehi
