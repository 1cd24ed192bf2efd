// The Windows console backend: shows the console window's cells with the
// console's own cell writes, reads keys and mouse records from its input,
// and puts the console's input mode back on every way out.
#include "platform_win32.h"

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "consolebackend.h"
#include "consolekeys.h"
#include "glyphs.h"

namespace ehi {

namespace {

// --- Glyphs ---------------------------------------------------------------
// Cells are written as UTF-16 through the code page 437 glyph table, so
// what the screen shows does not depend on the console's code page.

wchar_t WideGlyph(uint8_t b) {
  static wchar_t table[256];
  static bool built = [] {
    for (int i = 0; i < 256; ++i) {
      const std::string_view g = Cp437Glyph(uint8_t(i));
      const auto* u = reinterpret_cast<const unsigned char*>(g.data());
      uint32_t cp = u[0];
      if (g.size() == 2) cp = ((u[0] & 0x1Fu) << 6) | (u[1] & 0x3Fu);
      if (g.size() == 3) cp = ((u[0] & 0x0Fu) << 12) | ((u[1] & 0x3Fu) << 6) | (u[2] & 0x3Fu);
      table[i] = wchar_t(cp);
    }
    return true;
  }();
  (void)built;
  return table[b];
}

// --- Restoring the console ------------------------------------------------
// The input mode is the only setting the program changes. The restore is
// idempotent and safe from the Ctrl-C handler's thread.

HANDLE inputHandle = INVALID_HANDLE_VALUE;
DWORD savedInputMode = 0;
std::atomic<bool> modeChanged{false};

void RestoreConsole() {
  if (modeChanged.exchange(false)) ::SetConsoleMode(inputHandle, savedInputMode);
}

// --- Leaving no input behind ------------------------------------------------
// The console's input buffer outlives the program: whatever is left in it
// goes to the shell that reads next. So the end of the screen takes in the
// release of a button still held (for up to half a second), then, with the
// input mode put back, reads what still comes until it pauses, and
// discards the rest.

HANDLE quietHandle = INVALID_HANDLE_VALUE;  // the input to quieten at the end
std::atomic<bool> quietWanted{false};
std::atomic<uint16_t> heldButtons{0};  // as the last mouse record left them
constexpr DWORD kReleaseWaitMs = 500, kQuietMs = 50, kDrainLimitMs = 500;

void QuietenInput() {
  if (!quietWanted.exchange(false)) return;
  INPUT_RECORD recs[16];
  DWORD n = 0;
  const ULONGLONG start = ::GetTickCount64();
  while (heldButtons != 0) {
    const ULONGLONG spent = ::GetTickCount64() - start;
    if (spent >= kReleaseWaitMs ||
        ::WaitForSingleObject(quietHandle, DWORD(kReleaseWaitMs - spent)) != WAIT_OBJECT_0 ||
        !::ReadConsoleInputW(quietHandle, recs, 16, &n))
      break;
    for (DWORD i = 0; i < n; ++i) {
      const MOUSE_EVENT_RECORD& m = recs[i].Event.MouseEvent;
      if (recs[i].EventType == MOUSE_EVENT && !(m.dwEventFlags & (MOUSE_WHEELED | MOUSE_HWHEELED)))
        heldButtons = uint16_t(m.dwButtonState & 7);
    }
  }
  RestoreConsole();
  const ULONGLONG drain = ::GetTickCount64();
  while (::GetTickCount64() - drain < kDrainLimitMs &&
         ::WaitForSingleObject(quietHandle, kQuietMs) == WAIT_OBJECT_0 &&
         ::ReadConsoleInputW(quietHandle, recs, 16, &n)) {
  }
  ::FlushConsoleInputBuffer(quietHandle);
}

BOOL WINAPI OnCtrl(DWORD) {
  QuietenInput();
  RestoreConsole();
  return FALSE;  // the process then ends as Ctrl-C or Ctrl-Break would end it
}

void InstallRestore() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  ::SetConsoleCtrlHandler(OnCtrl, TRUE);
  std::atexit(RestoreConsole);
}

// A cell as the console holds it. A character of a name is itself in
// UTF-16; a wide one is written in both its cells, marked as their leading
// and trailing halves, as the console keeps them. A cell holds one UTF-16
// unit: a character beyond it shows as U+FFFD, and combining marks are left
// out.
CHAR_INFO CellInfo(const ScreenModel& m, int x, int y) {
  const Cell& c = m.At(x, y);
  CHAR_INFO info = {};
  info.Attributes = c.Attr;
  if (c.Code == 0) {
    info.Char.UnicodeChar = WideGlyph(c.Ch);
    return info;
  }
  const bool tail = c.Code == kWideTail;
  const Cell& head = tail ? m.At(x - 1, y) : c;
  const bool wide = tail || (x < m.Width() && m.At(x + 1, y).Code == kWideTail);
  if (head.Code > 0xFFFF) {
    info.Char.UnicodeChar = tail ? L' ' : wchar_t(0xFFFD);
    return info;
  }
  info.Char.UnicodeChar = wchar_t(head.Code);
  if (wide) {
    info.Attributes =
        WORD(info.Attributes | (tail ? COMMON_LVB_TRAILING_BYTE : COMMON_LVB_LEADING_BYTE));
  }
  return info;
}

class WindowsConsoleBackend : public ConsoleBackend {
 public:
  WindowsConsoleBackend(HANDLE out, HANDLE in, SMALL_RECT window)
      : out_(out), in_(in), left_(window.Left), top_(window.Top) {}

