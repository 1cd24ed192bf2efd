// A slow share for the harvest benchmark: a FUSE file system that mirrors
// a folder and answers every request that would cross the network (lookups,
// listings, opens, reads, and the table's create, write, sync, rename and
// attribute changes) a fixed delay after doing it, as a file server would.
//
// The kernel asks again for the attributes of a file it has looked up only
// because it marks them stale itself (a read or a listing makes the access
// time stale); a share client answers such a stat from its attribute
// cache, so those are answered at once. So are releases and forgets, which
// the kernel does not wait for.
//
// Requests are done at once on libfuse's worker threads, then queued with
// the time they are due; one timer thread sends each reply when it is due.
// So any number of requests wait out their delay together, as on a real
// share with many requests in flight, and a few worker threads suffice.
//
// The kernel may keep names and attributes for --cache-seconds (60 by
// default: within one run each name is looked up once, as a share client's
// name cache does), and file data it has read until the unmount (as a share
// client keeps the pages of a file that has not changed, so a read-ahead
// may fill them). A fresh mount starts with nothing cached, so the
// benchmark mounts anew before each run.
// At its end the program prints how many requests of each kind it answered
// and the most that waited at once.
#define FUSE_USE_VERSION 312
#include <fuse_lowlevel.h>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fuse.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/uio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum Op {
  kLookup, kGetattr, kSetattr, kReadlink, kOpendir, kReaddir, kReleasedir, kFsyncdir, kOpen,
  kCreate, kRead, kWrite, kFsync, kRelease, kUnlink, kRename, kStatfs, kForget, kOpCount
};
const char* const kOpNames[kOpCount] = {
    "lookup", "getattr", "setattr", "readlink", "opendir", "readdir", "releasedir", "fsyncdir",
    "open", "create", "read", "write", "fsync", "release", "unlink", "rename", "statfs", "forget"};
std::atomic<unsigned long> opCounts[kOpCount];

void Count(Op op) { opCounts[op].fetch_add(1, std::memory_order_relaxed); }

// Holds replies until they are due and sends them from its own thread.
class Delayer {
 public:
  explicit Delayer(Clock::duration delay) : delay_(delay) {
    if (delay_ > Clock::duration::zero()) thread_ = std::thread([this] { Run(); });
  }

  /// Sends `reply` once the delay has passed (at once when there is none).
  void Later(std::function<void()> reply) {
    if (delay_ == Clock::duration::zero()) {
      reply();
      return;
    }
    std::lock_guard<std::mutex> lock(mu_);
    // Taken under the lock, so the queue stays in order of due time.
    queue_.emplace_back(Clock::now() + delay_, std::move(reply));
    if (queue_.size() > peak_) peak_ = queue_.size();
    if (queue_.size() == 1) wake_.notify_one();
  }

  /// Sends whatever is still queued and ends the timer thread.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stopping_ = true;
      wake_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
  }

  /// The most replies that waited at once.
  size_t Peak() {
    std::lock_guard<std::mutex> lock(mu_);
    return peak_;
  }

 private:
  void Run() {
    // The default slack of 50 us would add to every reply's delay.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::vector<std::function<void()>> due;
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      if (!stopping_ && queue_.front().first > Clock::now()) {
        wake_.wait_until(lock, queue_.front().first, [this] { return stopping_; });
      }
      const auto now = Clock::now();
      while (!queue_.empty() && (stopping_ || queue_.front().first <= now)) {
        due.push_back(std::move(queue_.front().second));
        queue_.pop_front();
      }
      lock.unlock();
      for (auto& reply : due) reply();
      due.clear();
      lock.lock();
    }
  }

  const Clock::duration delay_;
  std::mutex mu_;
  std::condition_variable wake_;
  std::deque<std::pair<Clock::time_point, std::function<void()>>> queue_;
  size_t peak_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

struct Options {
  double delayMs = 1.0;
  double cacheSeconds = 60.0;
  unsigned threads = 16;
  const char* source = nullptr;
  const char* mountPoint = nullptr;
};

