#include "warmer.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>

#include "codes.h"
#include "harvest.h"
#include "process.h"

namespace ehi {

void SplitListing(const std::string& prefix, const ListedEntries& entries,
                  std::vector<std::string>& files, std::vector<std::string>& folders) {
  for (size_t i = 0; i < entries.Size(); ++i) {
    const ListedEntry e = entries[i];
    const std::string_view name(e.Name);
    uint32_t attr = e.Attr;
    if (e.Unresolved) attr |= sys::StatPath(prefix + e.Name).Attr & (kAttrDirectory | kAttrSystem);
    if ((attr & kAttrSearchExcludable) == 0 && HasEHI(name)) files.push_back(prefix + e.Name);
    if ((attr & kAttrDirectory) && name != "." && name != "..") folders.push_back(prefix + e.Name);
  }
}

namespace {
std::atomic<int> workerHeapFailure{0};
std::atomic<int> warmerHeapFailure{0};
}  // namespace

void SetHelperHeapFailuresForTesting(int worker, int warmer) {
  workerHeapFailure = worker;
  warmerHeapFailure = warmer;
}

void HelperAllocates(bool warmer) {
  std::atomic<int>& countdown = warmer ? warmerHeapFailure : workerHeapFailure;
  // What operator new does when the heap is exhausted: ask the handler.
  if (countdown.load(std::memory_order_relaxed) > 0 && countdown.fetch_sub(1) == 1)
    if (std::new_handler exhausted = std::get_new_handler()) exhausted();
}

int Warmer::Threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(int(cores) + 1, 2, 8);
}

void Warmer::Start() {
  if (Running()) return;
  stop_ = false;
  try {
    for (int i = Threads(); i > 0; --i) threads_.emplace_back([this] { Run(); });
  } catch (const std::system_error&) {
    // A thread the system will not give (the user is at the process
    // limit) is one warmer fewer: warming is only an aid.
  }
}

void Warmer::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
  jobs_.clear();
}

void Warmer::PushFront(const std::vector<std::string>& files,
                       const std::vector<std::string>& folders) {
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) jobs_.push_front({*it, true});
  for (auto it = files.rbegin(); it != files.rend(); ++it) jobs_.push_front({*it, false});
}

void Warmer::Seed(const sys::PathFacts& facts, const std::vector<std::string>& files,
                  const std::vector<std::string>& folders) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!visited_.emplace(facts.Device, facts.Inode).second) return;
    PushFront(files, folders);
  }
  changed_.notify_all();
}

void Warmer::Consumed() {
  bool wake;
  {
    std::lock_guard<std::mutex> hold(lock_);
    wake = ++consumed_ + kAhead == warmed_ + 1;  // the limit just moved off
  }
  if (wake) changed_.notify_all();
}

void Warmer::Run() {
  HelperThreadHeapThrows();
  try {
    Warm();
  } catch (const std::bad_alloc&) {
    // The heap ran out: one warmer fewer, which only costs speed.
  }
}

void Warmer::Warm() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> hold(lock_);
      changed_.wait(hold, [this] {
        return stop_ || (!jobs_.empty() && warmed_ < consumed_ + kAhead);
      });
      if (stop_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      ++warmed_;
    }
    // Nothing the walk would not open: no path past its limit, and not the
    // table, which it reads only under the link rule.
    if (job.Path.size() > MaxPathLength) continue;
    HelperAllocates(true);
    if (job.Folder) WarmFolder(job.Path);
    else if (job.Path != TableName) sys::WarmFile(job.Path);
  }
}

void Warmer::WarmFolder(const std::string& path) {
  const sys::PathFacts facts = sys::StatPath(path);
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!facts.Exists || !visited_.emplace(facts.Device, facts.Inode).second) return;
  }
  ListedEntries entries;
  int error = 0;
  sys::DirStream* d = sys::OpenDirStream(path, error);
  if (!d) return;
  sys::DirEntry e;
  while (sys::NextDirEntry(d, e, error)) entries.Add(e.Name, e.Attr, e.Unresolved);
  sys::CloseDirStream(d);
  std::vector<std::string> files, folders;
  SplitListing(path.empty() ? std::string() : path + "/", entries, files, folders);
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stop_) return;
    PushFront(files, folders);
  }
  changed_.notify_all();
}

}  // namespace ehi
