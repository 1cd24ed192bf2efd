// The one budget of everything held ahead of the walk: file contents,
// listings and the names still to come, whether the read-ahead worker or
// the fetchers hold them.
#pragma once

#include <atomic>
#include <cstddef>

namespace ehi {

/// Bytes held ahead of the walk, counted by whoever holds them.
class AheadBudget {
 public:
  /// At most this much is held ahead, beyond the one item that is always
  /// let through (so that a large one cannot stop the walk).
  static constexpr size_t kLimit = size_t(8) << 20;

  /// Whether `more` bytes still fit.
  bool Fits(size_t more) const { return held_.load(std::memory_order_relaxed) + more <= kLimit; }
  void Add(size_t bytes) { held_.fetch_add(bytes, std::memory_order_relaxed); }
  /// Adds `more` bytes when they fit, at once: threads that each check and
  /// then add could together pass the limit.
  bool TryAdd(size_t more) {
    size_t held = held_.load(std::memory_order_relaxed);
    do {
      if (held + more > kLimit) return false;
    } while (!held_.compare_exchange_weak(held, held + more, std::memory_order_relaxed));
    return true;
  }
  void Remove(size_t bytes) { held_.fetch_sub(bytes, std::memory_order_relaxed); }
  size_t Held() const { return held_.load(std::memory_order_relaxed); }

 private:
  std::atomic<size_t> held_{0};
};

}  // namespace ehi
