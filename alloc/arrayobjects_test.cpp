#include "arrayobjects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <cmath>
#include <random>

#include "numconv.h"
#include "testutil.h"

namespace ehi {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(ArrayObjects, MaxOfIntsAndReals) {
  ODAIntObj i(3);
  i.X[1] = -5, i.X[2] = -2, i.X[3] = -9;
  EXPECT_EQ(i.Max(), -2);
  i.Zero();
  EXPECT_EQ(i.Max(), 0);
  ODARealObj r(3);
  r.X[1] = 1.5, r.X[2] = 2.5, r.X[3] = 2.5;
  EXPECT_EQ(r.Max(), 2.5);
  ODAIntObj empty(0);
  empty.Zero();
}

TEST(ArrayObjectsDeathTest, Stops) {
  EXPECT_EXIT({ ODAIntObj o(0); o.Max(); }, ::testing::ExitedWithCode(1),
              test::Captured("\r\nSought max of 0-length ODAIntObj.\r\n$"));
  EXPECT_EXIT({ ODARealObj o(0); o.Max(); }, ::testing::ExitedWithCode(1),
              test::Captured("\r\nSought max of 0-length ODARealObj.\r\n$"));
  EXPECT_EXIT({ ODARealObj o(-1); }, ::testing::ExitedWithCode(1),
              test::Captured("\r\nSought to create ODARealObj with fewer than zero elements.\r\n$"));
  EXPECT_EXIT({ ODAIntObj o(-1); }, ::testing::ExitedWithCode(1),
              test::Captured("\r\nSought to create ODAIntObj with fewer than zero elements.\r\n$"));
  EXPECT_EXIT({ TDARealEqObj m(2, -1); }, ::testing::ExitedWithCode(1), "fewer than zero");
}

class Reports : public ::testing::Test {
 protected:
  void SetUp() override { IoError = 0; }
  std::string Write(const TDARealEqObj& m, const char* header, bool rows = false, int first = 0,
                    int last = 0) {
    TextFile f;
    AssignText(f, dir_ / "m.rpt");
    OpenTextWrite(f);
    if (rows)
      m.WriteRowsToRpt(f, header, int16_t(first), int16_t(last));
    else
      m.WriteToRpt(f, header);
    CloseText(f);
    CheckIo();
    return ReadFile(dir_ / "m.rpt");
  }
  void Read(TDARealEqObj& m, const std::string& content, String& header) {
    WriteFile(dir_ / "in.rpt", content);
    TextFile f;
    AssignText(f, dir_ / "in.rpt");
    OpenTextRead(f);
    m.ReadFromRpt(f, header);
    CloseText(f);
    CheckIo();
  }
  TempDir dir_;
};

TEST_F(Reports, WritingFormats) {
  TDARealEqObj m(2, 3);
  m.Zero();
  const std::string zero = "  0.000000000000000E+000";
  const std::string row = zero + zero + zero + "\r\n";
  EXPECT_EQ(Write(m, "Test"), "Test\r\n" + row + row);
  EXPECT_EQ(Write(m, ""), row + row);
  EXPECT_EQ(Write(m, "", true, 2, 1), "\r\n");
  EXPECT_EQ(Write(m, "H", true, 2, 2), "H\r\n" + row);

  TDARealEqObj one(1, 2);
  one.X[1].R[1] = 1.5;
  one.X[1].R[2] = -0.002;
  EXPECT_EQ(Write(one, ""), "  1.500000000000000E+000 -2.000000000000000E-003\r\n");
}

TEST_F(Reports, HeadersCommentsAndSplitRows) {
  TDARealEqObj m(2, 2);
  String header;
  Read(m, "A\r\nB\r\n 1 2\r\nnote\r\n 3\r\n 4\r\n", header);
  EXPECT_EQ(header.Str(), "AB");
  EXPECT_EQ(m.X[1].R[1], 1.0);
  EXPECT_EQ(m.X[1].R[2], 2.0);
  EXPECT_EQ(m.X[2].R[1], 3.0);
  EXPECT_EQ(m.X[2].R[2], 4.0);  // taken from the following line

  // Empty header lines add nothing, with any line end.
  Read(m, "A\n\r\n\rB\n 1 2\n 3 4\n", header);
  EXPECT_EQ(header.Str(), "AB");
  EXPECT_EQ(m.X[2].R[2], 4.0);

  // A header line that would pass 255 characters is dropped whole.
  std::string big(254, 'h');
  Read(m, "ab\r\n" + big + "\r\ncd\r\n 1 2\r\n 3 4\r\n", header);
  EXPECT_EQ(header.Str(), "abcd");
}

TEST_F(Reports, RoundTripKeepsValuesAndHeader) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> dist(-1e6, 1e6);
  TDARealEqObj m(7, 5);
  for (int r = 1; r <= 7; ++r)
    for (int c = 1; c <= 5; ++c) m.X[r].R[c] = dist(rng) * std::pow(10.0, double(c * 20 - 60));
  std::string text = Write(m, "Title line");
  TDARealEqObj back(7, 5);
  String header;
  Read(back, text, header);
  EXPECT_EQ(header.Str(), "Title line");
  for (int r = 1; r <= 7; ++r)
    for (int c = 1; c <= 5; ++c)
      EXPECT_EQ(RealToText(back.X[r].R[c]).Str(), RealToText(m.X[r].R[c]).Str());
}

