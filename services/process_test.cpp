#include "process.h"

#include <gtest/gtest.h>

#include <new>
#include <thread>

#include "helper.h"
#include "testutil.h"
#include "textfile.h"

namespace ehi {
namespace {

void Fin1() { WriteLine(ConsoleOutput, "fin1"); }
void Fin2() { WriteLine(ConsoleOutput, "fin2"); }

TEST(ProcessDeathTest, HaltEndsWithTheCodeAndNoReport) {
  EXPECT_EXIT(Halt(1), ::testing::ExitedWithCode(1), "^$");
  EXPECT_EXIT(Halt(0), ::testing::ExitedWithCode(0), "^$");
}

TEST(ProcessDeathTest, FinalisationsRunInReverseOrderBeforeTheReport) {
  EXPECT_EXIT(
      {
        RegisterFinalisation(Fin1);
        RegisterFinalisation(Fin2);
        RuntimeError(5);
      },
      ::testing::ExitedWithCode(5), test::Output("^fin2\r\nfin1\r\nRuntime error 5 at \\$[0-9A-F]{8}\r\n"));
}

TEST(ProcessDeathTest, MissingFileIsRuntimeError2WithFullReport) {
  EXPECT_EXIT(
      {
        TextFile f;
        AssignText(f, "/nonexistent-dir-for-test/x");
        OpenTextRead(f);
        CheckIo();
      },
      ::testing::ExitedWithCode(3),
      test::Output(
          "^Runtime error 3 at \\$[0-9A-F]{8}\r\n  \\$[0-9A-F]{8}\r\n(  \\$[0-9A-F]{8}\r\n)+\r\n$"));
  EXPECT_EXIT(
      {
        TextFile f;
        AssignText(f, "no-such-file-here.txt");
        OpenTextRead(f);
        CheckIo();
      },
      ::testing::ExitedWithCode(2), test::Output("^Runtime error 2 at \\$"));
}

TEST(ProcessDeathTest, ErrorNumberAbove255KeepsItsNumberInTheReport) {
  EXPECT_EXIT(RuntimeError(260), ::testing::ExitedWithCode(4), "^Runtime error 260 at");
}

TEST(ProcessDeathTest, HeapExhaustionIsRuntimeError203) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the address sanitizer's allocator reports this itself";
#endif
  EXPECT_EXIT(
      {
        // Larger than any address space: the allocation must fail.
        volatile size_t huge = size_t(1) << 62;
        char* p = new char[huge];
        p[0] = 1;
      },
      ::testing::ExitedWithCode(203), "^Runtime error 203 at");
}

// What would end the run on the main thread ends only a helper's work: the
// test process lives on, its exit code untouched.
TEST(Process, StopsOnAHelperThreadEndItsWorkNotTheRun) {
  struct Case {
    const char* name;
    void (*stop)();
  };
  const Case cases[] = {
      {"memory exhausted", [] { std::get_new_handler()(); }},
      {"fatal stop", [] { Halt(1); }},
      {"runtime error", [] { RuntimeError(5); }},
  };
  for (const Case& c : cases) {
    bool returned = true;
    std::thread helper;
    ASSERT_TRUE(StartHelper(helper, [&] { returned = RunAsHelper(c.stop); })) << c.name;
    helper.join();
    EXPECT_FALSE(returned) << c.name;
    EXPECT_EQ(ExitCode, 0) << c.name;
  }
}

}  // namespace
}  // namespace ehi
