// Windows implementation of the platform layer: files, directory search,
// times and the process.
#include "platform_win32.h"
#include "testhooks.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "wtf8.h"

namespace ehi::sys {

int MapWinError(DWORD e, int otherwise) {
  switch (e) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_DIR_NOT_EMPTY:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return rte::kAccessDenied;
    default: break;
  }
  // Write-protected medium, drive not ready, CRC error, ... general failure.
  if (e >= ERROR_WRITE_PROTECT && e <= ERROR_GEN_FAILURE)
    return int(e - ERROR_WRITE_PROTECT) + rte::kDiskWriteProtected;
  // The number is reported as a 16-bit value.
  if (e == 0 || e > 0xFFFF) return otherwise;
  return int(e);
}

bool WideName(std::string_view bytes, std::wstring& wide) {
  std::u16string units;
  if (!Wtf8ToUtf16(bytes, units)) return false;
  wide.assign(units.begin(), units.end());
  return true;
}

std::string NarrowName(std::wstring_view wide) {
  return Utf16ToWtf8(std::u16string(wide.begin(), wide.end()));
}

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
bool HasDrive(std::wstring_view p) { return p.size() >= 2 && IsLetter(p[0]) && p[1] == L':'; }
bool StartsWith(std::wstring_view p, std::wstring_view head) {
  return p.substr(0, head.size()) == head;
}

// An absolute path in its everyday form ("C:\x" or "\\server\share\x"):
// a verbatim one loses its prefix.
std::wstring Everyday(std::wstring_view p) {
  if (StartsWith(p, L"\\\\?\\UNC\\")) return L"\\\\" + std::wstring(p.substr(8));
  if (StartsWith(p, L"\\\\?\\")) return std::wstring(p.substr(4));
  return std::wstring(p);
}

// The length of the root of an everyday absolute path: "C:" or
// "\\server\share".
size_t RootLength(std::wstring_view p) {
  if (HasDrive(p)) return 2;
  size_t at = 2, parts = 0;
  while (at < p.size() && parts < 2) {
    while (at < p.size() && !IsSeparator(p[at])) ++at;
    if (++parts < 2 && at < p.size()) ++at;
  }
  return at;
}

}  // namespace

std::wstring VerbatimPath(std::wstring_view cwd, std::wstring_view path) {
  std::wstring p(path);
  for (wchar_t& c : p)
    if (c == L'/') c = L'\\';
  if (StartsWith(p, L"\\\\?\\") || StartsWith(p, L"\\\\.\\")) return p;
  const std::wstring base = Everyday(cwd);
  // The path in its everyday absolute form.
  std::wstring full;
  if (StartsWith(p, L"\\\\") || (HasDrive(p) && p.size() > 2 && p[2] == L'\\')) {
    full = p;
  } else if (StartsWith(p, L"\\")) {
    full = base.substr(0, RootLength(base)) + p;  // the root of the current drive
  } else if (HasDrive(p)) {
    // "D:x": relative to the current folder when that is on D:, else to
    // the drive's root.
    const bool sameDrive = HasDrive(base) && (base[0] | 0x20) == (p[0] | 0x20);
    full = (sameDrive ? base : p.substr(0, 2)) + L"\\" + p.substr(2);
  } else {
    full = base + L"\\" + p;
  }
  const size_t rootLength = RootLength(full);
  std::wstring out = HasDrive(full) ? L"\\\\?\\" + full.substr(0, rootLength)
                                    : L"\\\\?\\UNC\\" + full.substr(2, rootLength - 2);
  const size_t rootEnd = out.size();
  for (size_t at = rootLength; at < full.size();) {
    while (at < full.size() && full[at] == L'\\') ++at;
    const size_t end = std::min(full.find(L'\\', at), full.size());
    const std::wstring_view part = std::wstring_view(full).substr(at, end - at);
    at = end;
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      // Up one folder, never above the root.
      const size_t cut = out.rfind(L'\\');
      if (cut != std::wstring::npos && cut >= rootEnd) out.erase(cut);
      continue;
    }
    out += L'\\';
    out += part;
  }
  if (out.size() == rootEnd) out += L'\\';
  return out;
}

