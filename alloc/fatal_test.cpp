#include "fatal.h"

#include <gtest/gtest.h>

#include "testutil.h"

namespace ehi {
namespace {

TEST(MultWordVal, WrapsIn32Bits) {
  EXPECT_EQ(MultWordVal(322001, 4), 1288004);
  EXPECT_EQ(MultWordVal(65536, 65536), 0);
  EXPECT_EQ(MultWordVal(2147483647, 2), -2);
}

TEST(FatalDeathTest, RunAbortAndOverloadWriteTwoLinesAndExit1) {
  EXPECT_EXIT(RunAbort("not enough RAM available."), ::testing::ExitedWithCode(1),
              test::Captured("^Halting with error-code 1, because:\r\nnot enough RAM available.\r\n$"));
  EXPECT_EXIT(RunAbort(""), ::testing::ExitedWithCode(1),
              test::Captured("^Halting with error-code 1, because:\r\n\r\n$"));
  EXPECT_EXIT(Overload("PtrArAlloc"), ::testing::ExitedWithCode(1),
              test::Captured("^HALTING! -- Structure too big\r\nPtrArAlloc\r\n$"));
}

}  // namespace
}  // namespace ehi
