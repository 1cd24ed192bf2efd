// Read-ahead for the walk: a lister thread lists the folders that the walk
// will come to next, in the walk's own order, and a few reader threads read
// the qualifying files of those folders, several at once (a disk serves
// several requests faster than one after the other), into a bounded queue
// that the walk takes from in walk order. The walk's logic stays on the main
// thread; the workers only make platform calls that return entries, bytes or
// an error, and open nothing the walk itself would not open.
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

namespace ehi {

/// What the worker found for one folder or file of the walk, in walk order.
struct ReadAheadItem {
  enum class Kind { Listing, File };
  Kind What = Kind::Listing;
  std::string Path;
  /// False when the workers left it to the walk (an error, a file too
  /// large or not regular, a link it may not follow): the walk does it
  /// itself and meets whatever they met, at its own place in the walk.
  bool Ready = false;
  /// A reader is still at it.
  bool Pending = false;
  std::vector<ListedEntry> Entries;  // a listing's entries, as listed
  sys::PathFacts Facts;              // what the folder is (to walk it once)
  std::string Bytes;                 // a file's whole content
};

class ReadAhead {
 public:
  /// Bytes of file content held at most, and the largest file read ahead.
  static constexpr size_t kMaxBytes = size_t(16) << 20;
  static constexpr size_t kMaxFileBytes = size_t(1) << 20;
  /// Items held at most.
  static constexpr size_t kMaxItems = 512;
  /// File reads in flight at most: the reader threads.
  static constexpr int kReaders = 16;

  ReadAhead() = default;
  ~ReadAhead() { Stop(); }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  /// Starts the workers on the start folder ("") unless read-ahead is off
  /// or the process may open too few files to spare the workers' few.
  void Start();
  /// Stops the workers and drops whatever they read; safe to call twice.
  void Stop();

  /// The next item when it is the listing of `path`, waiting for the worker
  /// if it has not got there yet; null when the walk must list the folder
  /// itself.
  std::unique_ptr<ReadAheadItem> TakeListing(std::string_view path);
  /// The same for the content of the file `path`.
  std::unique_ptr<ReadAheadItem> TakeFile(std::string_view path);

  /// For tests only: `enabled` false runs every walk without read-ahead;
  /// `headStart` makes Start wait until the worker has gone as far as its
  /// bounds let it, so that it is as far ahead of the walk as it can be.
  static void SetForTesting(bool enabled, bool headStart);

 private:
  std::unique_ptr<ReadAheadItem> Take(ReadAheadItem::Kind kind, std::string_view path);
  void Run();
  void ReadLoop();
  static void Look(const std::string& folder);
  void WalkFolder(const std::string& path);
  static void ReadFile(const std::string& path, ReadAheadItem& item, char* block);
  // Queues an item, waiting while the queue is full; false once stopped.
  bool Push(std::unique_ptr<ReadAheadItem> item);
  bool Stopping();

  static constexpr size_t kBlock = 65536;
  std::thread lister_;
  std::vector<std::thread> readers_;
  // Work for the readers: a file to read into its item, or a folder to look
  // at (listed, results dropped) so that its listing comes from the cache
  // when the lister gets there.
  struct Job {
    ReadAheadItem* File = nullptr;
    std::string Folder;
  };
  std::deque<Job> jobs_;  // queued, not yet taken by a reader
  std::condition_variable jobsChanged_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<ReadAheadItem>> queue_;
  size_t bytes_ = 0;     // content read and held
  size_t reserved_ = 0;  // claimed by the reads in flight
  bool stop_ = false;
  bool done_ = false;     // the lister has walked everything it will
  bool running_ = false;  // a worker was started and not yet stopped
  bool walkWaiting_ = false;    // the walk waits for an item
  // The lister's own record of the physical folders it walked, as the walk
  // keeps its own: both skip the same folders.
  std::set<std::pair<uint64_t, uint64_t>> walked_;
};

}  // namespace ehi
