// One mouse event as the console delivers it.
#pragma once

#include <cstdint>

namespace ehi {

/// The actions of a mouse event. The wheel is no button: a turn of it
/// changes no button and is never a click.
namespace mouse {
/// A button went down.
constexpr uint16_t kDown = 1;
/// A button went up.
constexpr uint16_t kUp = 2;
/// The mouse moved.
constexpr uint16_t kMoved = 4;
/// The wheel turned up (away from the user).
constexpr uint16_t kWheelUp = 8;
/// The wheel turned down.
constexpr uint16_t kWheelDown = 16;
}  // namespace mouse

/// One mouse event: buttons held, 0-based column and row, and the action:
/// 1 a button went down, 2 a button went up, 4 the mouse moved, 8 the wheel
/// turned up (away from the user), 16 down.
struct MouseEvent {
  /// Buttons held: 1 left, 2 right, 4 middle.
  uint16_t Buttons = 0;
  /// 0-based column.
  uint16_t X = 0;
  /// 0-based row.
  uint16_t Y = 0;
  /// 1 a button went down, 2 a button went up, 4 the mouse moved, 8 and 16
  /// the wheel turned up or down.
  uint16_t Action = 0;
};

}  // namespace ehi
