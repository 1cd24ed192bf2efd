// The terminal backend: shows the console window on the controlling
// terminal with xterm escape sequences, reads keys and mouse reports from
// it, and puts the terminal back as it was on every way out.
#include <errno.h>
#include <fcntl.h>
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
#include "inputdecoder.h"
#include "platform.h"
#include "platform_posix.h"
#include "process.h"
#include "vtrenderer.h"

namespace ehi {

namespace {

// --- Restoring the terminal -------------------------------------------
// Everything the restore routine touches is set up beforehand, so that it
// can run from a signal handler: plain writes and tcsetattr only.

int termFd = -1;            // blocking descriptor of the terminal, for writing
int termInFd = -1;          // and for reading
struct termios savedModes;  // the settings the program found
std::atomic<bool> modesSaved{false};
std::atomic<bool> changed{false};     // raw mode, mouse or colours may be on
std::atomic<bool> mouseWanted{false};  // reporting is on while running
std::atomic<bool> repaintWanted{false};
std::atomic<bool> resized{false};       // the window's size may have changed
// The buttons held as the last mouse report left them.
std::atomic<uint16_t> heldButtons{0};
// Answers to status requests the input reader has read.
std::atomic<uint32_t> statusReplies{0};
// The program draws on the terminal's alternate screen (wanted), has taken
// it (inUse), and is on it now (on: not while stopped by Ctrl-Z).
std::atomic<bool> altWanted{false};
std::atomic<bool> altInUse{false};
std::atomic<bool> altOn{false};
// The too-small notice is what the terminal shows.
std::atomic<bool> noticeOnScreen{false};

const char kMouseOff[] = "\x18\x1b[?1006l\x1b[?1002l\x1b[?1000l";
const char kMouseOn[] = "\x1b[?1000h\x1b[?1002h\x1b[?1006h";
const char kCursorAndColours[] = "\x1b[?25h\x1b[0m";
const char kEnterAlternate[] = "\x1b[?1049h";
const char kLeaveAlternate[] = "\x1b[?1049l";
const char kErase[] = "\x1b[0m\x1b[2J\x1b[H";
const char kStatusRequest[] = "\x1b[5n";

// A button still held when the screen ends is waited for this long: its
// release, left to the shell, would read there as typed text, and over a
// slow link (ssh) the report lags.
constexpr int kReleaseWaitMs = 500;
// Input still coming at the end (a paste, a held key) is read and dropped
// until it pauses this long, for at most kDrainLimitMs.
constexpr int kQuietMs = 50;
constexpr int kDrainLimitMs = 500;
// The terminal's answer to a status request is waited for this long: as
// long as a split sequence's rest, for a slow link.
constexpr int kReplyWaitMs = InputDecoder::kSequenceWaitMs;
// Waits for what the input reader may see first (when a signal ends the
// screen it still runs) look again at least this often.
constexpr int kStepMs = 20;

void WriteRaw(const char* s, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(termFd, s, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    s += w;
    n -= size_t(w);
  }
}

double NowMs() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

// Reads what the terminal sends for up to `ms`, into `buf`: the count, 0
// when nothing came in time, -1 when the terminal is gone.
ssize_t ReadWithin(char* buf, size_t size, int ms) {
  struct pollfd p = {termInFd, POLLIN, 0};
  const int r = ::poll(&p, 1, ms);
  if (r == 0 || (r < 0 && errno == EINTR)) return 0;
  if (r < 0) return -1;
  const ssize_t n = ::read(termInFd, buf, size);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
  return n > 0 ? n : -1;
}

// Mouse reports the terminal sent before it took reporting off may still
// be on their way (over ssh for as long as the link's round trip: the
// second click of a double click). The terminal answers a status request
// written after the "off" after all it sent before, so what comes until
// the answer is read and dropped. A terminal that does not answer is
// waited for kReplyWaitMs.
void AwaitStatusReply(char* buf, size_t size) {
  const uint32_t before = statusReplies;
  WriteRaw(kStatusRequest, sizeof kStatusRequest - 1);
  StatusWatch watch;
  const double end = NowMs() + kReplyWaitMs;
  while (!watch.Answered() && statusReplies == before) {
    const int left = int(end - NowMs());
    if (left <= 0) return;
    const ssize_t n = ReadWithin(buf, size, left < kStepMs ? left : kStepMs);
    if (n < 0) return;
    watch.Feed(buf, size_t(n));
  }
}

// The end of the screen leaves nothing for the shell to read: the release
// of a button still held is taken in (reporting still on), reporting goes
// off, the reports still on their way are awaited, input still arriving
// is read until it pauses, and what is left unread is discarded. Plain
// reads, polls and writes only: it runs in signal handlers too.
void QuietenInput() {
  if (termInFd < 0) return;
  char buf[256];
  if (mouseWanted && heldButtons != 0) {
    ButtonWatch watch(heldButtons);
    const double end = NowMs() + kReleaseWaitMs;
    while (watch.Held() != 0 && heldButtons != 0) {
      const int left = int(end - NowMs());
      if (left <= 0) break;
      const ssize_t n = ReadWithin(buf, sizeof buf, left < kStepMs ? left : kStepMs);
      if (n < 0) break;
      watch.Feed(buf, size_t(n));
    }
  }
  WriteRaw(kMouseOff, sizeof kMouseOff - 1);
  if (mouseWanted) AwaitStatusReply(buf, sizeof buf);
  const double end = NowMs() + kDrainLimitMs;
  for (;;) {
    const int left = int(end - NowMs());
    if (left <= 0 || ReadWithin(buf, sizeof buf, left < kQuietMs ? left : kQuietMs) <= 0) break;
  }
  ::tcflush(termInFd, TCIFLUSH);
}

// Puts the terminal back as the program found it: no input left over,
// mouse reporting off, the notice or the alternate screen gone, the saved
// settings, cursor shown, colours reset. Idempotent and safe in a signal
// handler; every way out of the program comes here.
void RestoreTerminal() {
  if (!changed.exchange(false)) return;
  QuietenInput();
  if (altOn.exchange(false)) {
    WriteRaw(kLeaveAlternate, sizeof kLeaveAlternate - 1);
  } else if (noticeOnScreen) {
    WriteRaw(kErase, sizeof kErase - 1);
  }
  noticeOnScreen = false;
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
  if (altInUse && !altOn.exchange(true)) WriteRaw(kEnterAlternate, sizeof kEnterAlternate - 1);
  if (mouseWanted) WriteRaw(kMouseOn, sizeof kMouseOn - 1);
  repaintWanted = true;
}

const int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE,
                             SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// The signals that give the terminal back (the fatal ones and Ctrl-Z): one
// that came while it was being given back would find the work begun and
// leave it half done (the alternate screen and mouse reporting still on),
// so they wait until it is finished.
sigset_t EndingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kFatalSignals) sigaddset(&set, sig);
  sigaddset(&set, SIGTSTP);
  return set;
}

