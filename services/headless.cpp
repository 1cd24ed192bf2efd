#include "headless.h"

#include "console.h"
#include "consolebackend.h"

namespace ehi {

namespace {

class HeadlessBackend : public ConsoleBackend {
 public:
  void Present(const ScreenModel&) override {}
  void PassThrough(std::string_view) override {}
  bool PassingThrough() const override { return false; }
  void TakeOver() override {}
  void PollInput(InputSink&) override {}
  void StartMouse(InputSink&) override {}
};

}  // namespace

void UseHeadlessConsole() { InstallConsoleBackend(new HeadlessBackend, 80, 25, 7); }

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
