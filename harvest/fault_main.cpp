// ehiharvest for fault injection tests only (never installed): the same run,
// with faults switched on by arguments:
//   --fd-limit=N          the run may have only N descriptors (set here, once
//                         the program is loaded, since the loader needs one)
//   --listing-fault=N     reading a folder fails after N entries
//   --named-temp          the table's temporary file has a name from the start
//   --raise-while-named=S signal S arrives while the temporary file is named
//   --no-read-ahead       the walk reads everything itself
//   --read-ahead-first    the walk starts only once the read-ahead has gone
//                         as far ahead as its bounds let it
//   --warm                the fetchers run from the start, as on a cold disk
//   --thread-limit=N      the system gives N threads at most (the program's
//                         pthread_create refuses the others)
//   --helper-alloc-fault=N  on threads that run as helpers, the allocation
//                         after the first N fails, and every later one
//   --short-reads=N       every read gives at most N bytes
//   --listing-stall=N     reading any folder waits for ever after N entries
// and, always, a hook just before each open of a qualifying file: a name
// ending in ".vanish" is removed, one ending in ".fifo-swap" becomes a FIFO
// that this process holds open for writing, ".zero-swap" a link to
// /dev/zero, ".tty-swap" a link to /dev/tty, ".socket-swap" a listening
// socket, ".folder-swap" a folder and ".dangling-swap" a link that leads
// nowhere, as if another process changed the tree between the listing and
// the open; the open of a name ending in ".block"
// waits for ever (a file on a share that stopped answering), and one of a
// name ending in ".unreached" is written on standard error (a file a run
// must never open). Every allocation checks that no lock shared with a
// helper thread is held (the program aborts otherwise).
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "UButtons.h"
#include "directory.h"
#include "harvest.h"
#include "helper.h"
#include "platform.h"
#include "process.h"
#include "readahead.h"
#include "testhooks.h"

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void Swap(const std::string& name) {
  if (EndsWith(name, ".vanish")) std::remove(name.c_str());
  if (EndsWith(name, ".fifo-swap")) {
    std::remove(name.c_str());
    mkfifo(name.c_str(), 0644);
    (void)open(name.c_str(), O_RDWR | O_NONBLOCK);  // a writer that never writes
  }
  const struct {
    const char* tail;
    const char* target;
  } links[] = {{".zero-swap", "/dev/zero"}, {".tty-swap", "/dev/tty"}, {".dangling-swap", "nowhere"}};
  for (const auto& link : links) {
    if (!EndsWith(name, link.tail)) continue;
    std::remove(name.c_str());
    (void)symlink(link.target, name.c_str());
  }
  if (EndsWith(name, ".socket-swap")) {
    std::remove(name.c_str());
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, name.c_str(), sizeof address.sun_path - 1);
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    (void)bind(s, reinterpret_cast<const struct sockaddr*>(&address), sizeof address);
    (void)listen(s, 1);
  }
  if (EndsWith(name, ".folder-swap")) {
    std::remove(name.c_str());
    mkdir(name.c_str(), 0755);
  }
  if (EndsWith(name, ".unreached")) {
    const std::string line = "opened " + name + "\n";
    (void)!write(STDERR_FILENO, line.data(), line.size());
  }
  if (EndsWith(name, ".block"))
    for (;;) pause();
}

// Threads the system still gives (negative: no limit).
std::atomic<int> threadsLeft{-1};

}  // namespace

// Every thread the program starts, whoever starts it, is started here: the
// system's refusal is this one's once the limit is reached.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr,
                              void* (*start)(void*), void* arg) {
  int left = threadsLeft.load();
  while (left > 0 && !threadsLeft.compare_exchange_weak(left, left - 1)) {
  }
  if (left == 0) return EAGAIN;
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  return real(thread, attr, start, arg);
}

namespace {

// Allocations on helper threads still allowed before they fail (negative:
// no fault).
std::atomic<long> helperAllocationsLeft{-1};

bool HelperAllocationFails() {
  if (!ehi::OnHelperThread()) return false;
  long left = helperAllocationsLeft.load();
  while (left > 0 && !helperAllocationsLeft.compare_exchange_weak(left, left - 1)) {
  }
  return left == 0;
}

void* Allocate(std::size_t size) {
  if (ehi::AllocationForbiddenHere()) {
    static const char message[] = "allocation while a lock shared with a helper is held\n";
    (void)!write(STDERR_FILENO, message, sizeof message - 1);
    std::abort();
  }
  // As the library's own: a failure calls the new-handler, which ends the
  // run (or, on a helper thread, throws), and tries again if it returns.
  for (;;) {
    if (!HelperAllocationFails())
      if (void* p = std::malloc(size ? size : 1)) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

int raiseWhileNamed = 0;
void RaiseNow() { raise(raiseWhileNamed); }

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
  bool named = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strncmp(a, "--fd-limit=", 11) == 0) {
      rlim_t n = rlim_t(std::atoi(a + 11));
      struct rlimit lim = {n, n};
      setrlimit(RLIMIT_NOFILE, &lim);
    } else if (std::strncmp(a, "--listing-fault=", 16) == 0) {
      ehi::sys::SetListingFaultForTesting(std::atoi(a + 16));
    } else if (std::strcmp(a, "--named-temp") == 0) {
      named = true;
    } else if (std::strncmp(a, "--raise-while-named=", 20) == 0) {
      raiseWhileNamed = std::atoi(a + 20);
    } else if (std::strcmp(a, "--no-read-ahead") == 0) {
      ehi::ReadAhead::SetForTesting(false, false);
    } else if (std::strcmp(a, "--read-ahead-first") == 0) {
      ehi::ReadAhead::SetForTesting(true, true);
    } else if (std::strcmp(a, "--warm") == 0) {
      ehi::ReadAhead::SetFetchingForTesting();
    } else if (std::strncmp(a, "--thread-limit=", 15) == 0) {
      threadsLeft = std::atoi(a + 15);
    } else if (std::strncmp(a, "--helper-alloc-fault=", 21) == 0) {
      helperAllocationsLeft = std::atol(a + 21);
    } else if (std::strncmp(a, "--short-reads=", 14) == 0) {
      ehi::sys::SetShortReadsForTesting(size_t(std::atol(a + 14)));
    } else if (std::strncmp(a, "--listing-stall=", 16) == 0) {
      ehi::sys::SetListingStallForTesting(std::atoi(a + 16));
    }
  }
  ehi::sys::SetReplaceHooksForTesting(named, raiseWhileNamed ? RaiseNow : nullptr);
  ehi::InitServices();
  ehi::InitUButtons();
  ehi::InitUDir2();
  ehi::sys::SetBeforeOpenHookForTesting(Swap);
  ehi::RunHarvest();
  ehi::NormalEnd();
}
