#include "textfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "testutil.h"

namespace ehi {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Every reading rule must hold whatever the block size, so the reading
// tests run at tiny sizes that split line ends, Ctrl-Z and long lines
// across refills, and at the production size.
class TextReading : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    saved_ = TextBlockSize;
    TextBlockSize = GetParam();
    IoError = 0;
  }
  void TearDown() override {
    TextBlockSize = saved_;
    IoError = 0;
  }

  // Reads lines until TextAtEnd, as the harvest does.
  std::vector<std::string> ReadLines(const std::string& content) {
    WriteFile(dir_ / "f.txt", content);
    TextFile f;
    AssignText(f, dir_ / "f.txt");
    OpenTextRead(f);
    EXPECT_EQ(IoError, 0);
    std::vector<std::string> lines = LinesToEnd(f);
    EXPECT_EQ(IoError, 0);
    return lines;
  }

  // Reads the lines of the open `f` until TextAtEnd, and closes it.
  static std::vector<std::string> LinesToEnd(TextFile& f) {
    std::vector<std::string> lines;
    do {
      String line;
      ReadTextLine(f, line);
      lines.push_back(line.Str());
    } while (!TextAtEnd(f));
    CloseText(f);
    return lines;
  }

  TempDir dir_;
  int32_t saved_ = 0;
};

TEST_P(TextReading, AllLineEndsGiveTheSameLines) {
  std::vector<std::string> want = {"one", "two", "", "four"};
  EXPECT_EQ(ReadLines("one\ntwo\n\nfour\n"), want);
  EXPECT_EQ(ReadLines("one\rtwo\r\rfour\r"), want);
  EXPECT_EQ(ReadLines("one\r\ntwo\r\n\r\nfour\r\n"), want);
  EXPECT_EQ(ReadLines("one\r\ntwo\r\n\nfour\r"), want);
  // LF CR is a line end followed by an empty line.
  std::vector<std::string> lfcr = {"a", "", "b"};
  EXPECT_EQ(ReadLines("a\n\rb"), lfcr);
}

// Bytes read beforehand, then the open file from where they end, read as
// the whole file is: wherever the cut falls (inside a CR LF too).
TEST_P(TextReading, BytesReadAheadThenTheOpenFile) {
  const std::string content = "one\r\ntwo\r\n\x1a";
  const std::vector<std::string> want = ReadLines(content);
  for (size_t cut = 0; cut <= content.size(); ++cut) {
    TextFile f;
    AssignText(f, dir_ / "f.txt");
    int err = 0;
    const sys::Handle h = sys::OpenForReading(dir_ / "f.txt", err);
    std::string ahead(cut, '\0');
    for (size_t got = 0; got < cut;)
      got += size_t(sys::ReadSome(h, ahead.data() + got, cut - got, err));
    OpenTextSource(
        f,
        [&ahead, pos = size_t(0)](char* buffer, size_t size) mutable {
          const size_t n = std::min(size, ahead.size() - pos);
          std::copy_n(ahead.data() + pos, n, buffer);
          pos += n;
          return long(n);
        },
        h);
    const std::vector<std::string> lines = LinesToEnd(f);
    EXPECT_EQ(IoError, 0) << cut;
    EXPECT_EQ(lines, want) << cut;
  }
}

