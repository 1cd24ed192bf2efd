// Warming for a walk on a cold disk: a few threads bring the folders and
// qualifying files that the walk will come to next into the system's cache,
// many at a time, so that the walk's own reads, one at a time and in order,
// find them there. They keep nothing but the names still to warm.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dirsearch.h"
#include "platform.h"

namespace ehi {

/// The entries of a listing of the folder `prefix` (ending in "/", "" for
/// the start folder) that the walk goes on with, as the walk tells them
/// apart: qualifying plain files, then subfolders other than "." and "..".
void SplitListing(const std::string& prefix, const ListedEntries& entries,
                  std::vector<std::string>& files, std::vector<std::string>& folders);

/// For the fault build: the n-th item the read-ahead worker makes, and the
/// n-th file or folder the warmers take up, meet an exhausted heap (0:
/// never).
void SetHelperHeapFailuresForTesting(int worker, int warmer);
/// Where a helper thread makes an item (`warmer`: a warmer takes up a file
/// or folder): the heap is exhausted there when the fault build said so.
void HelperAllocates(bool warmer);

class Warmer {
 public:
  /// Threads, each with at most one file or folder open: one more than
  /// the processor's cores, from 2 to 8. Each mostly waits for the disk,
  /// but its system calls take processor time that the walk needs: on two
  /// cores, three threads warmed a cold tree faster than two, four, six,
  /// eight or sixteen.
  static int Threads();
  /// How many folders and files the warmer may be ahead of its reader.
  static constexpr size_t kAhead = 2048;

  Warmer() = default;
  ~Warmer() { Stop(); }
  Warmer(const Warmer&) = delete;
  Warmer& operator=(const Warmer&) = delete;

  /// Starts the threads; a second call does nothing.
  void Start();
  /// Stops the threads; whatever was still to warm is dropped.
  void Stop();
  bool Running() const { return !threads_.empty(); }

  /// The reader has listed the folder `facts` and will read `files`, then
  /// go into `folders`: they are warmed before anything added earlier,
  /// unless the warmer came through that folder itself.
  void Seed(const sys::PathFacts& facts, const std::vector<std::string>& files,
            const std::vector<std::string>& folders);
  /// The reader has gone through one more folder or file.
  void Consumed();

 private:
  struct Job {
    std::string Path;
    bool Folder = false;
  };
  void Run();
  // Takes jobs until stopped.
  void Warm();
  // Lists a folder and puts its qualifying files, then its subfolders, at
  // the front: the walk's own order.
  void WarmFolder(const std::string& path);
  void PushFront(const std::vector<std::string>& files, const std::vector<std::string>& folders);

  std::vector<std::thread> threads_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  std::set<std::pair<uint64_t, uint64_t>> visited_;  // physical folders listed
  size_t warmed_ = 0, consumed_ = 0;
  bool stop_ = false;
};

}  // namespace ehi
