// Runs on a pseudo-terminal in the terminal tests: takes over the screen
// and then ends in the way its argument names.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "console.h"
#include "headless.h"
#include "process.h"
#include "textfile.h"

int main(int argc, char** argv) {
  using namespace ehi;
  InitServices();
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "print") {
    // Text before any clear or move goes straight through, but a control
    // byte in it never reaches the terminal raw.
    WriteLine(ConsoleOutput, "plain \x1b[31mred?");
    NormalEnd();
  }
  ClearScreen();
  SetForeground(14);
  SetBackground(1);
  GotoXY(3, 2);
  WriteTextString(ConsoleOutput, "Hello \x1b[2J");
  CheckIo();
  EnableMouse();
  if (mode == "halt") {
    WriteLine(ConsoleOutput, "stopping");
    Halt(1);
  }
  if (mode == "error") RuntimeError(5);
  if (mode == "replace") {
    // Another console takes the terminal's place while its reader runs; the
    // end of the program must not reach back for the terminal backend.
    UseHeadlessConsole();
    NormalEnd();
  }
  if (mode == "key") {
    WriteLine(ConsoleOutput, "READY");
    char c = ReadKey();
    char code = c == 0 ? ReadKey() : c;
    MouseEvent e;
    std::string seen = "key " + std::to_string(int(c)) + " " + std::to_string(int(code));
    while (PeekMouseEvent(e)) {
      e = TakeMouseEvent();
    }
    WriteLine(ConsoleOutput, seen);
    NormalEnd();
  }
  WriteLine(ConsoleOutput, "READY");
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