TEST_P(TextReading, LongLineIsCutAndTheRestSkipped) {
  std::string longLine(300, 'x');
  longLine[254] = 'L';
  auto lines = ReadLines(longLine + "\r\nnext\r\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 255u);
  EXPECT_EQ(lines[0].back(), 'L');
  EXPECT_EQ(lines[1], "next");
}

TEST_P(TextReading, CtrlZRules) {
  // After a line end it ends the file.
  EXPECT_EQ(ReadLines("a\r\nb\r\n\x1a" "c\r\n"), (std::vector<std::string>{"a", "b"}));
  // Inside a line it is data.
  EXPECT_EQ(ReadLines("a\x1a" "b\r\nc"), (std::vector<std::string>{"a\x1a" "b", "c"}));
  // At the very start it is the first character of the first line.
  EXPECT_EQ(ReadLines("\x1a" "x\r\n"), (std::vector<std::string>{"\x1a" "x"}));
  // In the skipped rest of an over-long line it ends the file.
  std::string over(260, 'y');
  over[258] = '\x1a';
  EXPECT_EQ(ReadLines(over + "\r\nlater\r\n").size(), 1u);
}

TEST_P(TextReading, EmptyFileAndLastLineWithoutEnd) {
  WriteFile(dir_ / "e.txt", "");
  TextFile f;
  AssignText(f, dir_ / "e.txt");
  OpenTextRead(f);
  EXPECT_TRUE(TextAtEnd(f));
  CloseText(f);
  EXPECT_EQ(ReadLines("x\r\nlast"), (std::vector<std::string>{"x", "last"}));
}

TEST_P(TextReading, NulAndTabAreData) {
  std::string line("a\tb\0c", 5);
  auto lines = ReadLines(line + "\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], line);
}

TEST_P(TextReading, RealsAndCharacters) {
  WriteFile(dir_ / "r.txt", "1.5 2\r\n");
  TextFile f;
  AssignText(f, dir_ / "r.txt");
  OpenTextRead(f);
  long double x = -1;
  ReadTextReal(f, x);
  EXPECT_EQ(x, 1.5L);
  ReadTextReal(f, x);
  EXPECT_EQ(x, 2.0L);
  ReadTextReal(f, x);  // only the line end is left: 0, no error
  EXPECT_EQ(x, 0.0L);
  EXPECT_EQ(IoError, 0);
  ReadTextReal(f, x);  // nothing at all is left
  EXPECT_EQ(IoError, 106);
  IoError = 0;
  CloseText(f);

  WriteFile(dir_ / "c.txt", "ab");
  AssignText(f, dir_ / "c.txt");
  OpenTextRead(f);
  char c = 0;
  ReadTextChar(f, c);
  EXPECT_EQ(c, 'a');
  ReadTextChar(f, c);
  EXPECT_EQ(c, 'b');
  ReadTextChar(f, c);
  EXPECT_EQ(c, '\x1a');
  CloseText(f);
  EXPECT_EQ(IoError, 0);
}

TEST_P(TextReading, BadNumberIs106) {
  WriteFile(dir_ / "r.txt", "  1,5\r\n");
  TextFile f;
  AssignText(f, dir_ / "r.txt");
  OpenTextRead(f);
  long double x = 7;
  ReadTextReal(f, x);
  EXPECT_EQ(IoError, 106);
  EXPECT_EQ(x, 0.0L);
  IoError = 0;
  CloseText(f);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, TextReading, ::testing::Values(1, 2, 3, 256, 65536));

class TextFiles : public ::testing::Test {
 protected:
  void SetUp() override { IoError = 0; }
  void TearDown() override { IoError = 0; }
  TempDir dir_;
};

TEST_F(TextFiles, WritingPadsAndEndsLinesWithCrLf) {
  TextFile f;
  AssignText(f, dir_ / "w.txt");
  OpenTextWrite(f);
  WriteTextString(f, "ab", 5);
  WriteTextString(f, "cd", 1);
  EndTextLine(f);
  WriteTextInteger(f, -7, 4);
  WriteTextChar(f, 'z', 3);
  EndTextLine(f);
  WriteTextReal(f, 1.0);
  EndTextLine(f);
  WriteTextInteger(f, 42, 300);  // wider than a short string: never cut
  CloseText(f);
  EXPECT_EQ(IoError, 0);
  EXPECT_EQ(ReadFile(dir_ / "w.txt"), "   abcd\r\n  -7  z\r\n 1.000000000000000E+000\r\n" +
                                          std::string(298, ' ') + "42");
}

TEST_F(TextFiles, ModeErrors) {
  TextFile never;  // not assigned
  OpenTextRead(never);
  EXPECT_EQ(IoError, 102);
  IoError = 0;

  TextFile f;
  AssignText(f, dir_ / "m.txt");
  CloseText(f);
  EXPECT_EQ(IoError, 103);
  IoError = 0;
  WriteTextString(f, "x");
  EXPECT_EQ(IoError, 103);
  IoError = 0;

  OpenTextWrite(f);
  EXPECT_TRUE(TextAtEnd(f));
  EXPECT_EQ(IoError, 104);
  IoError = 0;
  CloseText(f);
  OpenTextRead(f);
  WriteTextString(f, "x");
  EXPECT_EQ(IoError, 105);
  IoError = 0;
  CloseText(f);
}

TEST_F(TextFiles, PendingErrorBlocksEveryOperation) {
  TextFile f;
  AssignText(f, dir_ / "p.txt");
  IoError = 2;
  OpenTextWrite(f);
  EXPECT_EQ(f.Mode, TextMode::Closed);
  EXPECT_EQ(IoError, 2);
}

TEST_F(TextFiles, OpenErrorsMapToRuntimeNumbers) {
  TextFile f;
  AssignText(f, dir_ / "missing.txt");
  OpenTextRead(f);
  EXPECT_EQ(IoError, 2);
  EXPECT_EQ(f.Mode, TextMode::Closed);
  IoError = 0;
  AssignText(f, dir_ / "nodir/missing.txt");
  OpenTextRead(f);
  EXPECT_EQ(IoError, 3);
  IoError = 0;
  AssignText(f, dir_.Path());
  OpenTextRead(f);
  EXPECT_EQ(IoError, 5);
  IoError = 0;
}

TEST_F(TextFiles, NamesReachTheSystemUnchanged) {
  if (std::filesystem::path::preferred_separator == '\\')
    GTEST_SKIP() << "a backslash separates folders here";
  WriteFile(dir_ / "back\\slash.txt", "content\n");
  TextFile f;
  AssignText(f, dir_ / "back\\slash.txt");
  OpenTextRead(f);
  String line;
  ReadTextLine(f, line);
  CloseText(f);
  EXPECT_EQ(IoError, 0);
  EXPECT_EQ(line.Str(), "content");
}

TEST_F(TextFiles, ReplaceKeepsTheOldFileUntilClose) {
  WriteFile(dir_ / "t.tab", "old\r\n");
  TextFile f;
  AssignText(f, dir_ / "t.tab");
  OpenTextReplace(f);
  ASSERT_EQ(IoError, 0);
  WriteTextString(f, "new");
  EndTextLine(f);
  EXPECT_EQ(ReadFile(dir_ / "t.tab"), "old\r\n");
  CloseText(f);
  EXPECT_EQ(IoError, 0);
  EXPECT_EQ(ReadFile(dir_ / "t.tab"), "new\r\n");
}

TEST_F(TextFiles, ReplaceRefusesReadOnlyAndNonRegularTargets) {
  WriteFile(dir_ / "ro.tab", "keep");
  namespace fs = std::filesystem;
  // Read-only: no write bit, or on Windows the read-only attribute.
  fs::permissions(dir_ / "ro.tab", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  TextFile f;
  AssignText(f, dir_ / "ro.tab");
  OpenTextReplace(f);
  EXPECT_EQ(IoError, 5);
  IoError = 0;
  EXPECT_EQ(ReadFile(dir_ / "ro.tab"), "keep");
  test::MakeDirs(dir_ / "d.tab");
  AssignText(f, dir_ / "d.tab");
  OpenTextReplace(f);
  EXPECT_EQ(IoError, 5);
  IoError = 0;
}

TEST_F(TextFiles, ReplaceThroughALinkKeepsTheLink) {
  test::MakeDirs(dir_ / "real");
  WriteFile(dir_ / "real/t.tab", "old");
  std::error_code ec;
  std::filesystem::create_symlink("real/t.tab", dir_ / "link.tab", ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
  TextFile f;
  AssignText(f, dir_ / "link.tab");
  OpenTextReplace(f);
  WriteTextString(f, "new");
  CloseText(f);
  EXPECT_EQ(IoError, 0);
  EXPECT_EQ(ReadFile(dir_ / "real/t.tab"), "new");
  EXPECT_EQ(std::filesystem::read_symlink(dir_ / "link.tab").generic_string(), "real/t.tab");
}

}  // namespace
}  // namespace ehi