void OnFatalSignal(int sig) {
  RestoreTerminal();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// Ctrl-Z: give the terminal back and stop like any full-screen program;
// once continued, take the terminal again and repaint the whole screen.
void OnStop(int) {
  int saved = errno;
  // Stopped once the terminal was given back (at the program's end, the
  // signal held until then): continued, the program finishes on the
  // shell's screen, and what it prints stays there.
  const bool taken = changed;
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
  if (taken) ReenterTerminal();
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
  sa.sa_mask = EndingSignals();
  for (int sig : kFatalSignals) {
    struct sigaction old;
    ::sigaction(sig, nullptr, &old);
    if (old.sa_handler == SIG_IGN) continue;  // keep what the caller chose
    ::sigaction(sig, &sa, nullptr);
  }
  struct sigaction stop = {};
  stop.sa_handler = OnStop;
  stop.sa_mask = EndingSignals();
  ::sigaction(SIGTSTP, &stop, nullptr);
  struct sigaction winch = {};
  winch.sa_handler = OnResize;
  sigemptyset(&winch.sa_mask);
  winch.sa_flags = SA_RESTART;
  ::sigaction(SIGWINCH, &winch, nullptr);
  std::atexit(RestoreTerminal);
}

// Passes input on, except while the terminal is too small to show the
// screen: then the notice stands in its place and nothing acts. Mouse
// reports still pass, as from past the screen's edge, so the buttons'
// state stays true.
class PauseGate : public InputSink {
 public:
  PauseGate(InputSink& to, bool paused) : to_(to), paused_(paused) {}
  void OnKey(const KeyEvent& key) override {
    if (!paused_) to_.OnKey(key);
  }
  void OnMouse(const MouseState& mouse) override {
    if (!paused_) {
      to_.OnMouse(mouse);
      return;
    }
    MouseState away = mouse;
    away.X = away.Y = 65535;
    to_.OnMouse(away);
  }

 private:
  InputSink& to_;
  bool paused_;
};

// Whether the terminal is now too small for the screen (asked afresh: the
// input reader runs apart from the resize handling of the output).
bool TooSmallNow() {
  struct winsize ws;
  if (::ioctl(termFd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) return false;
  return ws.ws_col < VtRenderer::kMinCols || ws.ws_row < VtRenderer::kMinRows;
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
    noticeOnScreen = renderer_.NoticeShown();
  }

  void PassThrough(std::string_view bytes) override {
    const std::string out = VtRenderer::PassThrough(bytes);
    WriteRaw(out.data(), out.size());
  }

  bool PassingThrough() const override { return !takenOver_; }

  // The terminal is spoken to in UTF-8 (the glyphs of the frames are), so
  // names in UTF-8 are shown as their characters.
  bool ShowsCharacters() const override { return true; }

  void TakeOver() override {
    takenOver_ = true;
    renderer_.Invalidate();
    Prepare();
    EnterAlternateScreen();
  }

  void UseAlternateScreen() override {
    altWanted = true;
    if (takenOver_) {
      EnterAlternateScreen();
      renderer_.Invalidate();
    }
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
    }
    if (decoder_.Pending() && NowMs() - lastByte_ >= decoder_.WaitMs()) TimeOut(sink);
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
    // A signal that comes meanwhile (Ctrl-C while a held button's release
    // is waited for) ends the program once the terminal is back.
    const sigset_t ending = EndingSignals();
    sigset_t before;
    ::pthread_sigmask(SIG_BLOCK, &ending, &before);
    StopReader();
    const bool alternate = altOn;
    RestoreTerminal();
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    // What the program said last (a stop's message, "User abort!") was on
    // the alternate screen, which is gone: it is said again below the
    // shell's own lines.
    if (alternate && !altOn) PassThrough(ConsoleClosingText());
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

  void EnterAlternateScreen() {
    if (!altWanted || altOn.exchange(true)) return;
    altInUse = true;
    WriteRaw(kEnterAlternate, sizeof kEnterAlternate - 1);
  }

  // Reads what poll reported on the terminal into the decoder. False when
  // nothing came: then an end of input or an error means the terminal hung
  // up (also when SIGHUP is ignored, as under nohup).
  bool ReadInput(short revents, char* buf, size_t size, InputSink& sink) {
    if (!(revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return false;
    ssize_t n = ::read(inFd_, buf, size);
    if (n > 0) {
      PauseGate gate(sink, TooSmallNow());
      decoder_.Feed(std::string_view(buf, size_t(n)), gate);
      heldButtons = decoder_.Held();
      statusReplies = decoder_.StatusReplies();
      lastByte_ = NowMs();
      return true;
    }
    if (n == 0 || (errno != EINTR && errno != EAGAIN)) hungUp_ = true;
    return false;
  }

  // The rest of a sequence did not come in time. A further wait, should
  // the decoder still wait (for the tail of what it dropped), counts from
  // now.
  void TimeOut(InputSink& sink) {
    PauseGate gate(sink, TooSmallNow());
    decoder_.Timeout(gate);
    lastByte_ = NowMs();
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
      // A sequence begun waits for its rest, counted from its last byte.
      int wait = 200;
      if (decoder_.Pending()) {
        wait = int(lastByte_ + decoder_.WaitMs() - NowMs()) + 1;  // never short of it
        if (wait < 0) wait = 0;
      }
      int r = ::poll(p, 2, wait);
      if (stop_) break;
      if (r < 0) continue;
      if (r == 0) {
        if (decoder_.Pending() && NowMs() - lastByte_ >= decoder_.WaitMs()) TimeOut(sink);
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
  termInFd = in;
  // Reads never block: a signal handler reads beside the input reader, and
  // what poll showed it may be gone by its read.
  const int flags = ::fcntl(in, F_GETFL);
  if (flags != -1) ::fcntl(in, F_SETFL, flags | O_NONBLOCK);
  if (::tcgetattr(in, &savedModes) == 0) modesSaved = true;
  struct winsize ws;
  if (::ioctl(out, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
    width = ws.ws_col > 255 ? 255 : ws.ws_col;
    height = ws.ws_row > 255 ? 255 : ws.ws_row;
  }
  return std::make_unique<TerminalBackend>(in, width, height);
}

}  // namespace ehi
