// UButtons: mouse-driven text-mode widgets for the console. The widgets
// never read the mouse themselves: the host stores a click's position in
// MouseX and MouseY and asks each widget's detector whether it was hit.
#pragma once

#include "area.h"
#include "button.h"
#include "scrollwindow.h"
