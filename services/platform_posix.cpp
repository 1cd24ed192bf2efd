// POSIX implementation of the platform layer.
#include "platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace ehi::sys {

Handle StandardInput() { return 0; }
Handle StandardOutputHandle() { return 1; }
Handle StandardErrorHandle() { return 2; }

namespace {

Handle OpenTerminal(int flags) {
  int fd = ::open("/dev/tty", flags | O_CLOEXEC | O_NOCTTY);
  return fd < 0 ? kNoHandle : fd;
}

uint32_t PackTime(time_t t) {
  struct tm lt;
  if (!localtime_r(&t, &lt)) return (0u << 25) | (1u << 21) | (1u << 16);
  int year = lt.tm_year + 1900;
  if (year < 1980) return (0u << 25) | (1u << 21) | (1u << 16);
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
  f.IsDirectory = S_ISDIR(st.st_mode);
  f.IsRegular = S_ISREG(st.st_mode);
  f.IsLink = S_ISLNK(st.st_mode);
  f.ReadOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  f.PackedTime = PackTime(st.st_mtime);
  f.Size = uint64_t(st.st_size);
  f.Mode = unsigned(st.st_mode & 07777);
  f.Device = uint64_t(st.st_dev);
  f.Inode = uint64_t(st.st_ino);
  return f;
}

// Opens with O_NONBLOCK so that a FIFO cannot hang the open, then checks
// what was opened and returns to blocking reads.
Handle OpenChecked(const std::string& name, int flags, int& error) {
  int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    error = MapError(errno, &name);
    return kNoHandle;
  }
  struct stat st;
  bool known = ::fstat(fd, &st) == 0;
  if (known && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = 5;
    return kNoHandle;
  }
  // O_NONBLOCK means nothing for a regular file; only other kinds (a FIFO
  // or a device named by the user) go back to blocking reads.
  if (!known || !S_ISREG(st.st_mode)) {
    int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  }
  error = 0;
  return fd;
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
  return OpenChecked(name, O_RDONLY, error);
}

Handle OpenForWriting(const std::string& name, int& error) {
  return OpenChecked(name, O_WRONLY | O_CREAT | O_TRUNC, error);
}

Handle CreateExclusive(const std::string& name, unsigned mode, int& error) {
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                  mode ? mode : 0666);
  if (fd < 0) {
    error = MapError(errno, &name);
    return kNoHandle;
  }
  error = 0;
  return fd;
}

long ReadSome(Handle h, char* buffer, size_t size, int& error) {
  for (;;) {
    ssize_t n = ::read(h, buffer, size);
    if (n >= 0) return long(n);
    if (errno == EINTR) continue;
    if (errno == EPIPE) return 0;  // a broken pipe is the end of the data
    error = MapError(errno);
    return -1;
  }
}

bool WriteAll(Handle h, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(h, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

bool SyncToDisk(Handle h) { return ::fsync(h) == 0 || errno == EINVAL; }

bool CloseHandle(Handle h) {
  if (h <= 2) return true;
  return ::close(h) == 0;
}

bool IsCharacterDevice(Handle h) {
  struct stat st;
  return ::fstat(h, &st) == 0 && S_ISCHR(st.st_mode);
}

PathFacts StatPath(const std::string& path) {
  struct stat st;
  if (::stat(path.empty() ? "." : path.c_str(), &st) != 0) return PathFacts();
  return FactsFrom(st);
}

PathFacts StatLink(const std::string& path) {
  struct stat st;
  if (::lstat(path.empty() ? "." : path.c_str(), &st) != 0) return PathFacts();
  return FactsFrom(st);
}

std::string LinkTarget(const std::string& path) {
  char buf[4096];
  ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  std::string target(buf, size_t(n));
  if (target[0] != '/') {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) target = path.substr(0, slash + 1) + target;
  }
  return target;
}

bool RenameOver(const std::string& from, const std::string& to, int& error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  error = MapError(errno, &to);
  return false;
}

void RemoveFile(const std::string& name) { ::unlink(name.c_str()); }

void SetMode(Handle h, unsigned mode) { (void)::fchmod(h, mode_t(mode)); }

long ProcessId() { return long(::getpid()); }

struct DirStream {
  DIR* dir;
};

DirStream* OpenDirStream(const std::string& path, int& error) {
  DIR* d = ::opendir(path.empty() ? "." : path.c_str());
  if (!d) {
    int e = errno;
    error = (e == ENOENT || e == ENOTDIR) ? 3 : MapError(e);
    return nullptr;
  }
  return new DirStream{d};
}

bool NextDirEntry(DirStream* d, const char*& name, EntryKind& kind) {
  errno = 0;
  struct dirent* e = ::readdir(d->dir);
  if (!e) return false;
  name = e->d_name;
  switch (e->d_type) {
    case DT_REG: kind = EntryKind::File; break;
    case DT_DIR: kind = EntryKind::Directory; break;
    case DT_LNK: kind = EntryKind::Link; break;
    case DT_UNKNOWN: kind = EntryKind::Unknown; break;
    default: kind = EntryKind::Special; break;
  }
  return true;
}

PathFacts StatInDirStream(DirStream* d, const char* name) {
  struct stat st;
  if (::fstatat(::dirfd(d->dir), name, &st, 0) != 0) return PathFacts();
  return FactsFrom(st);
}

void CloseDirStream(DirStream* d) {
  if (!d) return;
  ::closedir(d->dir);
  delete d;
}

int MapError(int e, const std::string* path) {
  switch (e) {
    case ENOENT: {
      if (path) {
        size_t slash = path->rfind('/');
        if (slash != std::string::npos && slash > 0) {
          struct stat st;
          std::string dir = path->substr(0, slash);
          if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 3;
        }
      }
      return 2;
    }
    case ENOTDIR:
    case ENAMETOOLONG: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EBUSY:
    case ETXTBSY:
    case EEXIST: return 5;
    case EROFS: return 150;
    default: return e;
  }
}

void ExitNow(int code) { ::_exit(code); }

int CallChain(uint64_t* out, int max, int skip) {
  void* frames[300];
  int want = max + skip;
  if (want > 300) want = 300;
  int n = ::backtrace(frames, want);
  int count = 0;
  for (int i = skip; i < n && count < max; ++i) {
    Dl_info info;
    uintptr_t addr = reinterpret_cast<uintptr_t>(frames[i]);
    uintptr_t base = 0;
    if (::dladdr(frames[i], &info) && info.dli_fbase)
      base = reinterpret_cast<uintptr_t>(info.dli_fbase);
    // A return address points after the call; report the call itself.
    out[count++] = uint64_t(addr - base - 1);
  }
  return count;
}

void OnHeapExhausted(void (*fn)()) { std::set_new_handler(fn); }

}  // namespace ehi::sys