  ~WindowsConsoleBackend() override { StopReader(); }

  void Present(const ScreenModel& m) override {
    if (!takenOver_) return;
    if (repaintWanted_.exchange(false)) shown_.clear();
    const int w = m.Width(), h = m.Height();
    if (shown_.size() != size_t(w) * size_t(h)) shown_.assign(size_t(w) * size_t(h), Cell{0, 0});
    std::vector<CHAR_INFO> row(static_cast<size_t>(w));
    for (int y = 1; y <= h; ++y) {
      bool same = true;
      for (int x = 1; x <= w; ++x) {
        const Cell c = m.At(x, y);
        Cell& was = shown_[size_t(y - 1) * size_t(w) + size_t(x - 1)];
        if (!(was == c)) same = false;
        was = c;
        row[size_t(x - 1)] = CellInfo(m, x, y);
      }
      if (same) continue;
      SMALL_RECT rect = {SHORT(left_), SHORT(top_ + y - 1), SHORT(left_ + w - 1),
                         SHORT(top_ + y - 1)};
      ::WriteConsoleOutputW(out_, row.data(), COORD{SHORT(w), 1}, COORD{0, 0}, &rect);
    }
    ::SetConsoleCursorPosition(out_,
                               COORD{SHORT(left_ + m.CursorX() - 1), SHORT(top_ + m.CursorY() - 1)});
  }

  void PassThrough(std::string_view bytes) override {
    std::wstring text;
    for (char ch : bytes) {
      const auto c = static_cast<unsigned char>(ch);
      if (c == 7) continue;
      text += (c == '\r' || c == '\n' || c == '\b') ? wchar_t(c) : WideGlyph(c);
    }
    DWORD done = 0;
    ::WriteConsoleW(out_, text.data(), DWORD(text.size()), &done, nullptr);
  }

  bool PassingThrough() const override { return !takenOver_; }

  // Cells are written in UTF-16: names in UTF-8 show as their characters.
  bool ShowsCharacters() const override { return true; }

  void TakeOver() override {
    takenOver_ = true;
    shown_.clear();
    InstallRestore();
    WantQuiet();
  }

  void PollInput(InputSink& sink) override {
    if (readerRunning_) return;
    DWORD count = 0;
    while (::GetNumberOfConsoleInputEvents(in_, &count) && count > 0) ReadRecords(sink);
  }

  void StartMouse(InputSink& sink) override {
    InstallRestore();
    WantQuiet();
    DWORD mode = 0;
    if (::GetConsoleMode(in_, &mode)) {
      // The mode to restore is in place before the flag that says there is
      // one: a Ctrl-C in between must find the handle and mode it restores.
      if (!modeChanged.load()) {
        inputHandle = in_;
        savedInputMode = mode;
        modeChanged.store(true);
      }
      // Mouse records on; quick edit off, or the mouse would select text.
      ::SetConsoleMode(in_, (mode | ENABLE_MOUSE_INPUT | ENABLE_EXTENDED_FLAGS) &
                                DWORD(~ENABLE_QUICK_EDIT_MODE));
    }
    mouseOn_ = true;
    readerRunning_ = true;
    reader_ = std::thread([this, &sink] { ReadLoop(sink); });
  }

