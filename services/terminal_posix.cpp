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
#include <string>
#include <system_error>
#include <thread>

#include "console.h"
#include "consolebackend.h"
#include "platform.h"
#include "platform_posix.h"
#include "process.h"
#include "vtrenderer.h"

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
std::atomic<bool> resized{false};       // the window's size may have changed

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

// Puts the terminal back as the program found it: mouse reporting off, the
// saved settings, cursor shown, colours reset. Idempotent and safe in a
// signal handler; every way out of the program comes here.
void RestoreTerminal() {
  if (!changed.exchange(false)) return;
  WriteRaw(kMouseOff, sizeof kMouseOff - 1);
  if (modesSaved) ::tcsetattr(termFd, TCSADRAIN, &savedModes);
  WriteRaw(kCursorAndColours, sizeof kCursorAndColours - 1);
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

// Ctrl-Z: give the terminal back and stop like any full-screen program;
// once continued, take the terminal again and repaint the whole screen.
void OnStop(int) {
  int saved = errno;
  RestoreTerminal();
  struct sigaction dfl = {}, mine;
  dfl.sa_handler = SIG_DFL;
  ::sigaction(SIGTSTP, &dfl, &mine);
  // The signal is blocked while its handler runs: unblock it so that the
  // process stops here and now, not again and again on return.
  sigset_t tstp;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  ::sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
  ::raise(SIGTSTP);
  ::sigprocmask(SIG_BLOCK, &tstp, nullptr);
  ::sigaction(SIGTSTP, &mine, nullptr);
  ReenterTerminal();
  errno = saved;
}

void OnResize(int) {
  resized = true;
  repaintWanted = true;
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
  sigemptyset(&stop.sa_mask);
  ::sigaction(SIGTSTP, &stop, nullptr);
  struct sigaction winch = {};
  winch.sa_handler = OnResize;
  sigemptyset(&winch.sa_mask);
  winch.sa_flags = SA_RESTART;
  ::sigaction(SIGWINCH, &winch, nullptr);
  std::atexit(RestoreTerminal);
}

double NowMs() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

class TerminalBackend : public ConsoleBackend {
 public:
  TerminalBackend(int inFd, int cols, int rows) : inFd_(inFd), cols_(cols), rows_(rows) {}

  ~TerminalBackend() override { StopReader(); }

  void Present(const ScreenModel& m) override {
    if (!takenOver_) return;
    if (resized.exchange(false)) QuerySize();
    if (repaintWanted.exchange(false)) renderer_.Invalidate();
    const std::string out = renderer_.Render(m, cols_, rows_);
    WriteRaw(out.data(), out.size());
  }

  void PassThrough(std::string_view bytes) override {
    const std::string out = VtRenderer::PassThrough(bytes);
    WriteRaw(out.data(), out.size());
  }

  bool PassingThrough() const override { return !takenOver_; }

  void TakeOver() override {
    takenOver_ = true;
    renderer_.Invalidate();
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
    while (!hungUp_) {
      struct pollfd p = {inFd_, POLLIN, 0};
      if (::poll(&p, 1, 0) <= 0) break;
      if (!ReadInput(p.revents, buf, sizeof buf, sink)) break;
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
    try {
      reader_ = std::thread([this, &sink] { ReadLoop(sink); });
    } catch (const std::system_error&) {
      // No thread to spare (the user is at the process limit): the input is
      // read between screen updates, as when no pipe could be made.
      readerRunning_ = false;
      ::close(wake_[0]);
      ::close(wake_[1]);
    }
  }

  bool HungUp() const override { return hungUp_; }

  bool ReadsInBackground() const override { return readerRunning_; }

  void AwaitInput(int ms) override {
    struct pollfd p = {inFd_, POLLIN, 0};
    ::poll(&p, 1, ms);
  }

  void Stop() override {
    StopReader();
    RestoreTerminal();
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

  // Reads what poll reported on the terminal into the decoder. False when
  // nothing came: then an end of input or an error means the terminal hung
  // up (also when SIGHUP is ignored, as under nohup).
  bool ReadInput(short revents, char* buf, size_t size, InputSink& sink) {
    if (!(revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return false;
    ssize_t n = ::read(inFd_, buf, size);
    if (n > 0) {
      decoder_.Feed(std::string_view(buf, size_t(n)), sink);
      return true;
    }
    if (n == 0 || (errno != EINTR && errno != EAGAIN)) hungUp_ = true;
    return false;
  }

  void QuerySize() {
    struct winsize ws;
    if (::ioctl(termFd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
      cols_ = ws.ws_col;
      rows_ = ws.ws_row;
    }
  }

  // The input reader: waits on the terminal and on the wake-up pipe
  // together, so it never blocks for ever in a read.
  void ReadLoop(InputSink& sink) {
    char buf[256];
    while (!stop_ && !hungUp_) {
      struct pollfd p[2] = {{inFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      int r = ::poll(p, 2, decoder_.Pending() ? 30 : 200);
      if (stop_) break;
      if (r < 0) continue;
      if (r == 0) {
        if (decoder_.Pending()) decoder_.Timeout(sink);
        continue;
      }
      ReadInput(p[0].revents, buf, sizeof buf, sink);
    }
  }

  int inFd_;
  int cols_, rows_;  // the terminal window's size as last asked
  std::atomic<bool> hungUp_{false};
  bool takenOver_ = false;
  VtRenderer renderer_;
  InputDecoder decoder_;
  double lastByte_ = 0;
  std::thread reader_;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  bool readerRunning_ = false;
};

}  // namespace

std::unique_ptr<ConsoleBackend> CreatePlatformConsoleBackend(int& width, int& height) {
  const int out = sys::Fd(sys::TerminalOutput());
  const int in = sys::Fd(sys::TerminalInput());
  if (out < 0 || in < 0) return nullptr;
  termFd = out;
  if (::tcgetattr(in, &savedModes) == 0) modesSaved = true;
  struct winsize ws;
  if (::ioctl(out, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
    width = ws.ws_col > 255 ? 255 : ws.ws_col;
    height = ws.ws_row > 255 ? 255 : ws.ws_row;
  }
  return std::make_unique<TerminalBackend>(in, width, height);
}

}  // namespace ehi
