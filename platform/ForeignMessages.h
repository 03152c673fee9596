// Which window messages other processes may hand to this process's windows.
#pragma once

#include "Types.h"

namespace ui {

// Another process's message arrives with parameters that are plain numbers of its choosing,
// while default handling of many system messages takes them as pointers (a picture, a window
// position, a timer callback). Only messages whose parameters are plain values get through:
// WM_COPYDATA (its payload is read by the backend, never from lParam), WM_USER and above,
// WM_NULL, WM_CLOSE, WM_QUIT, and WM_SYSCOMMAND with SC_MINIMIZE, SC_RESTORE or SC_CLOSE.
bool IsAcceptedForeignMessage(UINT message, WPARAM wParam);

}  // namespace ui
