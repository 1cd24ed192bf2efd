#include "utf8text.h"

#include <algorithm>

namespace ehi {

namespace {

struct CodeRange {
  char32_t First, Last;
};

#include "charwidths.inc"

template <size_t N>
bool InRanges(const CodeRange (&ranges)[N], char32_t c) {
  const CodeRange* end = ranges + N;
  const CodeRange* r =
      std::lower_bound(ranges, end, c, [](const CodeRange& x, char32_t v) { return x.Last < v; });
  return r != end && r->First <= c;
}

bool Continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

void AppendHex(std::string& out, const char* prefix, uint32_t v, int digits) {
  out += prefix;
  for (int i = digits - 1; i >= 0; --i) out += "0123456789abcdef"[(v >> (4 * i)) & 15];
}

TextPiece BytePiece(unsigned char b) {
  TextPiece p;
  p.Byte = b;
  return p;
}

}  // namespace

size_t DecodeUtf8(std::string_view s, char32_t& code, bool* incomplete) {
  if (incomplete) *incomplete = false;
  if (s.empty()) return 0;
  const auto* u = reinterpret_cast<const unsigned char*>(s.data());
  const unsigned char b = u[0];
  if (b < 0x80) {
    code = b;
    return 1;
  }
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's bounds
  char32_t value = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2, value = b & 0x1Fu;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3, value = b & 0x0Fu;
    if (b == 0xE0) low = 0xA0;   // no overlong forms
    if (b == 0xED) high = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4, value = b & 0x07u;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (i >= s.size()) {
      if (incomplete) *incomplete = true;
      return 0;
    }
    const unsigned char c = u[i];
    if (i == 1 ? (c < low || c > high) : !Continuation(c)) return 0;
    value = (value << 6) | (c & 0x3Fu);
  }
  code = value;
  return length;
}

int CharColumns(char32_t code) {
  if (code >= 0x20 && code < 0x7F) return 1;
  if (InRanges(kNoText, code)) return -1;
  if (InRanges(kCombining, code)) return 0;
  if (InRanges(kWide, code)) return 2;
  return 1;
}

std::string EscapeControls(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    char32_t c = 0;
    const size_t n = DecodeUtf8(s.substr(i), c);
    if (n == 0) {
      AppendHex(out, "\\x", static_cast<unsigned char>(s[i]), 2);
      ++i;
      continue;
    }
    if (CharColumns(c) >= 0) {
      out.append(s.data() + i, n);
    } else if (c == 0x1B) {
      out += "\\e";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x80) {
      AppendHex(out, "\\x", uint32_t(c), 2);
    } else {
      // Past U+FFFF the long form: \u and six digits would read as a
      // character of four followed by two digits.
      if (c > 0xFFFF) {
        AppendHex(out, "\\U", uint32_t(c), 8);
      } else {
        AppendHex(out, "\\u", uint32_t(c), 4);
      }
    }
    i += n;
  }
  return out;
}

std::vector<TextPiece> LayOutText(std::string_view text, int columns) {
  std::vector<TextPiece> out;
  if (columns <= 0) return out;
  // Characters, or bytes? The whole text decides, so that a name in a
  // single-byte code page is shown in one way throughout.
  bool valid = true, beyondAscii = false, cutShort = false;
  size_t usable = text.size();
  for (size_t i = 0; i < text.size();) {
    char32_t c = 0;
    bool incomplete = false;
    const size_t n = DecodeUtf8(text.substr(i), c, &incomplete);
    if (n == 0) {
      valid = incomplete;
      cutShort = incomplete;
      usable = i;
      break;
    }
    if (c >= 0x80) beyondAscii = true;
    i += n;
  }
  if (!valid || !beyondAscii) {
    for (size_t i = 0; i < text.size() && int(i) < columns; ++i)
      out.push_back(BytePiece(static_cast<unsigned char>(text[i])));
    return out;
  }
  int total = 0;
  for (size_t i = 0; i < usable;) {
    char32_t c = 0;
    const size_t n = DecodeUtf8(text.substr(i), c);
    const int width = CharColumns(c);
    TextPiece* base = out.empty() || out.back().Code == 0 ? nullptr : &out.back();
    if (width > 0) {
      TextPiece p;
      p.Code = c;
      p.Columns = width;
      out.push_back(p);
      total += width;
    } else if (width == 0 && base) {
      if (base->Marks[0] == 0) {
        base->Marks[0] = c;
      } else if (base->Marks[1] == 0) {
        base->Marks[1] = c;
      }  // further marks on one character are left out
    } else {
      for (size_t k = 0; k < n; ++k)
        out.push_back(BytePiece(static_cast<unsigned char>(text[i + k])));
      total += int(n);
    }
    i += n;
  }
  if (!cutShort && total <= columns) return out;
  // Cut between characters, leaving the last column for the mark.
  int used = 0;
  size_t keep = 0;
  while (keep < out.size() && used + out[keep].Columns <= columns - 1) used += out[keep++].Columns;
  out.resize(keep);
  TextPiece mark;
  mark.Code = kCutMark;
  out.push_back(mark);
  return out;
}

}  // namespace ehi
