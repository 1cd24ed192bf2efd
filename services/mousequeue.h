// The queue of pending mouse events, shared by the input reader (which puts
// events in) and the main thread (which looks at and takes them).
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

#include "inputdecoder.h"
#include "mouseevent.h"

namespace ehi {

/// At most 16 pending events, first in first out, under one lock.
class MouseQueue {
 public:
  /// Pending events at most.
  static constexpr size_t kCapacity = 16;
  /// Records the mouse's new state; queues an event when something changed
  /// and the cell lies on the screen (`onScreen`: a report from past the
  /// screen's edge only keeps the buttons' state). Consecutive moves with
  /// the same buttons merge into the latest one, so moves never crowd a
  /// click out; a 17th pending event is dropped. A turn of the wheel is an
  /// event of its own.
  void Report(const MouseState& s, bool onScreen = true);
  /// Copies the first event without removing it; false when empty.
  bool Peek(MouseEvent& e);
  /// Removes and returns the first event; false when empty.
  bool Take(MouseEvent& e);
  /// Empties the queue and forgets the previous state.
  void Reset();

 private:
  std::mutex lock_;
  std::deque<MouseEvent> events_;
  MouseState previous_;
};

}  // namespace ehi
