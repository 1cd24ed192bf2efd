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

namespace ehi {
namespace {

struct Probe {
  int master = -1;
  pid_t pid = -1;
  std::string out;
  int status = -1;

  explicit Probe(const char* mode) {
    struct winsize ws = {25, 80, 0, 0};
    pid = forkpty(&master, nullptr, nullptr, &ws);
    if (pid == 0) {
      execl(CONSOLE_PROBE_PATH, CONSOLE_PROBE_PATH, mode, static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Probe() {
    if (pid > 0 && status < 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (master >= 0) close(master);
  }
  // Reads until `needle` shows up (true) or the time is over (false).
  bool ReadUntil(const std::string& needle, int ms = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.find(needle) == std::string::npos) {
      int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                         end - std::chrono::steady_clock::now())
                         .count());
      if (left <= 0) return false;
      struct pollfd p = {master, POLLIN, 0};
      if (poll(&p, 1, left) <= 0) continue;
      char buf[4096];
      ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) return out.find(needle) != std::string::npos;
      out.append(buf, size_t(n));
    }
    return true;
  }
  // Waits for the end, reading everything the probe still writes.
  void Finish() {
    ReadUntil("\x01never\x01", 300);
    waitpid(pid, &status, 0);
    ReadUntil("\x01never\x01", 100);
  }
};

struct termios DefaultModes() {
  int m, s;
  struct termios t = {};
  openpty(&m, &s, nullptr, nullptr, nullptr);
  tcgetattr(s, &t);
  close(m);
  close(s);
  return t;
}

void ExpectSameModes(int master) {
  struct termios want = DefaultModes(), now = {};
  ASSERT_EQ(tcgetattr(master, &now), 0);
  EXPECT_EQ(now.c_lflag, want.c_lflag);
  EXPECT_EQ(now.c_iflag, want.c_iflag);
  EXPECT_EQ(now.c_oflag, want.c_oflag);
}

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

TEST(Terminal, TextIsDrawnWithColoursAndNoRawEscape) {
  Probe p("wait");
  ASSERT_TRUE(p.ReadUntil("READY"));
  // Yellow (14) on blue (1): bright yellow is 93, blue background 44.
  EXPECT_NE(p.out.find("\x1b[0;93;44mHello "), std::string::npos) << p.out;
  EXPECT_EQ(p.out.find("\x1b[2J"), std::string::npos);  // shown as a glyph
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
