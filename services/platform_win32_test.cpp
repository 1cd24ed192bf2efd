// The Windows platform layer against the file system as Windows keeps it:
// attributes instead of dot-files and modes, its error numbers, its times.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <map>
#include <string>

#include "codes.h"
#include "dirsearch.h"
#include "platform.h"
#include "testutil.h"
#include "textfile.h"

namespace ehi {
namespace {

using test::TempDir;
using test::WriteFile;

std::map<std::string, uint32_t> Search(const std::string& mask, uint16_t attrs) {
  std::map<std::string, uint32_t> found;
  EntryRecord rec;
  FindFirstEntry(mask, attrs, rec);
  while (SearchError == 0) {
    found[rec.Name.Str()] = rec.Attr();
    FindNextEntry(rec);
  }
  EXPECT_EQ(SearchError, rte::kNoMoreFiles);
  return found;
}

void SetAttributes(const std::string& path, DWORD attr) {
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), attr)) << path;
}

TEST(WindowsDirSearch, AttributesComeFromTheFileSystem) {
  TempDir dir;
  WriteFile(dir / "plain.txt", "");
  WriteFile(dir / "hidden.txt", "");
  WriteFile(dir / "system.txt", "");
  WriteFile(dir / "ro.txt", "");
  test::MakeDirs(dir / "sub");
  SetAttributes(dir / "hidden.txt", FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(dir / "system.txt", FILE_ATTRIBUTE_SYSTEM);
  SetAttributes(dir / "ro.txt", FILE_ATTRIBUTE_READONLY);
  SetAttributes(dir / "plain.txt", FILE_ATTRIBUTE_ARCHIVE);

  // The archive bit comes as the file system keeps it.
  const auto plain = Search(dir.Path() + "/*.*", 0);
  EXPECT_EQ(plain.size(), 2u);
  EXPECT_EQ(plain.at("plain.txt"), kAttrArchive);
  EXPECT_EQ(plain.at("ro.txt") & ~kAttrArchive, kAttrReadOnly);

  const auto all = Search(dir.Path() + "\\*.*", kDirAttrMask);
  EXPECT_EQ(all.at("hidden.txt") & ~kAttrArchive, kAttrHidden);
  EXPECT_EQ(all.at("system.txt") & ~kAttrArchive, kAttrSystem);
  EXPECT_EQ(all.at("sub") & kAttrDirectory, kAttrDirectory);
  EXPECT_EQ(all.size(), 7u);  // with "." and ".."
  // Masks match as Windows names do, letter case aside.
  EXPECT_EQ(Search(dir.Path() + "/PLAIN.T?T", 0).size(), 1u);
  SetAttributes(dir / "ro.txt", FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsDirSearch, ErrorsAndPackedTime) {
  TempDir dir;
  WriteFile(dir / "a.txt", "12345");
  EntryRecord rec;
  FindFirstEntry(dir.Path() + "/nodir/*.*", 0, rec);
  EXPECT_EQ(SearchError, rte::kPathNotFound);
  FindFirstEntry(dir.Path() + "/a.txt/*.*", 0, rec);
  EXPECT_EQ(SearchError, rte::kPathNotFound);

  // 2021-06-15 13:45:30 local time, as the file system keeps it in UTC.
  SYSTEMTIME local = {2021, 6, 2, 15, 13, 45, 30, 0}, utc;
  ASSERT_TRUE(::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
  FILETIME ft;
  ASSERT_TRUE(::SystemTimeToFileTime(&utc, &ft));
  HANDLE h = ::CreateFileA((dir / "a.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(::SetFileTime(h, nullptr, nullptr, &ft));
  ::CloseHandle(h);
  FindFirstEntry(dir.Path() + "/a.txt", 0, rec);
  ASSERT_EQ(SearchError, 0);
  EXPECT_EQ(rec.Size(), 5u);
  const uint32_t date = ((2021 - 1980) << 9) | (6 << 5) | 15;
  const uint32_t time = (13 << 11) | (45 << 5) | 15;
  EXPECT_EQ(rec.Time(), (date << 16) | time);
}

TEST(WindowsFiles, OpenErrorsMapToRuntimeNumbers) {
  TempDir dir;
  test::MakeDirs(dir / "sub");
  int error = 0;
  EXPECT_EQ(sys::OpenForReading(dir / "missing.txt", error), sys::kNoHandle);
  EXPECT_EQ(error, rte::kFileNotFound);
  EXPECT_EQ(sys::OpenForReading(dir / "nodir/x.txt", error), sys::kNoHandle);
  EXPECT_EQ(error, rte::kPathNotFound);
  EXPECT_EQ(sys::OpenForReading(dir / "sub", error), sys::kNoHandle);
  EXPECT_EQ(error, rte::kAccessDenied);
  bool notRegular = false;
  EXPECT_EQ(sys::OpenRegularForReading("NUL", error, notRegular), sys::kNoHandle);
  EXPECT_TRUE(notRegular) << "a device is never read as a data file";
}

TEST(WindowsFiles, ReplaceRefusesAReadOnlyTableAndKeepsTheOldOneUntilTheEnd) {
  TempDir dir;
  WriteFile(dir / "ro.tab", "old");
  SetAttributes(dir / "ro.tab", FILE_ATTRIBUTE_READONLY);
  sys::Replacement* job = nullptr;
  int error = 0;
  EXPECT_EQ(sys::BeginReplace(dir / "ro.tab", job, error), sys::kNoHandle);
  EXPECT_EQ(error, rte::kAccessDenied);
  EXPECT_EQ(test::ReadFile(dir / "ro.tab"), "old");
  SetAttributes(dir / "ro.tab", FILE_ATTRIBUTE_NORMAL);

  WriteFile(dir / "t.tab", "old");
  sys::Handle h = sys::BeginReplace(dir / "t.tab", job, error);
  ASSERT_NE(h, sys::kNoHandle);
  ASSERT_TRUE(sys::WriteAll(h, "new\r\n", 5));
  EXPECT_EQ(test::ReadFile(dir / "t.tab"), "old");
  ASSERT_TRUE(sys::CommitReplace(job, error));
  EXPECT_EQ(test::ReadFile(dir / "t.tab"), "new\r\n");
  // Nothing of the temporary file is left beside the table.
  for (const auto& [name, attr] : Search(dir.Path() + "/*.*", kDirAttrMask))
    EXPECT_EQ(name.find(".tablewrite"), std::string::npos) << name;
}

}  // namespace
}  // namespace ehi
