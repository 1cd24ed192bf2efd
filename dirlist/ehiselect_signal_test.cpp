// ehiselect killed by a signal while its screen has the mouse on: the
// terminal must be left with its settings as they were and mouse
// reporting off.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <string>

#include "testutil.h"

namespace ehi {
namespace {

class SignalEnd : public ::testing::TestWithParam<int> {};

TEST_P(SignalEnd, RestoresTheTerminal) {
  test::TempDir dir;
  test::WriteFile(dir / "a.txt", "");
  test::PtyProgram p(EHISELECT_PATH, {}, dir.Path());
  ASSERT_TRUE(p.ReadUntil("Quit Program")) << p.Out;
  ASSERT_TRUE(p.ReadUntil("\x1b[?1006h"));
  kill(p.Pid, GetParam());
  p.Finish();
  EXPECT_TRUE(WIFSIGNALED(p.WaitStatus));
  EXPECT_EQ(WTERMSIG(p.WaitStatus), GetParam());
  size_t on = p.Out.rfind("\x1b[?1000h"), off = p.Out.rfind("\x1b[?1000l");
  ASSERT_NE(off, std::string::npos);
  EXPECT_GT(off, on);
  EXPECT_NE(p.Out.rfind("\x1b[?1006l"), std::string::npos);
  EXPECT_TRUE(test::HasDefaultModes(p.Master));
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalEnd, ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT));

}  // namespace
}  // namespace ehi
