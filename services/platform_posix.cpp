// POSIX implementation of the platform layer.
#include "codes.h"
#include "platform.h"
#include "platform_posix.h"
#include "testhooks.h"

#include <dirent.h>
#ifdef EHI_HAVE_DLADDR
#include <dlfcn.h>
#endif
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>
#include <unwind.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <new>

namespace ehi::sys {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

Handle StandardHandle(StandardStream which) {
  switch (which) {
    case StandardStream::Input: return FromFd(STDIN_FILENO);
    case StandardStream::Output: return FromFd(STDOUT_FILENO);
    case StandardStream::Error: return FromFd(STDERR_FILENO);
  }
  return kNoHandle;
}

bool SecureStandardStreams() {
  auto closed = [](int fd) { return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF; };
  for (int fd : {STDIN_FILENO, STDERR_FILENO}) {
    if (!closed(fd)) continue;
    const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
  return !closed(STDOUT_FILENO);
}

namespace {

Handle OpenTerminal(int flags) {
  return FromFd(::open("/dev/tty", flags | O_CLOEXEC | O_NOCTTY));
}

uint32_t PackTime(time_t t) {
  struct tm lt;
  if (!localtime_r(&t, &lt)) return kEarliestPackedTime;
  int year = lt.tm_year + 1900;
  if (year < 1980) return kEarliestPackedTime;
  if (year > 2107)
    return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) |
           (59u << 5) | 29u;
  uint32_t date = uint32_t((year - 1980) << 9) | uint32_t((lt.tm_mon + 1) << 5) |
                  uint32_t(lt.tm_mday);
  int sec = lt.tm_sec > 59 ? 59 : lt.tm_sec;
  uint32_t tod = uint32_t(lt.tm_hour << 11) | uint32_t(lt.tm_min << 5) |
                 uint32_t(sec / 2);
  return (date << 16) | tod;
}

PathFacts FactsFrom(const struct stat& st) {
  PathFacts f;
  f.Exists = true;
  f.Attr = S_ISDIR(st.st_mode) ? kAttrDirectory : S_ISREG(st.st_mode) ? 0 : kAttrSystem;
  // Read-only: none of the three write bits is set.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) f.Attr |= kAttrReadOnly;
  f.PackedTime = PackTime(st.st_mtime);
  f.Size = uint64_t(st.st_size);
  f.Device = uint64_t(st.st_dev);
  f.Inode = uint64_t(st.st_ino);
  return f;
}

// Opens with O_NONBLOCK so that a FIFO cannot hang the open, and checks
// what was opened on the descriptor itself, so nothing swapped in between
// a listing and the open can pass for what the listing saw. Non-regular
// files stay non-blocking: ReadSome waits for their data with poll.
// With `notRegular`, one rule holds whatever happened to the name since it
// was listed: a name that is gone, or a link that now leads nowhere, is a
// file that vanished (2); anything that is not a regular file (a FIFO, a
// socket, a device, a folder, a terminal that is not ours) is passed over,
// whether its open fails or succeeds.
Handle OpenChecked(const std::string& name, int flags, int& error, bool* notRegular,
                   int dirFd = AT_FDCWD, const char* relative = nullptr,
                   uint64_t* size = nullptr) {
  const char* at = relative ? relative : name.c_str();
  int fd = ::openat(dirFd, at, flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  struct stat st;
  if (fd < 0) {
    const int e = errno;
    if (notRegular) {
      if (::fstatat(dirFd, at, &st, 0) == 0 && !S_ISREG(st.st_mode)) {
        error = 0;
        *notRegular = true;
        return kNoHandle;
      }
      if (e == ELOOP) {  // a chain of links that ends nowhere
        error = MapError(ENOENT, &name);
        return kNoHandle;
      }
    }
    error = MapOpenError(e, name, (flags & O_ACCMODE) != O_RDONLY);
    return kNoHandle;
  }
  if (::fstat(fd, &st) != 0 || (S_ISDIR(st.st_mode) && !notRegular)) {
    ::close(fd);
    error = rte::kAccessDenied;
    return kNoHandle;
  }
  error = 0;
  if (notRegular && !S_ISREG(st.st_mode)) {
    ::close(fd);
    *notRegular = true;
    return kNoHandle;
  }
  if (size) *size = uint64_t(st.st_size);
  return FromFd(fd);
}

}  // namespace

Handle TerminalOutput() {
  static Handle h = OpenTerminal(O_WRONLY);
  return h;
}

Handle TerminalInput() {
  static Handle h = OpenTerminal(O_RDONLY);
  return h;
}

namespace {
BeforeOpenHook beforeOpen = nullptr;
}  // namespace

void SetBeforeOpenHookForTesting(BeforeOpenHook hook) { beforeOpen = hook; }

Handle OpenForReading(const std::string& name, int& error) {
  if (beforeOpen) beforeOpen(name);
  return OpenChecked(name, O_RDONLY, error, nullptr);
}

Handle OpenRegularForReading(const std::string& name, int& error, bool& notRegular,
                             uint64_t* size) {
  notRegular = false;
  if (beforeOpen) beforeOpen(name);
  return OpenChecked(name, O_RDONLY, error, &notRegular, AT_FDCWD, nullptr, size);
}

Handle OpenForWriting(const std::string& name, int& error) {
  return OpenChecked(name, O_WRONLY | O_CREAT | O_TRUNC, error, nullptr);
}

namespace {
std::atomic<size_t> shortReads{0};
}  // namespace

void SetShortReadsForTesting(size_t bytes) { shortReads = bytes; }

namespace {

// One read(2), retried when a signal interrupts it.
ssize_t ReadOnce(Handle h, char* buffer, size_t size) {
  const size_t most = shortReads;
  if (most > 0 && size > most) size = most;
  ssize_t n;
  do n = ::read(Fd(h), buffer, size);
  while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

long ReadWithoutWaiting(Handle h, char* buffer, size_t size, int& error) {
  const ssize_t n = ReadOnce(h, buffer, size);
  if (n >= 0) return long(n);
  if (errno == EPIPE) return 0;
  if (errno == EAGAIN) return kReadWouldWait;
  error = MapError(errno);
  return -1;
}

long ReadSome(Handle h, char* buffer, size_t size, int& error) {
  for (;;) {
    ssize_t n = ReadOnce(h, buffer, size);
    if (n >= 0) return long(n);
    if (errno == EPIPE) return 0;  // a broken pipe is the end of the data
    if (errno == EAGAIN) {
      // A pipe or device opened without blocking: wait for its data here.
      struct pollfd p = {Fd(h), POLLIN, 0};
      ::poll(&p, 1, -1);
      continue;
    }
    error = MapError(errno);
    return -1;
  }
}

bool WriteAll(Handle h, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(Fd(h), data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}


bool CloseHandle(Handle h) {
  if (Fd(h) <= STDERR_FILENO) return true;  // the standard streams stay open
  return ::close(Fd(h)) == 0;
}

bool InputReady(Handle h) {
  struct pollfd p = {Fd(h), POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

bool IsCharacterDevice(Handle h) {
  struct stat st;
  return ::fstat(Fd(h), &st) == 0 && S_ISCHR(st.st_mode);
}

PathFacts StatPath(const std::string& path) {
  struct stat st;
  if (::stat(path.empty() ? "." : path.c_str(), &st) != 0) return PathFacts();
  return FactsFrom(st);
}

std::string AnchoredFolder(const std::string& dir) {
  if (!dir.empty() && dir[0] == '/') return dir;
  char buf[4096];
  if (!::getcwd(buf, sizeof buf)) return dir;
  std::string anchored(buf);
  if (anchored.back() != '/') anchored += '/';
  return anchored + dir;
}

void IgnoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

long OpenFileLimit() {
  struct rlimit lim;
  if (::getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return 1L << 30;
  return long(lim.rlim_cur);
}

long FreeDescriptors() {
  const long limit = OpenFileLimit();
  // Only descriptors below the limit take a place under it (one inherited
  // above a lowered limit does not); the listing's own is not counted.
  long open = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    const int own = ::dirfd(d);
    while (struct dirent* e = ::readdir(d)) {
      char* end = nullptr;
      const long fd = std::strtol(e->d_name, &end, 10);
      if (end != e->d_name && *end == 0 && fd != own && fd < limit) ++open;
    }
    ::closedir(d);
  } else if (errno == EMFILE || errno == ENFILE) {
    return 0;
  } else {
    // No /proc: ask each descriptor number in turn (as far as is cheap).
    const long probe = limit < 4096 ? limit : 4096;
    for (long fd = 0; fd < probe; ++fd) open += ::fcntl(int(fd), F_GETFD) != -1;
  }
  return limit > open ? limit - open : 0;
}

struct DirStream {
  DIR* dir = nullptr;
  int read = 0;  // entries delivered so far
};

DirStream* OpenDirStream(const std::string& path, int& error) {
  // Everything is allocated before the folder is opened: an allocation
  // that fails (and, on a helper thread, throws) leaves nothing open.
  auto stream = std::make_unique<DirStream>();
  stream->dir = ::opendir(path.empty() ? "." : path.c_str());
  if (!stream->dir) {
    int e = errno;
    error = (e == ENOENT || e == ENOTDIR) ? rte::kPathNotFound : MapError(e);
    return nullptr;
  }
  return stream.release();
}

namespace {
std::atomic<int> listingFaultAfter{-1};
std::atomic<int> listingStallAfter{-1};
}  // namespace

void SetListingFaultForTesting(int entries) { listingFaultAfter = entries; }
void SetListingStallForTesting(int entries) { listingStallAfter = entries; }

bool NextDirEntry(DirStream* d, DirEntry& entry, int& error) {
  error = 0;
  // The injected fault strikes every listing at the same entry, whichever
  // thread reads it.
  const int faultAfter = listingFaultAfter;
  if (faultAfter >= 0 && d->read == faultAfter) {
    error = MapError(EIO);
    return false;
  }
  const int stallAfter = listingStallAfter;
  if (stallAfter >= 0 && d->read == stallAfter)
    for (;;) ::pause();
  ++d->read;
  errno = 0;
  struct dirent* e = ::readdir(d->dir);
  if (!e) {
    // NULL is the end of the folder only when errno stayed 0.
    if (errno != 0) error = MapError(errno);
    return false;
  }
  entry.Name = e->d_name;
  entry.Unresolved = false;
  // A name that begins with a dot is hidden, as POSIX tools treat it; "."
  // and ".." are not.
  const bool dots = std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0;
  entry.Attr = e->d_name[0] == '.' && !dots ? kAttrHidden : 0;
#ifdef DT_UNKNOWN
  switch (e->d_type) {
    case DT_REG: break;
    case DT_DIR: entry.Attr |= kAttrDirectory; break;
    case DT_LNK:
    case DT_UNKNOWN: entry.Unresolved = true; break;
    default: entry.Attr |= kAttrSystem; break;  // FIFOs, sockets, devices
  }
#else
  // Entries carry no type here: each is looked at as it is listed (links
  // not followed), so that its kind is known from the listing's moment, as
  // where the listing tells it.
  struct stat st;
  if (::fstatat(::dirfd(d->dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(st.st_mode))
    entry.Unresolved = true;
  else if (S_ISDIR(st.st_mode))
    entry.Attr |= kAttrDirectory;
  else if (!S_ISREG(st.st_mode))
    entry.Attr |= kAttrSystem;  // FIFOs, sockets, devices
#endif
  return true;
}

Handle OpenRegularInDirStream(DirStream* d, const std::string& path, int& error,
                              bool& notRegular, uint64_t* size) {
  notRegular = false;
  if (beforeOpen) beforeOpen(path);
  const size_t slash = path.rfind('/');
  const char* name = path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  return OpenChecked(path, O_RDONLY, error, &notRegular, ::dirfd(d->dir), name, size);
}

PathFacts StatInDirStream(DirStream* d, const char* name) {
  struct stat st;
  if (::fstatat(::dirfd(d->dir), name, &st, 0) != 0) return PathFacts();
  return FactsFrom(st);
}

bool NamesIgnoreCase() { return false; }

bool IsFolderSeparator(char c) { return c == '/'; }

std::string TypedPath(std::string_view typed) {
  std::string path(typed);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

void CloseDirStream(DirStream* d) {
  if (!d) return;
  ::closedir(d->dir);
  delete d;
}

int MapError(int e, const std::string* path, int otherwise) {
  switch (e) {
    case ENOENT: {
      if (path) {
        size_t slash = path->rfind('/');
        if (slash != std::string::npos && slash > 0) {
          struct stat st;
          std::string dir = path->substr(0, slash);
          if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return rte::kPathNotFound;
        }
      }
      return rte::kFileNotFound;
    }
    case ENOTDIR:
    case ENAMETOOLONG: return rte::kPathNotFound;
    case EMFILE:
    case ENFILE: return rte::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EBUSY:
    case ETXTBSY:
    case EEXIST: return rte::kAccessDenied;
    case EROFS: return rte::kDiskWriteProtected;
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return rte::kDiskWrite;
    case ENOMEM: return rte::kHeapExhausted;  // the system's memory, not the disk
    default: return otherwise;
  }
}

int MapOpenError(int e, const std::string& path, bool writing) {
  const int device = writing ? rte::kDiskWrite : rte::kDiskRead;
  return MapError(e, &path, e == EIO ? device : rte::kAccessDenied);
}

void ExitNow(int code) { ::_exit(code); }

#if !defined(EHI_HAVE_DLADDR) && defined(__ELF__)
// Where the linker put the start and the end of the executable; null when
// the linker does not name them.
extern "C" const char __executable_start[] __attribute__((weak));
extern "C" const char _end[] __attribute__((weak));
#endif

namespace {

// Whether CodeOffset can place a code address. Without dladdr only the
// executable's own addresses can be.
bool Placeable(uintptr_t address) {
#if !defined(EHI_HAVE_DLADDR) && defined(__ELF__)
  if (!__executable_start || !_end) return true;
  return address >= reinterpret_cast<uintptr_t>(__executable_start) &&
         address < reinterpret_cast<uintptr_t>(_end);
#else
  (void)address;
  return true;
#endif
}

}  // namespace

uint64_t CodeOffset(const void* returnAddress) {
  uintptr_t addr = reinterpret_cast<uintptr_t>(returnAddress);
  uintptr_t base = 0;
#if defined(EHI_HAVE_DLADDR)
  Dl_info info;
  if (::dladdr(returnAddress, &info) && info.dli_fbase)
    base = reinterpret_cast<uintptr_t>(info.dli_fbase);
#elif defined(__ELF__)
  // Without dladdr: the executable's own start, which is its load base, so
  // offsets within the executable come out the same.
  base = reinterpret_cast<uintptr_t>(__executable_start);
#endif
  // A return address points after the call; report the call itself.
  return uint64_t(addr - base - 1);
}

namespace {

struct ChainWalk {
  uint64_t* out;
  int max, skip, seen, count;
};

_Unwind_Reason_Code OnFrame(_Unwind_Context* context, void* arg) {
  ChainWalk& w = *static_cast<ChainWalk*>(arg);
  const uintptr_t ip = _Unwind_GetIP(context);
  if (ip == 0) return _URC_END_OF_STACK;
  // Where positions can no longer be placed (the C library's start-up
  // frames, without dladdr), the chain ends: they would differ every run.
  if (w.count > 0 && !Placeable(ip)) return _URC_END_OF_STACK;
  if (w.seen++ >= w.skip) w.out[w.count++] = CodeOffset(reinterpret_cast<const void*>(ip));
  return w.count < w.max ? _URC_NO_REASON : _URC_END_OF_STACK;
}

}  // namespace

// The unwinder is called directly rather than through backtrace(), which
// loads the shared unwinder library at its first call: the programs carry
// the unwinder in them, and start-up stays free of a library load.
int CallChain(uint64_t* out, int max, int skip) {
  if (max <= 0) return 0;
  ChainWalk w{out, max, skip, 0, 0};
  _Unwind_Backtrace(OnFrame, &w);
  return w.count;
}

void OnHeapExhausted(void (*fn)()) { std::set_new_handler(fn); }

void PreferLargePages(void* start, size_t size) {
#ifdef MADV_HUGEPAGE
  // Only whole 2 MiB pages inside the range can be large: the hint covers
  // those and leaves the edges to small pages.
  constexpr uintptr_t kLarge = uintptr_t(2) << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(start) + kLarge - 1) & ~(kLarge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + size) & ~(kLarge - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)start;
  (void)size;
#endif
}

}  // namespace ehi::sys
