// The console: a window of character cells with a colour attribute and a
// cursor, the keyboard (keys and extended keys, edited line input through
// ConsoleInput) and the mouse queue. Text written to ConsoleOutput is drawn
// here. A backend shows the window: the terminal, or the headless console
// of the tests.
#pragma once

#include <cstdint>
#include <string_view>

#include "mouseevent.h"

namespace ehi {

/// The window used for text: 1-based, inclusive; set once at start-up.
struct ConsoleRect {
  ///@{
  /// The edges, in columns and rows.
  int Left = 1, Top = 1, Right = 80, Bottom = 25;
  ///@}
};
/// The console's window.
extern ConsoleRect ConsoleWindow;

/// The colour attribute of everything written and cleared: foreground in
/// bits 0-3, background in bits 4-6, high-intensity background in bit 7.
extern uint8_t TextAttr;

/// Fills the window with blanks in TextAttr; cursor to (1, 1).
void ClearScreen();
/// Moves the cursor to a window position; ignored outside the window.
void GotoXY(int column, int row);
/// TextAttr := (colour AND $8F) OR (TextAttr AND $70).
void SetForeground(int colour);
/// TextAttr := ((colour AND 7) shl 4) OR (TextAttr AND $8F).
void SetBackground(int colour);
/// Cursor column within the window.
int WhereX();
/// Cursor row within the window.
int WhereY();

/// Writes `text` at the cursor in TextAttr with every byte shown as its
/// glyph, control bytes included (for text that comes from data: names,
/// titles, field contents). Without a console window it goes to
/// ConsoleOutput as it is.
void PutGlyphs(std::string_view text);

/// Writes a name (text from data) at the cursor in a zone of at most
/// `columns` columns. On a console that shows characters (a terminal; the
/// Windows console), a name in UTF-8 beyond ASCII is shown as its
/// characters, a wide one in two columns, and when cut ends in "…" (see
/// LayOutText); any other name, and every name elsewhere, is shown byte for
/// byte as by PutGlyphs and cut at `columns` bytes. Returns the columns
/// it took.
int PutName(std::string_view text, int columns);

/// Whether a console window is shown (a terminal, or the headless console).
bool ConsoleAttached();

/// True when a key is waiting; never waits. Without a console window, any
/// input on standard input (its end too) counts as a key. A terminal that
/// hung up ends the program with status 129.
bool KeyPressed();
/// Waits for a key. An extended key gives 0, then its code.
char ReadKey();

/// Waits until a key or a mouse event is pending, or `ms` passed; for
/// screens that poll both.
void WaitForInput(int ms);

/// Starts mouse reporting and the input reader; a second call does nothing.
void EnableMouse();
/// Copies the first pending mouse event; false when there is none.
bool PeekMouseEvent(MouseEvent& e);
/// Removes and returns the first mouse event, waiting for one.
MouseEvent TakeMouseEvent();

/// Draws the screen on the terminal's alternate screen, so that what the
/// terminal showed before comes back when the program ends (also after
/// Ctrl-C); what the program wrote last is then repeated there. For
/// programs that own the whole terminal; call before the first drawing.
void UseAlternateScreen();

/// Gives the terminal back at once, as the program's end does (input left
/// over dropped, mouse reporting off, the alternate screen left): for a
/// program that writes to standard output after its screen. Nothing is
/// drawn after it.
void ReleaseConsole();

/// Brings up the console on the controlling terminal when there is one;
/// part of InitServices.
void InitConsole();

}  // namespace ehi
