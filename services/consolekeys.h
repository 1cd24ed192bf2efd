// Turns the key and mouse records of a Windows console into the console's
// keys and mouse states. Pure: it is fed records (plain numbers, no system
// types), so every system can test it.
#pragma once

#include <cstdint>

#include "inputdecoder.h"

namespace ehi {

/// The control-key state bits of a console input record.
namespace conkey {
///@{
/// A control-key state bit.
constexpr uint32_t kRightAlt = 0x0001;
constexpr uint32_t kLeftAlt = 0x0002;
constexpr uint32_t kRightCtrl = 0x0004;
constexpr uint32_t kLeftCtrl = 0x0008;
constexpr uint32_t kShift = 0x0010;
constexpr uint32_t kEnhanced = 0x0100;
///@}
}  // namespace conkey

/// One key record: pressed or released, the virtual key and scan code, the
/// character it typed (a UTF-16 unit, 0 for none) and the control keys.
struct ConsoleKeyRecord {
  /// Pressed (true) or released.
  bool Down = true;
  /// The virtual key code.
  uint16_t VirtualKey = 0;
  /// The keyboard's scan code.
  uint16_t ScanCode = 0;
  /// The character typed, a UTF-16 unit (a character beyond 16 bits comes
  /// as two records, one per half of its surrogate pair); 0 for none.
  char16_t Char = 0;
  /// The control-key state bits (conkey).
  uint32_t Control = 0;
};

/// The keyboard's state between records: the Alt + keypad number being
/// typed, and the first half of a surrogate pair.
class ConsoleKeyMapper {
 public:
  /// Maps one record: calls the sink with the keys it makes, if any. A
  /// character typed beyond ASCII comes as the bytes of its UTF-8, one key
  /// each, as a terminal sends it: names are UTF-8 inside the program.
  void Feed(const ConsoleKeyRecord& rec, InputSink& sink);

 private:
  void Type(char16_t unit, InputSink& sink);
  void Flush(InputSink& sink);
  uint8_t altNumber_ = 0;
  bool altDigits_ = false;
  char16_t high_ = 0;  // a first half waiting for its second
};

/// The extended code of scan code `scan` with the control keys `control`
/// held: F-keys, the cursor block and the keypad by modifier, Alt with the
/// digit row, letters and Enter.
uint8_t ExtendedCode(uint16_t scan, uint32_t control);

/// The mouse state of a mouse record: the console's button bits (left 1,
/// right-most 2, second from the left 4) and the cell, relative to the
/// window's top-left cell.
MouseState ConsoleMouseState(uint32_t buttonState, int x, int y, int left, int top);

}  // namespace ehi
