#include "directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "codes.h"
#include "testutil.h"

namespace ehi {
namespace {

using test::MakeDirs;
using test::TempDir;
using test::WriteFile;

std::set<std::string> Names(const Directory& d) {
  std::set<std::string> s;
  for (int i = 1; i <= d.NStrings; ++i) s.insert(d.IthString(int16_t(i)).Str());
  return s;
}

class Listing : public ::testing::Test {
 protected:
  void SetUp() override {
    InitUDir2();
    WriteFile(dir_ / "a.txt", "a");
    WriteFile(dir_ / "r.txt", "r");
    chmod((dir_ / "r.txt").c_str(), 0444);
    WriteFile(dir_ / "h.txt", "h");  // hidden on this platform: a leading dot
    rename((dir_ / "h.txt").c_str(), (dir_ / ".h.txt").c_str());
    mkfifo((dir_ / "s.sys").c_str(), 0644);  // neither file nor directory: system
    MakeDirs(dir_ / "sub");
  }
  std::string Mask(const char* m) { return dir_.Path() + "/" + m; }
  TempDir dir_;
};

TEST_F(Listing, FilePassAndDirectoryPass) {
  auto d = std::make_unique<Directory>(2000, true);
  EXPECT_EQ(d->AttrAllowed, 65505);
  EXPECT_EQ(d->AttrRequired, 0);
  d->ReadListing(Mask("*.*"), FileAttrMask, 0);
  EXPECT_EQ(Names(*d), (std::set<std::string>{"a.txt", "r.txt"}));
  d->ReadListing(Mask("*.*"), DirAttrMask, 16);
  EXPECT_EQ(Names(*d), (std::set<std::string>{".", "..", "sub"}));
  EXPECT_EQ(d->NStrings, 3);  // the second read replaced the first
}

TEST_F(Listing, AttributeFilters) {
  auto d = std::make_unique<Directory>(100, false);
  d->ReadListing(Mask("*.*"), 65535, 0);
  EXPECT_EQ(Names(*d), (std::set<std::string>{".", "..", "sub", "a.txt", "r.txt", ".h.txt",
                                              "s.sys"}));
  d->ReadListing(Mask("*.*"), 65534, 0);  // no read-only entries
  EXPECT_EQ(Names(*d).count("r.txt"), 0u);
  EXPECT_EQ(Names(*d).count("a.txt"), 1u);
}

TEST_F(Listing, LongNamesKeepTheirWholeRecord) {
  std::string longName(100, 'n');
  WriteFile(dir_ / longName, "x");
  auto d = std::make_unique<Directory>(10, false);
  d->ReadListing(Mask("n*"), FileAttrMask, 0);
  ASSERT_EQ(d->NStrings, 1);
  EXPECT_EQ(d->IthString(1).Length(), 80);
  EXPECT_EQ(d->Entries[1]->Name.Str(), longName);
  EXPECT_EQ(d->Entries[1]->Size(), 1u);
}

TEST_F(Listing, DirPartFollowsTheMask) {
  auto d = std::make_unique<Directory>(10, false);
  d->ReadListing("no-such-name-*.none", FileAttrMask, 0);  // the current folder, whatever it holds
  EXPECT_EQ(d->DirPart.Str(), "");
  d->ReadListing(dir_.Path() + "/data/*.txt", FileAttrMask, 0);  // missing: empty listing
  EXPECT_EQ(d->NStrings, 0);
  EXPECT_EQ(d->DirPart.Str(), dir_.Path() + "/data/");
  EXPECT_EQ(d->Mask.Str(), dir_.Path() + "/data/*.txt");
  d->ReadListing("c:\\data\\*.txt", FileAttrMask, 0);
  EXPECT_EQ(d->DirPart.Str(), "c:\\data\\");
}

TEST(DirectoryDeathTest, OneEntryTooManyStops) {
  TempDir dir;
  for (int i = 0; i < 5; ++i) WriteFile(dir / ("f" + std::to_string(i)), "");
  EXPECT_EXIT(
      {
        InitUDir2();
        Directory d(4, true);
        d.ReadListing(dir.Path() + "/*.*", FileAttrMask, 0);
      },
      ::testing::ExitedWithCode(1),
      "^Halting with error-code 1, because:\r\nAddString tried to store too many strings in "
      "list.\r\n$");
  EXPECT_EXIT({ Directory d(5001, false); }, ::testing::ExitedWithCode(1), "above 5000");
}

// Sorting and editing the names leaves the records in reading order, and
// a name's record is found by the name, also among names that agree in
// their first 80 characters. Every list operation works on a listing.
TEST_F(Listing, RecordsStayInReadingOrderAndAreFoundByName) {
  auto d = std::make_unique<Directory>(20, true);
  EXPECT_EQ(d->Entries.size(), 21u);
  for (const auto& e : d->Entries) EXPECT_EQ(e, nullptr);
  const std::string common(80, 'z');
  WriteFile(dir_ / (common + "1"), "1");
  WriteFile(dir_ / (common + "22"), "22");
  d->ReadListing(Mask("*.*"), DirAttrMask, 0);
  ASSERT_GT(d->NStrings, 4);
  std::vector<std::string> read;  // whole names in reading order
  for (int i = 1; i <= d->NStrings; ++i) read.push_back(d->Entries[size_t(i)]->Name.Str());
  d->SortListing(false);
  EXPECT_EQ(d->IthString(1).Str(), ".");
  std::set<std::string> alike;
  for (int i = 1; i <= d->NStrings; ++i) {
    EXPECT_EQ(d->Entries[size_t(i)]->Name.Str(), read[size_t(i) - 1]);
    const EntryRecord* e = d->IthEntry(int16_t(i));
    ASSERT_NE(e, nullptr) << d->IthString(int16_t(i)).Str();
    EXPECT_EQ(e->Name.Str().substr(0, 80), d->IthString(int16_t(i)).Str());
    if (d->IthString(int16_t(i)).Str() == common) alike.insert(e->Name.Str());
  }
  EXPECT_EQ(alike, (std::set<std::string>{common + "1", common + "22"}));
  EXPECT_EQ(d->EntryNamed(common + "22")->Size(), 2u);

  d->Sort(true);
  d->MoveToTop("sub");
  d->InsertInList(2, "by hand");
  EXPECT_EQ(d->IthEntry(1)->Name.Str(), "sub");
  EXPECT_EQ(d->IthEntry(2), nullptr);
  d->DeleteFromList(1);
  EXPECT_EQ(d->IthString(1).Str(), "by hand");
  EXPECT_EQ(d->EntryNamed("sub")->Attr() & kAttrDirectory, kAttrDirectory);
  EXPECT_EQ(d->IthEntry(0), nullptr);
}

TEST(Directory, SortPutsDotsFirstAndBaseNames) {
  Directory d(10, true);
  for (const char* n : {"b", "..", "A", "."}) d.AddString(n);
  d.SortListing(true);
  EXPECT_EQ(d.IthString(1).Str(), ".");
  EXPECT_EQ(d.IthString(2).Str(), "..");
  EXPECT_EQ(d.IthString(3).Str(), "A");
  EXPECT_EQ(d.IthString(4).Str(), "b");

  Directory e(10, true);
  for (const char* n : {"b", "A", "a"}) e.AddString(n);
  e.SortListing(false);
  EXPECT_EQ(e.IthString(1).Str(), "A");
  EXPECT_EQ(e.IthString(2).Str(), "a");
  EXPECT_EQ(e.IthString(3).Str(), "b");

  Directory f(10, true);
  EXPECT_EQ(f.IthMarkedBaseName(1).Str(), "");
  for (const char* n : {"report.txt", "archive.tar.gz", ".profile"}) f.AddString(n);
  f.SetAllMarks(true);
  EXPECT_EQ(f.IthMarkedBaseName(1).Str(), "report");
  EXPECT_EQ(f.IthMarkedBaseName(2).Str(), "archive.tar");
  EXPECT_EQ(f.IthMarkedBaseName(3).Str(), "");
}

}  // namespace
}  // namespace ehi
