// The runtime error report under a real exhaustion of the address space,
// which only POSIX lets a test limit (RLIMIT_AS).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "process.h"
#include "testutil.h"

namespace ehi {
namespace {

// A real exhaustion: many small blocks until the address space is used up.
// The report still comes, though the heap can give nothing more for it.
TEST(ProcessDeathTest, ExhaustionBySmallBlocksStillReports) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the address sanitizer reserves address space of its own";
#endif
  EXPECT_EXIT(
      {
        long pages = 0;
        FILE* statm = std::fopen("/proc/self/statm", "r");
        if (!statm || std::fscanf(statm, "%ld", &pages) != 1) std::exit(99);
        std::fclose(statm);
        const rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(64) << 20);
        struct rlimit lim;
        lim.rlim_cur = lim.rlim_max = limit;
        setrlimit(RLIMIT_AS, &lim);
        for (;;) {
          volatile char* p = new char[8];
          p[0] = 1;
        }
      },
      ::testing::ExitedWithCode(203), "^Runtime error 203 at \\$[0-9A-F]{8}\r\n");
}

}  // namespace
}  // namespace ehi
