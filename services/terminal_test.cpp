// The terminal backend on a real pseudo-terminal: the probe program takes
// over the screen, turns the mouse on and ends in various ways; the
// terminal must always be left as it was found.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "testutil.h"

namespace ehi {
namespace {

// The probe on a pseudo-terminal.
struct Probe : test::PtyProgram {
  explicit Probe(const char* mode) : PtyProgram(CONSOLE_PROBE_PATH, {mode}) {}
  std::string& out = Out;
  int& status = WaitStatus;
  int& master = Master;
  int& pid = Pid;
};

void ExpectSameModes(int master) { EXPECT_TRUE(test::HasDefaultModes(master)); }

void ExpectMouseOffAtTheEnd(const std::string& out) {
  size_t on = out.rfind("\x1b[?1000h");
  size_t off = out.rfind("\x1b[?1000l");
  ASSERT_NE(on, std::string::npos);
  ASSERT_NE(off, std::string::npos);
  EXPECT_GT(off, on);
  EXPECT_NE(out.rfind("\x1b[?1006l"), std::string::npos);
}

TEST(Terminal, KilledBySigtermLeavesTheTerminalAsItWas) {
  Probe p("wait");
  ASSERT_TRUE(p.ReadUntil("READY")) << p.out;
  kill(p.pid, SIGTERM);
  p.Finish();
  EXPECT_TRUE(WIFSIGNALED(p.status));
  EXPECT_EQ(WTERMSIG(p.status), SIGTERM);
  ExpectMouseOffAtTheEnd(p.out);
  ExpectSameModes(p.master);
}

TEST(Terminal, FatalStopAndRuntimeErrorRestoreTheTerminal) {
  {
    Probe p("halt");
    p.Finish();
    EXPECT_TRUE(WIFEXITED(p.status));
    EXPECT_EQ(WEXITSTATUS(p.status), 1);
    ExpectMouseOffAtTheEnd(p.out);
    ExpectSameModes(p.master);
  }
  {
    Probe p("error");
    p.Finish();
    EXPECT_EQ(WEXITSTATUS(p.status), 5);
    EXPECT_NE(p.out.find("Runtime error 5 at $"), std::string::npos);
    ExpectMouseOffAtTheEnd(p.out);
    ExpectSameModes(p.master);
  }
}

// Replacing the terminal backend stops it and gives the terminal back; the
// program's end then stops only the backend installed by then.
TEST(Terminal, ReplacedBackendIsStoppedOnceAndNeverUsedAgain) {
  Probe p("replace");
  p.Finish();
  ASSERT_TRUE(WIFEXITED(p.status)) << p.out;
  EXPECT_EQ(WEXITSTATUS(p.status), 0);
  ExpectMouseOffAtTheEnd(p.out);
  ExpectSameModes(p.master);
}

TEST(Terminal, TextIsDrawnWithColoursAndNoRawEscape) {
  Probe p("wait");
  ASSERT_TRUE(p.ReadUntil("READY"));
  // Yellow (14) on blue (1): bright yellow is 93, blue background 44.
  EXPECT_NE(p.out.find("\x1b[0;93;44mHello "), std::string::npos) << p.out;
  EXPECT_EQ(p.out.find("Hello \x1b"), std::string::npos);  // shown as a glyph
  EXPECT_NE(p.out.find("\xe2\x86\x90[2J"), std::string::npos);
}

TEST(Terminal, PlainOutputPassesThroughWithoutControlBytes) {
  Probe p("print");
  p.Finish();
  EXPECT_EQ(WEXITSTATUS(p.status), 0);
  EXPECT_NE(p.out.find("plain \xe2\x86\x90[31mred?"), std::string::npos) << p.out;
  EXPECT_EQ(p.out.find("\x1b[31m"), std::string::npos);
  ExpectSameModes(p.master);
}

TEST(Terminal, KeysAndClicksArriveThroughTheReader) {
  Probe p("key");
  ASSERT_TRUE(p.ReadUntil("READY"));
  const std::string click = "\x1b[<0;3;2M\x1b[<0;3;2m";
  ASSERT_EQ(write(p.master, click.data(), click.size()), ssize_t(click.size()));
  ASSERT_EQ(write(p.master, "\x1bOP", 3), 3);  // F1
  ASSERT_TRUE(p.ReadUntil("key 0 59")) << p.out;
  p.Finish();
  EXPECT_EQ(WEXITSTATUS(p.status), 0);
  ExpectSameModes(p.master);
}

}  // namespace
}  // namespace ehi
