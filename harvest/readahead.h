// Read-ahead for the walk: one worker thread lists the folders and reads the
// qualifying files that the walk will come to next, in the walk's own order,
// into a bounded queue that the walk takes from. When the tree turns out to
// come from the disk or a share, where each request waits, fetcher threads
// take the requests over, many at once: the worker queues each file as a
// place the fetchers fill, and has the next subfolders listed while it
// works on the one before them. The walk's logic stays on the main thread;
// the helpers only make platform calls that return entries, bytes or an
// error, and follow the walk's rules (walkrules.h) to open nothing the
// walk itself would not open. Whatever befalls a helper thread (no thread,
// no memory, a file that never answers) leaves the walk to go on alone, as
// it would without them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "aheadbudget.h"
#include "dirsearch.h"
#include "platform.h"
#include "walkrules.h"

namespace ehi {

/// What the worker found for one folder or file of the walk, in walk order.
struct ReadAheadItem {
  enum class Kind { Listing, File };
  Kind What = Kind::Listing;
  std::string Path;
  /// False when the worker left it to the walk (an error, a file too large
  /// or not regular, a link it may not follow, a listing too long to
  /// hold): the walk does it itself and meets whatever the worker met, at
  /// its own place in the walk.
  bool Ready = false;
  ListedEntries Entries;             // a listing's entries, as listed
  sys::PathFacts Facts;              // what the folder is (to walk it once)
  std::string Bytes;                 // a file's content, as far as read
  size_t Cost = 0;                   // bytes it holds, counted in the budget
  /// The file itself, still open, when the worker read it as far as the
  /// size it had at its opening: the walk reads on from there (up to the
  /// read that gives nothing, which alone ends a file) and closes it.
  sys::Handle Rest = sys::kNoHandle;
  /// Queued before its content is read: a fetcher fills it, and the walk
  /// waits for that when it comes to it. Changed under the queue's lock.
  bool Pending = false;

  ReadAheadItem() = default;
  ~ReadAheadItem() {
    if (Rest != sys::kNoHandle) sys::CloseHandle(Rest);
  }
  ReadAheadItem(const ReadAheadItem&) = delete;
  ReadAheadItem& operator=(const ReadAheadItem&) = delete;
};

class ReadAhead {
 public:
  /// The largest file read ahead.
  static constexpr size_t kMaxFileBytes = size_t(256) << 10;
  /// Items held at most.
  static constexpr size_t kMaxItems = 512;
  /// A walk that caught up with the worker waits for this many items at a
  /// time, so that the two threads do not hand over item by item; but no
  /// longer than kBatchWaitMicroseconds: then it takes what is there, so it
  /// never waits for items beyond the next one while the worker is held up.
  static constexpr size_t kBatch = 32;
  static constexpr int kBatchWaitMicroseconds = 1000;
  /// Descriptors left to the walk: a listing, a file, and the table's
  /// replacement (a temporary file, the folder, the old table), with room
  /// to spare. Helpers start only on descriptors free beyond these.
  static constexpr long kWalkDescriptors = 8;
  /// The worker's own: the folder it lists and the file it reads in it.
  static constexpr long kWorkerDescriptors = 2;
  /// Fetcher threads at most, each with one file or folder open: as many
  /// requests in flight as a share or a disk's queue rewards.
  static constexpr int kFetchers = 16;
  /// Listings asked of the fetchers ahead of the worker: the next
  /// kListAhead subfolders of each folder it is in, kMaxPrefetch in all.
  static constexpr size_t kListAhead = 8;
  static constexpr size_t kMaxPrefetch = 1024;
  /// A listing whose first entries, or a file whose first block, took this
  /// long came from the disk, not the cache (a cached one takes a few
  /// microseconds, one from a disk tens or more). Each slow operation
  /// counts one up and each fast one one down; at kSlowToFetch the tree is
  /// plainly read from the disk and the fetchers start. A warm
  /// tree's rare slow operation (the thread was put off its core) never
  /// gets the count that far.
  static constexpr int kSlowMicroseconds = 40;
  static constexpr int kSlowToFetch = 16;

