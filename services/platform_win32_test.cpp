// The Windows platform layer against the file system as Windows keeps it:
// attributes instead of dot-files and modes, its error numbers, its times.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "codes.h"
#include "dirsearch.h"
#include "platform.h"
#include "platform_win32.h"
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
  // A file searched as a folder gives the system's own number: 267 from
  // Windows, 123 from Wine; no longer folded into "path not found".
  FindFirstEntry(dir.Path() + "/a.txt/*.*", 0, rec);
  EXPECT_TRUE(SearchError == ERROR_DIRECTORY || SearchError == ERROR_INVALID_NAME) << SearchError;

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
  EXPECT_EQ(sys::OpenRegularForReading("\\\\.\\NUL", error, notRegular), sys::kNoHandle);
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

// Windows' error numbers are the runtime error numbers, save those that
// are access denied and the device errors 19..31, which become 150..162.
TEST(WindowsFiles, ErrorNumbersAsTheRuntimeReportsThem) {
  const struct {
    DWORD win;
    int rte;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, 2},        {ERROR_PATH_NOT_FOUND, 3},
      {ERROR_TOO_MANY_OPEN_FILES, 4},   {ERROR_ACCESS_DENIED, 5},
      {ERROR_SHARING_VIOLATION, 5},     {ERROR_DIR_NOT_EMPTY, 5},
      {ERROR_FILE_EXISTS, 5},           {ERROR_ALREADY_EXISTS, 5},
      {ERROR_WRITE_PROTECT, 150},       {ERROR_NOT_READY, 152},
      {ERROR_CRC, 154},                 {ERROR_GEN_FAILURE, 162},
      {ERROR_INVALID_DRIVE, 15},        {ERROR_LOCK_VIOLATION, 33},
      {ERROR_HANDLE_DISK_FULL, 39},     {ERROR_DISK_FULL, 112},
      {ERROR_INVALID_NAME, 123},        {ERROR_BAD_PATHNAME, 161},
      {ERROR_FILENAME_EXCED_RANGE, 206}, {ERROR_DIRECTORY, 267},
      {ERROR_CANT_ACCESS_FILE, 1920},   {0, 100},
      {0x10000, 100},
  };
  for (const auto& c : cases) EXPECT_EQ(sys::MapWinError(c.win, 100), c.rte) << c.win;
}

