#include "headless.h"

#include <chrono>
#include <deque>
#include <thread>
#include <utility>

#include "console.h"
#include "consolebackend.h"

namespace ehi {

namespace {

struct ScriptItem {
  bool isKey = false;
  KeyEvent key;
  MouseState mouse;
  std::function<void()> check;
};

ScriptItem KeyItem(KeyEvent k) {
  ScriptItem i;
  i.isKey = true;
  i.key = k;
  return i;
}
std::deque<ScriptItem> script;

class HeadlessBackend : public ConsoleBackend {
 public:
  explicit HeadlessBackend(bool characters) : characters_(characters) {}
  bool ShowsCharacters() const override { return characters_; }
  void Present(const ScreenModel&) override {}
  void PassThrough(std::string_view) override {}
  bool PassingThrough() const override { return false; }
  void TakeOver() override {}
  // Delivers the next scripted item; a mouse item waits until the mouse
  // events before it are taken, keeping the script's order between keys and
  // clicks. A key never waits for a mouse event nobody reads (a release
  // that arrives while a field is being edited).
  void PollInput(InputSink& sink) override {
    MouseEvent waiting;
    if (script.empty()) return;
    const ScriptItem& head = script.front();
    if (!head.isKey && !head.check && PeekMouseEvent(waiting)) return;
    ScriptItem item = script.front();
    script.pop_front();
    if (item.check)
      item.check();
    else if (item.isKey)
      sink.OnKey(item.key);
    else
      sink.OnMouse(item.mouse);
  }
  void StartMouse(InputSink&) override {}
  // Scripted input is there at once; an empty script has nothing to wait
  // for but must not keep a processor busy either.
  void AwaitInput(int) override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

 private:
  bool characters_;
};

}  // namespace

void UseHeadlessConsole(bool characters) {
  script.clear();
  InstallConsoleBackend(std::make_unique<HeadlessBackend>(characters), 80, 25, 7);
}

void ScriptKey(char c) { script.push_back(KeyItem(KeyEvent{static_cast<uint8_t>(c), false})); }
void ScriptExtendedKey(uint8_t code) { script.push_back(KeyItem(KeyEvent{code, true})); }
void ScriptKeys(std::string_view text) {
  for (char c : text) ScriptKey(c);
}
void ScriptMouse(uint16_t buttons, uint16_t x, uint16_t y) {
  ScriptItem i;
  i.mouse = MouseState{buttons, x, y};
  script.push_back(i);
}
void ScriptWheel(uint16_t x, uint16_t y, bool up) {
  ScriptItem i;
  i.mouse = MouseState{0, x, y, int8_t(up ? -1 : 1)};
  script.push_back(i);
}
void ScriptClick(uint16_t x, uint16_t y, uint16_t buttons) {
  ScriptMouse(buttons, x, y);
  ScriptMouse(0, x, y);
}
void ScriptCheck(std::function<void()> check) {
  ScriptItem i;
  i.check = std::move(check);
  script.push_back(std::move(i));
}
size_t ScriptLeft() { return script.size(); }

uint8_t ScreenChar(int column, int row) { return ConsoleModel().At(column, row).Ch; }

uint8_t ScreenAttr(int column, int row) { return ConsoleModel().At(column, row).Attr; }

std::string ScreenRow(int row) {
  std::string s;
  for (int c = 1; c <= ConsoleModel().Width(); ++c) s += char(ScreenChar(c, row));
  return s;
}

void PushKey(char c) { ConsoleInputSink().OnKey(KeyEvent{static_cast<uint8_t>(c), false}); }

void PushExtendedKey(uint8_t code) { ConsoleInputSink().OnKey(KeyEvent{code, true}); }

void PushKeys(std::string_view text) {
  for (char c : text) PushKey(c);
}

void PushMouse(uint16_t buttons, uint16_t x, uint16_t y) {
  ConsoleInputSink().OnMouse(MouseState{buttons, x, y});
}

void PushClick(uint16_t x, uint16_t y) {
  PushMouse(1, x, y);
  PushMouse(0, x, y);
}

}  // namespace ehi