bool WidePath(const std::string& path, std::wstring& wide, DWORD& error) {
  std::wstring relative;
  if (!WideName(path, relative)) {
    error = ERROR_INVALID_NAME;
    return false;
  }
  std::wstring cwd(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetCurrentDirectoryW(DWORD(cwd.size()), cwd.data());
    if (n == 0) {
      error = ::GetLastError();
      return false;
    }
    if (n < cwd.size()) {
      cwd.resize(n);
      break;
    }
    cwd.resize(n);
  }
  wide = VerbatimPath(cwd, relative);
  return true;
}

std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
  std::vector<std::wstring> args;
  size_t at = 0;
  // The program's name: quoted or up to the first blank, backslashes as
  // they stand.
  if (at < line.size() && line[at] == L'"') {
    const size_t end = line.find(L'"', at + 1);
    at = end == std::wstring_view::npos ? line.size() : end + 1;
  }
  while (at < line.size() && line[at] != L' ' && line[at] != L'\t') ++at;
  for (;;) {
    while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) ++at;
    if (at >= line.size()) return args;
    std::wstring arg;
    bool quoted = false;
    while (at < line.size() && (quoted || (line[at] != L' ' && line[at] != L'\t'))) {
      size_t slashes = 0;
      while (at < line.size() && line[at] == L'\\') ++slashes, ++at;
      if (at < line.size() && line[at] == L'"') {
        // 2n backslashes and a quote: n backslashes, and the quote opens or
        // closes; 2n + 1: n backslashes and a quote.
        arg.append(slashes / 2, L'\\');
        if (slashes % 2 == 1) {
          arg += L'"';
        } else if (quoted && at + 1 < line.size() && line[at + 1] == L'"') {
          arg += L'"';  // "" within quotes: one quote
          ++at;
        } else {
          quoted = !quoted;
        }
        ++at;
      } else {
        arg.append(slashes, L'\\');
        if (at < line.size() && (quoted || (line[at] != L' ' && line[at] != L'\t')))
          arg += line[at++];
      }
    }
    args.push_back(std::move(arg));
  }
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (const std::wstring& arg : SplitCommandLine(::GetCommandLineW()))
    args.push_back(NarrowName(arg));
  // A command line that could not be read as the runtime read it: the
  // runtime's own reading.
  if (int(args.size()) != argc - 1) args.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  return args;
}

Handle StandardHandle(StandardStream which) {
  switch (which) {
    case StandardStream::Input: return FromWin(::GetStdHandle(STD_INPUT_HANDLE));
    case StandardStream::Output: return FromWin(::GetStdHandle(STD_OUTPUT_HANDLE));
    case StandardStream::Error: return FromWin(::GetStdHandle(STD_ERROR_HANDLE));
  }
  return kNoHandle;
}

namespace {

// The console of the process, when it has one with a screen: the output
// side must answer GetConsoleScreenBufferInfo, or it is no console to draw
// on (a process started with its streams on pipes).
Handle OpenConsole(const wchar_t* name, DWORD access) {
  HANDLE h = ::CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoHandle;
  CONSOLE_SCREEN_BUFFER_INFO info;
  DWORD mode;
  const bool usable = std::wcscmp(name, L"CONOUT$") == 0
                          ? ::GetConsoleScreenBufferInfo(h, &info) != 0
                          : ::GetConsoleMode(h, &mode) != 0;
  if (!usable) {
    ::CloseHandle(h);
    return kNoHandle;
  }
  return FromWin(h);
}

uint32_t PackTime(const FILETIME& utc) {
  FILETIME local;
  WORD date = 0, time = 0;
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToDosDateTime(&local, &date, &time))
    return kEarliestPackedTime;
  const uint32_t packed = (uint32_t(date) << 16) | time;
  return packed < kEarliestPackedTime ? kEarliestPackedTime : packed;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The facts of a path tell a folder, a read-only file and (as the system
// bit) anything that is no disk file, as on every system; the hidden and
// system attributes of a file are the listing's to pass on.
constexpr uint32_t kKeptAttributes = kAttrReadOnly | kAttrDirectory;

// The facts every way of asking Windows gives: attributes, time and size.
template <typename Info>
PathFacts BasicFacts(const Info& info) {
  PathFacts f;
  f.Exists = true;
  f.Attr = info.dwFileAttributes & kKeptAttributes;
  f.PackedTime = PackTime(info.ftLastWriteTime);
  f.Size = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return f;
}

}  // namespace

PathFacts FactsOfHandle(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) return PathFacts();
  PathFacts f = BasicFacts(info);
  f.Device = info.dwVolumeSerialNumber;
  f.Inode = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return f;
}

