// The terminal's picture of the console window: turns the window model into
// the escape sequences that bring an xterm-like terminal up to date, as a
// diff against what it showed last. Pure: it returns bytes, it writes none.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "screenmodel.h"

namespace ehi {

/// Turns the window model into the escape sequences that show it on an
/// xterm-like terminal, sending only what changed since the last frame.
class VtRenderer {
 public:
  ///@{
  /// The smallest terminal the window is shown on; a smaller one gets a
  /// one-line notice instead.
  static constexpr int kMinCols = 80, kMinRows = 25;
  ///@}
  /// The notice a terminal smaller than that shows.
  static constexpr std::string_view kTooSmall =
      "The window is too small: make it at least 80 x 25 to go on.";

  /// The bytes that bring a terminal of `cols` x `rows` from what it shows
  /// to `model`: only the cells that changed and the cursor, or nothing at
  /// all when nothing changed. Cells past the terminal's edge are left out.
  std::string Render(const ScreenModel& model, int cols, int rows);
  /// The terminal's content is lost (it was used by another program, or
  /// resized): the next Render paints everything.
  void Invalidate() { valid_ = false; }
  /// Whether the terminal shows the too-small notice (as of the last Render).
  bool NoticeShown() const { return noticeShown_; }

  /// Text written before the program took over the window, made safe: a
  /// control byte never drives the terminal (BEL is dropped; CR, LF and BS
  /// keep their meaning).
  static std::string PassThrough(std::string_view bytes);

 private:
  std::vector<Cell> shown_;
  bool valid_ = false;
  bool noticeShown_ = false;
  int cursorX_ = 0, cursorY_ = 0;
};

}  // namespace ehi
