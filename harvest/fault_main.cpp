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
//   --warm                the warmer runs from the start, as on a cold disk
//   --worker-heap-exhausted=N  the heap is exhausted when the read-ahead
//                         worker makes its N-th item
//   --warmer-heap-exhausted=N  the heap is exhausted when the warmers take
//                         up their N-th file or folder
// and, always, a hook just before each open of a qualifying file: a name
// ending in ".vanish" is removed, one ending in ".fifo-swap" becomes a FIFO
// that this process holds open for writing, ".zero-swap" a link to
// /dev/zero, ".tty-swap" a link to /dev/tty, ".socket-swap" a listening
// socket, ".folder-swap" a folder and ".dangling-swap" a link that leads
// nowhere, as if another process changed the tree between the listing and
// the open.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "UButtons.h"
#include "directory.h"
#include "harvest.h"
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
}

int raiseWhileNamed = 0;
void RaiseNow() { raise(raiseWhileNamed); }

}  // namespace

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
    } else if (std::strncmp(a, "--worker-heap-exhausted=", 24) == 0) {
      ehi::SetHelperHeapFailuresForTesting(std::atoi(a + 24), 0);
    } else if (std::strncmp(a, "--warmer-heap-exhausted=", 24) == 0) {
      ehi::SetHelperHeapFailuresForTesting(0, std::atoi(a + 24));
    } else if (std::strcmp(a, "--warm") == 0) {
      ehi::ReadAhead::SetWarmingForTesting();
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
