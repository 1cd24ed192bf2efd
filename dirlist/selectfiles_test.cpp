#include "selectfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>

#include "UButtons.h"
#include "console.h"
#include "consolebackend.h"
#include "headless.h"
#include "testutil.h"
#include "widget_testutil.h"

namespace ehi {
namespace {

using test::Cells;
using test::TempDir;
using test::WriteFile;

std::string B179() { return std::string(1, char(179)); }

class Selecting : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessConsole();
    InitUButtons();
    InitUDir2();
    for (int i = 1; i <= 30; ++i) {
      char name[16];
      snprintf(name, sizeof name, "f%02d.txt", i);
      WriteFile(dir_ / name, "");
    }
    WriteFile(dir_ / "other.dat", "");
    listing_ = std::make_unique<Directory>(100, true);
    ptr_ = listing_.get();
  }
  void Run(bool multi, const std::string& heading = "Pick") {
    SelectFiles(ptr_, dir_.Path() + "/*.txt", heading, multi);
  }
  // Clicks the entry on page row k (1-based) of the list window.
  void ClickRow(int k, uint16_t button = 1) { ScriptClick(5, uint16_t(2 + k - 1), button); }
  // 0-based cell inside a widget, from its 1-based top-left corner.
  void ClickAt(int col, int row) { ScriptClick(uint16_t(col - 1), uint16_t(row - 1)); }
  std::vector<int> Marked() {
    std::vector<int> v;
    for (int i = 1; i <= ptr_->NStrings; ++i)
      if (ptr_->IthMark(int16_t(i))) v.push_back(i);
    return v;
  }
  TempDir dir_;
  std::unique_ptr<Directory> listing_;
  DirPtr ptr_ = nullptr;
};

TEST_F(Selecting, LayoutWithSeveralMarks) {
  ScriptCheck([this] {
    EXPECT_EQ(ScreenRow(1).substr(0, 40), std::string(36, '*') + " Pic");
    EXPECT_EQ(ScreenChar(1, 2), 218);
    EXPECT_EQ(ScreenChar(34, 25), 217);
    EXPECT_EQ(Cells(36, 4, 5), "Mask:");
    EXPECT_EQ(ScreenAttr(36, 4), 0x12);
    EXPECT_EQ(ScreenChar(36, 5), 218);
    EXPECT_EQ(ScreenChar(76, 7), 217);
    EXPECT_EQ(ScreenAttr(36, 5), 0x12);
    EXPECT_EQ(Cells(36, 8, 16), "File selections:");
    EXPECT_EQ(Cells(37, 10, 12), " Select all ");
    EXPECT_EQ(ScreenChar(49, 9), 191);
    EXPECT_EQ(Cells(52, 10, 11), " Clear all ");
    EXPECT_EQ(ScreenChar(51, 9), 218);
    EXPECT_EQ(Cells(66, 10, 8), " Switch ");
    EXPECT_EQ(ScreenChar(74, 11), 217);
    EXPECT_EQ(Cells(36, 12, 8), "Sort by:");
    EXPECT_EQ(ScreenAttr(36, 12), 0x1E);
    EXPECT_EQ(Cells(37, 14, 6), " Name ");
    EXPECT_EQ(Cells(46, 14, 11), " Extension ");
    EXPECT_EQ(Cells(60, 14, 6), " Date ");
    EXPECT_EQ(Cells(69, 14, 6), " Size ");
    EXPECT_EQ(ScreenChar(75, 15), 217);
    EXPECT_EQ(Cells(47, 18, 16), "       OK       ");
    EXPECT_EQ(Cells(47, 19, 16), " done selecting ");
    EXPECT_EQ(ScreenAttr(46, 17), 0x1A);
    EXPECT_EQ(Cells(48, 22, 14), " Quit Program ");
    EXPECT_EQ(ScreenAttr(47, 21), 0x1C);
    EXPECT_EQ(ScreenChar(62, 23), 217);
    EXPECT_EQ(Cells(38, 6, 5), dir_.Path().substr(0, 5));
  });
  ScriptKey('q');
  Run(true);
  EXPECT_EQ(ptr_->NStrings, 30);
  EXPECT_EQ(ScreenAttr(1, 1), 0x0F);  // left white on black
  EXPECT_EQ(ScreenRow(1), std::string(80, ' '));
}

