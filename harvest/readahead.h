// Read-ahead for the walk: one worker thread lists the folders and reads the
// qualifying files that the walk will come to next, in the walk's own order,
// into a bounded queue that the walk takes from. When the tree turns out to
// come from the disk, a warmer runs ahead of the worker. The walk's logic stays on
// the main thread; the worker only makes platform calls that return entries,
// bytes or an error, and opens nothing the walk itself would not open.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "dirsearch.h"
#include "platform.h"
#include "warmer.h"

namespace ehi {

/// What the worker found for one folder or file of the walk, in walk order.
struct ReadAheadItem {
  enum class Kind { Listing, File };
  Kind What = Kind::Listing;
  std::string Path;
  /// False when the worker left it to the walk (an error, a file too large
  /// or not regular, a link it may not follow): the walk does it itself and
  /// meets whatever the worker met, at its own place in the walk.
  bool Ready = false;
  ListedEntries Entries;             // a listing's entries, as listed
  sys::PathFacts Facts;              // what the folder is (to walk it once)
  std::string Bytes;                 // a file's whole content
};

class ReadAhead {
 public:
  /// Bytes of file content held at most, and the largest file read ahead.
  static constexpr size_t kMaxBytes = size_t(8) << 20;
  static constexpr size_t kMaxFileBytes = size_t(256) << 10;
  /// Items held at most.
  static constexpr size_t kMaxItems = 512;
  /// A walk that caught up with the worker waits for this many items at a
  /// time, so that the two threads do not hand over item by item.
  static constexpr size_t kBatch = 32;
  /// A listing whose first entries, or a file whose first block, took this
  /// long came from the disk, not the cache (a cached one takes a few
  /// microseconds, one from a disk tens or more). Each slow operation
  /// counts one up and each fast one one down; at kSlowToWarm the tree is
  /// plainly read from the disk and the warmer helps the worker. A warm
  /// tree's rare slow operation (the thread was put off its core) never
  /// gets the count that far.
  static constexpr int kSlowMicroseconds = 40;
  static constexpr int kSlowToWarm = 16;

  ReadAhead() = default;
  ~ReadAhead() { Stop(); }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  /// Starts the worker on the start folder ("" ) unless read-ahead is off or
  /// the process may open too few files to spare the worker's two.
  void Start();
  /// Stops the worker and drops whatever it read; safe to call twice.
  void Stop();

  /// The next item when it is the listing of `path`, waiting for the worker
  /// if it has not got there yet; null when the walk must list the folder
  /// itself.
  std::unique_ptr<ReadAheadItem> TakeListing(std::string_view path);
  /// The same for the content of the file `path`.
  std::unique_ptr<ReadAheadItem> TakeFile(std::string_view path);
  /// Gives back an item the walk is done with, so that the worker fills it
  /// again instead of asking the heap for a new one (and the walk's thread
  /// does not free what the worker's allocated).
  void Recycle(std::unique_ptr<ReadAheadItem> item);

  /// For tests only: `enabled` false runs every walk without read-ahead;
  /// `headStart` makes Start wait until the worker has gone as far as its
  /// bounds let it, so that it is as far ahead of the walk as it can be.
  static void SetForTesting(bool enabled, bool headStart);
  /// For tests only: the warmer runs from the start, whatever the disk.
  static void SetWarmingForTesting();

 private:
  std::unique_ptr<ReadAheadItem> Take(ReadAheadItem::Kind kind, std::string_view path);
  void Run();
  void WalkFolder(const std::string& path);
  // Reads the file `path` of the listed (and still open) `folder`, or by
  // its path when the folder could not be listed.
  void ReadFile(sys::DirStream* folder, const std::string& path, ReadAheadItem& item);
  // Queues an item, waiting while the queue is full; false once stopped.
  bool Push(std::unique_ptr<ReadAheadItem> item);
  bool Stopping();
  void StopHere();
  // Counts an operation that began at `start` when it was slow, and starts
  // the warmer once the tree is plainly read from the disk.
  void Timed(int64_t startMicroseconds);

  // An item taken for the worker to fill: a recycled one when there is.
  std::unique_ptr<ReadAheadItem> NewItem(ReadAheadItem::Kind kind, const std::string& path);

  static constexpr size_t kBlock = 65536;
  // Recycled items kept at most, and the largest content buffer an item
  // keeps when recycled (larger ones go back to the heap): spare items
  // hold at most a few megabytes.
  static constexpr size_t kMaxSpare = 256;
  static constexpr size_t kMaxSpareBytes = 16384;
  std::unique_ptr<char[]> block_;  // the worker's read buffer
  std::thread worker_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<ReadAheadItem>> queue_;
  // Items given back: collected by the walk (spent_), handed over in
  // batches under the lock (spare_), taken over whole by the worker
  // (stash_) when it runs out, so each side locks once per batch.
  std::vector<std::unique_ptr<ReadAheadItem>> spent_, spare_, stash_;
  size_t bytes_ = 0;
  bool stop_ = false;
  bool done_ = false;     // the worker has walked everything it will
  bool running_ = false;  // a worker was started and not yet stopped
  bool walkWaiting_ = false;    // the walk waits for items
  bool workerWaiting_ = false;  // the worker waits for room
  // The worker's own record of the physical folders it walked, as the walk
  // keeps its own: both skip the same folders.
  std::set<std::pair<uint64_t, uint64_t>> walked_;
  int slow_ = 0;    // slow operations less fast ones, never below 0
  Warmer warmer_;  // started only for a tree read from the disk
};

}  // namespace ehi
