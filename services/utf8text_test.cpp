#include "utf8text.h"

#include <gtest/gtest.h>

#include <string>

#include "glyphs.h"

namespace ehi {
namespace {

// Controls escaped, text kept; what is no UTF-8 (a lone byte, an overlong
// form, a surrogate, a value past U+10FFFF) shown byte by byte.
TEST(Utf8Text, ControlsAreEscapedAndTextIsKept) {
  const std::pair<std::string, std::string> table[] = {
      {"\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80", "\\xc0\\xaf\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80"},
      {"\x1b]2;OWNED\a", "\\e]2;OWNED\\x07"},
      {"\x1b[31mred.txt", "\\e[31mred.txt"},
      {"a\x9b" "31m", "a\\x9b31m"},
      {"\xc2\x9b" "31m", "\\u009b31m"},
      {"tab\there\r\n", "tab\\there\\r\\n"},
      {"caf\xc3\xa9 \xe6\xbc\xa2\\x", "caf\xc3\xa9 \xe6\xbc\xa2\\x"},
      {"evil\xe2\x80\xaetxt", "evil\\u202etxt"},
      {"tag\xf3\xa0\x80\x81" "01", "tag\\U000e000101"},
  };
  for (const auto& [in, want] : table) EXPECT_EQ(EscapeControls(in), want);
}

// The pieces as text: a character as itself (its marks after it), a byte
// beyond ASCII or a control as "<decimal>", a wide character followed by
// "=". ASCII text comes as bytes, which look the same.
std::string Shown(std::string_view text, int columns) {
  std::string out;
  for (const TextPiece& p : LayOutText(text, columns)) {
    if (p.Code == 0) {
      out += p.Byte >= 32 && p.Byte < 127 ? std::string(1, char(p.Byte))
                                          : "<" + std::to_string(p.Byte) + ">";
      continue;
    }
    AppendUtf8(out, p.Code);
    for (char32_t m : p.Marks)
      if (m) AppendUtf8(out, m);
    if (p.Columns == 2) out += "=";
  }
  return out;
}

TEST(Utf8Text, NamesLaidOutInAZone) {
  struct Case {
    std::string text;
    int columns;
    std::string want;
  };
  const std::string ascii30 = "abcdefghijklmnopqrstuvwxyz0123";
  const Case table[] = {
      // ASCII is cut as it always was: its first columns, no mark.
      {ascii30 + "456789", 31, ascii30 + "4"},
      {"caf\xc3\xa9.txt", 31, "caf\xc3\xa9.txt"},
      // A wide character that does not fit: cut before it, with the mark.
      {ascii30 + "\xe6\xbc\xa2x", 31, ascii30 + "\xe2\x80\xa6"},
      {ascii30.substr(0, 29) + "\xe6\xbc\xa2", 31, ascii30.substr(0, 29) + "\xe6\xbc\xa2="},
      {ascii30.substr(0, 29) + "\xe6\xbc\xa2x", 31, ascii30.substr(0, 29) + "\xe2\x80\xa6"},
      // A mark joins its character; one with nothing before it is bytes.
      {"e\xcc\x81tude", 31, "e\xcc\x81tude"},
      {"\xcc\x81x\xc3\xa9", 31, "<204><129>x\xc3\xa9"},
      // Not UTF-8: every byte through the glyph table.
      {"bad\xe9.txt", 31, "bad<233>.txt"},
      // A control in a name is its byte; the last character cut short by
      // the end of the text shows the name was cut.
      {"\x1b\xc3\xa9", 31, "<27>\xc3\xa9"},
      {"\xc3\xa9\xe6\xbc", 31, "\xc3\xa9\xe2\x80\xa6"},
      {"\xc3\xa9", 0, ""},
  };
  for (const Case& c : table) EXPECT_EQ(Shown(c.text, c.columns), c.want) << c.text;
}

}  // namespace
}  // namespace ehi
