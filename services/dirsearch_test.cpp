#include "dirsearch.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>

#include "platform.h"
#include "testutil.h"

namespace ehi {
namespace {

using test::MakeDirs;
using test::TempDir;
using test::WriteFile;

std::map<std::string, uint32_t> Search(const std::string& mask, uint16_t attrs) {
  std::map<std::string, uint32_t> found;
  EntryRecord rec;
  FindFirstEntry(mask, attrs, rec);
  while (SearchError == 0) {
    EXPECT_TRUE(found.emplace(rec.Name.Str(), rec.Attr()).second) << "twice: " << rec.Name.Str();
    FindNextEntry(rec);
  }
  EXPECT_EQ(SearchError, 18);
  return found;
}

std::set<std::string> Names(const std::map<std::string, uint32_t>& m) {
  std::set<std::string> s;
  for (auto& [k, v] : m) s.insert(k);
  return s;
}

class DirSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "a.txt", "12345");
    WriteFile(dir_ / "r.txt", "r");
    chmod((dir_ / "r.txt").c_str(), 0444);
    WriteFile(dir_ / ".hidden", "h");
    WriteFile(dir_ / "noext", "n");
    MakeDirs(dir_ / "sub");
    MakeDirs(dir_ / ".hdir");
    mkfifo((dir_ / "EHI.fifo").c_str(), 0644);
    symlink("nowhere", (dir_ / "dangling").c_str());
    symlink("sub", (dir_ / "linkdir").c_str());
    symlink("a.txt", (dir_ / "linkfile").c_str());
  }
  std::string Mask(const std::string& m) { return dir_.Path() + "/" + m; }
  TempDir dir_;
};

TEST_F(DirSearch, PlainFilesOnlyWithAttributeSetZero) {
  auto found = Search(Mask("*.*"), 0);
  EXPECT_EQ(Names(found), (std::set<std::string>{"a.txt", "r.txt", "noext", "linkfile"}));
  EXPECT_EQ(found["r.txt"], kAttrReadOnly);
  EXPECT_EQ(found["a.txt"], 0u);
}

TEST_F(DirSearch, DirectoriesWithTheDirectoryBit) {
  auto found = Search(Mask("*.*"), kAttrDirectory);
  EXPECT_EQ(Names(found), (std::set<std::string>{".", "..", "sub", "linkdir", "a.txt",
                                                 "r.txt", "noext", "linkfile"}));
  EXPECT_EQ(found["sub"], kAttrDirectory);
  EXPECT_EQ(found["linkdir"], kAttrDirectory);
  EXPECT_EQ(found["."], kAttrDirectory);
}

TEST_F(DirSearch, EverythingWithAllBits) {
  auto found = Search(Mask("*"), 0xFFFF);
  EXPECT_EQ(found[".hidden"], kAttrHidden);
  EXPECT_EQ(found[".hdir"], kAttrHidden | kAttrDirectory);
  EXPECT_EQ(found["EHI.fifo"], kAttrSystem);
  EXPECT_EQ(found["dangling"], kAttrSystem);
  EXPECT_EQ(found.size(), 12u);
}

TEST_F(DirSearch, MaskMatching) {
  EXPECT_EQ(Names(Search(Mask("*.txt"), 0)), (std::set<std::string>{"a.txt", "r.txt"}));
  EXPECT_EQ(Names(Search(Mask("?.txt"), 0)), (std::set<std::string>{"a.txt", "r.txt"}));
  EXPECT_EQ(Names(Search(Mask("n*.*"), 0)), (std::set<std::string>{"noext"}));
  EXPECT_TRUE(MaskMatches("*.*", "plain"));
  EXPECT_TRUE(MaskMatches("a*b*c", "aXbYbZc"));
  EXPECT_FALSE(MaskMatches("*.TXT", "a.txt"));  // case-sensitive
  EXPECT_FALSE(MaskMatches("?", ""));
  EXPECT_FALSE(MaskMatches("a.*", "b"));
}