Options options;
std::unique_ptr<Delayer> delayer;

// One inode the kernel knows: a path-less descriptor of the mirrored file,
// and how many lookups the kernel has not yet forgotten. Holding the
// descriptor keeps the inode number from being reused while it is known.
struct Inode {
  int fd = -1;
  uint64_t lookups = 0;
};

std::mutex inodesMu;
std::map<std::pair<dev_t, ino_t>, std::unique_ptr<Inode>> inodes;
Inode* root = nullptr;

Inode& InodeOf(fuse_ino_t id) {
  return id == FUSE_ROOT_ID ? *root : *reinterpret_cast<Inode*>(id);
}

fuse_ino_t IdOf(Inode* inode) {
  return inode == root ? FUSE_ROOT_ID : reinterpret_cast<fuse_ino_t>(inode);
}

std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

void ReplyErr(fuse_req_t req, int err) {
  delayer->Later([req, err] { fuse_reply_err(req, err); });
}

// Finds `name` in `parent`, counting one more lookup of its inode.
int Find(fuse_ino_t parent, const char* name, fuse_entry_param& e) {
  const int fd = ::openat(InodeOf(parent).fd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    static std::atomic<bool> told{false};
    if (errno == EMFILE && !told.exchange(true)) {
      std::fprintf(stderr, "slow_share: out of descriptors, one per file known: raise ulimit -n\n");
    }
    return errno;
  }
  struct stat st;
  if (::fstatat(fd, "", &st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) {
    const int err = errno;
    ::close(fd);
    return err;
  }
  std::lock_guard<std::mutex> lock(inodesMu);
  auto& slot = inodes[{st.st_dev, st.st_ino}];
  if (!slot) {
    slot = std::make_unique<Inode>();
    slot->fd = fd;
  } else {
    ::close(fd);
  }
  ++slot->lookups;
  e = fuse_entry_param{};
  e.ino = IdOf(slot.get());
  e.attr = st;
  e.attr_timeout = options.cacheSeconds;
  e.entry_timeout = options.cacheSeconds;
  return 0;
}

void Forget(fuse_ino_t id, uint64_t count) {
  std::lock_guard<std::mutex> lock(inodesMu);
  Inode& inode = InodeOf(id);
  inode.lookups = count >= inode.lookups ? 0 : inode.lookups - count;
  if (inode.lookups > 0 || &inode == root) return;
  struct stat st;
  if (::fstatat(inode.fd, "", &st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) == 0) {
    ::close(inode.fd);
    inodes.erase({st.st_dev, st.st_ino});
  }
}

// Lookups and listings in one folder must run together, as on a share;
// otherwise the kernel sends them one at a time per folder. libfuse before
// 3.16 never passes that flag to the kernel whatever the file system wants,
// so the session's own reads and writes find the kernel's opening request
// and set the flag in the answer to it.
std::atomic<bool> parallelDirops{false};
std::atomic<uint64_t> initUnique{0};
std::atomic<bool> initAnswered{false};

ssize_t ReadRequest(int fd, void* buf, size_t size, void*) {
  const ssize_t n = ::read(fd, buf, size);
  if (n >= ssize_t(sizeof(fuse_in_header)) && !initAnswered.load(std::memory_order_relaxed)) {
    const auto* in = static_cast<const fuse_in_header*>(buf);
    if (in->opcode == FUSE_INIT) {
      initUnique = in->unique;
      if (n >= ssize_t(sizeof(fuse_in_header) + offsetof(fuse_init_in, flags) + 4)) {
        const auto* init = reinterpret_cast<const fuse_init_in*>(in + 1);
        parallelDirops = (init->flags & FUSE_PARALLEL_DIROPS) != 0;
      }
    }
  }
  return n;
}

ssize_t WriteReply(int fd, iovec* iov, int count, void*) {
  if (!initAnswered.load(std::memory_order_relaxed) && count >= 2 &&
      iov[0].iov_len >= sizeof(fuse_out_header) &&
      iov[1].iov_len >= offsetof(fuse_init_out, flags) + 4) {
    const auto* out = static_cast<const fuse_out_header*>(iov[0].iov_base);
    if (out->unique == initUnique && out->error == 0) {
      initAnswered = true;
      auto* init = static_cast<fuse_init_out*>(iov[1].iov_base);
      if (parallelDirops) init->flags |= FUSE_PARALLEL_DIROPS;
    }
  }
  return ::writev(fd, iov, count);
}

void OnInit(void*, fuse_conn_info* conn) {
  conn->want &= ~unsigned(FUSE_CAP_WRITEBACK_CACHE);
}

void OnLookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
  Count(kLookup);
  fuse_entry_param e;
  const int err = Find(parent, name, e);
  if (err == ENOENT) {
    // A missing name may be cached like a present one.
    e = fuse_entry_param{};
    e.entry_timeout = options.cacheSeconds;
  } else if (err != 0) {
    return ReplyErr(req, err);
  }
  delayer->Later([req, e] { fuse_reply_entry(req, &e); });
}

