#include "typedarrays.h"

#include <gtest/gtest.h>

#include "testutil.h"

namespace ehi {
namespace {

TEST(TypedArrays, LimitIsAcceptedAndElementsAreUsable) {
  PtrArPtr p = nullptr;
  ASSERT_TRUE(PtrArAlloc(p, kArrayLimit));
  p[kArrayLimit].Ptr = &p;  // the last element exists
  p[0].Ptr = nullptr;
  PtrArDealloc(p, kArrayLimit);

  Str80ArPtr s = nullptr;
  ASSERT_TRUE(Str80ArAlloc(s, 0));  // one element, index 0
  s[0] = std::string(100, 'q');
  EXPECT_EQ(s[0].Length(), 80);
  Str80ArDealloc(s, 0);

  ExtendedArPtr e = nullptr;
  ASSERT_TRUE(ExtendedArAlloc(e, 3));
  e[3] = 1.5L;
  EXPECT_EQ(e[3], 1.5L);
  ExtendedArDealloc(e, 3);

  void* raw = nullptr;
  ASSERT_TRUE(Alloc(raw, 0));
  Dealloc(raw, 0);
  EXPECT_NE(raw, nullptr);  // releasing does not clear the pointer
}

TEST(TypedArraysDeathTest, AboveTheLimitStopsWithTheAllocatorsName) {
  EXPECT_EXIT({ PtrArPtr p; PtrArAlloc(p, 322001); }, ::testing::ExitedWithCode(1),
              test::Captured("^HALTING! -- Structure too big\r\nPtrArAlloc\r\n$"));
  EXPECT_EXIT({ DoubleArPtr p; DoubleArAlloc(p, 322001); }, ::testing::ExitedWithCode(1),
              test::Captured("^HALTING! -- Structure too big\r\nDoubleArAlloc\r\n$"));
  EXPECT_EXIT({ RealArPtr p; RealArAlloc(p, 322001); }, ::testing::ExitedWithCode(1),
              test::Captured("^Requested 322001 but limit is 322000\r\nHALTING! -- Structure too big\r\n"
              "RealArAlloc\r\n$"));
  EXPECT_EXIT({ IntArPtr p; IntArAlloc(p, 1000000001); }, ::testing::ExitedWithCode(1),
              test::Captured("^Requested 1000000001 integers but max available is 1000000000\r\n"
              "HALTING! -- Structure too big\r\nIntArAlloc\r\n$"));
  EXPECT_EXIT({ Str255ArPtr p; Str255ArAlloc(p, 400000); }, ::testing::ExitedWithCode(1),
              test::Captured("\r\nStr255ArAlloc\r\n$"));
}

TEST(TypedArraysDeathTest, NegativeLengthsNeverAskForNegativeCounts) {
  CharArPtr c = nullptr;
  EXPECT_TRUE(CharArAlloc(c, -1));  // zero elements: allowed, nothing to use
  CharArDealloc(c, -1);
  EXPECT_EXIT({ LongIntArPtr p; LongIntArAlloc(p, -2); }, ::testing::ExitedWithCode(1),
              test::Captured("^HALTING! -- Structure too big\r\nLongIntArAlloc\r\n$"));
  EXPECT_EXIT({ void* p; Alloc(p, -5); }, ::testing::ExitedWithCode(1),
              test::Captured("^HALTING! -- Structure too big\r\nAlloc\r\n$"));
}

}  // namespace
}  // namespace ehi