TEST_F(Selecting, HeadingAsterisks) {
  auto headingRow = [this](const std::string& h) {
    std::string row;
    ScriptCheck([&row] { row = ScreenRow(1); });
    ScriptKey('x');
    Run(false, h);
    return row;
  };
  std::string ten(10, 'h');
  EXPECT_EQ(headingRow(ten), std::string(33, '*') + " " + ten + " " + std::string(33, '*') + "  ");
  std::string eleven(11, 'h');
  EXPECT_EQ(headingRow(eleven).substr(0, 77),
            std::string(32, '*') + " " + eleven + " " + std::string(32, '*'));
  std::string long75(75, 'h');
  EXPECT_EQ(headingRow(long75).substr(0, 78), " " + long75 + "  ");
}

TEST_F(Selecting, SingleMarkRules) {
  ScriptCheck([] {
    EXPECT_EQ(Cells(36, 10, 11), B179() + " Clear all");
    EXPECT_EQ(Cells(49, 9, 20), std::string(20, ' '));  // no "Switch", no "Select all"
  });
  ClickRow(3);
  ScriptCheck([this] { EXPECT_EQ(Marked(), std::vector<int>{3}); });
  ClickRow(5);
  ScriptCheck([this] { EXPECT_EQ(Marked(), std::vector<int>{5}); });
  ClickRow(5);
  ScriptCheck([this] { EXPECT_TRUE(Marked().empty()); });
  ClickRow(4);
  ClickAt(10, 2);  // the top border clears every mark
  ScriptCheck([this] { EXPECT_TRUE(Marked().empty()); });
  ClickRow(2, 2);  // the right button clicks too
  ScriptExtendedKey(72);  // an arrow key ends like OK
  Run(false);
  EXPECT_EQ(Marked(), std::vector<int>{2});
  EXPECT_EQ(ptr_->NSelected, 1);
  EXPECT_EQ(ScriptLeft(), 0u);
}

TEST_F(Selecting, SeveralMarksSwitchAndClear) {
  ClickRow(3);
  ClickRow(5);
  ScriptCheck([this] {
    EXPECT_EQ(Marked(), (std::vector<int>{3, 5}));
    EXPECT_EQ(ScreenChar(2, 5), '*');
    EXPECT_EQ(ScreenAttr(2, 5), 0x1F);  // white marks
  });
  ClickAt(66, 10);  // Switch
  ScriptCheck([this] {
    auto m = Marked();
    EXPECT_EQ(m.size(), 28u);
    EXPECT_EQ(std::count(m.begin(), m.end(), 3), 0);
    EXPECT_EQ(std::count(m.begin(), m.end(), 5), 0);
  });
  ClickAt(52, 10);  // Clear all
  ScriptCheck([this] { EXPECT_TRUE(Marked().empty()); });
  ClickAt(37, 10);  // Select all
  ScriptCheck([this] { EXPECT_EQ(Marked().size(), 30u); });
  ClickAt(50, 18);  // OK
  Run(true);
  EXPECT_EQ(ptr_->NSelected, 30);
}

TEST_F(Selecting, ArrowsBordersAndEmptyRowsAndMovesAndReleases) {
  ScriptClick(31, 2);  // up-arrow cell (32, 3) on the first page: pages only
  ScriptCheck([this] {
    EXPECT_TRUE(Marked().empty());
    EXPECT_EQ(listing_->NStrings, 30);
  });
  ScriptClick(31, 22);  // down arrows: the next page
  ScriptCheck([] { EXPECT_EQ(ScreenChar(32, 3), 24); });
  ScriptMouse(0, 10, 10);  // a move
  ScriptMouse(0, 11, 10);
  ScriptCheck([this] { EXPECT_TRUE(Marked().empty()); });
  ScriptClick(4, 12);  // row 13 on the page 9..30: entry 19
  ScriptKey(' ');
  Run(true);
  EXPECT_EQ(Marked(), std::vector<int>{19});
}

// The wheel over the list pages it as the arrow blocks do; elsewhere it
// does nothing.
TEST_F(Selecting, WheelOverTheListPagesIt) {
  // The entry on the first row: 9 on the second page of 30, 1 on the first.
  auto top = [this](int i) { EXPECT_EQ(Cells(3, 3, 7), ptr_->IthString(int16_t(i)).Str()); };
  ScriptWheel(5, 5, false);
  ScriptCheck([top] { top(9); });
  ScriptWheel(50, 5, true);  // over the buttons
  ScriptCheck([top] { top(9); });
  ScriptWheel(5, 5, true);
  ScriptCheck([top] { top(1); });
  ScriptKey('k');
  Run(true);
  EXPECT_TRUE(Marked().empty());
}