Handle TerminalOutput() {
  static Handle h = OpenConsole(L"CONOUT$", GENERIC_READ | GENERIC_WRITE);
  return h;
}

Handle TerminalInput() {
  // No console screen, no console input: a process on pipes reads its
  // standard input, as on a system without a terminal.
  static Handle h = TerminalOutput() == kNoHandle
                        ? kNoHandle
                        : OpenConsole(L"CONIN$", GENERIC_READ | GENERIC_WRITE);
  return h;
}

namespace {
BeforeOpenHook beforeOpen = nullptr;

// Opens `name` and checks on the open handle what it is: a folder is
// refused, and with `notRegular` anything but a disk file is closed again.
// Nobody else may write the file while it is open: an input is read as it
// stands, so one being written elsewhere is refused (access denied). Other
// readers (the read-ahead's fetchers among them) may read it meanwhile.
Handle OpenChecked(const std::string& name, DWORD access, DWORD share, DWORD disposition,
                   int& error, bool* notRegular, uint64_t* size = nullptr) {
  std::wstring wide;
  DWORD e = 0;
  HANDLE h = WidePath(name, wide, e)
                 ? ::CreateFileW(wide.c_str(), access, share, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL, nullptr)
                 : INVALID_HANDLE_VALUE;
  if (h == INVALID_HANDLE_VALUE) {
    error = MapWinError(e != 0 ? e : ::GetLastError(), rte::kAccessDenied);
    return kNoHandle;
  }
  error = 0;
  if (notRegular) {
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      ::CloseHandle(h);
      *notRegular = true;
      return kNoHandle;
    }
    if (size) *size = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  }
  return FromWin(h);
}
}  // namespace

void SetBeforeOpenHookForTesting(BeforeOpenHook hook) { beforeOpen = hook; }

Handle OpenForReading(const std::string& name, int& error) {
  if (beforeOpen) beforeOpen(name);
  return OpenChecked(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, error, nullptr);
}

Handle OpenRegularForReading(const std::string& name, int& error, bool& notRegular,
                             uint64_t* size) {
  notRegular = false;
  if (beforeOpen) beforeOpen(name);
  return OpenChecked(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, error, &notRegular,
                     size);
}

Handle OpenForWriting(const std::string& name, int& error) {
  return OpenChecked(name, GENERIC_WRITE, 0, CREATE_ALWAYS, error, nullptr);
}

namespace {
std::atomic<size_t> shortReads{0};
}  // namespace

void SetShortReadsForTesting(size_t bytes) { shortReads = bytes; }

long ReadSome(Handle h, char* buffer, size_t size, int& error) {
  DWORD got = 0;
  const size_t most = shortReads;
  if (most > 0 && size > most) size = most;
  const DWORD want = size > 0x40000000 ? 0x40000000 : DWORD(size);
  if (::ReadFile(Win(h), buffer, want, &got, nullptr)) return long(got);
  const DWORD e = ::GetLastError();
  // The writer of a pipe went away: the end of the data.
  if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF) return 0;
  error = MapWinError(e);
  return -1;
}

// A disk file's read never waits for data to come: it is all there.
long ReadWithoutWaiting(Handle h, char* buffer, size_t size, int& error) {
  return ReadSome(h, buffer, size, error);
}

bool WriteAll(Handle h, const char* data, size_t size) {
  while (size > 0) {
    DWORD done = 0;
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : DWORD(size);
    if (!::WriteFile(Win(h), data, chunk, &done, nullptr) || done == 0) return false;
    data += done;
    size -= done;
  }
  return true;
}