void OnForget(fuse_req_t req, fuse_ino_t id, uint64_t count) {
  Count(kForget);
  Forget(id, count);
  fuse_reply_none(req);
}

void OnForgetMulti(fuse_req_t req, size_t count, fuse_forget_data* forgets) {
  for (size_t i = 0; i < count; ++i) {
    Count(kForget);
    Forget(forgets[i].ino, forgets[i].nlookup);
  }
  fuse_reply_none(req);
}

void ReplyAttr(fuse_req_t req, fuse_ino_t id, bool delayed) {
  struct stat st;
  if (::fstatat(InodeOf(id).fd, "", &st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) {
    return ReplyErr(req, errno);
  }
  if (!delayed) {
    fuse_reply_attr(req, &st, options.cacheSeconds);
    return;
  }
  delayer->Later([req, st] { fuse_reply_attr(req, &st, options.cacheSeconds); });
}

void OnGetattr(fuse_req_t req, fuse_ino_t id, fuse_file_info*) {
  Count(kGetattr);
  ReplyAttr(req, id, false);
}

int SetTimes(const std::string& path, const struct stat* attr, int toSet) {
  timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_nsec = UTIME_OMIT;
  if (toSet & FUSE_SET_ATTR_ATIME_NOW) times[0].tv_nsec = UTIME_NOW;
  else if (toSet & FUSE_SET_ATTR_ATIME) times[0] = attr->st_atim;
  if (toSet & FUSE_SET_ATTR_MTIME_NOW) times[1].tv_nsec = UTIME_NOW;
  else if (toSet & FUSE_SET_ATTR_MTIME) times[1] = attr->st_mtim;
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void OnSetattr(fuse_req_t req, fuse_ino_t id, struct stat* attr, int toSet, fuse_file_info* fi) {
  Count(kSetattr);
  const Inode& inode = InodeOf(id);
  const std::string path = ProcPath(inode.fd);
  const int fd = fi ? int(fi->fh) : -1;
  int rc = 0;
  if (toSet & FUSE_SET_ATTR_MODE) {
    rc = fd >= 0 ? ::fchmod(fd, attr->st_mode) : ::chmod(path.c_str(), attr->st_mode);
  }
  if (rc == 0 && (toSet & (FUSE_SET_ATTR_UID | FUSE_SET_ATTR_GID))) {
    const uid_t uid = (toSet & FUSE_SET_ATTR_UID) ? attr->st_uid : uid_t(-1);
    const gid_t gid = (toSet & FUSE_SET_ATTR_GID) ? attr->st_gid : gid_t(-1);
    rc = ::fchownat(inode.fd, "", uid, gid, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW);
  }
  if (rc == 0 && (toSet & FUSE_SET_ATTR_SIZE)) {
    rc = fd >= 0 ? ::ftruncate(fd, attr->st_size) : ::truncate(path.c_str(), attr->st_size);
  }
  if (rc == 0 && (toSet & (FUSE_SET_ATTR_ATIME | FUSE_SET_ATTR_MTIME))) {
    rc = SetTimes(path, attr, toSet);
  }
  if (rc != 0) return ReplyErr(req, errno);
  ReplyAttr(req, id, true);
}

void OnReadlink(fuse_req_t req, fuse_ino_t id) {
  Count(kReadlink);
  char buf[PATH_MAX + 1];
  const ssize_t n = ::readlinkat(InodeOf(id).fd, "", buf, PATH_MAX);
  if (n < 0) return ReplyErr(req, errno);
  std::string target(buf, size_t(n));
  delayer->Later([req, target] { fuse_reply_readlink(req, target.c_str()); });
}

// An open listing; `pending` is an entry read but not yet sent, as the
// kernel's buffer was full.
struct Listing {
  DIR* dir = nullptr;
  off_t offset = 0;
  dirent* pending = nullptr;
};

Listing* ListingOf(const fuse_file_info* fi) { return reinterpret_cast<Listing*>(fi->fh); }

void OnOpendir(fuse_req_t req, fuse_ino_t id, fuse_file_info* fi) {
  Count(kOpendir);
  const int fd = ::openat(InodeOf(id).fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ReplyErr(req, errno);
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    const int err = errno;
    ::close(fd);
    return ReplyErr(req, err);
  }
  fuse_file_info out = *fi;
  out.fh = reinterpret_cast<uint64_t>(new Listing{dir, 0, nullptr});
  delayer->Later([req, out] { fuse_reply_open(req, &out); });
}

void OnReaddir(fuse_req_t req, fuse_ino_t, size_t size, off_t offset, fuse_file_info* fi) {
  Count(kReaddir);
  Listing& l = *ListingOf(fi);
  if (offset != l.offset) {
    ::seekdir(l.dir, offset);
    l.offset = offset;
    l.pending = nullptr;
  }
  std::vector<char> buf(size);
  size_t used = 0;
  for (;;) {
    errno = 0;
    dirent* e = l.pending ? l.pending : ::readdir(l.dir);
    l.pending = nullptr;
    if (!e) {
      if (errno != 0 && used == 0) return ReplyErr(req, errno);
      break;
    }
    struct stat st{};
    st.st_ino = e->d_ino;
    st.st_mode = mode_t(e->d_type) << 12;  // the type bits of st_mode
    const size_t need = fuse_add_direntry(req, buf.data() + used, size - used, e->d_name, &st,
                                          e->d_off);
    if (need > size - used) {
      l.pending = e;
      break;
    }
    used += need;
    l.offset = e->d_off;
  }
  buf.resize(used);
  delayer->Later([req, b = std::move(buf)] { fuse_reply_buf(req, b.data(), b.size()); });
}

void OnReleasedir(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  // The kernel does not wait for this one: answered at once.
  Count(kReleasedir);
  Listing* l = ListingOf(fi);
  ::closedir(l->dir);
  delete l;
  fuse_reply_err(req, 0);
}

void OnFsyncdir(fuse_req_t req, fuse_ino_t, int dataOnly, fuse_file_info* fi) {
  Count(kFsyncdir);
  const int fd = ::dirfd(ListingOf(fi)->dir);
  ReplyErr(req, (dataOnly ? ::fdatasync(fd) : ::fsync(fd)) == 0 ? 0 : errno);
}

void OnOpen(fuse_req_t req, fuse_ino_t id, fuse_file_info* fi) {
  Count(kOpen);
  const int flags = fi->flags & ~(O_NOFOLLOW | O_CREAT | O_EXCL);
  const int fd = ::open(ProcPath(InodeOf(id).fd).c_str(), flags | O_CLOEXEC);
  if (fd < 0) return ReplyErr(req, errno);
  fuse_file_info out = *fi;
  out.fh = uint64_t(fd);
  out.keep_cache = 1;  // pages read before, by any opening, stay good
  delayer->Later([req, out] { fuse_reply_open(req, &out); });
}

void OnCreate(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode,
              fuse_file_info* fi) {
  Count(kCreate);
  const int fd = ::openat(InodeOf(parent).fd, name, (fi->flags | O_CREAT) & ~O_NOFOLLOW, mode);
  if (fd < 0) return ReplyErr(req, errno);
  fuse_entry_param e;
  const int err = Find(parent, name, e);
  if (err != 0) {
    ::close(fd);
    return ReplyErr(req, err);
  }
  fuse_file_info out = *fi;
  out.fh = uint64_t(fd);
  delayer->Later([req, e, out] { fuse_reply_create(req, &e, &out); });
}

void OnRead(fuse_req_t req, fuse_ino_t, size_t size, off_t offset, fuse_file_info* fi) {
  Count(kRead);
  std::vector<char> buf(size);
  const ssize_t n = ::pread(int(fi->fh), buf.data(), size, offset);
  if (n < 0) return ReplyErr(req, errno);
  buf.resize(size_t(n));
  delayer->Later([req, b = std::move(buf)] { fuse_reply_buf(req, b.data(), b.size()); });
}

void OnWrite(fuse_req_t req, fuse_ino_t, const char* data, size_t size, off_t offset,
             fuse_file_info* fi) {
  Count(kWrite);
  const ssize_t n = ::pwrite(int(fi->fh), data, size, offset);
  if (n < 0) return ReplyErr(req, errno);
  delayer->Later([req, n] { fuse_reply_write(req, size_t(n)); });
}

void OnFsync(fuse_req_t req, fuse_ino_t, int dataOnly, fuse_file_info* fi) {
  Count(kFsync);
  const int fd = int(fi->fh);
  ReplyErr(req, (dataOnly ? ::fdatasync(fd) : ::fsync(fd)) == 0 ? 0 : errno);
}

void OnRelease(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  // The kernel does not wait for this one: answered at once.
  Count(kRelease);
  ::close(int(fi->fh));
  fuse_reply_err(req, 0);
}

void OnUnlink(fuse_req_t req, fuse_ino_t parent, const char* name) {
  Count(kUnlink);
  ReplyErr(req, ::unlinkat(InodeOf(parent).fd, name, 0) == 0 ? 0 : errno);
}

void OnRename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newParent,
              const char* newName, unsigned int flags) {
  Count(kRename);
  const int rc = ::renameat2(InodeOf(parent).fd, name, InodeOf(newParent).fd, newName, flags);
  ReplyErr(req, rc == 0 ? 0 : errno);
}

void OnStatfs(fuse_req_t req, fuse_ino_t id) {
  Count(kStatfs);
  struct statvfs st;
  if (::fstatvfs(InodeOf(id).fd, &st) != 0) return ReplyErr(req, errno);
  delayer->Later([req, st] { fuse_reply_statfs(req, &st); });
}

void PrintCounts() {
  unsigned long total = 0;
  std::string line;
  for (int op = 0; op < kOpCount; ++op) {
    const unsigned long n = opCounts[op].load();
    total += n;
    line += std::string(" ") + kOpNames[op] + "=" + std::to_string(n);
  }
  std::fprintf(stderr, "slow_share: requests=%lu%s in_flight_peak=%zu\n", total, line.c_str(),
               delayer->Peak());
}

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "slow_share: %s\n"
               "usage: slow_share [--delay-ms MS] [--cache-seconds S] [--threads N] SOURCE "
               "MOUNTPOINT\n"
               "  --delay-ms MS       delay of every answer (1 unless given; 0 for none)\n"
               "  --cache-seconds S   how long the kernel may keep names and attributes (60)\n"
               "  --threads N         most worker threads (16)\n",
               why);
  std::exit(2);
}

