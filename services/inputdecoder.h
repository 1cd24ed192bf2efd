// Turns the bytes a terminal sends into keys and mouse reports. Pure: it is
// fed bytes and calls its sink; timing (a lone ESC) is the caller's matter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ehi {

/// One key: a character, or (Extended) the code that follows a 0.
struct KeyEvent {
  /// The character, or the extended key's code.
  uint8_t Code = 0;
  /// Whether Code is an extended key's (read as 0, then Code).
  bool Extended = false;
  /// Same key.
  bool operator==(const KeyEvent& o) const { return Code == o.Code && Extended == o.Extended; }
};

/// The mouse as one report leaves it: buttons held (1 left, 2 right,
/// 4 middle) and the 0-based cell.
struct MouseState {
  /// Buttons held: 1 left, 2 right, 4 middle.
  uint16_t Buttons = 0;
  /// 0-based column.
  uint16_t X = 0;
  /// 0-based row.
  uint16_t Y = 0;
  /// Same buttons at the same cell.
  bool operator==(const MouseState& o) const {
    return Buttons == o.Buttons && X == o.X && Y == o.Y;
  }
};

/// Receives what the decoder recognises.
class InputSink {
 public:
  virtual ~InputSink() = default;
  /// A key was typed.
  virtual void OnKey(const KeyEvent& key) = 0;
  /// The mouse reported its state.
  virtual void OnMouse(const MouseState& mouse) = 0;
};

/// Decodes xterm/VT key sequences and SGR or X10 mouse reports. An escape
/// sequence split across several feeds is kept until it is complete; an
/// unknown or malformed sequence is dropped whole, so none of its bytes is
/// ever passed on as typed text.
class InputDecoder {
 public:
  /// Decodes `bytes`, calling the sink for every complete key or report.
  void Feed(std::string_view bytes, InputSink& sink);
  /// No further byte came in time: a lone ESC is the Escape key, and an
  /// incomplete sequence is dropped.
  void Timeout(InputSink& sink);
  /// Whether an incomplete sequence is waiting for more bytes.
  bool Pending() const { return !pending_.empty(); }

 private:
  // Decodes one event at the start of pending_; returns the bytes used, or
  // 0 when the sequence is not complete yet.
  size_t DecodeOne(InputSink& sink);
  size_t DecodeCsi(InputSink& sink);
  size_t DecodeSs3(InputSink& sink);
  void Mouse(int code, int x, int y, bool release, InputSink& sink);

  std::string pending_;
  uint16_t held_ = 0;
  // Swallowing the rest of a control sequence that grew too long to keep:
  // its parameter bytes, up to and including its final byte.
  bool discarding_ = false;
};

}  // namespace ehi