// Every path reaches the wide calls absolute and verbatim: any length, no
// trailing dot or blank dropped, no device behind a name, look-alikes as
// they are; "." and ".." resolved as Windows resolves them.
TEST(WindowsFiles, PathsBecomeVerbatimAndAbsolute) {
  const struct {
    const wchar_t *cwd, *path, *want;
  } cases[] = {
      {L"C:\\work", L"a/b.txt", L"\\\\?\\C:\\work\\a\\b.txt"},
      {L"C:\\work", L"", L"\\\\?\\C:\\work"},
      {L"C:\\", L"x", L"\\\\?\\C:\\x"},
      {L"C:\\work\\sub", L"..\\x.txt", L"\\\\?\\C:\\work\\x.txt"},
      {L"C:\\work", L"..\\..\\..\\x", L"\\\\?\\C:\\x"},
      {L"C:\\work", L".\\a\\.\\b\\", L"\\\\?\\C:\\work\\a\\b"},
      {L"C:\\work", L"D:\\data\\x", L"\\\\?\\D:\\data\\x"},
      {L"C:\\work", L"\\top\\x", L"\\\\?\\C:\\top\\x"},
      {L"C:\\work", L"c:rel", L"\\\\?\\C:\\work\\rel"},
      {L"C:\\work", L"D:rel", L"\\\\?\\D:\\rel"},
      {L"\\\\server\\share\\dir", L"x", L"\\\\?\\UNC\\server\\share\\dir\\x"},
      {L"\\\\server\\share", L"..\\x", L"\\\\?\\UNC\\server\\share\\x"},
      {L"\\\\?\\C:\\long", L"x", L"\\\\?\\C:\\long\\x"},
      {L"\\\\?\\UNC\\s\\sh", L"x", L"\\\\?\\UNC\\s\\sh\\x"},
      {L"C:\\work", L"name. ", L"\\\\?\\C:\\work\\name. "},
      {L"C:\\work", L"NUL", L"\\\\?\\C:\\work\\NUL"},
      {L"C:\\work", L"\\\\.\\NUL", L"\\\\.\\NUL"},
      {L"C:\\work", L"\uFF0E\uFF0E\uFF0Fx", L"\\\\?\\C:\\work\\\uFF0E\uFF0E\uFF0Fx"},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(sys::VerbatimPath(c.cwd, c.path) == c.want)
        << sys::NarrowName(c.cwd) << " + " << sys::NarrowName(c.path) << " gave "
        << sys::NarrowName(sys::VerbatimPath(c.cwd, c.path));
}

// The arguments come from the wide command line, split as the C runtime
// splits the narrow one.
TEST(WindowsFiles, CommandLineSplitAsTheRuntimeSplitsIt) {
  const struct {
    const wchar_t* line;
    std::vector<std::wstring> args;
  } cases[] = {
      {L"e.exe a b", {L"a", L"b"}},
      {L"\"C:\\Program Files\\e.exe\" \"sub\\*.txt\"", {L"sub\\*.txt"}},
      {L"e.exe \"a b\"\tc  ", {L"a b", L"c"}},
      {L"e.exe a\\\\\\\"b", {L"a\\\"b"}},
      {L"e.exe a\\\\\"b c\"", {L"a\\b c"}},
      {L"e.exe a\\b\\", {L"a\\b\\"}},
      {L"e.exe \"a\"\"b\"", {L"a\"b"}},
      {L"e.exe \"\"", {L""}},
      {L"e.exe \uFF0E\uFF0E\uFF3C*", {L"\uFF0E\uFF0E\uFF3C*"}},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(sys::SplitCommandLine(c.line) == c.args) << sys::NarrowName(c.line);
}

// A start folder deeper than the old 260-character limit: listing,
// reading and replacing the table there work as anywhere.
TEST(WindowsFiles, AStartFolderPastTheOldPathLimit) {
  TempDir dir;
  std::wstring deep, base;
  ASSERT_TRUE(sys::WideName(dir.Path(), base));
  deep = sys::VerbatimPath(L"", base);
  std::vector<std::wstring> made;
  while (deep.size() < 320) {
    deep += L"\\" + std::wstring(60, L'L');
    ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr)) << ::GetLastError();
    made.push_back(deep);
  }
  wchar_t before[4096];
  ASSERT_GT(::GetCurrentDirectoryW(4096, before), 0u);
  if (!::SetCurrentDirectoryW(deep.c_str()))
    GTEST_SKIP() << "this system keeps the current folder within 260 characters";
  sys::Replacement* job = nullptr;
  int error = 0;
  const sys::Handle out = sys::BeginReplace("Orvitan.Tab", job, error);
  const bool written = out != sys::kNoHandle && sys::WriteAll(out, "r\r\n", 3) &&
                       sys::CommitReplace(job, error);
  std::map<std::string, uint32_t> listed;
  if (written) listed = Search("*.*", 0);
  const sys::Handle in = sys::OpenForReading("Orvitan.Tab", error);
  char got[8] = {};
  const long n = in == sys::kNoHandle ? -1 : sys::ReadSome(in, got, sizeof got, error);
  sys::CloseHandle(in);
  ::SetCurrentDirectoryW(before);
  ::DeleteFileW((deep + L"\\Orvitan.Tab").c_str());
  for (auto it = made.rbegin(); it != made.rend(); ++it) ::RemoveDirectoryW(it->c_str());
  EXPECT_TRUE(written) << error;
  EXPECT_EQ(listed.count("Orvitan.Tab"), 1u);
  EXPECT_EQ(std::string(got, size_t(n > 0 ? n : 0)), "r\r\n");
}

}  // namespace
}  // namespace ehi