bool CloseHandle(Handle h) {
  if (h == kNoHandle) return true;
  HANDLE raw = Win(h);
  // The standard streams stay open, as on every system.
  if (raw == ::GetStdHandle(STD_INPUT_HANDLE) || raw == ::GetStdHandle(STD_OUTPUT_HANDLE) ||
      raw == ::GetStdHandle(STD_ERROR_HANDLE))
    return true;
  return ::CloseHandle(raw) != 0;
}

bool InputReady(Handle h) {
  HANDLE raw = Win(h);
  switch (::GetFileType(raw)) {
    case FILE_TYPE_PIPE: {
      DWORD avail = 0;
      // A failed peek is a broken pipe: its end is there to be read.
      if (!::PeekNamedPipe(raw, nullptr, 0, nullptr, &avail, nullptr)) return true;
      return avail > 0;
    }
    case FILE_TYPE_CHAR: {
      DWORD count = 0;
      if (::GetNumberOfConsoleInputEvents(raw, &count)) return count > 0;
      return true;  // another device (NUL, say) is read at once
    }
    default: return true;  // a disk file never waits
  }
}

bool IsCharacterDevice(Handle h) { return ::GetFileType(Win(h)) == FILE_TYPE_CHAR; }

namespace {
PathFacts StatWide(const std::wstring& wide) {
  // Opened with no access at all, which even a file locked by another
  // program allows; links are followed to what they name.
  HANDLE h = ::CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    PathFacts f = FactsOfHandle(h);
    if (f.Exists && !(f.Attr & kAttrDirectory) && ::GetFileType(h) != FILE_TYPE_DISK)
      f.Attr |= kAttrSystem;
    ::CloseHandle(h);
    return f;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return PathFacts();
  return BasicFacts(data);
}
}  // namespace

PathFacts StatPath(const std::string& path) {
  std::wstring wide;
  DWORD e = 0;
  return WidePath(path, wide, e) ? StatWide(wide) : PathFacts();
}

std::string AnchoredFolder(const std::string& dir) {
  std::wstring wide;
  DWORD e = 0;
  if (!WidePath(dir, wide, e)) return dir;
  if (wide.back() != L'\\') wide += L'\\';
  return NarrowName(wide);
}

// A write past a size limit already fails like a full disk here.
void IgnoreFileSizeSignal() {}

// Windows gives a process thousands of handles; the read-ahead bounds its
// own far below that.
long OpenFileLimit() { return 16384; }
long FreeDescriptors() { return OpenFileLimit(); }

struct DirStream {
  HANDLE Find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW Data;
  bool HaveData = false;  // Data holds an entry not yet delivered
  std::wstring Dir;       // the folder, verbatim, with a trailing separator
  std::string Name;       // the entry delivered last, in bytes
  int Read = 0;           // entries delivered so far
};

namespace {
// A search that fails: as any failure, but the search's invalid parameter
// is the runtime's invalid file handle.
int SearchErrorOf(DWORD e) {
  return e == ERROR_INVALID_PARAMETER ? rte::kInvalidSearch : MapWinError(e);
}
}  // namespace

