#include "readahead.h"

#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

#include "codes.h"
#include "harvest.h"
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
bool warmingForTesting = false;

// The read-ahead of the run in progress, stopped by the program's end too
// (a stop or a runtime error ends the walk anywhere).
ReadAhead* active = nullptr;
void StopActive() {
  if (active) active->Stop();
}

}  // namespace

void ReadAhead::SetForTesting(bool enabled, bool headStart) {
  enabledForTesting = enabled;
  headStartForTesting = headStart;
}

void ReadAhead::SetWarmingForTesting() { warmingForTesting = true; }

void ReadAhead::Start() {
  // The worker holds up to two descriptors at a time; a process that may
  // open only a few files walks alone, so that the walk never fails for
  // lack of a descriptor the worker holds.
  if (!enabledForTesting || running_ || sys::OpenFileLimit() < 64) return;
  static bool registered = false;
  if (!registered) {
    RegisterFinalisation(StopActive);
    registered = true;
  }
  stop_ = done_ = false;
  slow_ = warmingForTesting ? kSlowToWarm : 0;
  running_ = true;
  active = this;
  try {
    worker_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to spare (the user is at the process limit): the walk
    // does all the work itself.
    running_ = false;
    active = nullptr;
    return;
  }
  if (headStartForTesting) {
    std::unique_lock<std::mutex> hold(lock_);
    walkWaiting_ = true;
    changed_.wait(hold, [this] { return done_ || workerWaiting_ || stop_; });
    walkWaiting_ = false;
  }
}

void ReadAhead::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
  // The worker starts the warmer: it is stopped once the worker is gone.
  warmer_.Stop();
  std::lock_guard<std::mutex> hold(lock_);
  queue_.clear();
  spent_.clear();
  spare_.clear();
  stash_.clear();
  bytes_ = 0;
  running_ = false;
  if (active == this) active = nullptr;
}

std::unique_ptr<ReadAheadItem> ReadAhead::TakeListing(std::string_view path) {
  return Take(ReadAheadItem::Kind::Listing, path);
}

std::unique_ptr<ReadAheadItem> ReadAhead::TakeFile(std::string_view path) {
  return Take(ReadAheadItem::Kind::File, path);
}

std::unique_ptr<ReadAheadItem> ReadAhead::Take(ReadAheadItem::Kind kind, std::string_view path) {
  std::unique_lock<std::mutex> hold(lock_);
  if (!running_) return nullptr;
  if (queue_.empty()) {
    walkWaiting_ = true;
    changed_.wait(hold, [this] {
      return queue_.size() >= kBatch || workerWaiting_ || done_ || stop_;
    });
    walkWaiting_ = false;
  }
  if (queue_.empty()) return nullptr;
  if (queue_.front()->What != kind || queue_.front()->Path != path) {
    // The walk and the worker parted (the tree changed under them): the
    // walk goes on alone.
    hold.unlock();
    Stop();
    return nullptr;
  }
  std::unique_ptr<ReadAheadItem> item = std::move(queue_.front());
  queue_.pop_front();
  bytes_ -= item->Bytes.size();
  const bool wake = workerWaiting_;
  hold.unlock();
  if (wake) changed_.notify_all();
  if (!item->Ready) {
    // Left to the walk: the item goes back to the worker all the same.
    Recycle(std::move(item));
    return nullptr;
  }
  return item;
}

void ReadAhead::Recycle(std::unique_ptr<ReadAheadItem> item) {
  if (!item) return;
  item->Path.clear();
  if (item->Bytes.capacity() > kMaxSpareBytes) std::string().swap(item->Bytes);
  else item->Bytes.clear();
  item->Entries.Clear();
  item->Facts = sys::PathFacts();
  item->Ready = false;
  spent_.push_back(std::move(item));
  if (spent_.size() < kBatch) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (auto& spent : spent_)
      if (spare_.size() < kMaxSpare) spare_.push_back(std::move(spent));
  }
  spent_.clear();
}

std::unique_ptr<ReadAheadItem> ReadAhead::NewItem(ReadAheadItem::Kind kind,
                                                  const std::string& path) {
  if (stash_.empty()) {
    std::lock_guard<std::mutex> hold(lock_);
    stash_.swap(spare_);
  }
  HelperAllocates(false);
  std::unique_ptr<ReadAheadItem> item;
  if (stash_.empty()) {
    item = std::make_unique<ReadAheadItem>();
  } else {
    item = std::move(stash_.back());
    stash_.pop_back();
  }
  item->What = kind;
  item->Path = path;
  return item;
}

// The walk stops where the worker got to (a path it cannot use): nothing
// after it is read.
void ReadAhead::StopHere() {
  std::lock_guard<std::mutex> hold(lock_);
  stop_ = true;
}

bool ReadAhead::Stopping() {
  std::lock_guard<std::mutex> hold(lock_);
  return stop_;
}

bool ReadAhead::Push(std::unique_ptr<ReadAheadItem> item) {
  std::unique_lock<std::mutex> hold(lock_);
  const size_t size = item->Bytes.size();
  auto room = [&] {
    return stop_ || queue_.empty() || (queue_.size() < kMaxItems && bytes_ + size <= kMaxBytes);
  };
  if (!room()) {
    workerWaiting_ = true;
    if (walkWaiting_) changed_.notify_all();
    changed_.wait(hold, room);
    workerWaiting_ = false;
  }
  if (stop_) return false;
  if (warmer_.Running()) warmer_.Consumed();
  bytes_ += size;
  queue_.push_back(std::move(item));
  // The walk is woken only for a batch (or for what is in when the worker
  // must wait or ends): handing over item by item costs more than it saves.
  const bool wake = walkWaiting_ && queue_.size() >= kBatch;
  hold.unlock();
  if (wake) changed_.notify_all();
  return true;
}

