// Windows implementation of the platform layer: files, directory search,
// times and the process.
#include "platform_win32.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace ehi::sys {

std::string NativePath(const std::string& path) {
  if (path.empty()) return ".";
  std::string native = path;
  for (char& c : native)
    if (c == '/') c = '\\';
  return native;
}

int MapWinError(DWORD e, int otherwise) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND: return rte::kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_DIRECTORY:
    case ERROR_FILENAME_EXCED_RANGE: return rte::kPathNotFound;
    case ERROR_TOO_MANY_OPEN_FILES: return rte::kTooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_CANT_ACCESS_FILE:
    case ERROR_CANT_RESOLVE_FILENAME: return rte::kAccessDenied;
    case ERROR_WRITE_PROTECT: return rte::kDiskWriteProtected;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
    case ERROR_NOT_ENOUGH_QUOTA: return rte::kDiskWrite;
    default: return otherwise;
  }
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
Handle OpenConsole(const char* name, DWORD access) {
  HANDLE h = ::CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoHandle;
  CONSOLE_SCREEN_BUFFER_INFO info;
  DWORD mode;
  const bool usable = std::strcmp(name, "CONOUT$") == 0
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

// The attribute bits the system passes on, as the file system keeps them.
constexpr uint32_t kKeptAttributes =
    kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive;

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
  static Handle h = OpenConsole("CONOUT$", GENERIC_READ | GENERIC_WRITE);
  return h;
}

Handle TerminalInput() {
  // No console screen, no console input: a process on pipes reads its
  // standard input, as on a system without a terminal.
  static Handle h =
      TerminalOutput() == kNoHandle ? kNoHandle : OpenConsole("CONIN$", GENERIC_READ | GENERIC_WRITE);
  return h;
}

