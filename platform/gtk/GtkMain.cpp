// The desktop program's entry into the framework.
#include <cstdio>

#include "GtkBackend.h"
#include "GtkSystem.h"
#include "platform/WinApp.h"

int AfxWinMain(int, char**) {
  if (!gtkui::Install()) {
    std::fprintf(stderr, "cannot open the display\n");
    return 1;
  }
  static gtkui::GtkSystem system;
  sys::Install(&system);
  return AfxRunApplication();
}