// The edges of what a report holds: a first header line too long to fit
// is dropped whole, and the largest doubles come back as themselves.
TEST_F(Reports, LongHeaderLinesAndTheLargestValues) {
  TDARealEqObj m(1, 3);
  String header;
  Read(m, std::string(256, 'L') + "\r\nshort\r\n 1 2 3\r\n", header);
  EXPECT_EQ(header.Str(), "short");
  Read(m, std::string(255, 'K') + "\r\n 1 2 3\r\n", header);
  EXPECT_EQ(header.Str(), std::string(255, 'K'));

  const double big = std::numeric_limits<double>::max();
  m.X[1].R[1] = big;
  m.X[1].R[2] = -big;
  m.X[1].R[3] = std::numeric_limits<double>::denorm_min();
  Write(m, "edges");
  TDARealEqObj back(1, 3);
  Read(back, ReadFile(dir_ / "m.rpt"), header);
  EXPECT_EQ(back.X[1].R[1], big);
  EXPECT_EQ(back.X[1].R[2], -big);
  EXPECT_GT(back.X[1].R[3], 0.0);
}

TEST_F(Reports, ReadOneColumn) {
  TDARealEqObj m(2, 2);
  m.Zero();
  WriteFile(dir_ / "c.txt", "5 99\r\n  -6\r\n");
  TextFile f;
  AssignText(f, dir_ / "c.txt");
  OpenTextRead(f);
  m.ReadOneCol(f, 2);
  CloseText(f);
  CheckIo();
  EXPECT_EQ(m.X[1].R[2], 5.0);
  EXPECT_EQ(m.X[2].R[2], -6.0);
  EXPECT_EQ(m.X[1].R[1], 0.0);
}

TEST_F(Reports, ShortFilesAndBadValuesStopWith106) {
  auto readDies = [this](const std::string& content) {
    WriteFile(dir_ / "bad.rpt", content);
    TDARealEqObj m(2, 2);
    TextFile f;
    AssignText(f, dir_ / "bad.rpt");
    OpenTextRead(f);
    String header;
    m.ReadFromRpt(f, header);
  };
  EXPECT_EXIT(readDies("only a header\r\n"), ::testing::ExitedWithCode(106),
              "^Runtime error 106 at");
  EXPECT_EXIT(readDies(" 1 2\r\ncomment\r\n"), ::testing::ExitedWithCode(106),
              "^Runtime error 106 at");
  EXPECT_EXIT(readDies(" 1 x\r\n 3 4\r\n"), ::testing::ExitedWithCode(106),
              "^Runtime error 106 at");
  EXPECT_EXIT(readDies(""), ::testing::ExitedWithCode(106), "^Runtime error 106 at");
}

TEST(ArrayObjectsDeathTest, OutOfRangeArgumentsStop) {
  EXPECT_EXIT(
      {
        TDARealEqObj m(2, 2);
        m.WriteRowsToRpt(StandardOutput, "", 1, 3);
      },
      ::testing::ExitedWithCode(1), "rows outside the matrix");
  EXPECT_EXIT(
      {
        TDARealEqObj m(2, 2);
        m.ReadOneCol(ConsoleInput, 3);
      },
      ::testing::ExitedWithCode(1), "column outside the matrix");
}

}  // namespace
}  // namespace ehi
