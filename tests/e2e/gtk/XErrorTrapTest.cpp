// X error traps on several threads at once: each on its own connection, and the UI thread on
// GDK's, through GDK's traps and the framework's own.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "XvfbEnvironment.h"
#include "platform/gtk/XMessages.h"

// GDK's and Xlib's headers define macros: they come last.
#include <gdk/gdkx.h>

namespace {

int Unused(Display*, XErrorEvent*) {
  return 0;
}

XErrorHandler InstalledHandler() {
  const XErrorHandler installed = XSetErrorHandler(Unused);
  XSetErrorHandler(installed);
  return installed;
}

TEST(XErrorTrapTest, TrapsOnManyThreadsCatchTheirOwnErrorsAndLeaveTheHandlerInPlace) {
  GdkDisplay* gdkDisplay = gdk_display_get_default();
  Display* display = gdk_x11_display_get_xdisplay(gdkDisplay);
  const Window gone = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  XDestroyWindow(display, gone);
  XSync(display, False);

  // A first trap, then the handler every trap must leave behind.
  ASSERT_FALSE(x11::WindowExists(gone));
  const XErrorHandler before = InstalledHandler();

  std::atomic<bool> stop{false};
  std::atomic<int> seen{0}, missed{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      while (!stop) (x11::WindowExists(gone) ? missed : seen)++;
    });
  }
  int gdkMissed = 0, framework = 0;
  for (int i = 0; i < 1500 || seen < 200; ++i) {
    // GDK's trap on its connection: an error there that reaches no trap ends the process.
    gdk_x11_display_error_trap_push(gdkDisplay);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, gone, &attributes);
    if (gdk_x11_display_error_trap_pop(gdkDisplay) != BadWindow) ++gdkMissed;
    uint32_t kind;
    std::string payload;
    if (x11::TakeCopyData(display, gone, &kind, &payload)) ++framework;
  }
  stop = true;
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(gdkMissed, 0);
  EXPECT_EQ(framework, 0);
  EXPECT_EQ(missed, 0);
  EXPECT_EQ(InstalledHandler(), before);
}

}  // namespace