  bool ReadsInBackground() const override { return readerRunning_; }

  void AwaitInput(int ms) override { ::WaitForSingleObject(in_, DWORD(ms)); }

  void Stop() override {
    StopReader();
    QuietenInput();
    RestoreConsole();
  }

 private:
  // A screen was shown: its end leaves no input behind.
  void WantQuiet() {
    quietHandle = in_;
    quietWanted = true;
  }

  // Takes up to 16 pending records and sends each to its consumer: keys to
  // the key queue, mouse records (once the mouse is on) to the mouse queue.
  void ReadRecords(InputSink& sink) {
    INPUT_RECORD recs[16];
    DWORD n = 0;
    if (!::ReadConsoleInputW(in_, recs, 16, &n)) return;
    for (DWORD i = 0; i < n; ++i) {
      const INPUT_RECORD& r = recs[i];
      if (r.EventType == KEY_EVENT) {
        const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
        ConsoleKeyRecord rec;
        rec.Down = k.bKeyDown != 0;
        rec.VirtualKey = k.wVirtualKeyCode;
        rec.ScanCode = k.wVirtualScanCode;
        rec.Char = char16_t(k.uChar.UnicodeChar);
        rec.Control = k.dwControlKeyState;
        const int repeat = rec.Down && k.wRepeatCount > 1 ? k.wRepeatCount : 1;
        for (int j = 0; j < repeat; ++j) keys_.Feed(rec, sink);
      } else if (r.EventType == MOUSE_EVENT && mouseOn_) {
        const MOUSE_EVENT_RECORD& m = r.Event.MouseEvent;
        if (m.dwEventFlags & MOUSE_HWHEELED) continue;
        MouseState state = ConsoleMouseState(m.dwButtonState, m.dwMousePosition.X,
                                             m.dwMousePosition.Y, left_, top_);
        if (m.dwEventFlags & MOUSE_WHEELED) {
          // The high word is the turn: positive away from the user (up).
          state.Wheel = int8_t(int16_t(HIWORD(m.dwButtonState)) > 0 ? -1 : 1);
        } else {
          heldButtons = state.Buttons;
        }
        sink.OnMouse(state);
      } else if (r.EventType == WINDOW_BUFFER_SIZE_EVENT) {
        repaintWanted_ = true;
      }
    }
  }

  // The input reader: waits for console input and reads it as it comes;
  // Stop wakes it with a record of its own.
  void ReadLoop(InputSink& sink) {
    while (!stop_) {
      if (::WaitForSingleObject(in_, 200) != WAIT_OBJECT_0) continue;
      if (stop_) break;
      ReadRecords(sink);
    }
  }

  void StopReader() {
    if (!readerRunning_) return;
    stop_ = true;
    INPUT_RECORD wake = {};
    wake.EventType = FOCUS_EVENT;
    DWORD written = 0;
    ::WriteConsoleInputW(in_, &wake, 1, &written);
    if (reader_.joinable()) reader_.join();
    readerRunning_ = false;
  }

  HANDLE out_, in_;
  int left_, top_;  // the window's top-left cell in the screen buffer
  bool takenOver_ = false;
  bool mouseOn_ = false;
  std::vector<Cell> shown_;  // what the console shows, for the diff
  std::atomic<bool> repaintWanted_{false};
  ConsoleKeyMapper keys_;
  std::thread reader_;
  std::atomic<bool> stop_{false};
  bool readerRunning_ = false;
};

}  // namespace

std::unique_ptr<ConsoleBackend> CreatePlatformConsoleBackend(int& width, int& height) {
  HANDLE out = sys::Win(sys::TerminalOutput());
  HANDLE in = sys::Win(sys::TerminalInput());
  if (sys::TerminalOutput() == sys::kNoHandle || sys::TerminalInput() == sys::kNoHandle)
    return nullptr;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(out, &info)) return nullptr;
  const int w = info.srWindow.Right - info.srWindow.Left + 1;
  const int h = info.srWindow.Bottom - info.srWindow.Top + 1;
  if (w > 0 && h > 0) {
    width = w > 255 ? 255 : w;
    height = h > 255 ? 255 : h;
  }
  return std::make_unique<WindowsConsoleBackend>(out, in, info.srWindow);
}

}  // namespace ehi
