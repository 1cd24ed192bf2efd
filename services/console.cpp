// The console core: the window model, the key queue and the mouse queue,
// and the routing of ConsoleOutput and ConsoleInput through them.
#include "codes.h"
#include "console.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "consolebackend.h"
#include "keycodes.h"
#include "mousequeue.h"
#include "platform.h"
#include "process.h"
#include "textfile.h"
#include "utf8text.h"

namespace ehi {

ConsoleRect ConsoleWindow;
uint8_t TextAttr = 7;

namespace {

std::unique_ptr<ConsoleBackend> backend;
std::unique_ptr<ScreenModel> model;
std::mutex keyLock;
std::deque<KeyEvent> keys;
// Told whenever input arrives from a background reader.
std::condition_variable inputArrived;
MouseQueue mouseQueue;
bool mouseOn = false;

// The keyboard state: one pending key code, and whether it is the second
// half of an extended key.
bool pendingValid = false;
bool pendingExtended = false;
uint8_t pendingCode = 0;

// What a read from ConsoleInput takes: the rest of the last edited line.
std::string lineBuffer;

// Text written through ConsoleOutput since the last clear or cursor move
// (its last kClosingLimit bytes).
std::string closingText;
constexpr size_t kClosingLimit = 4096;

class CoreSink : public InputSink {
 public:
  void OnKey(const KeyEvent& key) override {
    {
      std::lock_guard<std::mutex> hold(keyLock);
      keys.push_back(key);
    }
    inputArrived.notify_all();
  }
  void OnMouse(const MouseState& m) override {
    // A report from past the window's edge (a terminal larger than the
    // window, or a coordinate no 16 bits hold) acts on nothing.
    mouseQueue.Report(m, m.X < ConsoleWindow.Right && m.Y < ConsoleWindow.Bottom);
    // Taking the lock orders this after a waiter's look at the queue.
    { std::lock_guard<std::mutex> hold(keyLock); }
    inputArrived.notify_all();
  }
};
CoreSink coreSink;

void Present() {
  if (backend && model) backend->Present(*model);
}

void RememberClosing(std::string_view text) {
  closingText.append(text);
  if (closingText.size() > kClosingLimit) closingText.erase(0, closingText.size() - kClosingLimit);
}

// Output of ConsoleOutput: through to the terminal until the program takes
// over the window, then into the model.
void WriteToConsole(const char* data, size_t size) {
  if (!backend) return;
  if (backend->PassingThrough()) {
    backend->PassThrough(std::string_view(data, size));
    return;
  }
  model->Write(std::string_view(data, size), TextAttr);
  RememberClosing(std::string_view(data, size));
  Present();
}

void TakeOver() {
  if (backend && backend->PassingThrough()) backend->TakeOver();
}

void Echo(std::string_view s) { WriteToConsole(s.data(), s.size()); }

// The line being edited is bytes, shown in units: on a console that shows
// characters, a character typed in UTF-8 beyond ASCII is one unit, kept
// whole and shown as itself in the cells it takes (two for a wide one);
// anything else is a byte in a cell of its own, through the glyph table.
class LineUnits {
 public:
  explicit LineUnits(bool characters) : characters_(characters) {}

  // Whether characters beyond ASCII are units of their own.
  bool Characters() const { return characters_; }

  // The bytes of the unit at `at`.
  size_t At(std::string_view line, size_t at) const {
    if (!characters_) return 1;
    char32_t code = 0;
    const size_t n = DecodeUtf8(line.substr(at), code);
    return n >= 2 && CharColumns(code) >= 1 ? n : 1;
  }
  // Where the unit before `at` starts.
  size_t Before(std::string_view line, size_t at) const {
    size_t start = 0;
    for (size_t i = 0; i < at; i += At(line, i)) start = i;
    return start;
  }
  // The cells a unit takes.
  static int Columns(std::string_view unit) {
    char32_t code = 0;
    return unit.size() >= 2 && DecodeUtf8(unit, code) == unit.size() ? CharColumns(code) : 1;
  }
  // Shows a unit at the cursor.
  static void Show(std::string_view unit) {
    if (unit.size() < 2) {
      Echo(unit);
      return;
    }
    model->WriteText(LayOutText(unit, 2), TextAttr);
    RememberClosing(unit);
    Present();
  }

