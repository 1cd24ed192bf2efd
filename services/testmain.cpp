// The main of every module's test binary.
#include <gtest/gtest.h>

#include "platform.h"
#include "process.h"
#include "textfile.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Death tests run in a forked child: "threadsafe" re-executes the binary,
  // which keeps children independent of any thread a test started.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ehi::InitServices();
  ehi::RedirectTextFile(ehi::ConsoleOutput, ehi::sys::StandardHandle(ehi::sys::StandardStream::Error));
  ehi::RedirectTextFile(ehi::StandardOutput, ehi::sys::StandardHandle(ehi::sys::StandardStream::Error));
  return RUN_ALL_TESTS();
}
