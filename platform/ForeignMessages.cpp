#include "ForeignMessages.h"

#include "WinUser.h"

namespace ui {

bool IsAcceptedForeignMessage(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_NULL:
    case WM_CLOSE:
    case WM_QUIT:
    case WM_COPYDATA:
      return true;
    case WM_SYSCOMMAND: {
      // The low four bits are the system's own, as in default handling.
      const WPARAM command = wParam & 0xFFF0;
      return command == SC_MINIMIZE || command == SC_RESTORE || command == SC_CLOSE;
    }
    default:
      return message >= WM_USER;
  }
}

}  // namespace ui