DirStream* OpenDirStream(const std::string& path, int& error) {
  auto* d = new DirStream;
  DWORD e = 0;
  if (!WidePath(path, d->Dir, e)) {
    error = SearchErrorOf(e);
    delete d;
    return nullptr;
  }
  if (d->Dir.back() != L'\\') d->Dir += L'\\';
  d->Find = ::FindFirstFileExW((d->Dir + L"*").c_str(), FindExInfoBasic, &d->Data,
                               FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (d->Find == INVALID_HANDLE_VALUE) {
    e = ::GetLastError();
    // An empty drive root has no "." entry: an empty listing, no error.
    if (e != ERROR_FILE_NOT_FOUND && e != ERROR_NO_MORE_FILES) {
      error = SearchErrorOf(e);
      delete d;
      return nullptr;
    }
  } else {
    d->HaveData = true;
  }
  return d;
}

namespace {
std::atomic<int> listingFaultAfter{-1};
std::atomic<int> listingStallAfter{-1};
}  // namespace

void SetListingFaultForTesting(int entries) { listingFaultAfter = entries; }
void SetListingStallForTesting(int entries) { listingStallAfter = entries; }

bool NextDirEntry(DirStream* d, DirEntry& entry, int& error) {
  error = 0;
  const int faultAfter = listingFaultAfter;
  if (faultAfter >= 0 && d->Read == faultAfter) {
    error = rte::kDiskRead;
    return false;
  }
  const int stallAfter = listingStallAfter;
  if (stallAfter >= 0 && d->Read == stallAfter)
    for (;;) ::Sleep(INFINITE);
  if (!d->HaveData) {
    if (d->Find == INVALID_HANDLE_VALUE) return false;
    if (!::FindNextFileW(d->Find, &d->Data)) {
      const DWORD e = ::GetLastError();
      if (e != ERROR_NO_MORE_FILES) error = SearchErrorOf(e);
      return false;
    }
  }
  d->HaveData = false;
  ++d->Read;
  d->Name = NarrowName(d->Data.cFileName);
  entry.Name = d->Name.c_str();
  // The listing gives the attributes as the file system keeps them, every
  // bit of them; only a link (a reparse point) must be looked at to learn
  // what it leads to.
  entry.Attr = d->Data.dwFileAttributes;
  entry.Unresolved = (d->Data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (entry.Unresolved) entry.Attr &= ~uint32_t(kAttrDirectory);
  return true;
}

Handle OpenRegularInDirStream(DirStream*, const std::string& path, int& error,
                              bool& notRegular, uint64_t* size) {
  return OpenRegularForReading(path, error, notRegular, size);
}

PathFacts StatInDirStream(DirStream* d, const char* name) {
  if (std::strcmp(name, ".") == 0) return StatWide(d->Dir);
  std::wstring wide;
  return WideName(name, wide) ? StatWide(d->Dir + wide) : PathFacts();
}

bool NamesIgnoreCase() { return true; }

bool IsFolderSeparator(char c) { return c == '/' || c == '\\'; }

std::string TypedPath(std::string_view typed) { return std::string(typed); }

void CloseDirStream(DirStream* d) {
  if (!d) return;
  if (d->Find != INVALID_HANDLE_VALUE) ::FindClose(d->Find);
  delete d;
}

void ExitNow(int code) { ::ExitProcess(UINT(code)); }

uint64_t CodeOffset(const void* returnAddress) {
  HMODULE module = nullptr;
  uintptr_t base = 0;
  if (::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(returnAddress), &module))
    base = reinterpret_cast<uintptr_t>(module);
  // A return address points after the call; report the call itself.
  return uint64_t(reinterpret_cast<uintptr_t>(returnAddress) - base - 1);
}

int CallChain(uint64_t* out, int max, int skip) {
  void* frames[62];
  // Frame 0 is this function, as with backtrace on POSIX.
  const int want = max > 62 ? 62 : max;
  const int n = ::CaptureStackBackTrace(DWORD(skip), DWORD(want), frames, nullptr);
  // The chain ends where the executable's own frames end: the system's
  // start-up frames beyond are no positions of this program.
  const HMODULE self = ::GetModuleHandleW(nullptr);
  int count = 0;
  for (int i = 0; i < n && count < max; ++i) {
    HMODULE module = nullptr;
    if (i > 0 && (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                            GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        static_cast<LPCWSTR>(frames[i]), &module) ||
                  module != self))
      break;
    out[count++] = CodeOffset(frames[i]);
  }
  return count;
}

void OnHeapExhausted(void (*fn)()) { std::set_new_handler(fn); }

bool SecureStandardStreams() {
  auto closed = [](DWORD which) {
    const HANDLE h = ::GetStdHandle(which);
    return h == nullptr || h == INVALID_HANDLE_VALUE;
  };
  for (DWORD which : {STD_INPUT_HANDLE, STD_ERROR_HANDLE}) {
    if (!closed(which)) continue;
    const bool in = which == STD_INPUT_HANDLE;
    const HANDLE null = ::CreateFileA("NUL", in ? GENERIC_READ : GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      0, nullptr);
    if (null != INVALID_HANDLE_VALUE) ::SetStdHandle(which, null);
  }
  return !closed(STD_OUTPUT_HANDLE);
}

// Large pages on Windows need a privilege that a console program does not
// have: the hint is declined.
void PreferLargePages(void*, size_t) {}

}  // namespace ehi::sys
