#include "shortstring.h"

#include <gtest/gtest.h>

#include <string>

namespace ehi {
namespace {

TEST(ShortString, AssignmentCutsToCapacity) {
  std::string s255(255, 'x');
  s255[79] = 'L';
  s255[80] = 'M';
  String80 s;
  ShortAssign(s, s255);
  EXPECT_EQ(s.Length(), 80);
  EXPECT_EQ(s.At(80), 'L');
  String10 ten(s);  // from another capacity
  EXPECT_EQ(ten.Length(), 10);
  String big(std::string(300, 'y'));
  EXPECT_EQ(big.Length(), 255);
}

TEST(ShortString, CompareIsUnsignedByteOrderWithPrefixFirst) {
  EXPECT_LT(ShortCompare("ABC", "ABCD"), 0);
  EXPECT_GT(ShortCompare("abc", "ABD"), 0);
  EXPECT_EQ(ShortCompare("same", "same"), 0);
  EXPECT_LT(ShortCompare("\t", " "), 0);
  EXPECT_LT(ShortCompare(" ", "0"), 0);
  EXPECT_LT(ShortCompare("9", "A"), 0);
  EXPECT_LT(ShortCompare("z", "\x80"), 0);  // bytes above 127 come last
  EXPECT_EQ(ShortCompare("a\xff", "a\x01"), 0xff - 1);
  EXPECT_LT(ShortCompare("", "a"), 0);
}

TEST(ShortString, ConcatStopsAt255) {
  std::string a(200, 'a'), b(200, 'b');
  String c = ShortConcat(a, b);
  EXPECT_EQ(c.Length(), 255);
  EXPECT_EQ(c.At(200), 'a');
  EXPECT_EQ(c.At(201), 'b');
  EXPECT_EQ(ShortConcat("ab", "cd").Str(), "abcd");
}

TEST(ShortString, CopyRules) {
  EXPECT_EQ(ShortCopy("hello", 0, 2).Str(), ShortCopy("hello", 1, 2).Str());
  EXPECT_EQ(ShortCopy("hello", 1, 2).Str(), "he");
  EXPECT_EQ(ShortCopy("hello", 6, 2).Str(), "");
  EXPECT_EQ(ShortCopy("hello", 4, 99).Str(), "lo");
  EXPECT_EQ(ShortCopy("hello", 2, -3).Str(), "");
  EXPECT_EQ(ShortCopy("hello", -5, 3).Str(), "hel");
}

TEST(ShortString, DeleteRules) {
  String s("abcdef");
  ShortDelete(s, 0, 2);
  EXPECT_EQ(s.Str(), "abcdef");
  ShortDelete(s, 7, 1);
  EXPECT_EQ(s.Str(), "abcdef");
  ShortDelete(s, 2, 0);
  EXPECT_EQ(s.Str(), "abcdef");
  ShortDelete(s, 2, 2);
  EXPECT_EQ(s.Str(), "adef");
  ShortDelete(s, 3, 100);
  EXPECT_EQ(s.Str(), "ad");
}

TEST(ShortString, Searches) {
  EXPECT_EQ(CharPos('c', "abcabc"), 3);
  EXPECT_EQ(CharPos('z', "abc"), 0);
  EXPECT_EQ(SubPos("", "abc"), 0);
  EXPECT_EQ(SubPos("abcd", "abc"), 0);
  EXPECT_EQ(SubPos("ca", "abcabc"), 3);
  EXPECT_EQ(UpCaseChar('a'), 'A');
  EXPECT_EQ(UpCaseChar('z'), 'Z');
  EXPECT_EQ(UpCaseChar('{'), '{');
  EXPECT_EQ(UpCaseChar('\xe9'), '\xe9');
}

}  // namespace
}  // namespace ehi
