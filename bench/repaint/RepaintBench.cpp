// Times hover repaints of the main dialog on the GTK backend: the close button is hovered and
// left in turn, and each time counts from the message to the X server having drawn every window
// it made dirty (the dialog and its layered edges). Updates are processed at once rather than
// at the frame clock's next tick, so the figure is the work, not the wait for a frame.
// Environment: BENCH_ROUNDS (repaints timed, default 200).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <unistd.h>

#include "LauncherDlg.h"
#include "platform/gtk/GtkBackend.h"
#include "update/Log.h"

// GLib defines TRUE and FALSE as macros: toolkit headers come after the framework's.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace {

using Clock = std::chrono::steady_clock;

// Runs the main loop until `done` holds or `seconds` have passed.
template <typename Condition>
bool PumpUntil(Condition done, int seconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
  }
  return true;
}

void Pump(int milliseconds) {
  const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
  PumpUntil([&] { return Clock::now() > end; }, 60);
}

// Draws what is dirty now (a window drawn may dirty another one: the dialog's paint refreshes
// its layered window) and waits for the X server to have done it.
void Flush() {
  for (int i = 0; i < 2; ++i) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gdk_window_process_all_updates();
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
  gdk_display_sync(gdk_display_get_default());
}

// The close button's pixels as the X server has them.
std::vector<unsigned long> ButtonPixels(CLauncherDlg& dlg) {
  RECT rc;
  dlg.m_btnClose.GetWindowRect(&rc);
  dlg.ScreenToClient(&rc);
  Display* display = gdk_x11_get_default_xdisplay();
  XImage* image = XGetImage(display, dlg.m_hWnd, rc.left, rc.top, rc.right - rc.left,
                            rc.bottom - rc.top, AllPlanes, ZPixmap);
  std::vector<unsigned long> pixels;
  if (!image) return pixels;
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) pixels.push_back(XGetPixel(image, x, y));
  XDestroyImage(image);
  return pixels;
}

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main() {
  if (!gtkui::Install()) {
    std::fprintf(stderr, "bench: no display\n");
    return 1;
  }
  const char* rounds = std::getenv("BENCH_ROUNDS");
  const int count = rounds ? std::max(2, std::atoi(rounds)) : 200;
  const std::filesystem::path temp =
      std::filesystem::temp_directory_path() / ("repaint-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(temp);
  SetLogFile((temp / "log.txt").string());

  CWinApp app;
  AppConfig config;
  config.strWorkPath = (temp / "wan_tarn").string() + "/";
  int status = 0;
  {
    CLauncherDlg dlg(config);
    dlg.Create(102, nullptr);
    dlg.ShowWindow(SW_SHOW);
    if (!PumpUntil([&] { return gtk_widget_get_mapped(gtkui::TopLevelWidget(dlg.m_hWnd)); }, 20)) {
      std::fprintf(stderr, "bench: the main dialog was not mapped\n");
      return 1;
    }
    Pump(1000);  // the page's first load and the first paints settle

    // The hover must show: otherwise nothing was measured.
    dlg.m_btnClose.SendMessage(WM_MOUSEHOVER, 0, 0);
    Flush();
    const std::vector<unsigned long> hovered = ButtonPixels(dlg);
    dlg.m_btnClose.SendMessage(WM_MOUSELEAVE, 0, 0);
    Flush();
    if (hovered.empty() || hovered == ButtonPixels(dlg)) {
      std::fprintf(stderr, "bench: the hover did not change the button on the screen\n");
      status = 1;
    }

    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
      const auto start = Clock::now();
      dlg.m_btnClose.SendMessage(i % 2 ? WM_MOUSELEAVE : WM_MOUSEHOVER, 0, 0);
      Flush();
      times.push_back(Milliseconds(Clock::now() - start));
      g_main_context_iteration(nullptr, FALSE);  // anything else that came up, untimed
    }
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (double t : times) sum += t;
    std::printf(
        "bench: hover repaint of the main dialog (%s): median %.2f ms, mean %.2f ms, "
        "90th percentile %.2f ms, max %.2f ms over %d repaints\n",
        gtkui::IsComposited() ? "composited" : "no compositor", times[times.size() / 2],
        sum / times.size(), times[times.size() * 9 / 10], times.back(), count);
    dlg.DestroyWindow();
  }
  SetLogFile("");
  std::filesystem::remove_all(temp);
  return status;
}
