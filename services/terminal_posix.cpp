// The terminal backend: shows the console window on the controlling
// terminal with xterm escape sequences, reads keys and mouse reports from
// it, and puts the terminal back as it was on every way out.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "console.h"
#include "consolebackend.h"
#include "glyphs.h"
#include "platform.h"
#include "process.h"
#include "terminal.h"

namespace ehi {

namespace {

// --- Restoring the terminal -------------------------------------------
// Everything the restore routine touches is set up beforehand, so that it
// can run from a signal handler: plain writes and tcsetattr only.

int termFd = -1;           // blocking descriptor of the terminal
struct termios savedModes;  // the settings the program found
std::atomic<bool> modesSaved{false};
std::atomic<bool> changed{false};     // raw mode, mouse or colours may be on
std::atomic<bool> mouseWanted{false};  // reporting is on while running
std::atomic<bool> repaintWanted{false};

const char kMouseOff[] = "\x18\x1b[?1006l\x1b[?1002l\x1b[?1000l";
const char kMouseOn[] = "\x1b[?1000h\x1b[?1002h\x1b[?1006h";
const char kCursorAndColours[] = "\x1b[?25h\x1b[0m";

void WriteRaw(const char* s, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(termFd, s, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    s += w;
    n -= size_t(w);
  }
}

void EnterRawMode() {
  if (termFd < 0 || !modesSaved) return;
  struct termios raw = savedModes;
  // No echo and no line editing; Ctrl-C still interrupts (ISIG stays).
  raw.c_lflag &= tcflag_t(~(ECHO | ICANON | IEXTEN));
  raw.c_iflag &= tcflag_t(~(IXON | ICRNL | INLCR | IGNCR | ISTRIP));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  ::tcsetattr(termFd, TCSADRAIN, &raw);
}

void ReenterTerminal() {
  changed = true;
  EnterRawMode();
  if (mouseWanted) WriteRaw(kMouseOn, sizeof kMouseOn - 1);
  repaintWanted = true;
}

const int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE,
                             SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};

void OnFatalSignal(int sig) {
  RestoreTerminal();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void OnStop(int) {
  int saved = errno;
  RestoreTerminal();
  ::signal(SIGTSTP, SIG_DFL);
  ::raise(SIGTSTP);  // stops here until continued
  struct sigaction sa = {};
  sa.sa_handler = OnStop;
  ::sigaction(SIGTSTP, &sa, nullptr);
  ReenterTerminal();
  errno = saved;
}

void InstallSignalHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction sa = {};
  sa.sa_handler = OnFatalSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : kFatalSignals) {
    struct sigaction old;
    ::sigaction(sig, nullptr, &old);
    if (old.sa_handler == SIG_IGN) continue;  // keep what the caller chose
    ::sigaction(sig, &sa, nullptr);
  }
  struct sigaction stop = {};
  stop.sa_handler = OnStop;
  ::sigaction(SIGTSTP, &stop, nullptr);
  std::atexit(RestoreTerminal);
}

// --- Rendering ----------------------------------------------------------

// The console's colour numbers have blue in bit 0 and red in bit 2; the
// terminal's the other way round.
int SwapRedBlue(int c) { return ((c & 1) << 2) | (c & 2) | ((c & 4) >> 2); }

void AppendSgr(std::string& out, uint8_t attr) {
  int fg = attr & 15, bg = (attr >> 4) & 7;
  out += "\x1b[0;";
  out += std::to_string(fg & 8 ? 90 + SwapRedBlue(fg & 7) : 30 + SwapRedBlue(fg));
  out += ';';
  out += std::to_string(attr & 0x80 ? 100 + SwapRedBlue(bg) : 40 + SwapRedBlue(bg));
  out += 'm';
}

void AppendMove(std::string& out, int col, int row) {
  out += "\x1b[" + std::to_string(row) + ";" + std::to_string(col) + "H";
}

double NowMs() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

class TerminalBackend : public ConsoleBackend {
 public:
  explicit TerminalBackend(int inFd) : inFd_(inFd) {}

  ~TerminalBackend() override { StopReader(); }

  void Present(const ScreenModel& m) override {
    if (!takenOver_) return;
    if (repaintWanted.exchange(false)) shownValid_ = false;
    std::string out;
    const size_t cells = size_t(m.Width() * m.Height());
    if (shown_.size() != cells) {
      shown_.assign(cells, Cell());
      shownValid_ = false;
    }
    int curCol = -1, curRow = -1, curAttr = -1;
    for (int row = 1; row <= m.Height(); ++row) {
      for (int col = 1; col <= m.Width(); ++col) {
        const Cell& c = m.At(col, row);
        Cell& s = shown_[size_t((row - 1) * m.Width() + col - 1)];
        if (shownValid_ && s == c) continue;
        if (row != curRow || col != curCol) AppendMove(out, col, row);
        if (c.Attr != curAttr) AppendSgr(out, c.Attr), curAttr = c.Attr;
        out += Cp437Glyph(c.Ch);  // never a raw control byte
        s = c;
        curRow = row;
        curCol = col + 1;
      }
    }
    shownValid_ = true;
    AppendMove(out, m.CursorX(), m.CursorY());
    WriteRaw(out.data(), out.size());
  }

