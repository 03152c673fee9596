// The windowed program's entry into the framework on Windows.
#include "Win32Backend.h"
#include "Win32GuiSystem.h"
#include "platform/WinApp.h"

int AfxWinMain(int, char**) {
  if (!win32ui::Install()) {
    OutputDebugStringA("cannot make the message window\n");
    return 1;
  }
  static win32ui::Win32GuiSystem system;
  sys::Install(&system);
  return AfxRunApplication();
}
