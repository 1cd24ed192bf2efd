// ehiselect killed by a signal while its screen has the mouse on: the
// terminal must be left with its settings as they were and mouse
// reporting off.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "testutil.h"

namespace ehi {
namespace {

class SignalEnd : public ::testing::TestWithParam<int> {};

// Ended by the signal, with the terminal given back whole: mouse reporting
// off, the shell's screen, its settings.
void ExpectEndedAndGivenBack(test::PtyProgram& p, int sig) {
  p.Finish();
  EXPECT_TRUE(WIFSIGNALED(p.WaitStatus));
  EXPECT_EQ(WTERMSIG(p.WaitStatus), sig);
  size_t on = p.Out.rfind("\x1b[?1000h"), off = p.Out.rfind("\x1b[?1000l");
  ASSERT_NE(off, std::string::npos);
  EXPECT_GT(off, on);
  EXPECT_NE(p.Out.rfind("\x1b[?1006l"), std::string::npos);
  EXPECT_GT(p.Out.rfind("\x1b[?1049l"), p.Out.rfind("\x1b[?1049h"));
  EXPECT_TRUE(test::HasDefaultModes(p.Master));
}

TEST_P(SignalEnd, RestoresTheTerminal) {
  test::TempDir dir;
  test::WriteFile(dir / "a.txt", "");
  test::PtyProgram p(EHISELECT_PATH, {}, dir.Path());
  ASSERT_TRUE(p.ReadUntil("Quit Program")) << p.Out;
  ASSERT_TRUE(p.ReadUntil("\x1b[?1006h"));
  kill(p.Pid, GetParam());
  ExpectEndedAndGivenBack(p, GetParam());
}

// The signal comes while the end of the screen waits for the release of a
// button still held (Ctrl-C as it seems to hang): the terminal is still
// given back whole before the signal ends the program.
TEST_P(SignalEnd, DuringTheEndStillRestoresTheTerminal) {
  test::TempDir dir;
  test::WriteFile(dir / "a.txt", "");
  test::PtyProgram p(EHISELECT_PATH, {}, dir.Path());
  ASSERT_TRUE(p.ReadUntil("Quit Program")) << p.Out;
  ASSERT_TRUE(p.ReadUntil("\x1b[?1006h"));
  p.Type("\x1b[<0;5;3Mx");  // a button held on the list, then a key ends the screen
  usleep(150000);
  kill(p.Pid, GetParam());
  ExpectEndedAndGivenBack(p, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalEnd, ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT));

}  // namespace
}  // namespace ehi