  ReadAhead() = default;
  ~ReadAhead() { Stop(); }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  /// Starts the worker on the start folder ("") unless read-ahead is off,
  /// the process may open too few more files to spare the worker's, or the
  /// system gives no thread or memory for it.
  void Start();
  /// Stops the worker and the fetchers, waits for them and drops whatever
  /// they read; safe to call twice. The normal end of a walk.
  void Stop();
  /// Tells the worker and the fetchers to stop, without waiting for them (one
  /// may be held up in a system call), and takes nothing more from them.
  /// A walk that parted from the worker.
  void Abandon();
  /// Abandons the helpers for good and lets them go (detached): the end of
  /// a run that stops, which ends the process without waiting for them.
  void LetGo();

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
  /// bounds let it (or for a second at most, as it may be held up), so that
  /// it is as far ahead of the walk as it can be.
  static void SetForTesting(bool enabled, bool headStart);
  /// For tests only: the fetchers run from the start, whatever the disk.
  static void SetFetchingForTesting();

 private:
  // What the worker does after reading a file: go on, or stop there since
  // the walk stops there too (it meets the same failure).
  enum class After { GoOn, Stop };
  using Item = std::unique_ptr<ReadAheadItem>;
  using FolderStream = std::unique_ptr<sys::DirStream, void (*)(sys::DirStream*)>;

  // A folder listed by a fetcher ahead of the worker. Its state changes
  // under the lock; what it holds belongs to whoever the state names.
  struct Prefetch {
    enum class State {
      Free,     // on the free list
      Queued,   // a job waits for a fetcher
      Running,  // a fetcher lists it
      Done,     // listed: the worker takes it
      Skip,     // the worker claimed it while queued: the fetcher frees it
      Orphan,   // the worker no longer wants it: the fetcher frees it when done
    };
    State state = State::Free;
    std::string Path;
    Item Listing;     // the folder's item, as WalkFolder makes it
    FolderPlan Plan;  // the walk's plan, when Listed
    bool Listed = false;  // the folder was opened and listed (else the worker does it)
    bool Stops = false;   // the walk stops at this folder
    size_t Cost = 0;      // counted in the budget while held
    // Its first subfolders, asked for by the fetcher that listed it (the
    // worker's window when it comes to the folder).
    Prefetch* Children[kListAhead] = {};
    size_t Asked = 0;
  };
  // A fetcher's job: fill a queued file item, or list a folder ahead.
  struct Job {
    ReadAheadItem* File = nullptr;
    Prefetch* Folder = nullptr;
  };
  // How a folder's own listing came out.
  struct Listing {
    FolderStream Stream{nullptr, nullptr};  // the folder, still open when listed
    bool Stops = false;                     // the walk stops there
  };

  Item Take(ReadAheadItem::Kind kind, std::string_view path);
  void Run();
  // The worker has ended, with `ok` false when it gave up (no memory).
  void WorkerDone(bool ok);
  // Walks the folder `path` ahead of the walk, with its listing from
  // `ahead` when a fetcher was asked for it; false once the worker must
  // stop (the walk stops, or it was told to).
  bool WalkFolder(const std::string& path, Prefetch* ahead);
  // Opens the folder of `item` (its Path) and tells what it is (its Facts).
  static FolderStream OpenFolder(ReadAheadItem& item, int& error);
  // Lists the open `folder` (or not, when it could not be opened with
  // `error`) into `item` and `plan`; timed from `start` on the worker's
  // thread (a fetcher gives -1).
  Listing ListFolder(FolderStream folder, int error, int64_t start, ReadAheadItem& item,
                     FolderPlan& plan);
  // Reads the file `path` of the listed (and still open) `folder`, or by
  // its path when the folder could not be listed, with the read buffer
  // `block`. The worker (`reserved` null) times the first read and may
  // leave the file open to the walk; a fetcher reads it whole, once its
  // size fits in the budget (reserved there) or it is the walk's next item.
  After ReadFile(sys::DirStream* folder, const std::string& path, ReadAheadItem& item,
                 char* block, size_t* reserved);

