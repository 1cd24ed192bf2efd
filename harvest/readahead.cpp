#include "readahead.h"

#include <cstring>

#include "codes.h"
#include "harvest.h"
#include "platform.h"
#include "process.h"

namespace ehi {

namespace {

bool enabledForTesting = true;
bool headStartForTesting = false;

// The read-ahead of the run in progress, stopped by the program's end too
// (a stop or a runtime error ends the walk anywhere).
ReadAhead* active = nullptr;
void StopActive() {
  if (active) active->Stop();
}

// Paths are short strings in the walk: one longer stops the run there.
constexpr size_t kMaxPath = 255;

}  // namespace

void ReadAhead::SetForTesting(bool enabled, bool headStart) {
  enabledForTesting = enabled;
  headStartForTesting = headStart;
}

void ReadAhead::Start() {
  // The workers hold a few descriptors at a time; a process that may open
  // only a few files walks alone, so that the walk never fails for lack of
  // a descriptor a worker holds.
  if (!enabledForTesting || running_ || sys::OpenFileLimit() < 64) return;
  static bool registered = false;
  if (!registered) {
    RegisterFinalisation(StopActive);
    registered = true;
  }
  stop_ = done_ = false;
  running_ = true;
  active = this;
  lister_ = std::thread([this] { Run(); });
  for (int i = 0; i < kReaders; ++i) readers_.emplace_back([this] { ReadLoop(); });
  if (headStartForTesting) {
    // As far ahead as the bounds let the workers go: the lister has walked
    // everything or waits for room, and every read has ended.
    std::unique_lock<std::mutex> hold(lock_);
    walkWaiting_ = true;
    changed_.wait(hold, [this] {
      bool reading = !jobs_.empty();
      for (const auto& item : queue_) reading = reading || item->Pending;
      return stop_ ||
             (!reading && (done_ || queue_.size() >= kMaxItems ||
                           bytes_ + reserved_ + kMaxFileBytes > kMaxBytes));
    });
    walkWaiting_ = false;
  }
}

void ReadAhead::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  jobsChanged_.notify_all();
  if (lister_.joinable()) lister_.join();
  for (std::thread& reader : readers_) reader.join();
  readers_.clear();
  std::lock_guard<std::mutex> hold(lock_);
  jobs_.clear();
  queue_.clear();
  bytes_ = reserved_ = 0;
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
  auto ready = [this] {
    return (!queue_.empty() && !queue_.front()->Pending) || (queue_.empty() && done_) || stop_;
  };
  if (!ready()) {
    walkWaiting_ = true;
    changed_.wait(hold, ready);
    walkWaiting_ = false;
  }
  if (queue_.empty() || queue_.front()->Pending) return nullptr;  // stopped
  if (queue_.front()->What != kind || queue_.front()->Path != path) {
    // The walk and the workers parted (the tree changed under them): the
    // walk goes on alone.
    hold.unlock();
    Stop();
    return nullptr;
  }
  std::unique_ptr<ReadAheadItem> item = std::move(queue_.front());
  queue_.pop_front();
  bytes_ -= item->Bytes.size();
  hold.unlock();
  changed_.notify_all();  // room for the lister
  if (!item->Ready) return nullptr;
  return item;
}

bool ReadAhead::Stopping() {
  std::lock_guard<std::mutex> hold(lock_);
  return stop_;
}

bool ReadAhead::Push(std::unique_ptr<ReadAheadItem> item) {
  std::unique_lock<std::mutex> hold(lock_);
  // A file to read reserves the most it may take until its reader is done.
  const size_t claim = item->Pending ? kMaxFileBytes : 0;
  changed_.wait(hold, [&] {
    return stop_ || queue_.empty() ||
           (queue_.size() < kMaxItems && bytes_ + reserved_ + claim <= kMaxBytes);
  });
  if (stop_) return false;
  reserved_ += claim;
  ReadAheadItem* file = item->Pending ? item.get() : nullptr;
  queue_.push_back(std::move(item));
  if (file) jobs_.push_back({file, {}});
  const bool wake = walkWaiting_;
  hold.unlock();
  if (file) jobsChanged_.notify_one();
  if (wake) changed_.notify_all();
  return true;
}

void ReadAhead::Run() {
  WalkFolder("");
  {
    std::lock_guard<std::mutex> hold(lock_);
    done_ = true;
  }
  changed_.notify_all();
}

// A reader: takes the files the lister queued and reads each whole; the
// item stays in its place in the queue, so the walk gets it in walk order.
void ReadAhead::ReadLoop() {
  auto block = std::make_unique_for_overwrite<char[]>(kBlock);
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> hold(lock_);
      jobsChanged_.wait(hold, [this] { return stop_ || !jobs_.empty(); });
      if (stop_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    if (!job.File) {
      Look(job.Folder);
      continue;
    }
    ReadAheadItem* item = job.File;
    ReadFile(item->Path, *item, block.get());
    {
      std::lock_guard<std::mutex> hold(lock_);
      item->Pending = false;
      reserved_ -= kMaxFileBytes;
      bytes_ += item->Bytes.size();
    }
    changed_.notify_all();
  }
}

