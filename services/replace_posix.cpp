// POSIX: replacing a file all or nothing, and the rule for following links
// that anybody else may have planted.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "codes.h"
#include "platform.h"
#include "platform_posix.h"
#include "testhooks.h"

namespace ehi::sys {

struct Replacement {
  int Fd = -1;
  std::string Target;   // the file replaced, links resolved
  std::string Dir;      // its folder with a trailing "/", or "" for "."
  std::string Temp;     // the temporary file's name, once it has one
  bool Unnamed = false;  // created with O_TMPFILE: no name until the commit
  bool InPlace = false;  // the target itself is being rewritten
};

namespace {

bool namedOnly = false;
void (*whileNamed)() = nullptr;

// --- The named temporary file and the signals that end the process -----
// While a temporary file has a name, every catchable signal whose default
// action ends the process removes it before the process ends as the signal
// would have ended it: a stop by kill, by a timer or by a fault leaves no
// more behind than Ctrl-C does.

// Those signals: the standard ones this system has, and the real-time ones.
const sigset_t& Terminations() {
  static const sigset_t set = [] {
    sigset_t s;
    sigemptyset(&s);
    for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1,
                    SIGSEGV, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM,
                    SIGPROF, SIGSYS})
      sigaddset(&s, sig);
#ifdef SIGSTKFLT
    sigaddset(&s, SIGSTKFLT);
#endif
#ifdef SIGPOLL
    sigaddset(&s, SIGPOLL);
#endif
#ifdef SIGPWR
    sigaddset(&s, SIGPWR);
#endif
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) sigaddset(&s, sig);
#endif
    return s;
  }();
  return set;
}

// One past the highest signal number: NSIG where the C library gives it
// (POSIX does not name it); otherwise a bound above the real-time signals
// of every system, as sigismember turns away numbers the system lacks.
#ifdef NSIG
constexpr int kSignalLimit = NSIG;
#else
constexpr int kSignalLimit = 129;
#endif

struct sigaction earlier[kSignalLimit];
char pendingName[4096];
volatile sig_atomic_t namePending = 0;

void OnTermination(int sig) {
  if (namePending) ::unlink(pendingName);
  namePending = 0;
  ::sigaction(sig, &earlier[sig], nullptr);
  // Blocked while this handler runs: delivered, with the disposition the
  // program had before, as soon as it returns.
  ::raise(sig);
}

// Holds those signals back while a name is created and recorded, so a
// signal never finds a name recorded that is not ours.
class HoldSignals {
 public:
  HoldSignals() { ::sigprocmask(SIG_BLOCK, &Terminations(), &old_); }
  ~HoldSignals() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

void Announce(const std::string& name) {
  if (name.size() >= sizeof pendingName) return;
  std::memcpy(pendingName, name.c_str(), name.size() + 1);
  namePending = 1;
  struct sigaction sa = {};
  sa.sa_handler = OnTermination;
  sigemptyset(&sa.sa_mask);
  for (int sig = 1; sig < kSignalLimit; ++sig) {
    if (sigismember(&Terminations(), sig) != 1) continue;
    ::sigaction(sig, nullptr, &earlier[sig]);
    // A signal the program ignores stays ignored.
    if (earlier[sig].sa_handler != SIG_IGN) ::sigaction(sig, &sa, nullptr);
  }
}

void Withdraw() {
  HoldSignals hold;
  if (!namePending) return;
  namePending = 0;
  for (int sig = 1; sig < kSignalLimit; ++sig)
    if (sigismember(&Terminations(), sig) == 1) ::sigaction(sig, &earlier[sig], nullptr);
}

// Gives the temporary file a fresh hidden name beside the target: `make`
// tries one name and returns 0 or the errno. A name that is taken (a stale
// file of an earlier run, say) is never an error: the next one is tried.
template <typename Make>
int NameTemporary(Replacement& r, Make make) {
  static unsigned counter = 0;
  const std::string stem = r.Dir + ".tablewrite-" + std::to_string(::getpid()) + "-";
  for (int tries = 0; tries < 100000; ++tries) {
    std::string name = stem + std::to_string(++counter) + ".tmp";
    HoldSignals hold;
    int e = make(name);
    if (e == 0) {
      r.Temp = name;
      Announce(name);
      return 0;
    }
    if (e != EEXIST) return e;
  }
  return EEXIST;
}

// Creating a file there is not allowed at all (as opposed to a missing
// feature of the file system).
bool CannotCreate(int e) { return e == EACCES || e == EPERM || e == EROFS; }

void Discard(Replacement& r) {
  if (r.Fd >= 0) ::close(r.Fd);
  r.Fd = -1;
  if (!r.Temp.empty()) ::unlink(r.Temp.c_str());
  Withdraw();
}

void SyncFolder(const std::string& dir) {
  int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

// Follows the links from `path` to the file they name, as far as the rule
// of MayFollowLinks allows; false when it does not.
bool Resolve(const std::string& path, std::string& target) {
  target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    // A missing file is fine, unless a link led here (a dangling link).
    if (::lstat(target.c_str(), &st) != 0) return hops == 0;
    if (!S_ISLNK(st.st_mode)) return true;
    // The kernel's rule for links in shared folders: only our own links and
    // the administrator's are trusted.
    if (st.st_uid != ::geteuid() && st.st_uid != 0) return false;
    char buf[4096];
    ssize_t n = ::readlink(target.c_str(), buf, sizeof buf);
    if (n <= 0 || size_t(n) >= sizeof buf) return false;
    std::string next(buf, size_t(n));
    if (next[0] != '/') {
      size_t slash = target.rfind('/');
      if (slash != std::string::npos) next = target.substr(0, slash + 1) + next;
    }
    target = next;
  }
  return false;  // a chain this long is a loop
}

}  // namespace

