// What the console core asks of whatever shows the window and delivers
// input: the terminal, or the headless console of the tests.
#pragma once

#include <memory>
#include <string_view>

#include "inputdecoder.h"
#include "screenmodel.h"

namespace ehi {

/// What shows the console's window and delivers its input: the terminal,
/// the Windows console, or the headless console.
class ConsoleBackend {
 public:
  virtual ~ConsoleBackend() = default;
  /// Shows what changed in the model.
  virtual void Present(const ScreenModel& model) = 0;
  /// Text written before the program took over the window (first clear or
  /// cursor move): shown at the terminal's own cursor, like any tool's.
  virtual void PassThrough(std::string_view bytes) = 0;
  /// Whether text still passes through (the model does not drive the window).
  virtual bool PassingThrough() const = 0;
  /// The program takes over the whole window from now on.
  virtual void TakeOver() = 0;
  /// Reads whatever input is available without waiting, into `sink`.
  virtual void PollInput(InputSink& sink) = 0;
  /// Starts reporting the mouse (and reading input in the background).
  virtual void StartMouse(InputSink& sink) = 0;
  /// Whether input arrives on a thread of its own (the core then waits for
  /// it to be reported instead of calling AwaitInput).
  virtual bool ReadsInBackground() const { return false; }
  /// Waits up to `ms` for input that PollInput would read.
  virtual void AwaitInput(int ms) = 0;
  /// Whether the input has ended for good (the terminal hung up).
  virtual bool HungUp() const { return false; }
  /// Stops reading input and gives the display back as it was found; part
  /// of the program's end.
  virtual void Stop() {}
  /// Whether it shows characters beyond the glyph table (names in UTF-8).
  virtual bool ShowsCharacters() const { return false; }
  /// Draws the program's screen apart from what the display showed before
  /// (a terminal's alternate screen), which comes back at the end.
  virtual void UseAlternateScreen() {}
};

/// What the program wrote through ConsoleOutput since the window was last
/// cleared or the cursor last placed: its last words (a stop's message),
/// which a backend whose screen is gone at the end says again there.
std::string_view ConsoleClosingText();

/// The console core's input sink: keys to the key queue, mouse reports to
/// the mouse queue. Safe to call from the input reader thread.
InputSink& ConsoleInputSink();

/// Installs a backend and a window of the given size; the core owns it (a
/// backend installed before is stopped and deleted).
void InstallConsoleBackend(std::unique_ptr<ConsoleBackend> backend, int width, int height,
                           uint8_t attr);

/// Stops the installed backend, whichever it is by then; the console
/// registers it as a finalisation.
void StopConsoleBackend();

/// The platform's console: the controlling terminal on POSIX, the console
/// window on Windows; null when the process has none. `width` and `height`
/// (80 x 25 when unknown) become the window's size.
std::unique_ptr<ConsoleBackend> CreatePlatformConsoleBackend(int& width, int& height);

/// The model (for backends repainting it).
const ScreenModel& ConsoleModel();

}  // namespace ehi