  void PassThrough(std::string_view bytes) override {
    std::string out;
    for (char ch : bytes) {
      unsigned char c = static_cast<unsigned char>(ch);
      if (c == 7) continue;
      if ((c >= 32 && c < 127) || c == '\r' || c == '\n' || c == '\b')
        out += ch;
      else
        out += Cp437Glyph(c);  // a control byte never drives the terminal
    }
    WriteRaw(out.data(), out.size());
  }

  bool PassingThrough() const override { return !takenOver_; }

  void TakeOver() override {
    takenOver_ = true;
    shownValid_ = false;
    Prepare();
  }

  void PollInput(InputSink& sink) override {
    if (readerRunning_) {
      if (repaintWanted) Present(ConsoleModel());
      return;
    }
    Prepare();
    if (repaintWanted) Present(ConsoleModel());
    char buf[256];
    for (;;) {
      struct pollfd p = {inFd_, POLLIN, 0};
      if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) break;
      ssize_t n = ::read(inFd_, buf, sizeof buf);
      if (n <= 0) break;
      decoder_.Feed(std::string_view(buf, size_t(n)), sink);
      lastByte_ = NowMs();
    }
    if (decoder_.Pending() && NowMs() - lastByte_ > 30) decoder_.Timeout(sink);
  }

  void StartMouse(InputSink& sink) override {
    Prepare();
    mouseWanted = true;
    WriteRaw(kMouseOn, sizeof kMouseOn - 1);
    if (::pipe(wake_) != 0) return;
    readerRunning_ = true;
    reader_ = std::thread([this, &sink] { ReadLoop(sink); });
  }

  void StopReader() {
    if (!readerRunning_) return;
    stop_ = true;
    char x = 1;
    (void)::write(wake_[1], &x, 1);
    if (reader_.joinable()) reader_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
    readerRunning_ = false;
  }

 private:
  void Prepare() {
    InstallSignalHandlers();
    if (!changed.exchange(true)) EnterRawMode();
  }

  // The input reader: waits on the terminal and on the wake-up pipe
  // together, so it never blocks for ever in a read.
  void ReadLoop(InputSink& sink) {
    char buf[256];
    while (!stop_) {
      struct pollfd p[2] = {{inFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      int r = ::poll(p, 2, decoder_.Pending() ? 30 : 200);
      if (stop_) break;
      if (r < 0) continue;
      if (r == 0) {
        if (decoder_.Pending()) decoder_.Timeout(sink);
        continue;
      }
      if (p[0].revents & POLLIN) {
        ssize_t n = ::read(inFd_, buf, sizeof buf);
        if (n > 0) decoder_.Feed(std::string_view(buf, size_t(n)), sink);
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      } else if (p[0].revents & (POLLHUP | POLLERR)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
  }

  int inFd_;
  bool takenOver_ = false;
  bool shownValid_ = false;
  std::vector<Cell> shown_;
  InputDecoder decoder_;
  double lastByte_ = 0;
  std::thread reader_;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  bool readerRunning_ = false;
};

TerminalBackend* terminal = nullptr;

void StopTerminalReader() {
  if (terminal) terminal->StopReader();
  RestoreTerminal();
}

}  // namespace

void RestoreTerminal() {
  if (!changed.exchange(false)) return;
  WriteRaw(kMouseOff, sizeof kMouseOff - 1);
  if (modesSaved) ::tcsetattr(termFd, TCSADRAIN, &savedModes);
  WriteRaw(kCursorAndColours, sizeof kCursorAndColours - 1);
}

void InitConsole() {
  sys::Handle out = sys::TerminalOutput();
  sys::Handle in = sys::TerminalInput();
  if (out == sys::kNoHandle || in == sys::kNoHandle) return;
  termFd = out;
  if (::tcgetattr(in, &savedModes) == 0) modesSaved = true;
  int width = 80, height = 25;
  struct winsize ws;
  if (::ioctl(out, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
    width = ws.ws_col > 255 ? 255 : ws.ws_col;
    height = ws.ws_row > 255 ? 255 : ws.ws_row;
  }
  terminal = new TerminalBackend(in);
  InstallConsoleBackend(terminal, width, height, 7);
  RegisterFinalisation(StopTerminalReader);
}

}  // namespace ehi