 private:
  bool characters_;
};

// One line from the keyboard with the console's editing rules.
std::string EditLine() {
  const LineUnits units(backend && model && backend->ShowsCharacters() &&
                        !backend->PassingThrough());
  std::string line;
  size_t pos = 0;
  auto moveTo = [&](size_t target) {
    while (pos > target) {
      const size_t start = units.Before(line, pos);
      for (int k = LineUnits::Columns(std::string_view(line).substr(start, pos - start)); k > 0; --k)
        Echo("\b");
      pos = start;
    }
    while (pos < target) {
      const size_t n = units.At(line, pos);
      LineUnits::Show(std::string_view(line).substr(pos, n));
      pos += n;
    }
  };
  auto store = [&](std::string_view unit) {
    if (pos < line.size()) {
      // Overwrite the unit inside the line; when the cells it takes
      // change, the rest of the line is shown again where it now stands.
      const size_t old = units.At(line, pos);
      if (line.size() - old + unit.size() > 254) return;
      const int oldColumns = LineUnits::Columns(std::string_view(line).substr(pos, old));
      line.replace(pos, old, unit);
      const size_t end = pos + unit.size();
      if (oldColumns == LineUnits::Columns(unit)) {
        moveTo(end);
        return;
      }
      moveTo(line.size());
      int back = 0;
      for (size_t at = end; at < line.size(); at += units.At(line, at))
        back += LineUnits::Columns(std::string_view(line).substr(at, units.At(line, at)));
      for (int k = LineUnits::Columns(unit); k < oldColumns; ++k) Echo(" "), ++back;
      for (int k = 0; k < back; ++k) Echo("\b");
      pos = end;
    } else if (line.size() + unit.size() <= 254) {
      line += unit;
      moveTo(line.size());
    }
    // Full: further characters are ignored.
  };
  // The bytes of a character typed in UTF-8 so far, until it is whole.
  std::string partial;
  for (;;) {
    char c = ReadKey();
    const auto u = static_cast<unsigned char>(c);
    if (units.Characters() && c != 0 && u >= 0x20 && (u >= 0x80 || !partial.empty())) {
      partial += c;
      char32_t code = 0;
      bool incomplete = false;
      const size_t n = DecodeUtf8(partial, code, &incomplete);
      if (incomplete) continue;
      if (n == partial.size() && units.At(partial, 0) == n) store(partial);
      else for (char b : partial) store(std::string_view(&b, 1));  // no character: its bytes
      partial.clear();
      continue;
    }
    // A character cut short by another key is its bytes.
    for (char b : std::exchange(partial, std::string())) store(std::string_view(&b, 1));
    if (c == 0) {
      switch (static_cast<unsigned char>(ReadKey())) {
        case key::kHome: moveTo(0); break;
        case key::kEnd: moveTo(line.size()); break;
        case key::kLeft: if (pos > 0) moveTo(units.Before(line, pos)); break;
        case key::kRight: if (pos < line.size()) moveTo(pos + units.At(line, pos)); break;
        case key::kPadSlash: store("/"); break;
        case key::kPadEnter: Echo("\r\n"); return line + "\r\n";
        default: break;
      }
      continue;
    }
    switch (c) {
      case key::kBackspace:
      case key::kCtrlS:
        if (pos == line.size() && !line.empty()) {
          const size_t start = units.Before(line, pos);
          const int columns = LineUnits::Columns(std::string_view(line).substr(start));
          line.erase(start);
          pos = start;
          for (int k = 0; k < columns; ++k) Echo("\b \b");
        }
        break;
      case key::kEscape:
      case key::kCtrlY: {
        moveTo(line.size());
        int columns = 0;
        for (size_t at = 0; at < line.size(); at += units.At(line, at))
          columns += LineUnits::Columns(std::string_view(line).substr(at, units.At(line, at)));
        for (int k = 0; k < columns; ++k) Echo("\b \b");
        line.clear();
        pos = 0;
        break;
      }
      case key::kCtrlZ: break;
      // Every character kept takes its cells on screen, so that the edit
      // position and the cursor stay together: a line feed would move the
      // cursor off the line (and at the bottom scroll the whole screen
      // away from where its clicks are taken), a bell would not move it.
      case key::kLineFeed:
      case key::kBell: break;
      case key::kEnter: Echo("\r\n"); return line + "\r\n";
      default: store(std::string_view(&c, 1)); break;
    }
  }
}

// Waits up to `ms` until `ready` holds, reading nothing itself: on the
// background reader's word, or on the backend's own input (which the
// caller's next poll then reads).
template <typename Ready>
void WaitUntil(Ready ready, int ms) {
  if (!backend) return;
  std::unique_lock<std::mutex> hold(keyLock);
  if (ready()) return;
  if (backend->ReadsInBackground()) {
    inputArrived.wait_for(hold, std::chrono::milliseconds(ms));
  } else {
    hold.unlock();
    backend->AwaitInput(ms);
  }
}

// Under keyLock.
bool KeyWaiting() { return pendingValid || !keys.empty(); }
bool MouseWaiting() {
  MouseEvent e;
  return mouseQueue.Peek(e);
}

long ReadConsoleLine(char* buffer, size_t size) {
  if (lineBuffer.empty()) lineBuffer = EditLine();
  size_t n = lineBuffer.size() < size ? lineBuffer.size() : size;
  lineBuffer.copy(buffer, n);
  lineBuffer.erase(0, n);
  return long(n);
}

}  // namespace

InputSink& ConsoleInputSink() { return coreSink; }

void InstallConsoleBackend(std::unique_ptr<ConsoleBackend> b, int width, int height,
                           uint8_t attr) {
  if (backend) backend->Stop();
  backend = std::move(b);
  model = std::make_unique<ScreenModel>(width, height, attr);
  ConsoleWindow = ConsoleRect{1, 1, width, height};
  TextAttr = attr;
  {
    std::lock_guard<std::mutex> hold(keyLock);
    keys.clear();
  }
  mouseQueue.Reset();
  mouseOn = false;
  pendingValid = pendingExtended = false;
  lineBuffer.clear();
  closingText.clear();
  SetTextSink(ConsoleOutput, WriteToConsole);
  ConsoleOutput.WriteThrough = true;
  SetTextSource(ConsoleInput, ReadConsoleLine);
}

const ScreenModel& ConsoleModel() { return *model; }

std::string_view ConsoleClosingText() { return closingText; }

void UseAlternateScreen() {
  if (backend) backend->UseAlternateScreen();
}

void InitConsole() {
  int width = 80, height = 25;
  std::unique_ptr<ConsoleBackend> platform = CreatePlatformConsoleBackend(width, height);
  if (!platform) return;
  InstallConsoleBackend(std::move(platform), width, height, 7);
  RegisterFinalisation(StopConsoleBackend);
}

void StopConsoleBackend() {
  if (backend) backend->Stop();
}

void ReleaseConsole() { StopConsoleBackend(); }

bool ConsoleAttached() { return backend != nullptr; }

void PutGlyphs(std::string_view text) {
  if (!backend || !model) {
    WriteTextString(ConsoleOutput, text, 0);
    CheckIo();
    return;
  }
  TakeOver();
  model->WriteGlyphs(text, TextAttr);
  Present();
}

int PutName(std::string_view text, int columns) {
  if (columns <= 0) return 0;
  if (!backend || !model || !backend->ShowsCharacters()) {
    text = text.substr(0, size_t(columns));
    PutGlyphs(text);
    return int(text.size());
  }
  TakeOver();
  const std::vector<TextPiece> pieces = LayOutText(text, columns);
  model->WriteText(pieces, TextAttr);
  Present();
  int taken = 0;
  for (const TextPiece& p : pieces) taken += p.Columns;
  return taken;
}

void ClearScreen() {
  closingText.clear();
  if (!model) return;
  TakeOver();
  model->Clear(TextAttr);
  Present();
}

void GotoXY(int column, int row) {
  closingText.clear();
  if (!model) return;
  TakeOver();
  model->GotoXY(column, row);
  Present();
}

void SetForeground(int colour) { TextAttr = uint8_t((colour & 0x8F) | (TextAttr & 0x70)); }

void SetBackground(int colour) { TextAttr = uint8_t(((colour & 7) << 4) | (TextAttr & 0x8F)); }

int WhereX() { return model ? model->CursorX() : 1; }
int WhereY() { return model ? model->CursorY() : 1; }

bool KeyPressed() {
  if (pendingValid) return true;
  if (!backend) return sys::InputReady(sys::StandardHandle(sys::StandardStream::Input));
  backend->PollInput(coreSink);
  if (backend->HungUp()) Halt(kHangUpStatus);  // the terminal is gone
  std::lock_guard<std::mutex> hold(keyLock);
  if (keys.empty()) return false;
  pendingCode = keys.front().Code;
  pendingExtended = keys.front().Extended;
  pendingValid = true;
  keys.pop_front();
  return true;
}

char ReadKey() {
  if (!backend) {
    // No console at all: keys are the bytes of standard input; its end
    // reads as Escape, so that nothing waits for ever.
    char c = 27;
    int err = 0;
    if (sys::ReadSome(sys::StandardHandle(sys::StandardStream::Input), &c, 1, err) != 1) c = 27;
    return c;
  }
  while (!KeyPressed()) WaitUntil(KeyWaiting, 100);
  if (pendingExtended) {
    pendingExtended = false;
    return 0;  // the code stays pending for the next call
  }
  pendingValid = false;
  return char(pendingCode);
}

void EnableMouse() {
  if (mouseOn || !backend) return;
  mouseOn = true;
  mouseQueue.Reset();
  backend->StartMouse(coreSink);
}

bool PeekMouseEvent(MouseEvent& e) { return mouseQueue.Peek(e); }

MouseEvent TakeMouseEvent() {
  MouseEvent e;
  while (!mouseQueue.Take(e)) {
    if (!backend) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // nothing will come
      continue;
    }
    backend->PollInput(coreSink);
    if (backend->HungUp()) Halt(kHangUpStatus);
    WaitUntil(MouseWaiting, 100);
  }
  return e;
}

void WaitForInput(int ms) {
  if (!backend) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  WaitUntil([] { return KeyWaiting() || MouseWaiting(); }, ms);
}

}  // namespace ehi
