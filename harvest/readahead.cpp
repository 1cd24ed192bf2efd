#include "readahead.h"

#include <algorithm>
#include <chrono>

#include "codes.h"
#include "helper.h"
#include "platform.h"
#include "process.h"

namespace ehi {

namespace {

int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool enabledForTesting = true;
bool headStartForTesting = false;
bool fetchingForTesting = false;

// The read-ahead of the run in progress. A run that stops (a fatal stop, a
// runtime error) ends with the walk anywhere: the helpers are told to stop
// and let go, and the process ends without waiting for them.
ReadAhead* active = nullptr;
void LetActiveGo() {
  if (active) active->LetGo();
}

// What an item holds, as counted in the budget.
size_t CostOf(const ReadAheadItem& item) {
  return sizeof item + item.Path.capacity() + item.Bytes.capacity() + item.Entries.HeldBytes();
}

}  // namespace

void ReadAhead::SetForTesting(bool enabled, bool headStart) {
  enabledForTesting = enabled;
  headStartForTesting = headStart;
}

void ReadAhead::SetFetchingForTesting() { fetchingForTesting = true; }

void ReadAhead::Start() {
  if (!enabledForTesting || running_) return;
  // The helpers use only descriptors that the walk cannot need: whatever
  // the process has inherited, the walk meets no shortage it would not
  // meet alone.
  const long spare = sys::FreeDescriptors() - kWalkDescriptors - kWorkerDescriptors;
  if (spare < 0) return;
  fetcherThreads_ = int(std::min<long>(kFetchers, spare));
  openRoom_ = int(std::min<long>(spare - fetcherThreads_, long(kMaxItems)));
  // Everything the threads share is made here, before any of them runs; a
  // shortage of memory leaves the walk to itself.
  static bool registered = false;
  if (!RunAsHelper([this] {
        if (!registered) RegisterFinalisation(LetActiveGo);
        registered = true;
        ring_ = std::make_unique<Item[]>(kMaxItems);
        spent_.reserve(kBatch);
        spare_.reserve(kMaxSpare);
        stash_.reserve(kMaxSpare);
        jobs_ = std::make_unique<Job[]>(kMaxItems);
        folderJobs_ = std::make_unique<Prefetch*[]>(kMaxPrefetch);
        prefetch_ = std::make_unique<Prefetch[]>(kMaxPrefetch);
        freePrefetch_.reserve(kMaxPrefetch);
        for (size_t i = 0; i < kMaxPrefetch; ++i) freePrefetch_.push_back(&prefetch_[i]);
        fetchers_.reserve(size_t(fetcherThreads_));
      })) {
    Release();
    return;
  }
  stop_ = done_ = abandoned_ = false;
  head_ = count_ = 0;
  slow_ = fetchingForTesting ? kSlowToFetch : 0;
  fetchersStarted_ = letGo_ = false;
  fetching_ = false;
  jobHead_ = jobCount_ = folderJobHead_ = folderJobCount_ = 0;
  idleFetchers_ = roomWaiters_ = 0;
  prefetchWaited_ = fileFailed_ = false;
  running_ = true;
  active = this;
  if (!StartHelper(worker_, [this] { WorkerDone(RunAsHelper([this] { Run(); })); })) {
    running_ = false;
    active = nullptr;
    Release();
    return;
  }
  if (headStartForTesting) {
    SharedHold hold(lock_);
    walkWaiting_ = true;
    walkChanged_.wait_for(hold.Lock(), std::chrono::seconds(1),
                      [this] { return done_ || workerWaiting_ || stop_; });
    walkWaiting_ = false;
  }
}

void ReadAhead::Abandon() {
  {
    SharedHold hold(lock_);
    stop_ = abandoned_ = true;
  }
  changed_.notify_all();
  walkChanged_.notify_all();
  jobsChanged_.notify_all();
}

void ReadAhead::LetGo() {
  Abandon();
  if (worker_.joinable()) worker_.detach();
  SharedHold hold(lock_);
  letGo_ = true;
  for (std::thread& t : fetchers_)
    if (t.joinable()) t.detach();
}

void ReadAhead::Stop() {
  Abandon();
  if (worker_.joinable()) worker_.join();
  // The worker starts the fetchers: none starts once it is gone.
  for (std::thread& t : fetchers_)
    if (t.joinable()) t.join();
  fetchers_.clear();
  Release();
  running_ = false;
  if (active == this) active = nullptr;
}

void ReadAhead::Release() {
  ring_.reset();
  head_ = count_ = 0;
  std::vector<Item>().swap(spent_);
  std::vector<Item>().swap(spare_);
  std::vector<Item>().swap(stash_);
  block_.reset();
  jobs_.reset();
  folderJobs_.reset();
  prefetch_.reset();
  std::vector<Prefetch*>().swap(freePrefetch_);
  fetched_ = WalkedFolders();
  walked_ = WalkedFolders();
  budget_.Remove(budget_.Held());
  planBytes_ = 0;
  openQueued_ = 0;
  queued_ = 0;
}

std::unique_ptr<ReadAheadItem> ReadAhead::TakeListing(std::string_view path) {
  return Take(ReadAheadItem::Kind::Listing, path);
}

std::unique_ptr<ReadAheadItem> ReadAhead::TakeFile(std::string_view path) {
  return Take(ReadAheadItem::Kind::File, path);
}

ReadAhead::Item ReadAhead::Take(ReadAheadItem::Kind kind, std::string_view path) {
  SharedHold hold(lock_);
  if (!running_ || abandoned_) return nullptr;
  if (count_ == 0) {
    walkWaiting_ = true;
    // A batch, unless the worker must wait for room or is done; but what
    // is there is taken once the worker has been slow to make a batch, so
    // that the walk never waits for items beyond the one it needs next
    // (the worker may be held up by a file the walk never reaches). With
    // nothing queued the worker always has room, whatever its flag says.
    const auto ready = [this] {
      return count_ >= kBatch || (workerWaiting_ && count_ > 0) || done_ || stop_;
    };
    while (!walkChanged_.wait_for(hold.Lock(), std::chrono::microseconds(kBatchWaitMicroseconds),
                              ready) &&
           count_ == 0) {
    }
    walkWaiting_ = false;
  }
  if (count_ == 0 || abandoned_) return nullptr;
  Item& front = ring_[head_];
  if (front->What != kind || front->Path != path) {
    // The walk and the worker parted (the tree changed under them): the
    // walk goes on alone.
    hold.Unlock();
    Abandon();
    return nullptr;
  }
  if (front->Pending) {
    // Its place is queued and a fetcher reads it: the walk needs it next.
    walkWaiting_ = true;
    walkChanged_.wait(hold.Lock(), [&] { return !front->Pending || abandoned_; });
    walkWaiting_ = false;
    if (abandoned_) return nullptr;
  }
  Item item = std::move(front);
  head_ = (head_ + 1) % kMaxItems;
  queued_.store(--count_, std::memory_order_relaxed);
  budget_.Remove(item->Cost);
  if (item->Rest != sys::kNoHandle) --openQueued_;
  const bool wake = workerWaiting_ || roomWaiters_ > 0;
  hold.Unlock();
  if (wake) changed_.notify_all();
  if (!item->Ready) {
    // Left to the walk: the item goes back to the worker all the same.
    Recycle(std::move(item));
    return nullptr;
  }
  return item;
}

void ReadAhead::Recycle(Item item) {
  if (!item) return;
  if (item->Rest != sys::kNoHandle) sys::CloseHandle(item->Rest);
  item->Rest = sys::kNoHandle;
  item->Path.clear();
  if (item->Bytes.capacity() > kMaxSpareBytes) std::string().swap(item->Bytes);
  else item->Bytes.clear();
  if (item->Entries.HeldBytes() > kMaxSpareBytes) item->Entries.Release();
  else item->Entries.Clear();
  item->Facts = sys::PathFacts();
  item->Ready = false;
  item->Cost = 0;
  spent_.push_back(std::move(item));
  if (spent_.size() < kBatch) return;
  {
    SharedHold hold(lock_);
    for (Item& spent : spent_)
      if (spare_.size() < spare_.capacity()) spare_.push_back(std::move(spent));
  }
  spent_.clear();
}

ReadAhead::Item ReadAhead::NewItem(ReadAheadItem::Kind kind) {
  if (stash_.empty()) {
    SharedHold hold(lock_);
    stash_.swap(spare_);
  }
  Item item;
  if (stash_.empty()) {
    item = std::make_unique<ReadAheadItem>();
  } else {
    item = std::move(stash_.back());
    stash_.pop_back();
  }
  item->What = kind;
  return item;
}

bool ReadAhead::StopHere() {
  {
    SharedHold hold(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  walkChanged_.notify_all();
  return false;
}

bool ReadAhead::Stopping() {
  SharedHold hold(lock_);
  return stop_;
}

bool ReadAhead::Push(Item item) {
  item->Cost = CostOf(*item);
  const size_t cost = item->Cost;
  SharedHold hold(lock_);
  auto room = [&] {
    return stop_ || count_ == 0 || (count_ < kMaxItems && budget_.Fits(cost));
  };
  if (!room()) {
    workerWaiting_ = true;
    if (walkWaiting_) walkChanged_.notify_one();
    changed_.wait(hold.Lock(), room);
    workerWaiting_ = false;
  }
  if (stop_) return false;
  if (item->Rest != sys::kNoHandle) ++openQueued_;
  // A place to fill goes to the fetchers with it, in the walk's order.
  bool wakeFetcher = false;
  if (item->Pending) {
    jobs_[(jobHead_ + jobCount_++) % kMaxItems] = Job{item.get(), nullptr};
    wakeFetcher = idleFetchers_ > 0;
  }
  ring_[(head_ + count_) % kMaxItems] = std::move(item);
  queued_.store(++count_, std::memory_order_relaxed);
  budget_.Add(cost);
  // The walk is woken for a batch (or for what is in when the worker must
  // wait or ends): handing over item by item costs more than it saves.
  const bool wake = walkWaiting_ && count_ >= kBatch;
  hold.Unlock();
  if (wake) walkChanged_.notify_one();
  if (wakeFetcher) jobsChanged_.notify_one();
  return true;
}

void ReadAhead::Run() { WalkFolder("", nullptr); }

void ReadAhead::WorkerDone(bool) {
  // A worker that gave up (no memory) ends as one that is done: the walk
  // takes what is queued (the fetchers fill what they were given) and goes
  // on alone from there.
  {
    SharedHold hold(lock_);
    done_ = true;
  }
  changed_.notify_all();
  walkChanged_.notify_all();
}

ReadAhead::FolderStream ReadAhead::OpenFolder(ReadAheadItem& item, int& error) {
  // The folder stays open while its files are read (they are opened in it,
  // not by their whole paths): the worker's second descriptor.
  FolderStream folder(sys::OpenDirStream(item.Path, error), sys::CloseDirStream);
  // The walk looks at what the folder is before it lists it: the item
  // tells it, also for a folder walked before (then nothing else comes).
  // An open folder is asked itself, without looking its path up again.
  item.Facts = folder ? sys::StatInDirStream(folder.get(), ".") : sys::StatPath(item.Path);
  return folder;
}

ReadAhead::Listing ReadAhead::ListFolder(FolderStream folder, int error, int64_t start,
                                         ReadAheadItem& item, FolderPlan& plan) {
  Listing r;
  plan.Start(item.Path.empty() ? std::string() : item.Path + "/");
  // A folder that cannot be opened is empty to the walk, or stops it.
  r.Stops = !folder && SearchEndMayStop(error, item.Path);
  if (folder) {
    const ListedAhead listed = ListAhead(folder.get(), plan, &item.Entries, [&] {
      if (start >= 0) Timed(start);
    });
    // A listing too long to hold is left to the walk, which meets the same
    // entries; one that failed part-way stops the walk there.
    item.Ready = listed.Complete;
    r.Stops = listed.Error != 0;
  }
  if (!item.Ready) item.Entries.Clear();
  r.Stream = std::move(folder);
  return r;
}

// The walk's order: the folder's listing, its qualifying files, then its
// subfolders, each physical folder once; and the walk's stops, worked out
// from the listing before anything in the folder is opened.
bool ReadAhead::WalkFolder(const std::string& path, Prefetch* ahead) {
  // The listing asked for ahead is given up however this ends, unless taken.
  struct Asked {
    ReadAhead& self;
    Prefetch* p;
    ~Asked() {
      if (p) self.DropPrefetch(p);
    }
  } asked{*this, ahead};
  if (Stopping()) return false;
  if (!PathFits(path)) return StopHere();
  Item item;
  FolderPlan plan;
  Listing listing;
  // With fetchers, the next few subfolders are listed while the worker is
  // in the one before them; any not taken are given up at the end.
  struct Window {
    ReadAhead& self;
    Prefetch* p[kListAhead] = {};
    ~Window() {
      for (Prefetch* q : p)
        if (q) self.DropPrefetch(q);
    }
  } window{*this};
  size_t next = 0;  // the next subfolder to ask for
  asked.p = nullptr;
  if (!ahead || !TakePrefetch(*ahead, item, plan, listing.Stops, window.p, next)) {
    item = NewItem(ReadAheadItem::Kind::Listing);
    item->Path = path;
    int error = 0;
    const int64_t start = NowMicroseconds();
    FolderStream folder = OpenFolder(*item, error);
    if (!walked_.FirstVisit(item->Facts)) {
      item->Ready = true;
      return Push(std::move(item));
    }
    listing = ListFolder(std::move(folder), error, start, *item, plan);
  } else if (!walked_.FirstVisit(item->Facts)) {
    // Listed ahead under another path: the walk has been there already.
    item->Entries.Clear();
    item->Ready = true;
    return Push(std::move(item));
  }
  if (listing.Stops) {
    Push(std::move(item));
    return StopHere();
  }
  // The plan's names are held until the folder is done: counted in the
  // budget, and at most half of it, or the walk goes on alone.
  if (planBytes_ + plan.HeldBytes() > AheadBudget::kLimit / 2) return StopHere();
  struct Held {
    ReadAhead& self;
    size_t bytes = 0;
    void Set(size_t now) {
      self.planBytes_ = self.planBytes_ - bytes + now;
      self.budget_.Add(now);
      self.budget_.Remove(bytes);
      bytes = now;
    }
    ~Held() { Set(0); }
  } held{*this};
  held.Set(plan.HeldBytes());

  // The first subfolders are asked for before the files are queued, when
  // no fetcher asked for them already: each level of a descent is then
  // listed by a fetcher, which asks for the next level at once, instead of
  // by the worker, one level at a time.
  std::string sub;
  if (next == 0 && !plan.Stops() && fetching_.load(std::memory_order_relaxed)) {
    for (; next < plan.Folders() && next < kListAhead; ++next) {
      plan.Folder(next, sub);
      if (PathFits(sub)) window.p[next] = AskListing(sub, true);
    }
  }
  if (!Push(std::move(item))) return false;
  for (size_t i = 0; i < plan.Files(); ++i) {
    Item read = NewItem(ReadAheadItem::Kind::File);
    plan.File(i, read->Path);
    if (fetching_.load(std::memory_order_relaxed) && !IsRefusedTable(read->Path)) {
      // A fetcher reads it while the worker goes on.
      read->Pending = true;
      if (!Push(std::move(read))) return false;
      continue;
    }
    if (!block_) block_ = std::make_unique_for_overwrite<char[]>(kBlock);
    const After after = ReadFile(listing.Stream.get(), read->Path, *read, block_.get(), nullptr);
    if (!Push(std::move(read))) return false;
    if (after == After::Stop) return StopHere();
  }
  listing.Stream.reset();
  // Done with what the walk does here before it stops.
  if (plan.Stops()) return StopHere();
  plan.DropFiles();
  held.Set(plan.HeldBytes());
  for (size_t i = 0; i < plan.Folders(); ++i) {
    Prefetch* mine = nullptr;
    if (i < next) std::swap(mine, window.p[i % kListAhead]);
    if (fetching_.load(std::memory_order_relaxed)) {
      for (next = std::max(next, i + 1); next < plan.Folders() && next <= i + kListAhead; ++next) {
        plan.Folder(next, sub);
        if (PathFits(sub)) window.p[next % kListAhead] = AskListing(sub, true);
      }
    }
    plan.Folder(i, sub);
    if (!WalkFolder(sub, mine)) return false;
  }
  return true;
}

// The whole content, under the walk's rules: a table behind a link that
// may not be followed is not opened (the walk stops there), only a regular
// file is read, without waiting for data that is not there, and anything
// unusual (an error, a file too large to hold) is left to the walk. A
// failure the walk would meet too ends the worker there.
ReadAhead::After ReadAhead::ReadFile(sys::DirStream* folder, const std::string& path,
                                     ReadAheadItem& item, char* block, size_t* reserved) {
  const bool worker = reserved == nullptr;
  if (IsRefusedTable(path)) return After::Stop;
  int error = 0;
  bool notRegular = false;
  const int64_t start = NowMicroseconds();
  uint64_t size = 0;
  // The file is closed however this ends, also when an allocation fails
  // (and throws, on this thread) while it is open.
  struct Open {
    sys::Handle h;
    ~Open() {
      if (h != sys::kNoHandle) sys::CloseHandle(h);
    }
    bool Close() {
      const bool closed = sys::CloseHandle(h);
      h = sys::kNoHandle;
      return closed;
    }
  } file{folder ? sys::OpenRegularInDirStream(folder, path, error, notRegular, &size)
                : sys::OpenRegularForReading(path, error, notRegular, &size)};
  const sys::Handle h = file.h;
  if (h == sys::kNoHandle) return notRegular ? After::GoOn : After::Stop;
  // A file too large to hold is not read at all: the walk reads it through
  // its own buffer, and would otherwise wait for bytes read in vain. (The
  // size is only a hint: a file that grows is still cut off below.)
  if (size > kMaxFileBytes) {
    if (worker) Timed(start);
    return After::GoOn;
  }
  // A fetcher holds a file's bytes only once they fit in the budget (or the
  // walk needs the file next): many read at once, and may be far ahead.
  if (!worker) {
    if (!WaitForRoom(item, size_t(size))) return After::GoOn;
    *reserved = size_t(size);
  }
  item.Bytes.reserve(size_t(size));
  After after = After::GoOn;
  // Only a read of nothing ends a file: a network or FUSE file system may
  // give less than asked for in the middle of one. The worker reads as far
  // as the size the file had at its opening; the rest (normally just the
  // read that gives nothing) it leaves to the walk, with the file open,
  // when the walk keeps up with it (a short queue: the walk waits for the
  // worker, as on a warm tree of small files) and descriptors are spare.
  for (bool first = true;; first = false) {
    if (worker && item.Bytes.size() >= size && queued_.load(std::memory_order_relaxed) < kBatch &&
        openQueued_ < openRoom_) {
      if (first) Timed(start);
      item.Rest = h;
      file.h = sys::kNoHandle;
      item.Ready = true;
      return after;
    }
    const long n = sys::ReadWithoutWaiting(h, block, kBlock, error);
    if (first && worker) Timed(start);
    if (n == 0) break;
    if (n < 0 || item.Bytes.size() + size_t(n) > kMaxFileBytes) {
      // A read that would wait is the walk's own to wait for; a failing one
      // stops the walk too.
      if (n != sys::kReadWouldWait && n < 0) after = After::Stop;
      std::string().swap(item.Bytes);
      return after;
    }
    item.Bytes.append(block, size_t(n));
  }
  item.Ready = file.Close();
  if (!item.Ready) {
    std::string().swap(item.Bytes);
    after = After::Stop;
  }
  return after;
}

// What is timed is how long the system took to give the first entries of
// a listing or the first block of a file: a wait for the disk shows there,
// while the whole of a large file takes long even from the cache.
void ReadAhead::Timed(int64_t startMicroseconds) {
  if (fetchersStarted_) return;
  if (NowMicroseconds() - startMicroseconds >= kSlowMicroseconds) ++slow_;
  else if (slow_ > 0) --slow_;
  if (slow_ < kSlowToFetch) return;
  // Once: threads the system refuses now it would refuse again.
  fetchersStarted_ = true;
  StartFetchers();
}

}  // namespace ehi