bool MayFollowLinks(const std::string& path) {
  std::string target;
  return Resolve(path, target);
}

void SetReplaceHooksForTesting(bool named, void (*hook)()) {
  namedOnly = named;
  whileNamed = hook;
}

Handle BeginReplace(const std::string& name, Replacement*& job, int& error) {
  job = nullptr;
  auto r = std::make_unique<Replacement>();
  if (!Resolve(name, r->Target)) {
    error = rte::kAccessDenied;
    return kNoHandle;
  }
  const std::string& target = r->Target;
  struct stat st;
  const bool exists = ::lstat(target.c_str(), &st) == 0;
  if (exists) {
    if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) {
      error = rte::kAccessDenied;
      return kNoHandle;
    }
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
      error = errno == EROFS ? rte::kDiskWriteProtected : rte::kAccessDenied;
      return kNoHandle;
    }
  }
  size_t slash = target.rfind('/');
  if (slash != std::string::npos) r->Dir = target.substr(0, slash + 1);

  int e = 0;
#ifdef O_TMPFILE
  // An unnamed file, linked in through /proc at the commit, leaves nothing
  // behind whatever ends the process; elsewhere the named file is the way.
  if (!namedOnly && ::access("/proc/self/fd", X_OK) == 0) {
    r->Fd = ::open(r->Dir.empty() ? "." : r->Dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (r->Fd >= 0) r->Unnamed = true;
    else e = errno;
  }
#endif
  if (r->Fd < 0 && !CannotCreate(e)) {
    e = NameTemporary(*r, [&](const std::string& temp) {
      r->Fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
      return r->Fd >= 0 ? 0 : errno;
    });
    if (e == 0 && whileNamed) whileNamed();
  }
  if (r->Fd < 0 && CannotCreate(e) && exists) {
    // Nothing can be created beside the table, but the table itself may be
    // written: rewrite it in place (the one case that is not all or nothing).
    r->Fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat now;
    if (r->Fd >= 0 && (::fstat(r->Fd, &now) != 0 || !S_ISREG(now.st_mode))) {
      ::close(r->Fd);
      r->Fd = -1;
      e = EACCES;
    } else if (r->Fd < 0) {
      e = errno;
    } else {
      r->InPlace = true;
    }
  }
  if (r->Fd < 0) {
    error = MapOpenError(e, target, true);
    return kNoHandle;
  }
  if (exists && !r->InPlace) {
    // The new table is shared as the old one was: same group (where this
    // user may set it), then the same permission bits.
    (void)::fchown(r->Fd, uid_t(-1), st.st_gid);
    (void)::fchmod(r->Fd, st.st_mode & 07777);
  }
  error = 0;
  job = r.release();
  return FromFd(job->Fd);
}

bool CommitReplace(Replacement* job, int& error) {
  std::unique_ptr<Replacement> r(job);
  bool ok = true;
  if (r->InPlace) {
    off_t end = ::lseek(r->Fd, 0, SEEK_CUR);
    ok = end >= 0 && ::ftruncate(r->Fd, end) == 0;
  }
  ok = ok && ::fsync(r->Fd) == 0;
  if (!ok) {
    error = rte::kDiskWrite;
    Discard(*r);
    return false;
  }
  if (r->Unnamed) {
    const std::string self = "/proc/self/fd/" + std::to_string(r->Fd);
    int e = NameTemporary(*r, [&](const std::string& temp) {
      return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0
                 ? 0
                 : errno;
    });
    if (e != 0) {
      error = MapError(e, &r->Target, rte::kDiskWrite);
      Discard(*r);
      return false;
    }
    if (whileNamed) whileNamed();
  }
  const bool closed = ::close(r->Fd) == 0;
  r->Fd = -1;
  if (!closed) {
    error = rte::kDiskWrite;
    Discard(*r);
    return false;
  }
  if (r->InPlace) return true;
  // Naming the new table (the link above, this rename) is the job's last
  // write: an error the system names no closer (an I/O error) is a write
  // error, as for the bytes themselves.
  if (::rename(r->Temp.c_str(), r->Target.c_str()) != 0) {
    error = MapError(errno, &r->Target, rte::kDiskWrite);
    Discard(*r);
    return false;
  }
  Withdraw();
  SyncFolder(r->Dir);
  return true;
}

void AbortReplace(Replacement* job) {
  std::unique_ptr<Replacement> r(job);
  if (r) Discard(*r);
}

}  // namespace ehi::sys
