// Helper threads: threads that work ahead of the main thread (reading ahead
// of a walk) and whose failure must never become the run's. On a helper a
// failed allocation, or a stop asked for (Halt, RuntimeError), ends the
// helper's work by an exception instead of ending the run: the shutdown
// runs on the main thread only.
#pragma once

#include <mutex>
#include <thread>
#include <utility>

namespace ehi {

/// Whether the calling thread runs as a helper (inside RunAsHelper).
bool OnHelperThread();

/// What a stop asked for on a helper thread raises instead of ending the
/// run; RunAsHelper catches it.
struct HelperStopped {};

/// While it lives, the calling thread runs as a helper.
class HelperScope {
 public:
  HelperScope();
  ~HelperScope();
  HelperScope(const HelperScope&) = delete;
  HelperScope& operator=(const HelperScope&) = delete;
};

/// Runs `body` on the calling thread as a helper. False when it ended by a
/// failure (memory, a refused thread, a stop) rather than by returning.
template <typename Body>
bool RunAsHelper(Body&& body) noexcept {
  HelperScope scope;
  try {
    body();
    return true;
  } catch (...) {
    return false;
  }
}

/// Starts a thread that runs `body` as a helper. False, with `thread` left
/// as it was, when the system refuses a thread or the memory to start one:
/// the caller then does without.
template <typename Body>
bool StartHelper(std::thread& thread, Body body) {
  return RunAsHelper([&] {
    thread = std::thread([work = std::move(body)]() mutable { RunAsHelper(work); });
  });
}

/// A hold on a mutex shared with helper threads, during which the holder
/// allocates nothing: a failed allocation while others wait for the lock
/// must not be possible. The fault-injection build checks it on every
/// allocation (AllocationForbiddenHere).
class SharedHold {
 public:
  explicit SharedHold(std::mutex& m);
  ~SharedHold();
  SharedHold(const SharedHold&) = delete;
  SharedHold& operator=(const SharedHold&) = delete;
  /// Lets the lock go before the end of the scope.
  void Unlock();
  /// The lock itself, for a condition variable's wait (which lets it go
  /// and takes it again; nothing is allocated meanwhile).
  std::unique_lock<std::mutex>& Lock() { return lock_; }

 private:
  std::unique_lock<std::mutex> lock_;
};

/// Whether the calling thread holds a SharedHold now.
bool AllocationForbiddenHere();

}  // namespace ehi