  // The fetchers (readahead_fetch.cpp).
  void StartFetchers();
  void Fetch();
  void FetchFolder(Prefetch& p);
  // Asks a fetcher to list the folder `path`; null when none is free.
  // `worker`: asked by the worker, whose recycled items it may take.
  Prefetch* AskListing(const std::string& path, bool worker);
  // The worker's own listing of `p` once its turn comes: true with it
  // moved into `item`, `plan` and `stops` when a fetcher listed it.
  // The subfolders it asked for go to `children` (kListAhead places),
  // their count to `asked`.
  bool TakePrefetch(Prefetch& p, Item& item, FolderPlan& plan, bool& stops, Prefetch** children,
                    size_t& asked);
  // The worker gives up `p` (not taken, it stops): whoever holds it frees it.
  void DropPrefetch(Prefetch* p);
  // Frees a prefetch its holder is done with.
  void FreePrefetch(Prefetch& p);
  // Waits until `bytes` more fit in the budget or `item` is the walk's next
  // one; false when the read-ahead was abandoned while it waited.
  bool WaitForRoom(const ReadAheadItem& item, size_t bytes);
  // A fetcher filled `item`: the walk may take it.
  void Filled(ReadAheadItem& item, size_t reserved);
  // Queues an item, waiting while there is no room; false once stopped.
  bool Push(Item item);
  bool Stopping();
  // The walk stops where the worker got to: nothing after it is read.
  bool StopHere();
  // Counts an operation that began at `start` when it was slow, and starts
  // the fetchers once the tree is plainly read from the disk.
  void Timed(int64_t startMicroseconds);
  // An item taken for the worker to fill: a recycled one when there is.
  Item NewItem(ReadAheadItem::Kind kind);
  // Drops everything the threads left (after they are gone).
  void Release();

  static constexpr size_t kBlock = 65536;
  // Recycled items kept at most, and the most room an item keeps when
  // recycled (a larger one goes back to the heap): spare items hold at
  // most a few megabytes.
  static constexpr size_t kMaxSpare = 256;
  static constexpr size_t kMaxSpareBytes = 16384;

  AheadBudget budget_;
  std::unique_ptr<char[]> block_;  // the worker's read buffer
  std::thread worker_;
  std::mutex lock_;
  // The worker and the fetchers wait here (for room, for a listing asked
  // ahead); the walk, the only one waiting for items, waits on its own, so
  // that an item filled wakes the walk alone.
  std::condition_variable changed_;
  std::condition_variable walkChanged_;
  // The queue: a ring of kMaxItems places, made before the worker starts,
  // so that nothing is allocated while the lock is held.
  std::unique_ptr<Item[]> ring_;
  size_t head_ = 0, count_ = 0;
  // Items given back: collected by the walk (spent_), handed over in
  // batches under the lock (spare_), taken over whole by the worker
  // (stash_) when it runs out, so each side locks once per batch. Each has
  // room for all it may hold from the start.
  std::vector<Item> spent_, spare_, stash_;
  bool stop_ = false;
  bool done_ = false;       // the worker has walked everything it will
  bool running_ = false;    // a worker was started and not yet stopped
  bool abandoned_ = false;  // the walk takes nothing more
  bool walkWaiting_ = false;    // the walk waits for items
  bool workerWaiting_ = false;  // the worker waits for room
  int fetcherThreads_ = 0;      // descriptors allow this many
  // Files left open for the walk in queued items: at most openRoom_, the
  // descriptors spare beyond the worker's and the fetchers'.
  int openRoom_ = 0;
  std::atomic<int> openQueued_{0};
  // count_ as the worker may look at it without the lock.
  std::atomic<size_t> queued_{0};
  // The worker's own record of the physical folders it walked, as the walk
  // keeps its own: both skip the same folders.
  WalkedFolders walked_;
  // Bytes of the plans of the folders the worker is in (their subfolders
  // still to come), counted in the budget too.
  size_t planBytes_ = 0;
  int slow_ = 0;    // slow operations less fast ones, never below 0
  bool fetchersStarted_ = false;  // asked for, once (the worker's)

  // The fetchers, started only for a tree read from the disk; everything
  // below is made in Start and changed under the lock.
  std::vector<std::thread> fetchers_;
  std::atomic<bool> fetching_{false};  // fetchers run: the worker hands work over
  std::condition_variable jobsChanged_;
  // Places of the queue to fill, in the walk's order: a ring of kMaxItems.
  std::unique_ptr<Job[]> jobs_;
  size_t jobHead_ = 0, jobCount_ = 0;
  // Folders to list, in the order asked: a ring of kMaxPrefetch, taken
  // before the places.
  std::unique_ptr<Prefetch*[]> folderJobs_;
  size_t folderJobHead_ = 0, folderJobCount_ = 0;
  int idleFetchers_ = 0;
  bool letGo_ = false;   // fetchers started from now on are let go at once
  int roomWaiters_ = 0;  // fetchers waiting for room in the budget
  bool prefetchWaited_ = false;  // the worker waits for a prefetch
  bool fileFailed_ = false;      // a fetcher's file failed where the walk stops
  std::unique_ptr<Prefetch[]> prefetch_;
  std::vector<Prefetch*> freePrefetch_;
  // The physical folders the fetchers listed: each once, as the walk does.
  WalkedFolders fetched_;
};

}  // namespace ehi
