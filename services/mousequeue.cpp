#include "mousequeue.h"

namespace ehi {

void MouseQueue::Report(const MouseState& s, bool onScreen) {
  std::lock_guard<std::mutex> hold(lock_);
  uint16_t action = 0;
  if (s.Wheel != 0) {
    action = s.Wheel < 0 ? mouse::kWheelUp : mouse::kWheelDown;
  } else if (s.Buttons != previous_.Buttons) {
    action = (s.Buttons & previous_.Buttons) == previous_.Buttons ? mouse::kDown : mouse::kUp;
  } else if (s.X != previous_.X || s.Y != previous_.Y) {
    action = mouse::kMoved;
  }
  previous_ = s;
  previous_.Wheel = 0;
  if (action == 0 || !onScreen) return;
  MouseEvent e{s.Buttons, s.X, s.Y, action};
  if (action == mouse::kMoved && !events_.empty() && events_.back().Action == mouse::kMoved &&
      events_.back().Buttons == s.Buttons) {
    events_.back() = e;
    return;
  }
  if (events_.size() < kCapacity) events_.push_back(e);
}

bool MouseQueue::Peek(MouseEvent& e) {
  std::lock_guard<std::mutex> hold(lock_);
  if (events_.empty()) return false;
  e = events_.front();
  return true;
}

bool MouseQueue::Take(MouseEvent& e) {
  std::lock_guard<std::mutex> hold(lock_);
  if (events_.empty()) return false;
  e = events_.front();
  events_.pop_front();
  return true;
}

void MouseQueue::Reset() {
  std::lock_guard<std::mutex> hold(lock_);
  events_.clear();
  previous_ = MouseState();
}

}  // namespace ehi
