#include "wtf8.h"

#include <gtest/gtest.h>

#include <string>

namespace ehi {
namespace {

TEST(Wtf8, NamesOfEveryScriptAndLoneSurrogatesGoThereAndBack) {
  struct Case {
    std::string bytes;
    std::u16string units;
  };
  const Case cases[] = {
      {"EHI.txt", u"EHI.txt"},
      {"\xC3\x89HI", u"\u00C9HI"},                      // 2 bytes
      {"\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},    // CJK
      {"\xEF\xBC\x8E\xEF\xBC\x8F", u"\uFF0E\uFF0F"},    // full-width . and /, never . and /
      {"\xF0\x9F\x98\x80", u"\U0001F600"},              // a pair
      {"\xED\xA0\x80", std::u16string(1, char16_t(0xD800))},  // lone high
      {"a\xED\xBF\xBF", u"a" + std::u16string(1, char16_t(0xDFFF))},  // lone low
      // A low half before a high one is no pair: both stay alone.
      {"\xED\xB0\x80\xED\xA0\x80", std::u16string{char16_t(0xDC00), char16_t(0xD800)}},
      {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", u"\uFFFF\U0010FFFF"},
  };
  for (const Case& c : cases) {
    std::u16string units;
    ASSERT_TRUE(Wtf8ToUtf16(c.bytes, units)) << c.bytes;
    EXPECT_EQ(units, c.units) << c.bytes;
    EXPECT_EQ(Utf16ToWtf8(c.units), c.bytes) << c.bytes;
  }
}

TEST(Wtf8, BytesWithNoWindowsSpellingAreRefused) {
  const std::string refused[] = {
      "\x80",                        // stray continuation
      "a\xC3",                       // cut short
      "\xC3\x28",                    // missing continuation
      "\xC0\xAF",                    // over-long "/"
      "\xE0\x80\xAE",                // over-long "."
      "\xF0\x80\x80\xAE",            // over-long "."
      "\xF4\x90\x80\x80",            // past U+10FFFF
      "\xFF",                        // no lead byte
      "\xED\xA0\xBD\xED\xB8\x80",    // a pair as two halves: it has a 4-byte spelling
  };
  for (const std::string& bytes : refused) {
    std::u16string units;
    EXPECT_FALSE(Wtf8ToUtf16(bytes, units)) << testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace ehi