// A "?" stands for a whole character of a name in UTF-8 (and for one byte
// of what is no UTF-8); a "*" never stops inside a character.
TEST(MaskMatches, WildcardsTakeCharactersWhole) {
  const struct {
    const char *mask, *name;
    bool matches;
  } cases[] = {
      {"caf?.txt", "caf\xC3\xA9.txt", true},                         // é: 2 bytes
      {"?\xE6\x9C\xAC?.txt", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", true},  // 3 bytes each
      {"???.txt", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", true},
      {"?.txt", "\xF0\x9F\x98\x80.txt", true},                       // 4 bytes
      {"??", "\xC3\xA9", false},                                     // one character
      {"*??", "\xC3\xA9", false},
      {"??.txt", "\xFF\xFE.txt", true},                              // no UTF-8: bytes
      {"?.txt", "\xC3.txt", true},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskMatches(c.mask, c.name), c.matches) << c.mask;
}

// A plain recursive matcher: "*" any run, "?" one byte.
bool Reference(std::string_view p, std::string_view n) {
  if (p.empty()) return n.empty();
  if (p[0] == '*') return Reference(p.substr(1), n) || (!n.empty() && Reference(p, n.substr(1)));
  return !n.empty() && (p[0] == '?' || p[0] == n[0]) && Reference(p.substr(1), n.substr(1));
}

// Stars in names too: a "*" of the mask is a wildcard even where the name
// has a "*" of its own.
TEST_F(DirSearch, MaskMatchingAgreesWithAReference) {
  EXPECT_TRUE(MaskMatches("star*", "star*name"));
  EXPECT_TRUE(MaskMatches("*a", "*ba"));
  std::mt19937 rng(5);
  const char names[] = "ab*?.", masks[] = "ab*?.";
  for (int i = 0; i < 20000; ++i) {
    std::string n, m;
    for (size_t k = rng() % 7; k > 0; --k) n += names[rng() % 5];
    for (size_t k = rng() % 6; k > 0; --k) m += masks[rng() % 5];
    if (m == "*.*" || m == "*" || (m.size() >= 2 && m.substr(m.size() - 2) == ".*")) continue;
    ASSERT_EQ(MaskMatches(m, n), Reference(m, n)) << "mask " << m << " name " << n;
  }
}

// "\\" is a character of a name here: only a mask a user typed may use it
// to separate folders, and that one comes with "/" instead.
TEST_F(DirSearch, BackslashIsANameCharacterUnlessTyped) {
  WriteFile(dir_ / "sub/in.txt", "");
  WriteFile(dir_ / "sub\\in.txt", "");
  MakeDirs(dir_ / "a\\b");
  WriteFile(dir_ / "a\\b/x.txt", "");
  struct Case {
    std::string mask;
    std::set<std::string> names;
  } cases[] = {
      {sys::TypedPath(dir_.Path() + "\\sub\\*.txt"), {"in.txt"}},
      {dir_.Path() + "/sub\\*.txt", {"sub\\in.txt"}},
      {dir_.Path() + "/a\\b/*.txt", {"x.txt"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Names(Search(c.mask, 0)), c.names) << c.mask;
  EXPECT_TRUE(sys::StatPath(dir_ / "a\\b").Attr & kAttrDirectory);
}

// Details are looked up in the listed folder, whatever the current folder
// is by then; an entry gone by then has the earliest date there is.
TEST_F(DirSearch, DetailsComeFromTheListedFolder) {
  TempDir elsewhere;
  EntryRecord kept, gone;
  {
    test::ScopedCwd listed(dir_.Path());
    FindFirstEntry("a.txt", 0, kept);
    FindFirstEntry("r.txt", 0, gone);
  }
  test::ScopedCwd away(elsewhere.Path());
  WriteFile(elsewhere / "a.txt", "a different file");
  std::filesystem::remove(dir_ / "r.txt");
  EXPECT_EQ(kept.Size(), 5u);
  EXPECT_EQ(gone.Time(), (1u << 21) | (1u << 16));  // 1980-01-01 00:00:00
}

TEST_F(DirSearch, NothingMatchingGives18AndMissingDirectoryGives3) {
  EntryRecord rec;
  FindFirstEntry(Mask("*.zzz"), 0, rec);
  EXPECT_EQ(SearchError, 18);
  FindFirstEntry(dir_.Path() + "/nodir/*.*", 0, rec);
  EXPECT_EQ(SearchError, 3);
  FindFirstEntry(dir_.Path() + "/a.txt/*.*", 0, rec);
  EXPECT_EQ(SearchError, 3);
}

// As an ordinary user (root reads every folder): a folder closed to the
// user gives 5, while its open neighbour is listed.
TEST_F(DirSearch, UnreadableDirectoryGives5) {
  MakeDirs(dir_ / "locked");
  chmod((dir_ / "locked").c_str(), 0);
  chmod(dir_.Path().c_str(), 0755);
  if (!test::ReachableByOthers(dir_.Path()))
    GTEST_SKIP() << "the temporary folder is closed to other users";
  const int status = test::AsOrdinaryUser([this] {
    EntryRecord rec;
    FindFirstEntry(Mask("sub/*.*"), 0x10, rec);
    if (SearchError != 0) return 100 + SearchError;
    FindFirstEntry(Mask("locked/*.*"), 0, rec);
    return SearchError;
  });
  EXPECT_EQ(status, 5);
}

TEST_F(DirSearch, SizeAndPackedTime) {
  struct timespec times[2] = {{0, 0}, {0, 0}};
  struct tm lt = {};
  lt.tm_year = 2020 - 1900;
  lt.tm_mon = 2;
  lt.tm_mday = 15;
  lt.tm_hour = 13;
  lt.tm_min = 45;
  lt.tm_sec = 31;
  lt.tm_isdst = -1;
  times[0].tv_sec = times[1].tv_sec = mktime(&lt);
  utimensat(AT_FDCWD, (dir_ / "a.txt").c_str(), times, 0);
  EntryRecord rec;
  FindFirstEntry(Mask("a.txt"), 0, rec);
  ASSERT_EQ(SearchError, 0);
  EXPECT_EQ(rec.Size(), 5u);
  uint32_t date = (40u << 9) | (3u << 5) | 15u;
  uint32_t tod = (13u << 11) | (45u << 5) | 15u;
  EXPECT_EQ(rec.Time(), (date << 16) | tod);

  lt.tm_year = 1970 - 1900;
  times[0].tv_sec = times[1].tv_sec = mktime(&lt);
  utimensat(AT_FDCWD, (dir_ / "a.txt").c_str(), times, 0);
  FindFirstEntry(Mask("a.txt"), 0, rec);
  EXPECT_EQ(rec.Time(), ((0u << 9 | 1u << 5 | 1u) << 16));
}

TEST_F(DirSearch, SnapshotServesTheSecondListingOfAFolder) {
  const std::string dirPart = dir_.Path() + "/";
  {
    ListingSnapshot once(dirPart);
    auto first = Search(Mask("*.*"), 0xFFFF);
    WriteFile(dir_ / "late.txt", "");  // created after the first listing
    auto second = Search(Mask("*.*"), 0xFFFF);
    EXPECT_EQ(first, second);
    EXPECT_EQ(second.count("late.txt"), 0u);
    EXPECT_EQ(second["linkdir"], kAttrDirectory);  // links still resolved
    EXPECT_EQ(second["dangling"], kAttrSystem);
    auto files = Search(Mask("*.txt"), 0);  // another mask, same folder
    EXPECT_EQ(Names(files), (std::set<std::string>{"a.txt", "r.txt"}));
  }
  EXPECT_EQ(Search(Mask("*.*"), 0).count("late.txt"), 1u);  // fresh again
}

// A name of more bytes than a short string holds (a Windows name of 255
// characters takes up to 765 bytes of UTF-8) comes whole: cut, it would
// name another file.
TEST(DirSearchNames, ANameLongerThanAShortStringComesWhole) {
  std::string wide;
  for (int i = 0; i < 100; ++i) wide += "\xE6\x97\xA5";  // 300 bytes
  ListedEntries listed;
  listed.Add(wide.c_str(), 0, false);
  listed.Add("short", 0, false);
  ListingSnapshot snapshot("v/", std::move(listed));
  EntryRecord rec;
  FindFirstEntry("v/*.*", 0, rec);
  ASSERT_EQ(SearchError, 0);
  EXPECT_EQ(rec.WholeName(), wide);
  EXPECT_EQ(rec.Name.Length(), 255);
  FindNextEntry(rec);
  ASSERT_EQ(SearchError, 0);
  EXPECT_EQ(rec.WholeName(), "short");
}

TEST(SplitPath, Examples) {
  String d, n, e;
  SplitPath("data\\x.tab", d, n, e);
  EXPECT_EQ(d.Str(), "data\\");
  EXPECT_EQ(n.Str(), "x");
  EXPECT_EQ(e.Str(), ".tab");
  SplitPath("plain", d, n, e);
  EXPECT_EQ(d.Str(), "");
  EXPECT_EQ(n.Str(), "plain");
  EXPECT_EQ(e.Str(), "");
  SplitPath(".profile", d, n, e);
  EXPECT_EQ(d.Str(), "");
  EXPECT_EQ(n.Str(), "");
  EXPECT_EQ(e.Str(), ".profile");
  SplitPath("a.b\\c", d, n, e);
  EXPECT_EQ(d.Str(), "a.b\\");
  EXPECT_EQ(n.Str(), "c");
  EXPECT_EQ(e.Str(), "");
  SplitPath("sub/EHI.017", d, n, e);
  EXPECT_EQ(d.Str(), "sub\\");
  EXPECT_EQ(e.Str(), ".017");
  SplitPath("c:name.x.y", d, n, e);
  EXPECT_EQ(d.Str(), "c:");
  EXPECT_EQ(n.Str(), "name.x");
  EXPECT_EQ(e.Str(), ".y");
}

}  // namespace
}  // namespace ehi
