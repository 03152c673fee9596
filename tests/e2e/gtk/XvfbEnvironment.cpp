#include "XvfbEnvironment.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "platform/gtk/GtkBackend.h"

// GLib and Xlib define macros: their headers come last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <glib.h>

namespace {

pid_t g_xvfb = 0;
Display* g_display = nullptr;

class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    g_xvfb = fork();
    if (g_xvfb == 0) {
      close(report[0]);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(report[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24", "-nolisten",
             "tcp", nullptr);
      _exit(127);
    }
    close(report[1]);
    std::string number;
    char c;
    while (read(report[0], &c, 1) == 1 && c != '\n') number += c;
    close(report[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    setenv("DISPLAY", (":" + number).c_str(), 1);
    g_display = XOpenDisplay(nullptr);
    ASSERT_NE(g_display, nullptr);
    ASSERT_TRUE(gtkui::Install());
  }
  void TearDown() override {
    if (g_display) XCloseDisplay(g_display);
    if (g_xvfb > 0) {
      kill(g_xvfb, SIGTERM);
      waitpid(g_xvfb, nullptr, 0);
    }
  }
};

}  // namespace

bool RunLoopUntil(const std::function<bool()>& done, int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

int RunWhileLooping(const std::string& command, std::string* output) {
  auto result = std::async(std::launch::async, [command] {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return std::make_pair(-1, out);
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    const int status = pclose(pipe);
    return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, out);
  });
  RunLoopUntil(
      [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20000);
  auto [status, out] = result.get();
  if (output) *output = out;
  return status;
}

Display* TestDisplay() {
  return g_display;
}

uint32_t ScreenPixel(int x, int y) {
  XImage* image =
      XGetImage(g_display, DefaultRootWindow(g_display), x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xFFFFFFFF;
  const uint32_t pixel = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
  XDestroyImage(image);
  return pixel;
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);
  return RUN_ALL_TESTS();
}
