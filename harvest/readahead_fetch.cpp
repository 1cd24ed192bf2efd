// The read-ahead's fetchers: threads that make the worker's requests many
// at a time on a tree read from the disk or a share, where each request
// waits. The worker still decides everything in the walk's order; a fetcher
// only fills a file's place in the queue, or lists a folder the worker
// will come to, each once.
#include <memory>

#include "helper.h"
#include "readahead.h"

namespace ehi {

namespace {

size_t CostOf(const ReadAheadItem& item) {
  return sizeof item + item.Path.capacity() + item.Bytes.capacity() + item.Entries.HeldBytes();
}

}  // namespace

void ReadAhead::StartFetchers() {
  int started = 0;
  for (int i = 0; i < fetcherThreads_; ++i) {
    std::thread t;
    // A fetcher that fails (no memory) may leave a place unfilled that the
    // walk waits for: the read-ahead is abandoned, the walk goes on alone.
    if (!StartHelper(t, [this] {
          if (!RunAsHelper([this] { Fetch(); })) Abandon();
        }))
      break;
    ++started;
    SharedHold hold(lock_);
    if (letGo_) t.detach();
    else fetchers_.push_back(std::move(t));
  }
  fetching_ = started > 0;
}

void ReadAhead::Fetch() {
  // The fetcher's own read buffer, from its own heap.
  const std::unique_ptr<char[]> block = std::make_unique_for_overwrite<char[]>(kBlock);
  for (;;) {
    Job job;
    bool skip = false, beyond = false;
    {
      SharedHold hold(lock_);
      ++idleFetchers_;
      jobsChanged_.wait(hold.Lock(),
                        [this] { return abandoned_ || jobCount_ > 0 || folderJobCount_ > 0; });
      --idleFetchers_;
      if (abandoned_) return;
      // Listings first: each gives the worker, and through it the walk, the
      // next stretch of work, while a file only fills one place.
      if (folderJobCount_ > 0) {
        job = Job{nullptr, folderJobs_[folderJobHead_]};
        folderJobHead_ = (folderJobHead_ + 1) % kMaxPrefetch;
        --folderJobCount_;
      } else {
        job = jobs_[jobHead_];
        jobHead_ = (jobHead_ + 1) % kMaxItems;
        --jobCount_;
      }
      beyond = fileFailed_;
      if (job.Folder) {
        skip = job.Folder->state == Prefetch::State::Skip;
        if (!skip) job.Folder->state = Prefetch::State::Running;
      }
    }
    if (job.Folder) {
      if (skip) FreePrefetch(*job.Folder);
      else FetchFolder(*job.Folder);
      continue;
    }
    ReadAheadItem& item = *job.File;
    size_t reserved = 0;
    // A failure the walk meets too stops the worker there. The jobs still
    // queued then all come after that file in the walk's order, where the
    // walk does not get to: they are handed back unread (left to the walk,
    // should it get there after all).
    if (!beyond &&
        ReadFile(nullptr, item.Path, item, block.get(), &reserved) == After::Stop) {
      {
        SharedHold hold(lock_);
        fileFailed_ = true;
      }
      StopHere();
    }
    Filled(item, reserved);
  }
}

bool ReadAhead::WaitForRoom(const ReadAheadItem& item, size_t bytes) {
  // Room there is, mostly: taken without the lock the other threads want.
  if (budget_.TryAdd(bytes)) return true;
  SharedHold hold(lock_);
  // The walk's next item always goes through: it is the one that frees room.
  const auto room = [&] {
    return abandoned_ || budget_.Fits(bytes) || (count_ > 0 && ring_[head_].get() == &item);
  };
  if (!room()) {
    ++roomWaiters_;
    changed_.wait(hold.Lock(), room);
    --roomWaiters_;
  }
  if (abandoned_) return false;
  budget_.Add(bytes);
  return true;
}

void ReadAhead::Filled(ReadAheadItem& item, size_t reserved) {
  const size_t cost = CostOf(item);
  budget_.Add(cost);
  bool wake;
  {
    SharedHold hold(lock_);
    budget_.Remove(item.Cost + reserved);
    item.Cost = cost;
    item.Pending = false;
    wake = walkWaiting_ && count_ > 0 && ring_[head_].get() == &item;
  }
  if (wake) walkChanged_.notify_one();
}

void ReadAhead::FetchFolder(Prefetch& p) {
  ReadAheadItem& item = *p.Listing;
  int error = 0;
  FolderStream folder{nullptr, nullptr};
  bool first = false;
  // Once the worker has stopped, no listing ahead is taken: the folder is
  // not opened at all (the walk may stop short of it).
  if (!Stopping()) {
    folder = OpenFolder(item, error);
    // Each physical folder is listed once by the fetchers; one met again
    // (through a link) is left to the worker, which knows whether the walk
    // lists it.
    WalkedFolders::Mark mark = WalkedFolders::MarkOf(item.Facts);
    SharedHold hold(lock_);
    first = !stop_ && fetched_.FirstVisit(std::move(mark));
  }
  size_t cost = 0;
  if (first) {
    p.Stops = ListFolder(std::move(folder), error, -1, item, p.Plan).Stops;
    cost = CostOf(item) + p.Plan.HeldBytes();
    // A listing that does not fit is dropped: the worker lists it itself.
    p.Listed = budget_.Fits(cost);
    if (!p.Listed) {
      item.Entries.Release();
      p.Plan = FolderPlan();
      cost = 0;
    }
  }
  folder.reset();
  // The folders below are known now: the first of them are asked for at
  // once, as the worker would on coming here, so that a deep tree is not
  // listed one level at a time.
  if (p.Listed && !p.Stops && !p.Plan.Stops()) {
    std::string sub;
    for (; p.Asked < p.Plan.Folders() && p.Asked < kListAhead; ++p.Asked) {
      p.Plan.Folder(p.Asked, sub);
      if (PathFits(sub)) p.Children[p.Asked] = AskListing(sub, false);
    }
  }
  budget_.Add(cost);
  p.Cost = cost;
  bool orphan, wake = false;
  {
    SharedHold hold(lock_);
    orphan = p.state == Prefetch::State::Orphan;
    if (!orphan) {
      p.state = Prefetch::State::Done;
      wake = prefetchWaited_;
    }
  }
  if (orphan) FreePrefetch(p);
  if (wake) changed_.notify_all();
}

ReadAhead::Prefetch* ReadAhead::AskListing(const std::string& path, bool worker) {
  Prefetch* p;
  {
    SharedHold hold(lock_);
    if (freePrefetch_.empty() || stop_) return nullptr;
    p = freePrefetch_.back();
    freePrefetch_.pop_back();
  }
  // The slot goes back to the free list if this fails (no memory).
  struct Claim {
    ReadAhead& self;
    Prefetch* p;
    ~Claim() {
      if (p) self.FreePrefetch(*p);
    }
  } claim{*this, p};
  p->Listing = worker ? NewItem(ReadAheadItem::Kind::Listing) : std::make_unique<ReadAheadItem>();
  p->Listing->Path = path;
  claim.p = nullptr;
  bool wake;
  {
    SharedHold hold(lock_);
    p->state = Prefetch::State::Queued;
    folderJobs_[(folderJobHead_ + folderJobCount_++) % kMaxPrefetch] = p;
    wake = idleFetchers_ > 0;
  }
  if (wake) jobsChanged_.notify_one();
  return p;
}

bool ReadAhead::TakePrefetch(Prefetch& p, Item& item, FolderPlan& plan, bool& stops,
                             Prefetch** children, size_t& asked) {
  {
    SharedHold hold(lock_);
    if (p.state == Prefetch::State::Queued) {
      // No fetcher has got to it: the worker lists it now itself.
      p.state = Prefetch::State::Skip;
      return false;
    }
    if (p.state == Prefetch::State::Running) {
      prefetchWaited_ = true;
      changed_.wait(hold.Lock(), [&] { return p.state == Prefetch::State::Done || abandoned_; });
      prefetchWaited_ = false;
      if (p.state != Prefetch::State::Done) {
        p.state = Prefetch::State::Orphan;
        return false;
      }
    }
  }
  const bool listed = p.Listed;
  if (listed) {
    item = std::move(p.Listing);
    plan = std::move(p.Plan);
    stops = p.Stops;
    for (size_t i = 0; i < kListAhead; ++i) std::swap(children[i], p.Children[i]);
    asked = p.Asked;
  }
  FreePrefetch(p);
  return listed;
}

void ReadAhead::DropPrefetch(Prefetch* p) {
  {
    SharedHold hold(lock_);
    switch (p->state) {
      case Prefetch::State::Queued: p->state = Prefetch::State::Skip; return;
      case Prefetch::State::Running: p->state = Prefetch::State::Orphan; return;
      default: break;  // done: the worker frees it
    }
  }
  FreePrefetch(*p);
}

void ReadAhead::FreePrefetch(Prefetch& p) {
  for (Prefetch*& child : p.Children) {
    if (child) DropPrefetch(child);
    child = nullptr;
  }
  p.Asked = 0;
  budget_.Remove(p.Cost);
  p.Cost = 0;
  p.Listing.reset();
  p.Plan = FolderPlan();
  p.Listed = p.Stops = false;
  SharedHold hold(lock_);
  p.state = Prefetch::State::Free;
  freePrefetch_.push_back(&p);
}

}  // namespace ehi
