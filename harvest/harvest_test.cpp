#include "harvest.h"
#include "options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "testutil.h"

namespace ehi {
namespace {

TEST(Harvest, FileNameTest) {
  for (const char* yes : {"EHI", "xEHIy.dat", "data.EHI", "Orvitan.Tab", "old-Orvitan"})
    EXPECT_TRUE(HasEHI(yes)) << yes;
  for (const char* no : {"results.txt", "ehi.txt", "Ehi.txt", "EH", "orvitan.tab", ""})
    EXPECT_FALSE(HasEHI(no)) << no;
}

TEST(Harvest, RecordTestCountsExactly19Tabs) {
  EXPECT_TRUE(HasNineteenTabs(std::string(19, '\t')));
  EXPECT_FALSE(HasNineteenTabs(std::string(18, '\t')));
  EXPECT_FALSE(HasNineteenTabs(std::string(20, '\t')));
  EXPECT_TRUE(HasNineteenTabs("no ehi here" + std::string(19, '\t') + "x"));
}

TEST(Harvest, NumberExtensions) {
  for (const char* yes : {"007", "123", "+12", "-05", "$1F", "%11", "&17", "0x9", " 12"})
    EXPECT_TRUE(IsNumberExtension(yes)) << yes;
  for (const char* no : {"12a", "1e2", "abc", "&18", "1 2", "0xg", "1234", "01", "", "txt"})
    EXPECT_FALSE(IsNumberExtension(no)) << no;
}

TEST(Harvest, ExtensionSubstitution) {
  const std::string rest = "\tb" + std::string(18, '\t');
  auto sub = [&](const std::string& first) {
    String line(first + rest);
    SubstituteExtension(line, "017");
    return line.Str().substr(0, line.Str().find('\t'));
  };
  EXPECT_EQ(sub("A 000"), "A 017");
  EXPECT_EQ(sub("A B 000"), "A B 000");  // an earlier space
  EXPECT_EQ(sub("123"), "017");          // no space: three digits then the tab
  EXPECT_EQ(sub("A 0x0"), "A 0x0");      // not three digits
  EXPECT_EQ(sub("A 0000"), "A 0000");    // four characters after the space
  String tabFirst("x\ty 123" + std::string(18, '\t'));
  SubstituteExtension(tabFirst, "017");
  EXPECT_EQ(tabFirst.Str(), "x\ty 123" + std::string(18, '\t'));
  String plus("A 000" + rest);
  SubstituteExtension(plus, "+12");
  EXPECT_EQ(plus.Str(), "A +12" + rest);
}

TEST(Harvest, SortAndDeduplicateMatchAReference) {
  std::mt19937 rng(11);
  const char alphabet[] = {'\t', ' ', '0', 'A', 'a', '\xe9'};
  std::vector<std::string> ref;
  NHarvested = 0;
  for (int i = 0; i < 5000; ++i) {
    std::string s;
    size_t len = rng() % 5;
    for (size_t k = 0; k < len; ++k) s += alphabet[rng() % 6];
    ref.push_back(s);
    Harvested[++NHarvested] = s;  // the sort must cope with duplicates too
  }
  SortHarvested();
  std::sort(ref.begin(), ref.end(), [](const std::string& a, const std::string& b) {
    return ShortCompare(a, b) < 0;
  });
  // Sorted, duplicates still there.
  ASSERT_EQ(size_t(NHarvested), ref.size());
  for (int i = 1; i <= NHarvested; ++i) ASSERT_EQ(Harvested[i].Str(), ref[size_t(i - 1)]);
  RemoveDuplicates();
  ref.erase(std::unique(ref.begin(), ref.end()), ref.end());
  ASSERT_EQ(size_t(NHarvested), ref.size());
  for (int i = 1; i <= NHarvested; ++i) EXPECT_EQ(Harvested[i].Str(), ref[size_t(i - 1)]);
  // Adding after the sort and the removal still finds every stored record.
  const int32_t distinct = NHarvested;
  for (const std::string& r : ref) AddHarvested(r);
  EXPECT_EQ(NHarvested, distinct);
  AddHarvested("new");
  EXPECT_EQ(NHarvested, distinct + 1);
  ClearHarvested();
}

TEST(HarvestDeathTest, TheStoreStopsAtItsCapacity) {
  EXPECT_EXIT(
      {
        ClearHarvested();
        // Duplicates never count against the limit; the first distinct
        // record past it stops the run.
        for (int i = 1; i <= MaxHarvested; ++i) {
          AddHarvested("r" + std::to_string(i));
          AddHarvested("r" + std::to_string(i));
        }
        AddHarvested("r1");
        if (NHarvested != MaxHarvested) std::exit(99);
        AddHarvested("one more");
      },
      ::testing::ExitedWithCode(1),
      test::Captured("^Halting with error-code 1, because:\r\nAddHarvested tried to store too many "
      "records.\r\n$"));
}

}  // namespace
}  // namespace ehi

namespace ehi {
namespace {

TEST(HarvestOptions, OnlyHelpAndVersionAreAnswered) {
  struct Case {
    std::vector<std::string_view> args;
    HarvestAction want;
  };
  const Case table[] = {
      {{}, HarvestAction::Run},
      {{"anything", "else"}, HarvestAction::Run},
      {{"--help"}, HarvestAction::Help},
      {{"-h"}, HarvestAction::Help},
      {{"x", "--version"}, HarvestAction::Version},
      {{"--version", "--help"}, HarvestAction::Version},  // the first one counts
      {{"--HELP"}, HarvestAction::Run},
  };
  for (const Case& c : table) EXPECT_EQ(ParseHarvestArguments(c.args), c.want) << c.args.size();
}

}  // namespace
}  // namespace ehi
