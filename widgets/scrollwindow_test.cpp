#include "scrollwindow.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "console.h"
#include "widget_testutil.h"

namespace ehi {
namespace {

using test::Cells;
using test::Snapshot;

class Scrolling : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessConsole();
    InitUButtons();
    ClearScreen();
  }
  // A window at (1, 2)-(34, 25) over `n` entries "entry 1" ...
  std::unique_ptr<MarkableScrollWindow> Window(int n, bool marks = true) {
    list_ = std::make_unique<MarkableStringList>(100, marks);
    for (int i = 1; i <= n; ++i) list_->AddString("entry " + std::to_string(i));
    auto w = std::make_unique<MarkableScrollWindow>(1, 2, 34, 25);
    w->List = list_.get();
    w->Top = 1;
    w->Bottom = w->PageSize;
    return w;
  }
  std::unique_ptr<MarkableStringList> list_;
};

TEST_F(Scrolling, Geometry) {
  auto w = Window(0);
  EXPECT_EQ(w->PageSize, 22);
  EXPECT_EQ(w->UpDetector.X1, 32);
  EXPECT_EQ(w->UpDetector.X2, 33);
  EXPECT_EQ(w->UpDetector.Y1, 3);
  EXPECT_EQ(w->UpDetector.Y2, 4);
  EXPECT_EQ(w->DownDetector.Y1, 23);
  EXPECT_EQ(w->DownDetector.Y2, 24);
  EXPECT_EQ(w->Detector.X1, 1);
  EXPECT_EQ(w->Detector.X2, 34);
  EXPECT_EQ(w->Detector.Y1, 2);
  EXPECT_EQ(w->Detector.Y2, 25);
  EXPECT_EQ(w->NLines, 0);
}

TEST_F(Scrolling, ArrowsAndEntries) {
  auto w = Window(50);
  w->Draw();
  EXPECT_EQ(Cells(3, 3, 7), "entry 1");
  EXPECT_EQ(Cells(3, 24, 8), "entry 22");
  EXPECT_EQ(Cells(32, 3, 2), "  ");  // no up arrows on the first page
  EXPECT_EQ(Cells(32, 23, 2), "\x19\x19");
  EXPECT_EQ(Cells(32, 24, 2), "\x19\x19");
  EXPECT_EQ(ScreenAttr(32, 23), 0x1E);  // yellow arrows on blue
  EXPECT_EQ(ScreenAttr(3, 3), 0x1F);
  EXPECT_EQ(ScreenChar(1, 2), 218);
  EXPECT_EQ(ScreenChar(34, 25), 217);
}

TEST_F(Scrolling, PagingWithFiftyAndWithTenEntries) {
  auto w = Window(50);
  w->Scroll(false);
  EXPECT_EQ(w->Top, 23);
  EXPECT_EQ(w->Bottom, 44);
  EXPECT_EQ(Cells(32, 3, 2), "\x18\x18");
  EXPECT_EQ(Cells(32, 4, 2), "\x18\x18");
  EXPECT_EQ(Cells(32, 23, 2), "\x19\x19");
  w->Scroll(false);
  EXPECT_EQ(w->Top, 29);
  EXPECT_EQ(w->Bottom, 50);
  EXPECT_EQ(Cells(32, 23, 2), "  ");
  EXPECT_EQ(Cells(3, 24, 8), "entry 50");
  w->Scroll(true);
  EXPECT_EQ(w->Top, 7);
  EXPECT_EQ(w->Bottom, 28);
  w->Scroll(true);
  EXPECT_EQ(w->Top, 1);
  EXPECT_EQ(w->Bottom, 22);

  auto few = Window(10);
  few->Scroll(false);
  EXPECT_EQ(few->Top, 1);
  EXPECT_EQ(few->Bottom, 10);
}

TEST_F(Scrolling, ItemAtRows) {
  auto w = Window(50);
  w->Scroll(false);
  EXPECT_EQ(w->ItemAt(2), 0);
  EXPECT_EQ(w->ItemAt(25), 0);
  EXPECT_EQ(w->ItemAt(3), 23);
  EXPECT_EQ(w->ItemAt(24), 44);
}

TEST_F(Scrolling, LongEntryCoversTheArrowsAndTitleIsCentred) {
  auto w = Window(30);
  list_->InsertInList(23, std::string(40, 'L'));
  w->Title = "Files";
  w->Scroll(false);  // entries 9..30, with entry 9 the top row... page down
  ASSERT_GT(w->Top, 1);
  // Put the long entry on the first row of the page.
  list_->DeleteFromList(w->Top);
  list_->InsertInList(w->Top, std::string(40, 'L'));
  w->Draw();
  EXPECT_EQ(Cells(3, 3, 31), std::string(31, 'L'));
  EXPECT_EQ(Cells(34, 3, 1), "\xb3");  // cut: the frame stays
  EXPECT_EQ(Cells(32, 4, 2), "\x18\x18");  // the arrows of the next row stay
  EXPECT_EQ(Cells(15, 2, 5), "Files");
  EXPECT_EQ(ScreenAttr(15, 2), 0x1F);
}

TEST_F(Scrolling, MarksOnAndOffThePage) {
  auto w = Window(50);
  list_->SetIthMark(2, true);
  w->Draw();
  EXPECT_EQ(ScreenChar(2, 4), '*');
  EXPECT_EQ(ScreenAttr(2, 4), 0x12);  // green on blue
  EXPECT_EQ(ScreenChar(2, 3), ' ');

  auto before = Snapshot();
  w->ToggleMark(30);  // not on the page
  EXPECT_TRUE(list_->IthMark(30));
  EXPECT_EQ(Snapshot(), before);

  w->ToggleMark(3);
  EXPECT_EQ(ScreenChar(2, 5), '*');
  w->ToggleMark(3);
  EXPECT_EQ(ScreenChar(2, 5), ' ');

  w->MarkAll(true);
  EXPECT_EQ(list_->NSelected, 50);
  EXPECT_EQ(ScreenChar(2, 24), '*');
}

TEST_F(Scrolling, InvertMarksPaintsNothing) {
  auto w = Window(3);
  list_->SetIthMark(1, true);
  list_->SetIthMark(3, true);
  w->Draw();
  auto before = Snapshot();
  w->InvertMarks();
  EXPECT_FALSE(list_->IthMark(1));
  EXPECT_TRUE(list_->IthMark(2));
  EXPECT_FALSE(list_->IthMark(3));
  EXPECT_EQ(Snapshot(), before);
  w->Draw();
  EXPECT_EQ(ScreenChar(2, 3), ' ');
  EXPECT_EQ(ScreenChar(2, 4), '*');
}

TEST_F(Scrolling, ListWithoutMarksShowsNoAsterisks) {
  auto w = Window(5, false);
  w->Draw();
  for (int row = 3; row <= 24; ++row) EXPECT_EQ(ScreenChar(2, row), ' ');
}

}  // namespace
}  // namespace ehi
