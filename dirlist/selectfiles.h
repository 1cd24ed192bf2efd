// The file-selection screen: a mouse-driven chooser over a Directory.
#pragma once

#include <string_view>

#include "directory.h"
#include "mouseevent.h"

namespace ehi {

/// The last mouse event the screen took.
extern MouseEvent LastMouseEvent;
/// Whether the last PollMouse took a press (a button down).
extern bool MouseClicked;
/// Whether the last PollMouse took a turn of the wheel.
extern bool MouseWheeled;

/// Starts the console's mouse reporting.
void StartMouse();
/// Takes at most one waiting mouse event, never waiting; sets MouseClicked
/// and MouseWheeled.
void PollMouse();

/// Lets the user mark entries of `Dir` listed with `Mask`: one entry, or
/// several when `MultiSelect`. Returns on "OK" or any key with the marks in
/// `Dir` (recounted); "Quit Program" ends the program with exit code 1.
void SelectFiles(DirPtr& Dir, std::string_view Mask, std::string_view Heading,
                 bool MultiSelect);

}  // namespace ehi
