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
/// 4 middle) and the 0-based cell (65535 for a cell past what 16 bits
/// hold); Wheel is -1 for a turn of the wheel up, 1 down, 0 for none.
struct MouseState {
  /// Buttons held: 1 left, 2 right, 4 middle.
  uint16_t Buttons = 0;
  /// 0-based column.
  uint16_t X = 0;
  /// 0-based row.
  uint16_t Y = 0;
  /// -1 for a turn of the wheel up, 1 down, 0 for none.
  int8_t Wheel = 0;
  /// Same buttons and wheel at the same cell.
  bool operator==(const MouseState& o) const {
    return Buttons == o.Buttons && X == o.X && Y == o.Y && Wheel == o.Wheel;
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
  /// How long a lone ESC waits for more before it is the Escape key.
  static constexpr int kEscapeWaitMs = 150;
  /// How long the rest of a started sequence is waited for: a report split
  /// on a slow link (ssh) arrives in pieces well apart.
  static constexpr int kSequenceWaitMs = 1000;

  /// Decodes `bytes`, calling the sink for every complete key or report.
  void Feed(std::string_view bytes, InputSink& sink);
  /// No further byte came in time (WaitMs after the last one): a lone ESC
  /// is the Escape key; an incomplete sequence is dropped, and what is left
  /// of it, should it still come, is swallowed until the next Timeout, so
  /// the tail of a late mouse report never reads as typed keys.
  void Timeout(InputSink& sink);
  /// Whether the decoder waits for more bytes (a sequence's rest, or the
  /// tail of one dropped); the caller then calls Timeout after WaitMs.
  bool Pending() const { return !pending_.empty() || discarding_ || rawLeft_ > 0; }
  /// How long after the last byte the caller waits before Timeout.
  int WaitMs() const;
  /// The buttons the last mouse report left held.
  uint16_t Held() const { return held_; }
  /// How many answers to a status request (ESC [ 0 n, or 3 n) came so far.
  uint32_t StatusReplies() const { return statusReplies_; }

 private:
  // Decodes one event at the start of pending_; returns the bytes used, or
  // 0 when the sequence is not complete yet.
  size_t DecodeOne(InputSink& sink);
  size_t DecodeCsi(InputSink& sink);
  size_t DecodeSs3(InputSink& sink);
  void Mouse(int code, int x, int y, bool release, InputSink& sink);

  std::string pending_;
  uint16_t held_ = 0;
  uint32_t statusReplies_ = 0;
  // Swallowing the rest of a control sequence that grew too long to keep:
  // its parameter bytes, up to and including its final byte.
  bool discarding_ = false;
  // What was dropped was a bare ESC [: an M next begins an X10 report.
  bool droppedBareCsi_ = false;
  // Bytes of a dropped X10 report still to swallow, whatever their values
  // (a coordinate byte can look like any character).
  size_t rawLeft_ = 0;
};

/// Follows the buttons held through the raw bytes of SGR and X10 mouse
/// reports, without allocating, so that it can run where no decoder can (a
/// signal handler): for waiting until a button held at the end is let go.
class ButtonWatch {
 public:
  /// Starts with the buttons `held` as the last report left them.
  explicit ButtonWatch(uint16_t held) : held_(held) {}
  /// Takes bytes as they come, in pieces of any size.
  void Feed(const char* bytes, size_t size);
  /// The buttons still held.
  uint16_t Held() const { return held_; }

 private:
  void Report(int code, bool release);
  uint16_t held_;
  // Where in a report the last byte left off: 0 outside one, 1 after ESC,
  // 2 after ESC [, 3 in SGR parameters, 4..6 the three bytes of X10.
  int state_ = 0;
  int code_ = 0;
  bool inCode_ = false;
};

/// Spots the terminal's answer to a status request (ESC [ 0 n, or 3 n) in
/// raw bytes, without allocating, so that it can run in a signal handler:
/// the terminal answers in order, after everything it sent before.
class StatusWatch {
 public:
  /// Takes bytes as they come, in pieces of any size.
  void Feed(const char* bytes, size_t size);
  /// Whether an answer has come.
  bool Answered() const { return answered_; }

 private:
  // 0 outside a sequence, 1 after ESC, 2 after ESC [, 3 after its digit.
  int state_ = 0;
  bool answered_ = false;
};

}  // namespace ehi
