// Warming for a walk on a cold disk: a few threads bring the folders and
// qualifying files that the walk will come to next into the system's cache,
// many at a time, so that the walk's own reads, one at a time and in order,
// find them there. They keep nothing but the names still to warm, counted
// in the budget of what is held ahead of the walk.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "aheadbudget.h"
#include "platform.h"
#include "walkrules.h"

namespace ehi {

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

  explicit Warmer(AheadBudget& budget) : budget_(budget) {}
  ~Warmer() { Stop(); }
  Warmer(const Warmer&) = delete;
  Warmer& operator=(const Warmer&) = delete;

  /// Makes a stopped warmer ready to start again (before its reader runs).
  void Reset();
  /// Starts up to `threads` threads, as many as the system gives; a second
  /// call does nothing. Called by the reader.
  void Start(int threads);
  /// Stops the threads and waits for them; whatever was still to warm is
  /// dropped. Called once the reader is gone.
  void Stop();
  /// Tells the threads to stop, without waiting for any of them (one may be
  /// held up in a system call).
  void Abandon();
  /// Abandons the threads for good, as the process ends: they are let go
  /// (detached), and one started later is let go at once.
  void LetGo();
  /// Whether threads were started (the reader asks).
  bool Running() const { return !threads_.empty(); }
  /// Whether a thread gave up for lack of memory or threads.
  bool Failed() const { return failed_.load(); }

  /// The reader has listed the folder `facts` and, as `plan` has it, will
  /// read its files, then go into its folders: they are warmed before
  /// anything added earlier, unless the warmer came through that folder
  /// itself.
  void Seed(const sys::PathFacts& facts, const FolderPlan& plan);
  /// The reader has gone through one more folder or file.
  void Consumed();

 private:
  struct Job {
    std::string Path;
    bool Folder = false;
    size_t Cost = 0;  // bytes it holds, counted in the budget
  };
  void Run();
  // Lists a folder and puts its qualifying files, then its subfolders, at
  // the front: the walk's own order.
  void WarmFolder(const std::string& path);
  // The jobs of a plan, counted in the budget.
  std::list<Job> JobsOf(const FolderPlan& plan);
  // Puts `fresh` at the front (after marking the folder `mark` visited,
  // when given); when the walk stops after them, drops everything behind.
  // Jobs that do not fit the budget are dropped from the back.
  void Queue(std::list<Job>& fresh, bool stops, WalkedFolders::Mark* mark);
  // The walk stops where the warmer got to: nothing more is warmed.
  void StopQueueing();

  AheadBudget& budget_;
  std::vector<std::thread> threads_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::list<Job> jobs_;    // in the walk's order: the next one first
  WalkedFolders visited_;  // physical folders listed or seeded
  size_t warmed_ = 0, consumed_ = 0;
  bool stop_ = false;
  bool letGo_ = false;
  bool stopped_ = false;  // the walk stops before the jobs that would come
  std::atomic<bool> failed_{false};
};

}  // namespace ehi
