// The headless console: an 80 x 25 window in memory with scripted input.
// Screen tests draw on it, read any cell back, and push the keys and mouse
// events a user would produce.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ehi {

/// Replaces whatever console there was by a fresh headless one: 80 x 25,
/// light grey on black, cursor at (1, 1), no pending input, mouse off.
/// `characters`: it shows names in UTF-8 as characters, as a terminal does
/// (otherwise byte for byte, as the glyph table has them).
void UseHeadlessConsole(bool characters = false);

/// The character byte of the cell at a 1-based column and row.
uint8_t ScreenChar(int column, int row);
/// The colour attribute of the cell at a 1-based column and row.
uint8_t ScreenAttr(int column, int row);
/// The characters of a whole row (80 bytes).
std::string ScreenRow(int row);

/// Queues one typed character.
void PushKey(char c);
/// Queues one extended key (read as 0, then `code`).
void PushExtendedKey(uint8_t code);
/// Queues each byte of `text` as a typed character.
void PushKeys(std::string_view text);
/// Reports the mouse's new state: buttons held (1 left, 2 right, 4 middle)
/// and 0-based position; the queue derives the action as the console does.
void PushMouse(uint16_t buttons, uint16_t x, uint16_t y);
/// A left click at a 0-based cell: the button goes down, then up.
void PushClick(uint16_t x, uint16_t y);

// Scripted input in order: each item reaches the program only when it
// looks for input and everything before it has been taken, so a test can
// interleave clicks and keys exactly as a user would.

/// Appends a typed character to the script.
void ScriptKey(char c);
/// Appends an extended key to the script.
void ScriptExtendedKey(uint8_t code);
/// Appends each byte of `text` to the script as a typed character.
void ScriptKeys(std::string_view text);
/// Appends a mouse report (buttons held, 0-based position) to the script.
void ScriptMouse(uint16_t buttons, uint16_t x, uint16_t y);
/// Appends a turn of the wheel (up, or down) at a 0-based cell.
void ScriptWheel(uint16_t x, uint16_t y, bool up);
/// Appends a press and a release of `buttons` at a 0-based cell.
void ScriptClick(uint16_t x, uint16_t y, uint16_t buttons = 1);
/// Appends a checkpoint: `check` runs when the program reaches it (for
/// looking at the screen in the middle of an interaction).
void ScriptCheck(std::function<void()> check);
/// Items of the script not yet delivered.
size_t ScriptLeft();

}  // namespace ehi