namespace {
BeforeOpenHook beforeOpen = nullptr;

// Opens `name` and checks on the open handle what it is: a folder is
// refused, and with `notRegular` anything but a disk file is closed again.
Handle OpenChecked(const std::string& name, DWORD access, DWORD disposition, int& error,
                   bool* notRegular, uint64_t* size = nullptr) {
  HANDLE h = ::CreateFileA(NativePath(name).c_str(), access, kShareAll, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = MapWinError(::GetLastError(), rte::kAccessDenied);
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
  return OpenChecked(name, GENERIC_READ, OPEN_EXISTING, error, nullptr);
}

Handle OpenRegularForReading(const std::string& name, int& error, bool& notRegular,
                             uint64_t* size) {
  notRegular = false;
  if (beforeOpen) beforeOpen(name);
  return OpenChecked(name, GENERIC_READ, OPEN_EXISTING, error, &notRegular, size);
}

void WarmFile(const std::string& name) {
  // Windows has no read-ahead request for a file: reading it is one.
  HANDLE h = ::CreateFileA(NativePath(name).c_str(), GENERIC_READ, kShareAll, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  if (::GetFileType(h) == FILE_TYPE_DISK) {
    static thread_local char block[65536];
    DWORD got = 0;
    // The start of a large file is enough: its reader goes on from there.
    for (size_t total = 0; total < (size_t(4) << 20) &&
                           ::ReadFile(h, block, sizeof block, &got, nullptr) && got > 0;
         total += got) {
    }
  }
  ::CloseHandle(h);
}

Handle OpenForWriting(const std::string& name, int& error) {
  return OpenChecked(name, GENERIC_WRITE, CREATE_ALWAYS, error, nullptr);
}

long ReadSome(Handle h, char* buffer, size_t size, int& error) {
  DWORD got = 0;
  const DWORD want = size > 0x40000000 ? 0x40000000 : DWORD(size);
  if (::ReadFile(Win(h), buffer, want, &got, nullptr)) return long(got);
  const DWORD e = ::GetLastError();
  // The writer of a pipe went away: the end of the data.
  if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF) return 0;
  error = MapWinError(e);
  return -1;
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

PathFacts StatPath(const std::string& path) {
  // Opened with no access at all, which even a file locked by another
  // program allows; links are followed to what they name.
  HANDLE h = ::CreateFileA(NativePath(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    PathFacts f = FactsOfHandle(h);
    ::CloseHandle(h);
    return f;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(NativePath(path).c_str(), GetFileExInfoStandard, &data))
    return PathFacts();
  return BasicFacts(data);
}

std::string AnchoredFolder(const std::string& dir) {
  char buf[MAX_PATH * 4];
  const DWORD n = ::GetFullPathNameA(NativePath(dir).c_str(), sizeof buf, buf, nullptr);
  if (n == 0 || n >= sizeof buf) return dir;
  std::string anchored(buf, n);
  if (anchored.back() != '\\' && anchored.back() != '/') anchored += '\\';
  return anchored;
}

// A write past a size limit already fails like a full disk here.
void IgnoreFileSizeSignal() {}

// Windows gives a process thousands of handles; the read-ahead bounds its
// own far below that.
long OpenFileLimit() { return 16384; }

struct DirStream {
  HANDLE Find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA Data;
  bool HaveData = false;  // Data holds an entry not yet delivered
  DWORD Error = 0;        // how the first search ended, when it found nothing
  std::string Dir;        // the folder, with a trailing separator
  int Read = 0;           // entries delivered so far
};

DirStream* OpenDirStream(const std::string& path, int& error) {
  auto* d = new DirStream;
  d->Dir = path.empty() ? std::string() : NativePath(path);
  if (!d->Dir.empty() && d->Dir.back() != '\\') d->Dir += '\\';
  d->Find = ::FindFirstFileA((d->Dir + "*").c_str(), &d->Data);
  if (d->Find == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    // An empty drive root has no "." entry: an empty listing, no error.
    if (e != ERROR_FILE_NOT_FOUND && e != ERROR_NO_MORE_FILES) {
      error = MapWinError(e);
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
}  // namespace

void SetListingFaultForTesting(int entries) { listingFaultAfter = entries; }

bool NextDirEntry(DirStream* d, DirEntry& entry, int& error) {
  error = 0;
  const int faultAfter = listingFaultAfter;
  if (faultAfter >= 0 && d->Read == faultAfter) {
    error = rte::kDiskRead;
    return false;
  }
  if (!d->HaveData) {
    if (d->Find == INVALID_HANDLE_VALUE) return false;
    if (!::FindNextFileA(d->Find, &d->Data)) {
      const DWORD e = ::GetLastError();
      if (e != ERROR_NO_MORE_FILES) error = MapWinError(e);
      return false;
    }
  }
  d->HaveData = false;
  ++d->Read;
  entry.Name = d->Data.cFileName;
  // The listing gives the attributes as the file system keeps them; only a
  // link (a reparse point) must be looked at to learn what it leads to.
  entry.Attr = d->Data.dwFileAttributes & kKeptAttributes;
  entry.Unresolved = (d->Data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (entry.Unresolved) entry.Attr &= ~uint32_t(kAttrDirectory);
  return true;
}

Handle OpenRegularInDirStream(DirStream*, const std::string& path, int& error,
                              bool& notRegular, uint64_t* size) {
  return OpenRegularForReading(path, error, notRegular, size);
}

PathFacts StatInDirStream(DirStream* d, const char* name) {
  return StatPath(d->Dir + name);
}

bool NamesIgnoreCase() { return true; }

void CloseDirStream(DirStream* d) {
  if (!d) return;
  if (d->Find != INVALID_HANDLE_VALUE) ::FindClose(d->Find);
  delete d;
}

void ExitNow(int code) { ::ExitProcess(UINT(code)); }

uint64_t CodeOffset(const void* returnAddress) {
  HMODULE module = nullptr;
  uintptr_t base = 0;
  if (::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(returnAddress), &module))
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
  const HMODULE self = ::GetModuleHandleA(nullptr);
  int count = 0;
  for (int i = 0; i < n && count < max; ++i) {
    HMODULE module = nullptr;
    if (i > 0 && (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                            GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        static_cast<LPCSTR>(frames[i]), &module) ||
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