TEST_F(Selecting, ShortListAndEmptyRows) {
  // Six entries: the up-arrow click brings Bottom down to the count.
  listing_ = std::make_unique<Directory>(100, true);
  ptr_ = listing_.get();
  TempDir few;
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) WriteFile(few / n, "");
  ScriptClick(31, 2);
  ScriptClick(5, 10);  // an empty row: no entry there
  ScriptKey('k');
  SelectFiles(ptr_, few.Path() + "/*.txt", "h", true);
  EXPECT_TRUE(Marked().empty());
}

TEST_F(Selecting, SortButtonsOnlyWriteTheirMessage) {
  ClickRow(2);
  std::vector<std::string> before;
  ScriptCheck([this, &before] {
    for (int i = 1; i <= ptr_->NStrings; ++i) before.push_back(ptr_->IthString(int16_t(i)).Str());
  });
  ClickAt(38, 14);  // Name
  ScriptCheck([] { EXPECT_EQ(Cells(1, 24, 18), "Sort by name      "); });
  ClickAt(50, 14);  // Extension
  ScriptCheck([] { EXPECT_EQ(Cells(1, 24, 18), "Sort by extension "); });
  ClickAt(62, 14);  // Date
  ScriptCheck([] { EXPECT_EQ(Cells(1, 24, 18), "Sort by date      "); });
  ClickAt(70, 14);  // Size
  ScriptCheck([this, &before] {
    EXPECT_EQ(Cells(1, 24, 18), "Sort by size      ");
    for (int i = 1; i <= ptr_->NStrings; ++i)
      EXPECT_EQ(ptr_->IthString(int16_t(i)).Str(), before[size_t(i - 1)]);
    EXPECT_EQ(Marked(), std::vector<int>{2});
  });
  ScriptKey(13);
  Run(true);
}

TEST_F(Selecting, NewMaskListsFromTheFirstEntryWithNoMarks) {
  ClickRow(1);
  ClickAt(40, 6);  // the mask field
  ScriptKeys(dir_.Path() + "/*.dat");
  ScriptKey(13);
  ScriptCheck([this] {
    EXPECT_EQ(ptr_->NStrings, 1);
    EXPECT_EQ(ptr_->IthString(1).Str(), "other.dat");
    EXPECT_TRUE(Marked().empty());
    EXPECT_EQ(Cells(3, 3, 9), "other.dat");
  });
  ScriptKey(27);
  Run(true);
  EXPECT_EQ(ptr_->Mask.Str(), dir_.Path() + "/*.dat");
}

// A name with a line feed, a carriage return and a backspace is drawn byte
// for byte in its row: the heading and the frames stay where they are.
TEST_F(Selecting, ControlBytesInNamesAreDrawnAsGlyphs) {
  const std::string odd = "a\nb\rc\bd.txt";
  WriteFile(dir_ / odd, "");
  if (test::ReadFile(dir_ / odd).empty() && !std::ifstream(dir_ / odd))
    GTEST_SKIP() << "this file system refuses control characters in names (Windows)";
  ScriptCheck([&odd] {
    int found = 0;
    for (int row = 3; row <= 24; ++row) found += Cells(3, row, int(odd.size())) == odd;
    EXPECT_EQ(found, 1);
    EXPECT_EQ(ScreenRow(1).substr(0, 40), std::string(36, '*') + " Pic");
    EXPECT_EQ(ScreenChar(1, 2), 218);
    EXPECT_EQ(ScreenChar(34, 25), 217);
  });
  ScriptKey('q');
  Run(true);
}

// Without a console window the screen cannot be used: the end of standard
// input counts as a key, so the call returns instead of waiting for ever.
TEST(SelectingDeathTest, WithoutAConsoleTheEndOfInputEndsTheScreen) {
  TempDir dir;
  WriteFile(dir / "a.txt", "");
  EXPECT_EXIT(
      {
        test::EmptyStandardInput();
        InstallConsoleBackend(nullptr, 80, 25, 7);
        InitUButtons();
        InitUDir2();
        auto listing = std::make_unique<Directory>(10, true);
        DirPtr d = listing.get();
        SelectFiles(d, dir.Path() + "/*.txt", "h", true);
        std::exit(d->NStrings == 1 ? 7 : 8);
      },
      ::testing::ExitedWithCode(7), "");
}

TEST_F(Selecting, QuitEndsTheProgramWithExitCode1) {
  EXPECT_EXIT(
      {
        ClickAt(50, 22);
        Run(true);
      },
      ::testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace ehi