void ReadAhead::Run() {
  HelperThreadHeapThrows();
  try {
    WalkFolder("");
  } catch (const std::bad_alloc&) {
    // The heap ran out here: the walk does the rest itself, and meets the
    // shortage at its own place in the walk if it lasts.
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    done_ = true;
  }
  changed_.notify_all();
}

// The walk's order: the folder's listing, its qualifying files, then its
// subfolders, each physical folder once. A path the walk could not use
// ends the worker there, as it ends the walk.
void ReadAhead::WalkFolder(const std::string& path) {
  if (Stopping()) return;
  if (path.size() > MaxPathLength) return StopHere();
  std::unique_ptr<ReadAheadItem> item = NewItem(ReadAheadItem::Kind::Listing, path);
  int error = 0;
  const int64_t start = NowMicroseconds();
  // The folder stays open while its files are read (they are opened in it,
  // not by their whole paths): the worker's second descriptor.
  std::unique_ptr<sys::DirStream, void (*)(sys::DirStream*)> folder(
      sys::OpenDirStream(path, error), sys::CloseDirStream);
  // The walk looks at what the folder is before it lists it: the item
  // tells it, also for a folder walked before (then nothing else comes).
  // An open folder is asked itself, without looking its path up again.
  item->Facts = folder ? sys::StatInDirStream(folder.get(), ".") : sys::StatPath(path);
  if (item->Facts.Exists && !walked_.emplace(item->Facts.Device, item->Facts.Inode).second) {
    item->Ready = true;
    Push(std::move(item));
    return;
  }
  if (folder) {
    sys::DirEntry e;
    bool first = true;
    while (sys::NextDirEntry(folder.get(), e, error)) {
      if (first) Timed(start);
      first = false;
      item->Entries.Add(e.Name, e.Attr, e.Unresolved);
    }
    item->Ready = error == 0;
  }
  // A listing that failed is left to the walk, which meets the same
  // failure: the folder is empty to it, or the run ends there.
  if (!item->Ready) item->Entries.Clear();

  std::vector<std::string> files, folders;
  SplitListing(path.empty() ? std::string() : path + "/", item->Entries, files, folders);
  if (warmer_.Running()) warmer_.Seed(item->Facts, files, folders);
  if (!Push(std::move(item))) return;

  for (const std::string& file : files) {
    if (file.size() > MaxPathLength) return StopHere();
    std::unique_ptr<ReadAheadItem> read = NewItem(ReadAheadItem::Kind::File, file);
    ReadFile(folder.get(), file, *read);
    if (!Push(std::move(read))) return;
  }
  folder.reset();
  for (const std::string& sub : folders) {
    WalkFolder(sub);
    if (Stopping()) return;
  }
}

// The whole content, under the walk's rules: a table behind a link that
// may not be followed is not opened, only a regular file is read, and
// anything unusual (an error, a file too large to hold) is left to the
// walk.
void ReadAhead::ReadFile(sys::DirStream* folder, const std::string& path, ReadAheadItem& item) {
  if (path == TableName && !sys::MayFollowLinks(path)) return;
  int error = 0;
  bool notRegular = false;
  const int64_t start = NowMicroseconds();
  uint64_t size = 0;
  const sys::Handle h = folder ? sys::OpenRegularInDirStream(folder, path, error, notRegular, &size)
                               : sys::OpenRegularForReading(path, error, notRegular, &size);
  if (h == sys::kNoHandle) return;
  // A file too large to hold is not read at all: the walk reads it through
  // its own buffer, and would otherwise wait for bytes read in vain. (The
  // size is only a hint: a file that grows is still cut off below.)
  if (size > kMaxFileBytes) {
    Timed(start);
    sys::CloseHandle(h);
    return;
  }
  item.Bytes.reserve(size_t(size));
  // One block buffer for the whole walk: the item keeps only the bytes.
  if (!block_) block_ = std::make_unique_for_overwrite<char[]>(kBlock);
  for (bool first = true;; first = false) {
    const long n = sys::ReadSome(h, block_.get(), kBlock, error);
    if (first) Timed(start);
    if (n < 0 || item.Bytes.size() + size_t(n) > kMaxFileBytes) {
      std::string().swap(item.Bytes);
      sys::CloseHandle(h);
      return;
    }
    item.Bytes.append(block_.get(), size_t(n));
    // A regular file gives fewer bytes than asked for only at its end.
    if (size_t(n) < kBlock) break;
  }
  item.Ready = sys::CloseHandle(h);
  if (!item.Ready) std::string().swap(item.Bytes);
}

// What is timed is how long the system took to give the first entries of
// a listing or the first block of a file: a wait for the disk shows there,
// while the whole of a large file takes long even from the cache.
void ReadAhead::Timed(int64_t startMicroseconds) {
  if (warmer_.Running()) return;
  if (NowMicroseconds() - startMicroseconds >= kSlowMicroseconds) ++slow_;
  else if (slow_ > 0) --slow_;
  if (slow_ >= kSlowToWarm) warmer_.Start();
}

}  // namespace ehi
