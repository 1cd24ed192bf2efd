#include "inputdecoder.h"

#include <cstdlib>

#include "keycodes.h"

namespace ehi {

namespace {

constexpr char kEsc = 27;
constexpr size_t kLongestSequence = 64;

// Extended codes of one key: plain, with Shift, with Ctrl, with Alt (0 when
// the combination is no key on this console).
struct KeyCodes {
  uint8_t plain, shift, ctrl, alt;
};

// F1..F12.
constexpr KeyCodes kFunctionKeys[12] = {
    {key::kF1, 84, 94, 104},  {60, 85, 95, 105},   {61, 86, 96, 106},   {62, 87, 97, 107},
    {63, 88, 98, 108},  {64, 89, 99, 109},   {65, 90, 100, 110},  {66, 91, 101, 111},
    {67, 92, 102, 112}, {68, 93, 103, 113},  {133, 135, 137, 139}, {134, 136, 138, 140},
};

// The cursor block. With Alt these keys type digits of an Alt number on the
// original console; a terminal cannot send Alt plus keypad digits, so the
// combinations give no key here (except Alt+Del, which is a key of its own).
constexpr KeyCodes kHome = {key::kHome, key::kHome, 119, 0},
                   kUp = {key::kUp, key::kUp, 141, 0},
                   kPgUp = {key::kPgUp, key::kPgUp, 132, 0},
                   kLeft = {key::kLeft, key::kLeft, 115, 0},
                   kRight = {key::kRight, key::kRight, 116, 0},
                   kEnd = {key::kEnd, key::kEnd, 117, 0},
                   kDown = {key::kDown, key::kDown, 145, 0},
                   kPgDn = {key::kPgDn, key::kPgDn, 118, 0},
                   kIns = {key::kIns, key::kIns, 146, 0},
                   kDel = {key::kDel, key::kDel, 147, 163};
// The keypad's own keys: 5 (with Alt an Alt-number digit), minus, plus,
// slash, star and Enter.
constexpr KeyCodes kPad5 = {key::kPad5, key::kPad5, 143, 0},
                   kPadMinus = {key::kPadMinus, key::kPadMinus, 142, key::kPadMinus},
                   kPadPlus = {key::kPadPlus, key::kPadPlus, key::kPadPlus, key::kPadPlus},
                   kPadSlash = {key::kPadSlash, key::kPadSlash, 149, 164},
                   kPadStar = {key::kPadStar, key::kPadStar, 150, key::kPadStar},
                   kPadEnter = {key::kPadEnter, key::kPadEnter, key::kPadEnter, key::kAltEnter};

// Scan codes of the letter keys, for Alt+letter.
uint8_t LetterScanCode(char c) {
  static const char* rows[3] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
  static const uint8_t first[3] = {16, 30, 44};
  if (c >= 'A' && c <= 'Z') c = char(c + 32);
  for (int r = 0; r < 3; ++r)
    for (int i = 0; rows[r][i]; ++i)
      if (rows[r][i] == c) return uint8_t(first[r] + i);
  return 0;
}

// Alt plus the digit row 1..9, 0, minus, equals: 120..131.
uint8_t AltDigitRowCode(char c) {
  if (c >= '1' && c <= '9') return uint8_t(120 + (c - '1'));
  if (c == '0') return 129;
  if (c == '-') return 130;
  if (c == '=') return 131;
  return 0;
}

// Alt with a key that types the same character as a keypad key: a terminal
// sends the keypad's star, plus and slash as the characters themselves.
uint8_t AltPunctuationCode(char c) {
  switch (c) {
    case '*': return kPadStar.alt;
    case '+': return kPadPlus.alt;
    case '/': return kPadSlash.alt;
    default: return 0;
  }
}

// Bytes of the UTF-8 character that starts with `lead` (1 for a byte that
// starts none).
size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

// The keys that CSI and SS3 sequences both name by their final byte: the
// cursor block, keypad 5 and F1..F4.
const KeyCodes* FinalKey(unsigned char final) {
  switch (final) {
    case 'A': return &kUp;
    case 'B': return &kDown;
    case 'C': return &kRight;
    case 'D': return &kLeft;
    case 'H': return &kHome;
    case 'F': return &kEnd;
    case 'E': return &kPad5;
    case 'P': case 'Q': case 'R': case 'S': return &kFunctionKeys[final - 'P'];
    default: return nullptr;
  }
}

// The extent of a control sequence after its two introducing bytes:
// parameters (0x30-0x3F), intermediates (0x20-0x2F), a final byte
// (0x40-0x7E). A byte of none of these kinds ends it as malformed: the
// sequence is dropped and that byte is read afresh.
struct Sequence {
  size_t End = 0;       // bytes it takes; 0 while it is incomplete
  bool Complete = false;  // it has a final byte (at FinalAt)
  size_t ParamEnd = 0, FinalAt = 0;
};
Sequence Scan(const std::string& p) {
  Sequence q;
  size_t i = 2;
  while (i < p.size() && p[i] >= 0x30 && p[i] <= 0x3F) ++i;
  q.ParamEnd = i;
  while (i < p.size() && p[i] >= 0x20 && p[i] <= 0x3F) ++i;
  if (i >= p.size()) return q;
  const unsigned char final = static_cast<unsigned char>(p[i]);
  if (final < 0x40 || final > 0x7E) {
    q.End = i;
    return q;
  }
  q.Complete = true;
  q.FinalAt = i;
  q.End = i + 1;
  return q;
}

// xterm's modifier parameter: 1 + (1 Shift, 2 Alt, 4 Ctrl). Alt wins over
// Ctrl, Ctrl over Shift.
uint8_t WithModifiers(const KeyCodes& k, int modifier) {
  int bits = modifier > 1 ? modifier - 1 : 0;
  if (bits & 2) return k.alt;
  if (bits & 4) return k.ctrl;
  if (bits & 1) return k.shift;
  return k.plain;
}

void Extended(InputSink& sink, uint8_t code) {
  if (code != 0) sink.OnKey(KeyEvent{code, true});
}

// The 0-based cell of a 1-based coordinate on the wire; one past what 16
// bits hold stays at 65535 (past every window) instead of wrapping round.
uint16_t WireCell(int v) {
  if (v <= 0) return 0;
  return v - 1 > 65535 ? uint16_t(65535) : uint16_t(v - 1);
}

// Splits "a;b;c" into at most 4 numbers (missing ones are 0).
int SplitParams(std::string_view params, int out[4]) {
  int n = 0;
  out[0] = out[1] = out[2] = out[3] = 0;
  size_t i = 0;
  while (i <= params.size() && n < 4) {
    size_t j = params.find(';', i);
    if (j == std::string_view::npos) j = params.size();
    int v = 0;
    for (size_t k = i; k < j; ++k) {
      char c = params[k];
      if (c < '0' || c > '9') return -1;
      if (v < 100000) v = v * 10 + (c - '0');
    }
    out[n++] = v;
    i = j + 1;
  }
  return n;
}

}  // namespace

void InputDecoder::Feed(std::string_view bytes, InputSink& sink) {
  pending_.append(bytes.data(), bytes.size());
  size_t start = 0;
  while (start < pending_.size()) {
    if (rawLeft_ > 0) {
      --rawLeft_;
      ++start;
      continue;
    }
    if (discarding_) {
      const unsigned char c = static_cast<unsigned char>(pending_[start]);
      const bool bare = droppedBareCsi_;
      droppedBareCsi_ = false;
      if (c >= 0x20 && c <= 0x3F) {
        ++start;
        continue;
      }
      discarding_ = false;
      if (c >= 0x40 && c <= 0x7E) {
        ++start;  // the final byte of the swallowed sequence
        if (bare && c == 'M') rawLeft_ = 3;  // an X10 report's three bytes
        continue;
      }
    }
    pending_.erase(0, start);
    start = 0;
    size_t used = DecodeOne(sink);
    if (used == 0) {
      // Incomplete: wait for more, unless it has grown too long to be a
      // sequence worth keeping; then the rest of it is swallowed as it
      // comes, so the events do not depend on how the bytes were split.
      if (pending_.size() <= kLongestSequence) return;
      used = pending_.size();
      discarding_ = true;
    }
    start = used;
  }
  pending_.clear();
}

int InputDecoder::WaitMs() const {
  return pending_.size() == 1 && !discarding_ ? kEscapeWaitMs : kSequenceWaitMs;
}

void InputDecoder::Timeout(InputSink& sink) {
  if (pending_.empty()) {
    // The tail of a dropped sequence never came.
    discarding_ = droppedBareCsi_ = false;
    rawLeft_ = 0;
    return;
  }
  if (pending_ == std::string(1, kEsc)) {
    sink.OnKey(KeyEvent{uint8_t(key::kEscape), false});
  } else if (pending_.size() >= 3 && pending_[1] == '[' && pending_[2] == 'M') {
    rawLeft_ = 6 - pending_.size();  // an X10 report: its rest is so many bytes
  } else if (pending_[1] == '[' || pending_[1] == 'O') {
    discarding_ = true;  // a control sequence's rest may still come
    droppedBareCsi_ = pending_ == "\x1b[";
  }
  pending_.clear();
}

size_t InputDecoder::DecodeOne(InputSink& sink) {
  const unsigned char c = static_cast<unsigned char>(pending_[0]);
  if (c != kEsc) {
    if (c == 127) {
      sink.OnKey(KeyEvent{uint8_t(key::kBackspace), false});  // the Backspace key
    } else if (c != 0) {             // NUL would read as the extended marker
      sink.OnKey(KeyEvent{c, false});
    }
    return 1;
  }
  if (pending_.size() < 2) return 0;
  const char next = pending_[1];
  if (next == '[') return DecodeCsi(sink);
  if (next == 'O') return DecodeSs3(sink);
  if (next == kEsc) {
    sink.OnKey(KeyEvent{uint8_t(key::kEscape), false});  // Escape pressed twice
    return 1;
  }
  if (next == '\r') {
    Extended(sink, key::kAltEnter);
  } else if (next == '\t') {
    Extended(sink, key::kShiftTab);  // Alt+Tab gives the code of Shift+Tab
  } else if (uint8_t code = LetterScanCode(next)) {
    Extended(sink, code);
  } else if (uint8_t code2 = AltDigitRowCode(next)) {
    Extended(sink, code2);
  } else if (uint8_t code3 = AltPunctuationCode(next)) {
    Extended(sink, code3);
  } else if (static_cast<unsigned char>(next) >= 0x80) {
    // Alt with a character beyond ASCII: no key, and none of its bytes may
    // pass for typed text.
    const size_t length = 1 + Utf8Length(static_cast<unsigned char>(next));
    return pending_.size() < length ? 0 : length;
  }
  // Alt with any other key is no key of this console.
  return 2;
}

size_t InputDecoder::DecodeSs3(InputSink& sink) {
  // ESC O, optional parameters (several terminals put Shift, Ctrl or Alt
  // there: "ESC O 2 P", "ESC O 1;2 P"), a final byte, in the grammar of a
  // CSI sequence: parameters (0x30-0x3F), intermediates (0x20-0x2F), a
  // final byte (0x40-0x7E); a byte of none of these kinds ends it as
  // malformed and is read afresh.
  const std::string& p = pending_;
  const Sequence q = Scan(p);
  if (q.End == 0 || !q.Complete) return q.End;
  const size_t i = q.FinalAt;
  const unsigned char final = static_cast<unsigned char>(p[i]);
  // Longer than any key: dropped, as it is when it arrives in pieces and
  // outgrows the wait for its end.
  if (q.End > kLongestSequence || q.ParamEnd != i) return q.End;
  int v[4];
  const int n = i == 2 ? 0 : SplitParams(std::string_view(p.data() + 2, i - 2), v);
  const int modifier = n >= 2 ? v[1] : n == 1 ? v[0] : 1;
  const KeyCodes* k = FinalKey(final);
  switch (final) {
    case 'M': k = &kPadEnter; break;
    case 'o': k = &kPadSlash; break;
    case 'j': k = &kPadStar; break;
    case 'm': k = &kPadMinus; break;
    case 'k': k = &kPadPlus; break;
    default: break;
  }
  if (k && n >= 0) Extended(sink, WithModifiers(*k, modifier));
  return i + 1;
}

void InputDecoder::Mouse(int code, int x, int y, bool release, InputSink& sink) {
  // The extra buttons (codes 128 and up) are no buttons of this console.
  if (code & 128) return;
  if (code & 64) {
    // The wheel: 64 up, 65 down (a turn, never released); 66 and 67 are
    // the sideways wheel, which nothing here uses.
    if ((code & 2) || release) return;
    MouseState s;
    s.Buttons = held_;
    s.X = WireCell(x);
    s.Y = WireCell(y);
    s.Wheel = int8_t(code & 1 ? 1 : -1);
    sink.OnMouse(s);
    return;
  }
  static const uint16_t kBit[4] = {1, 4, 2, 0};  // left, middle, right, none
  const uint16_t bit = kBit[code & 3];
  if (code & 32) {
    // A move: the buttons held stay as they are.
  } else if (release || (code & 3) == 3) {
    held_ = uint16_t(bit ? held_ & ~bit : 0);
  } else {
    held_ = uint16_t(held_ | bit);
  }
  MouseState s;
  s.Buttons = held_;
  s.X = WireCell(x);
  s.Y = WireCell(y);
  sink.OnMouse(s);
}

size_t InputDecoder::DecodeCsi(InputSink& sink) {
  const std::string& p = pending_;
  if (p.size() < 3) return 0;
  // X10 mouse report: ESC [ M and three bytes, each value + 32.
  if (p[2] == 'M') {
    if (p.size() < 6) return 0;
    auto v = [&](size_t i) { return int(static_cast<unsigned char>(p[i])) - 32; };
    Mouse(v(3), v(4), v(5), false, sink);
    return 6;
  }
  // The Linux console's F1..F5: ESC [ [ A..E.
  if (p[2] == '[') {
    if (p.size() < 4) return 0;
    if (p[3] >= 'A' && p[3] <= 'E') Extended(sink, uint8_t(59 + (p[3] - 'A')));
    return 4;
  }
  // ESC [ parameters, intermediates, final byte (see Scan).
  const Sequence q = Scan(p);
  if (q.End == 0 || !q.Complete) return q.End;
  const size_t i = q.FinalAt, paramEnd = q.ParamEnd, used = q.End;
  const unsigned char final = static_cast<unsigned char>(p[i]);
  // Longer than any key or report: dropped, as it would be when it arrives
  // in pieces and outgrows the wait for its end.
  if (used > kLongestSequence) return used;
  if (paramEnd != i) return used;  // intermediates: not a key we know
  std::string_view params(p.data() + 2, paramEnd - 2);

  if (!params.empty() && params[0] == '<') {
    int v[4];
    if ((final == 'M' || final == 'm') && SplitParams(params.substr(1), v) == 3)
      Mouse(v[0], v[1], v[2], final == 'm', sink);
    return used;
  }
  int v[4];
  int n = params.empty() ? 0 : SplitParams(params, v);
  if (n < 0) return used;
  if (n == 0) v[0] = v[1] = 0;
  const int modifier = n >= 2 ? v[1] : 1;
  if (const KeyCodes* k = FinalKey(final)) {
    Extended(sink, WithModifiers(*k, modifier));
    return used;
  }
  switch (final) {
    case 'G': Extended(sink, WithModifiers(kPad5, modifier)); break;  // keypad 5
    case 'Z': Extended(sink, key::kShiftTab); break;
    case '~': {
      const KeyCodes* k = nullptr;
      switch (v[0]) {
        case 1: case 7: k = &kHome; break;
        case 2: k = &kIns; break;
        case 3: k = &kDel; break;
        case 4: case 8: k = &kEnd; break;
        case 5: k = &kPgUp; break;
        case 6: k = &kPgDn; break;
        case 11: case 12: case 13: case 14: case 15: k = &kFunctionKeys[v[0] - 11]; break;
        case 17: case 18: case 19: case 20: case 21: k = &kFunctionKeys[v[0] - 12]; break;
        case 23: case 24: k = &kFunctionKeys[v[0] - 13]; break;
        default: break;
      }
      if (k) Extended(sink, WithModifiers(*k, modifier));
      break;
    }
    case 'n':  // the answer to a status request
      if (n == 1 && (v[0] == 0 || v[0] == 3)) ++statusReplies_;
      break;
    default: break;  // focus reports, answers to other queries: not keys
  }
  return used;
}

void ButtonWatch::Report(int code, bool release) {
  if (code & (32 | 64 | 128)) return;  // moves, the wheel, extra buttons
  static const uint16_t kBit[4] = {1, 4, 2, 0};
  const uint16_t bit = kBit[code & 3];
  if (release || (code & 3) == 3) {
    held_ = uint16_t(bit ? held_ & ~bit : 0);
  } else {
    held_ = uint16_t(held_ | bit);
  }
}

void ButtonWatch::Feed(const char* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const char c = bytes[i];
    switch (state_) {
      case 3:
        if (c >= '0' && c <= '9') {
          if (inCode_ && code_ < 1000) code_ = code_ * 10 + (c - '0');
          continue;
        }
        if (c == ';') {
          inCode_ = false;
          continue;
        }
        if (c == 'M' || c == 'm') {
          Report(code_, c == 'm');
          state_ = 0;
          continue;
        }
        break;
      case 4:
        Report(static_cast<unsigned char>(c) - 32, false);
        state_ = 5;
        continue;
      case 5: state_ = 6; continue;
      case 6: state_ = 0; continue;
      case 2:
        if (c == '<') {
          state_ = 3;
          code_ = 0;
          inCode_ = true;
          continue;
        }
        if (c == 'M') {
          state_ = 4;
          continue;
        }
        break;
      case 1:
        if (c == '[') {
          state_ = 2;
          continue;
        }
        break;
      default: break;
    }
    state_ = c == kEsc ? 1 : 0;
  }
}

void StatusWatch::Feed(const char* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const char c = bytes[i];
    if (state_ == 1 && c == '[') {
      state_ = 2;
    } else if (state_ == 2 && (c == '0' || c == '3')) {
      state_ = 3;
    } else if (state_ == 3 && c == 'n') {
      answered_ = true;
      state_ = 0;
    } else {
      state_ = c == kEsc ? 1 : 0;
    }
  }
}

}  // namespace ehi
