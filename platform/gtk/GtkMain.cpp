// The desktop program's entry into the framework.
#include "GtkBackend.h"
#include "GtkSystem.h"
#include "platform/WinApp.h"

int AfxWinMain(int, char**) {
  // The system services come first, so that a program without a display can still log why.
  static gtkui::GtkSystem system;
  sys::Install(&system);
  if (!gtkui::Install()) {
    return AfxFailApplication(
        "cannot open the X display: set DISPLAY to an X server (on a Wayland desktop, "
        "XWayland's)");
  }
  return AfxRunApplication();
}
