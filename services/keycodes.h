// Names of the key codes the console delivers: the extended codes (read as
// 0, then the code) of the keys that have a meaning of their own, and the
// control characters that edit a line.
#pragma once

#include <cstdint>

namespace ehi::key {

///@{
/// An extended code (read as 0, then the code), named after its key.
constexpr uint8_t kShiftTab = 15;
constexpr uint8_t kPadEnter = 28;
constexpr uint8_t kPadSlash = 53;
constexpr uint8_t kPadStar = 55;
constexpr uint8_t kF1 = 59;
constexpr uint8_t kHome = 71;
constexpr uint8_t kUp = 72;
constexpr uint8_t kPgUp = 73;
constexpr uint8_t kPadMinus = 74;
constexpr uint8_t kLeft = 75;
constexpr uint8_t kPad5 = 76;
constexpr uint8_t kRight = 77;
constexpr uint8_t kPadPlus = 78;
constexpr uint8_t kEnd = 79;
constexpr uint8_t kDown = 80;
constexpr uint8_t kPgDn = 81;
constexpr uint8_t kIns = 82;
constexpr uint8_t kDel = 83;
constexpr uint8_t kAltEnter = 166;
///@}

///@{
/// A character that edits a line or ends the input, named after its key.
constexpr char kBell = 7;
constexpr char kBackspace = 8;
constexpr char kLineFeed = 10;
constexpr char kCtrlS = 19;
constexpr char kEnter = 13;
constexpr char kCtrlY = 25;
constexpr char kCtrlZ = 26;
constexpr char kEscape = 27;
///@}

}  // namespace ehi::key
