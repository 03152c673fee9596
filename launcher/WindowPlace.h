// Where the launcher's windows open on the desktop.
#pragma once

#include "platform/Types.h"

// The top-left corner of a window of that size: centred across the primary monitor, a third of
// the way down it (the dialogs sit high, not centred vertically). The monitor's corner counts:
// on Windows it is (0, 0), on an X11 desktop a monitor beside or above it can come first.
POINT PlaceOnPrimaryMonitor(int width, int height);
