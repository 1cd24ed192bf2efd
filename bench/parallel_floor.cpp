// The parallel floor for the harvest benchmark: what the storage gives a
// reader that keeps many requests in flight. Threads (16 unless given as
// the first argument) share a stack of folders; each takes a folder, lists
// it once, pushes its subfolders for any thread to take, then reads its
// qualifying files (not hidden, name holding "EHI" or "Orvitan") in 64 KiB
// blocks through the listed folder's descriptor, counting the lines with
// 19 tabs. Nothing is kept, sorted or written; the count is printed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex mu;
std::condition_variable wake;
std::vector<std::string> folders;  // the shared stack
int listing = 0;                   // threads holding a folder not yet listed out
std::atomic<long> records{0};

bool Qualifies(const char* name) {
  return name[0] != '.' && (std::strstr(name, "EHI") || std::strstr(name, "Orvitan"));
}

long CountRecords(int dirFd, const char* name, char* block, size_t size) {
  const int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  long found = 0;
  int tabs = 0;
  ssize_t n;
  while ((n = ::read(fd, block, size)) > 0) {
    for (ssize_t i = 0; i < n; ++i) {
      const char c = block[i];
      if (c == '\t') {
        ++tabs;
      } else if (c == '\n' || c == '\r') {
        found += tabs == 19;
        tabs = 0;
      }
    }
  }
  found += tabs == 19;
  ::close(fd);
  return found;
}

// Lists one folder, hands its subfolders to the stack at once (so idle
// threads start on them before this one reads a byte), then reads its files.
void Visit(const std::string& path, std::vector<std::string>& files, char* block, size_t size) {
  DIR* d = ::opendir(path.c_str());
  if (!d) return;
  std::vector<std::string> subfolders;
  files.clear();
  while (const dirent* e = ::readdir(d)) {
    const char* name = e->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st;
      if (::fstatat(::dirfd(d), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type == DT_DIR) {
      subfolders.push_back(path + "/" + name);
    } else if (type == DT_REG && Qualifies(name)) {
      files.emplace_back(name);
    }
  }
  if (!subfolders.empty()) {
    std::lock_guard<std::mutex> lock(mu);
    for (auto& s : subfolders) folders.push_back(std::move(s));
    wake.notify_all();
  }
  long found = 0;
  for (const auto& f : files) found += CountRecords(::dirfd(d), f.c_str(), block, size);
  ::closedir(d);
  records += found;
}

void Worker() {
  constexpr size_t kBlock = 65536;
  std::vector<char> block(kBlock);
  std::vector<std::string> files;
  std::unique_lock<std::mutex> lock(mu);
  for (;;) {
    // A thread may stop only when the stack is empty and no folder is being
    // listed, since a listing may still push more.
    wake.wait(lock, [] { return !folders.empty() || listing == 0; });
    if (folders.empty()) break;
    std::string path = std::move(folders.back());
    folders.pop_back();
    ++listing;
    lock.unlock();
    Visit(path, files, block.data(), kBlock);
    lock.lock();
    if (--listing == 0 && folders.empty()) wake.notify_all();
  }
}

}  // namespace

int main(int argc, char** argv) {
  long threads = 16;
  if (argc > 1) {
    char* end = nullptr;
    threads = std::strtol(argv[1], &end, 10);
    if (*end != 0 || threads < 1 || threads > 1024) {
      std::fprintf(stderr, "usage: parallel_floor [THREADS (1-1024, 16 unless given)]\n");
      return 2;
    }
  }
  folders.emplace_back(".");
  std::vector<std::thread> pool;
  for (long i = 0; i < threads; ++i) pool.emplace_back(Worker);
  for (auto& t : pool) t.join();
  std::printf("%ld\n", records.load());
}
