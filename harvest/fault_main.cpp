// ehiharvest for fault injection tests only (never installed): the same run,
// with a hook that deletes every qualifying file whose name ends in
// ".vanish" just before it is opened, as if another process removed it
// between the listing and the open. With the argument "--fd-limit=N" the
// run may have only N descriptors (set here, once the program is loaded,
// since the loader itself needs one).
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "UButtons.h"
#include "directory.h"
#include "harvest.h"
#include "platform.h"
#include "process.h"

namespace {

void Vanish(const std::string& name) {
  const std::string tail = ".vanish";
  if (name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
    std::remove(name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strncmp(argv[1], "--fd-limit=", 11) == 0) {
    rlim_t n = rlim_t(std::atoi(argv[1] + 11));
    struct rlimit lim = {n, n};
    setrlimit(RLIMIT_NOFILE, &lim);
  }
  ehi::InitServices();
  ehi::InitUButtons();
  ehi::InitUDir2();
  ehi::sys::SetBeforeOpenHookForTesting(Vanish);
  ehi::RunHarvest();
  ehi::NormalEnd();
}
