#include "stringlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.h"

namespace ehi {
namespace {

std::vector<std::string> Strings(const MarkableStringList& l) {
  std::vector<std::string> v;
  for (int i = 1; i <= l.NStrings; ++i) v.push_back(l.IthString(int16_t(i)).Str());
  return v;
}

std::vector<bool> Marks(const MarkableStringList& l) {
  std::vector<bool> v;
  for (int i = 1; i <= l.NStrings; ++i) v.push_back(l.IthMark(int16_t(i)));
  return v;
}

using V = std::vector<std::string>;
using M = std::vector<bool>;

void Fill(MarkableStringList& l, const V& items, const M& marks) {
  for (size_t i = 0; i < items.size(); ++i) {
    l.AddString(items[i]);
    if (!marks.empty()) l.SetIthMark(int16_t(i + 1), marks[i]);
  }
}

TEST(StringList, AddReadAndCutTo80) {
  MarkableStringList l(3, true);
  EXPECT_FALSE(l.IthMark(1));  // marks start false
  l.AddString(std::string(100, 'x'));
  EXPECT_EQ(l.IthString(1).Length(), 80);
  EXPECT_EQ(l.IthString(0).Str(), "");
  EXPECT_EQ(l.IthString(2).Str(), "");
  EXPECT_FALSE(l.IthMark(0));
  EXPECT_FALSE(l.IthMark(2));
}

TEST(StringListDeathTest, FullListAndBadIndicesStop) {
  EXPECT_EXIT(
      {
        MarkableStringList l(3, false);
        for (int i = 0; i < 4; ++i) l.AddString("a");
      },
      ::testing::ExitedWithCode(1),
      test::Captured("^Halting with error-code 1, because:\r\nAddString tried to store too many strings in "
      "list.\r\n$"));
  EXPECT_EXIT(
      {
        MarkableStringList l(1, false);
        l.AddString("a");
        l.InsertInList(1, "b");
      },
      ::testing::ExitedWithCode(1), "InsertInList tried to store too many strings in list.");
  EXPECT_EXIT(
      {
        MarkableStringList l(3, false);
        l.DeleteFromList(0);
      },
      ::testing::ExitedWithCode(1), test::Captured("\r\nTried to delete nonexistant string.\r\n$"));
  EXPECT_EXIT(
      {
        MarkableStringList l(3, false);
        l.InsertInList(3, "x");
      },
      ::testing::ExitedWithCode(1), "InsertInList was given a position outside the list.");
  EXPECT_EXIT(
      {
        MarkableStringList l(3, false);
        l.AddString("x");
        l.IthMark(1);
      },
      ::testing::ExitedWithCode(1), "Mark operation on a string list without marks.");
}

TEST(StringList, SortCarriesMarksAndKeepsEqualKeysInPlace) {
  MarkableStringList a(5, true);
  Fill(a, {"b", "a", "B"}, {true, false, false});
  a.Sort(true);
  EXPECT_EQ(Strings(a), (V{"B", "a", "b"}));
  EXPECT_EQ(Marks(a), (M{false, false, true}));

  MarkableStringList b(5, true);
  Fill(b, {"b", "a", "B"}, {true, false, false});
  b.Sort(false);
  EXPECT_EQ(Strings(b), (V{"a", "b", "B"}));
  EXPECT_EQ(Marks(b), (M{false, true, false}));

  MarkableStringList empty(2, true);
  empty.Sort(true);
  EXPECT_EQ(empty.NStrings, 0);
}

TEST(StringList, Searches) {
  MarkableStringList l(5, false);
  Fill(l, {"a.txt", "next", "readme", "\xc9t\xe9"}, {});
  EXPECT_FALSE(l.PartialStringPresent(""));
  EXPECT_EQ(l.PartialStringLocation("xt"), 1);
  EXPECT_EQ(l.PartialStringLocation("zz"), 0);
  EXPECT_EQ(l.StringLocationIC("README"), 3);
  EXPECT_EQ(l.StringLocation("README"), 0);
  EXPECT_TRUE(l.StringPresent("next"));
  EXPECT_EQ(l.StringLocationIC("\xe9T\xe9"), 0);  // accented letters keep their case
  EXPECT_EQ(UpperCase("a\xe9z").Str(), "A\xe9Z");
  EXPECT_EQ(l.StringLocation(std::string(81, 'a')), 0);
}

TEST(StringList, InsertDeleteAndMoveKeepMarksWithPositions) {
  MarkableStringList l(4, true);
  Fill(l, {"x", "y"}, {true, false});
  l.SetIthMark(3, true);  // outside: ignored
  l.InsertInList(1, "new");
  EXPECT_EQ(Strings(l), (V{"new", "x", "y"}));
  EXPECT_EQ(Marks(l), (M{true, false, false}));

  MarkableStringList m(4, true);
  Fill(m, {"1", "2", "3", "4"}, {});
  m.MoveToTop("absent");
  EXPECT_EQ(Strings(m), (V{"1", "2", "3", "4"}));
  m.MoveToTop("3");
  EXPECT_EQ(Strings(m), (V{"3", "1", "2", "4"}));
  m.DeleteFromList(4);
  EXPECT_EQ(Strings(m), (V{"3", "1", "2"}));
}

TEST(StringList, CountingIsOnlyAsFreshAsTheLastCount) {
  MarkableStringList l(6, true);
  Fill(l, {"a", "b", "c", "d", "e"}, {});
  l.SetAllMarks(true);
  EXPECT_EQ(l.NSelected, 5);
  l.AddString("f");
  EXPECT_EQ(l.NSelected, 5);
  l.CountSelected();
  EXPECT_EQ(l.NSelected, 5);  // the new entry got StartBool, false
  EXPECT_EQ(l.IthMarkedString(5).Str(), "e");
  EXPECT_EQ(l.IthMarkedString(6).Str(), "");
  EXPECT_EQ(l.IthMarkedString(0).Str(), "");
  l.AllUpperCase();
  EXPECT_EQ(l.IthString(6).Str(), "F");
}

TEST(StringList, WritesOneLinePerEntry) {
  test::TempDir dir;
  MarkableStringList l(3, false);
  Fill(l, {"one", "two"}, {});
  TextFile f;
  AssignText(f, dir / "out.txt");
  OpenTextWrite(f);
  l.WriteStringsToFile(f);
  CloseText(f);
  CheckIo();
  EXPECT_EQ(test::ReadFile(dir / "out.txt"), "one\r\ntwo\r\n");
}

}  // namespace
}  // namespace ehi