double Number(const char* option, const char* text, double most) {
  char* end = nullptr;
  errno = 0;
  const double v = text ? std::strtod(text, &end) : -1;
  if (!text || *end != 0 || errno != 0 || !(v >= 0) || v > most) {
    Usage((std::string("bad value for ") + option).c_str());
  }
  return v;
}

Options Parse(int argc, char** argv) {
  Options o;
  std::vector<const char*> places;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--delay-ms") {
      o.delayMs = Number("--delay-ms", value, 10000);
      ++i;
    } else if (a == "--cache-seconds") {
      o.cacheSeconds = Number("--cache-seconds", value, 86400);
      ++i;
    } else if (a == "--threads") {
      o.threads = unsigned(Number("--threads", value, 1024));
      if (o.threads < 1) Usage("bad value for --threads");
      ++i;
    } else if (a.size() > 1 && a[0] == '-') {
      Usage(("unknown option " + a).c_str());
    } else {
      places.push_back(argv[i]);
    }
  }
  if (places.size() != 2) Usage("a source folder and a mount point are needed");
  o.source = places[0];
  o.mountPoint = places[1];
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  options = Parse(argc, argv);
  // Every inode the kernel knows holds a descriptor: archive needs 12,000.
  rlimit files;
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  const pid_t parent = ::getppid();
  const int rootFd = ::open(options.source, O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (rootFd < 0) {
    std::fprintf(stderr, "slow_share: cannot open %s: %s\n", options.source, std::strerror(errno));
    return 2;
  }
  {
    struct stat st;
    ::fstat(rootFd, &st);
    auto& slot = inodes[{st.st_dev, st.st_ino}];
    slot = std::make_unique<Inode>();
    slot->fd = rootFd;
    root = slot.get();
  }
  delayer = std::make_unique<Delayer>(std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(options.delayMs)));

  fuse_lowlevel_ops ops{};
  ops.init = OnInit;
  ops.lookup = OnLookup;
  ops.forget = OnForget;
  ops.forget_multi = OnForgetMulti;
  ops.getattr = OnGetattr;
  ops.setattr = OnSetattr;
  ops.readlink = OnReadlink;
  ops.opendir = OnOpendir;
  ops.readdir = OnReaddir;
  ops.releasedir = OnReleasedir;
  ops.fsyncdir = OnFsyncdir;
  ops.open = OnOpen;
  ops.create = OnCreate;
  ops.read = OnRead;
  ops.write = OnWrite;
  ops.fsync = OnFsync;
  ops.release = OnRelease;
  ops.unlink = OnUnlink;
  ops.rename = OnRename;
  ops.statfs = OnStatfs;
  // No flush: the kernel then stops asking for it, and a close costs no
  // round trip (closing changes nothing on a passthrough).

  std::string fsName = "fsname=slow_share:" + std::string(options.source);
  char arg0[] = "slow_share";
  char argO[] = "-o";
  std::vector<char> fsArg(fsName.begin(), fsName.end());
  fsArg.push_back(0);
  char* fuseArgv[] = {arg0, argO, fsArg.data(), nullptr};
  fuse_args args = FUSE_ARGS_INIT(3, fuseArgv);
  fuse_session* se = fuse_session_new(&args, &ops, sizeof ops, nullptr);
  if (!se) return 1;
  if (fuse_set_signal_handlers(se) != 0) return 1;
  if (fuse_session_mount(se, options.mountPoint) != 0) {
    // libfuse has said why; 3 tells a caller that FUSE cannot be used here.
    std::fprintf(stderr, "slow_share: cannot mount on %s\n", options.mountPoint);
    fuse_remove_signal_handlers(se);
    fuse_session_destroy(se);
    return 3;
  }
  fuse_custom_io io{};
  io.read = ReadRequest;
  io.writev = WriteReply;
  if (fuse_session_custom_io(se, &io, fuse_session_fd(se)) != 0) return 1;
  // A benchmark killed outright leaves no mount behind: its end stops this
  // program as Ctrl-C would, which unmounts.
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) ::raise(SIGTERM);

  fuse_loop_config* cfg = fuse_loop_cfg_create();
  fuse_loop_cfg_set_max_threads(cfg, options.threads);
  fuse_loop_cfg_set_idle_threads(cfg, options.threads);
  const int rc = fuse_session_loop_mt(se, cfg);
  fuse_loop_cfg_destroy(cfg);
  delayer->Stop();
  fuse_session_unmount(se);
  fuse_remove_signal_handlers(se);
  fuse_session_destroy(se);
  PrintCounts();
  return rc < 0 ? 1 : 0;
}
