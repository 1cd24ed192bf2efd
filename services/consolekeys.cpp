#include "consolekeys.h"

#include <string>

#include "glyphs.h"
#include "wtf8.h"

namespace ehi {

namespace {

// Virtual keys that are modifiers alone: Shift, Ctrl, Alt, Caps Lock,
// Num Lock, Scroll Lock, and the left and right forms of the first three.
bool IsModifierAlone(uint16_t vk) {
  return vk == 0x10 || vk == 0x11 || vk == 0x12 || vk == 0x14 || vk == 0x90 || vk == 0x91 ||
         (vk >= 0xA0 && vk <= 0xA5);
}
constexpr uint16_t kVkAlt = 0x12;
constexpr uint16_t kTabScan = 15;

// The digit an Alt-number key adds: the keypad (or the cursor block, which
// shares its scan codes) 7 8 9 / 4 5 6 / 1 2 3 / 0; -1 for other keys.
int AltDigit(uint16_t scan) {
  switch (scan) {
    case 71: return 7;
    case 72: return 8;
    case 73: return 9;
    case 75: return 4;
    case 76: return 5;
    case 77: return 6;
    case 79: return 1;
    case 80: return 2;
    case 81: return 3;
    case 82: return 0;
    default: return -1;
  }
}

uint8_t CtrlCode(uint16_t scan, bool enhanced) {
  switch (scan) {
    case 71: return 119;
    case 72: return 141;
    case 73: return 132;
    case 74: return 142;
    case 75: return 115;
    case 76: return 143;
    case 77: return 116;
    case 79: return 117;
    case 80: return 145;
    case 81: return 118;
    case 82: return 146;
    case 83: return 147;
    case kTabScan: return 148;
    case 53: return enhanced ? 149 : 53;
    case 55: return 150;
    default: return uint8_t(scan);
  }
}

uint8_t AltCode(uint16_t scan, bool enhanced) {
  if (scan >= 2 && scan <= 13) return uint8_t(scan + 118);  // digit row, minus, equals
  switch (scan) {
    case 28: return 166;  // Enter
    case 83: return 163;  // Del
    case 53: return enhanced ? 164 : 53;
    default: return uint8_t(scan);  // letters: their scan codes
  }
}

}  // namespace

uint8_t ExtendedCode(uint16_t scan, uint32_t control) {
  const bool alt = control & (conkey::kLeftAlt | conkey::kRightAlt);
  const bool ctrl = control & (conkey::kLeftCtrl | conkey::kRightCtrl);
  const bool shift = control & conkey::kShift;
  const bool enhanced = control & conkey::kEnhanced;
  if (scan >= 59 && scan <= 68)  // F1..F10
    return uint8_t(scan + (alt ? 45 : ctrl ? 35 : shift ? 25 : 0));
  if (scan == 87 || scan == 88) {  // F11, F12
    const int base = scan == 87 ? 133 : 134;
    return uint8_t(base + (alt ? 6 : ctrl ? 4 : shift ? 2 : 0));
  }
  if (alt) return AltCode(scan, enhanced);
  if (ctrl) return CtrlCode(scan, enhanced);
  return uint8_t(scan);
}

namespace {
void TypeBytes(std::string_view bytes, InputSink& sink) {
  for (char b : bytes) sink.OnKey({uint8_t(b), false});
}
bool IsHighHalf(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
}  // namespace

// A first half with no second is typed alone (WTF-8), as a name may hold it.
void ConsoleKeyMapper::Flush(InputSink& sink) {
  if (high_ != 0) TypeBytes(Utf16ToWtf8(std::u16string(1, high_)), sink);
  high_ = 0;
}

void ConsoleKeyMapper::Type(char16_t unit, InputSink& sink) {
  std::u16string units;
  if (high_ != 0 && unit >= 0xDC00 && unit <= 0xDFFF) units += high_, high_ = 0;
  Flush(sink);
  if (IsHighHalf(unit)) {
    high_ = unit;
    return;
  }
  units += unit;
  TypeBytes(Utf16ToWtf8(units), sink);
}

void ConsoleKeyMapper::Feed(const ConsoleKeyRecord& rec, InputSink& sink) {
  if (!rec.Down) {
    // Letting go of Alt after keypad digits types the character of the
    // number: the one the system made of it when the record carries it,
    // else the byte of the number below 128 and the character of its
    // code page 437 glyph above.
    if (rec.VirtualKey == kVkAlt && altDigits_) {
      if (rec.Char != 0) Type(rec.Char, sink);
      else if (altNumber_ >= 128) TypeBytes(Cp437Glyph(altNumber_), sink);
      else if (altNumber_ != 0) Type(altNumber_, sink);
      altNumber_ = 0;
      altDigits_ = false;
    }
    return;
  }
  if (IsModifierAlone(rec.VirtualKey)) return;
  const bool alt = rec.Control & (conkey::kLeftAlt | conkey::kRightAlt);
  const int digit = AltDigit(rec.ScanCode);
  if (alt && digit >= 0) {
    altNumber_ = uint8_t(altNumber_ * 10 + digit);  // kept in 8 bits
    altDigits_ = true;
    return;
  }
  const bool shiftOrCtrlTab =
      rec.ScanCode == kTabScan &&
      (rec.Control & (conkey::kShift | conkey::kLeftCtrl | conkey::kRightCtrl));
  const bool extended = rec.Char == 0 || (rec.Control & (conkey::kLeftAlt | conkey::kEnhanced)) ||
                        shiftOrCtrlTab;
  if (extended) {
    Flush(sink);
    sink.OnKey({ExtendedCode(rec.ScanCode, rec.Control), true});
  } else {
    Type(rec.Char, sink);
  }
}

MouseState ConsoleMouseState(uint32_t buttonState, int x, int y, int left, int top) {
  MouseState m;
  m.Buttons = uint16_t(buttonState & 7);
  m.X = uint16_t(x > left ? x - left : 0);
  m.Y = uint16_t(y > top ? y - top : 0);
  return m;
}

}  // namespace ehi
