#include "warmer.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "helper.h"

namespace ehi {

namespace {

// What a job holds: its path and the list's node around it.
size_t CostOf(const std::string& path) { return path.capacity() + 64; }

}  // namespace

int Warmer::Threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(int(cores) + 1, 2, 8);
}

void Warmer::Reset() {
  SharedHold hold(lock_);
  stop_ = letGo_ = stopped_ = false;
  warmed_ = consumed_ = 0;
}

void Warmer::Start(int threads) {
  if (Running() || threads <= 0) return;
  // Room for every thread first: a thread started must be kept.
  if (!RunAsHelper([&] { threads_.reserve(size_t(threads)); })) return;
  for (int i = 0; i < threads; ++i) {
    std::thread t;
    if (!StartHelper(t, [this] {
          if (!RunAsHelper([this] { Run(); })) {
            failed_ = true;
            Abandon();
          }
        }))
      break;
    SharedHold hold(lock_);
    if (letGo_) t.detach();
    else threads_.push_back(std::move(t));
  }
}

void Warmer::LetGo() {
  {
    SharedHold hold(lock_);
    stop_ = letGo_ = true;
    for (std::thread& t : threads_)
      if (t.joinable()) t.detach();
  }
  changed_.notify_all();
}

void Warmer::Abandon() {
  {
    SharedHold hold(lock_);
    stop_ = true;
  }
  changed_.notify_all();
}

void Warmer::Stop() {
  Abandon();
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
  threads_.clear();
  for (const Job& job : jobs_) budget_.Remove(job.Cost);
  jobs_.clear();
}

std::list<Warmer::Job> Warmer::JobsOf(const FolderPlan& plan) {
  std::list<Job> jobs;
  size_t cost = 0;
  for (size_t i = 0; i < plan.Files(); ++i) {
    Job& job = jobs.emplace_back();
    plan.File(i, job.Path);
    cost += job.Cost = CostOf(job.Path);
  }
  for (size_t i = 0; i < plan.Folders(); ++i) {
    Job& job = jobs.emplace_back();
    plan.Folder(i, job.Path);
    job.Folder = true;
    cost += job.Cost = CostOf(job.Path);
  }
  budget_.Add(cost);
  return jobs;
}

void Warmer::Queue(std::list<Job>& fresh, bool stops, WalkedFolders::Mark* mark) {
  std::list<Job> dropped;
  bool queued = false;
  {
    SharedHold hold(lock_);
    if (stop_ || stopped_ || (mark && !visited_.FirstVisit(std::move(*mark)))) {
      dropped.swap(fresh);
    } else {
      queued = !fresh.empty();
      const auto behind = jobs_.begin();
      jobs_.splice(jobs_.begin(), fresh);
      if (stops) {
        dropped.splice(dropped.end(), jobs_, behind, jobs_.end());
        stopped_ = true;
      }
      // What does not fit goes from the back: what the walk needs last.
      while (!budget_.Fits(0) && !jobs_.empty()) {
        budget_.Remove(jobs_.back().Cost);
        jobs_.back().Cost = 0;
        dropped.splice(dropped.begin(), jobs_, std::prev(jobs_.end()));
      }
    }
  }
  // Threads are woken only for work: a wake-up for nothing costs each of
  // them a round on the lock.
  if (queued) changed_.notify_all();
  for (const Job& job : dropped) budget_.Remove(job.Cost);
}

void Warmer::StopQueueing() {
  std::list<Job> dropped;
  {
    SharedHold hold(lock_);
    stopped_ = true;
    dropped.swap(jobs_);
  }
  for (const Job& job : dropped) budget_.Remove(job.Cost);
}

void Warmer::Seed(const sys::PathFacts& facts, const FolderPlan& plan) {
  WalkedFolders::Mark mark = WalkedFolders::MarkOf(facts);
  std::list<Job> fresh = JobsOf(plan);
  Queue(fresh, plan.Stops(), &mark);
}

void Warmer::Consumed() {
  bool wake;
  {
    SharedHold hold(lock_);
    wake = ++consumed_ + kAhead == warmed_ + 1;  // the limit just moved off
  }
  if (wake) changed_.notify_all();
}

void Warmer::Run() {
  for (;;) {
    std::list<Job> next;
    {
      SharedHold hold(lock_);
      changed_.wait(hold.Lock(), [this] {
        return stop_ || (!jobs_.empty() && warmed_ < consumed_ + kAhead);
      });
      if (stop_) return;
      next.splice(next.begin(), jobs_, jobs_.begin());
      ++warmed_;
    }
    const Job& job = next.front();
    // Nothing the walk would not open: never past a path it stops at, and
    // not the table behind a link it may not follow.
    if (job.Folder) WarmFolder(job.Path);
    else if (!IsRefusedTable(job.Path)) sys::WarmFile(job.Path);
    budget_.Remove(job.Cost);
  }
}

void Warmer::WarmFolder(const std::string& path) {
  if (!PathFits(path)) return StopQueueing();
  WalkedFolders::Mark mark = WalkedFolders::MarkOf(sys::StatPath(path));
  {
    SharedHold hold(lock_);
    if (!visited_.FirstVisit(std::move(mark))) return;
  }
  int error = 0;
  FolderPlan plan;
  plan.Start(path.empty() ? std::string() : path + "/");
  // Closed however this ends, also when an allocation fails (and throws).
  std::unique_ptr<sys::DirStream, void (*)(sys::DirStream*)> d(sys::OpenDirStream(path, error),
                                                               sys::CloseDirStream);
  if (!d) {
    if (SearchEndMayStop(error, path)) StopQueueing();
    return;
  }
  const ListedAhead listed = ListAhead(d.get(), plan, nullptr, [] {});
  d.reset();
  if (listed.Error != 0) return StopQueueing();
  std::list<Job> fresh = JobsOf(plan);
  Queue(fresh, plan.Stops(), nullptr);
}

}  // namespace ehi