// The walk's order: the folder's listing, its qualifying files, then its
// subfolders, each physical folder once. A path the walk could not use
// ends the lister there, as it ends the walk.
void ReadAhead::WalkFolder(const std::string& path) {
  if (Stopping()) return;
  if (path.size() > kMaxPath) {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
    return;
  }
  auto item = std::make_unique<ReadAheadItem>();
  item->What = ReadAheadItem::Kind::Listing;
  item->Path = path;
  // The walk looks at what the folder is before it lists it: the item
  // tells it, also for a folder walked before (then nothing else comes).
  item->Facts = sys::StatPath(path);
  if (item->Facts.Exists && !walked_.emplace(item->Facts.Device, item->Facts.Inode).second) {
    item->Ready = true;
    Push(std::move(item));
    return;
  }
  int error = 0;
  if (sys::DirStream* d = sys::OpenDirStream(path, error)) {
    sys::DirEntry e;
    while (sys::NextDirEntry(d, e, error)) item->Entries.push_back({e.Name, e.Attr, e.Unresolved});
    sys::CloseDirStream(d);
    item->Ready = error == 0;
  }
  // A listing that failed is left to the walk, which meets the same
  // failure: the folder is empty to it, or the run ends there.
  if (!item->Ready) item->Entries.clear();

  const std::string prefix = path.empty() ? std::string() : path + "/";
  std::vector<std::string> files, folders;
  std::vector<Job> looks;
  for (const ListedEntry& e : item->Entries) {
    uint32_t attr = e.Attr;
    if (e.Unresolved) attr |= sys::StatPath(prefix + e.Name).Attr & (kAttrDirectory | kAttrSystem);
    if ((attr & kAttrSearchExcludable) == 0 && HasEHI(e.Name)) files.push_back(prefix + e.Name);
    if ((attr & kAttrDirectory) && e.Name != "." && e.Name != "..") {
      folders.push_back(prefix + e.Name);
      // A real folder (not a link, which may lead to one walked before)
      // is looked at ahead by the readers, all of them at once.
      if (!e.Unresolved) looks.push_back({nullptr, folders.back()});
    }
  }
  if (!Push(std::move(item))) return;
  if (!looks.empty()) {
    {
      // Ahead of the file reads: the lister waits for listings, the walk
      // only for the next file.
      std::lock_guard<std::mutex> hold(lock_);
      for (auto job = looks.rbegin(); job != looks.rend(); ++job) jobs_.push_front(std::move(*job));
    }
    jobsChanged_.notify_all();
  }

  for (const std::string& file : files) {
    if (file.size() > kMaxPath) {
      std::lock_guard<std::mutex> hold(lock_);
      stop_ = true;
      return;
    }
    auto read = std::make_unique<ReadAheadItem>();
    read->What = ReadAheadItem::Kind::File;
    read->Path = file;
    read->Pending = true;  // a reader takes it from here
    if (!Push(std::move(read))) return;
  }
  for (const std::string& folder : folders) {
    WalkFolder(folder);
    if (Stopping()) return;
  }
}

// Lists a folder the lister will come to and drops what it found: the
// lister's own listing then comes from the cache, not the disk.
void ReadAhead::Look(const std::string& folder) {
  if (folder.size() > kMaxPath) return;
  (void)sys::StatPath(folder);
  int error = 0;
  if (sys::DirStream* d = sys::OpenDirStream(folder, error)) {
    sys::DirEntry e;
    while (sys::NextDirEntry(d, e, error)) {
    }
    sys::CloseDirStream(d);
  }
}

// The whole content, under the walk's rules: a table behind a link that
// may not be followed is not opened, only a regular file is read, and
// anything unusual (an error, a file too large to hold) is left to the
// walk.
void ReadAhead::ReadFile(const std::string& path, ReadAheadItem& item, char* block) {
  if (path == TableName && !sys::MayFollowLinks(path)) return;
  int error = 0;
  bool notRegular = false;
  uint64_t size = 0;
  const sys::Handle h = sys::OpenRegularForReading(path, error, notRegular, &size);
  if (h == sys::kNoHandle) return;
  if (size > kMaxFileBytes) {
    sys::CloseHandle(h);
    return;
  }
  item.Bytes.reserve(size_t(size));
  for (;;) {
    const long n = sys::ReadSome(h, block, kBlock, error);
    if (n < 0 || item.Bytes.size() + size_t(n) > kMaxFileBytes) {
      std::string().swap(item.Bytes);
      sys::CloseHandle(h);
      return;
    }
    item.Bytes.append(block, size_t(n));
    // A regular file gives fewer bytes than asked for only at its end.
    if (size_t(n) < kBlock) break;
  }
  item.Ready = sys::CloseHandle(h);
  if (!item.Ready) std::string().swap(item.Bytes);
}

}  // namespace ehi
