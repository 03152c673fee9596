// The Windows backend: top-level windows are native windows of a window class named as the
// framework class (their handle is the HWND), regions are window regions (SetWindowRgn),
// layered windows are updated with per-pixel alpha, and other processes' messages arrive as
// window messages. Child controls are the framework's own, drawn into the top-level window.
#pragma once

#include "platform/Types.h"

namespace win32ui {

// Installs the backend; the calling thread becomes the UI thread.
bool Install();

// The native window of a top-level window of this process (a child's top-level window's).
win32_HWND NativeOf(HWND hwnd);

}  // namespace win32ui
