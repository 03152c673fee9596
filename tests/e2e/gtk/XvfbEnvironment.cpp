#include "XvfbEnvironment.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/gtk/GtkBackend.h"

// GLib and Xlib define macros: their headers come last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <glib.h>

namespace {

pid_t g_xvfb = 0;
Display* g_display = nullptr;

bool Reaped(pid_t pid, int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (waitpid(pid, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A test still running after kTestLimit (a wait on another process or on the web engine that
// never ends) ends the run with its name and every thread's stack, well inside ctest's
// time-out, instead of being killed without a word.
class Watchdog : public ::testing::EmptyTestEventListener {
 public:
  static constexpr auto kTestLimit = std::chrono::seconds(90);

  Watchdog() : m_thread([this] { Watch(); }) {}
  ~Watchdog() override {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
  }
  void OnTestStart(const ::testing::TestInfo& test) override {
    std::lock_guard lock(m_mutex);
    m_test = std::string(test.test_suite_name()) + "." + test.name();
    m_deadline = std::chrono::steady_clock::now() + kTestLimit;
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    std::lock_guard lock(m_mutex);
    m_test.clear();
  }

 private:
  void Watch() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, std::chrono::seconds(1), [this] { return m_stop; })) {
      if (m_test.empty() || std::chrono::steady_clock::now() < m_deadline) continue;
      std::fprintf(stderr, "[  HANG    ] %s still running after %d s\n", m_test.c_str(),
                   static_cast<int>(kTestLimit.count()));
      const std::string stacks = "gdb -p " + std::to_string(getpid()) +
                                 " -batch -ex 'thread apply all bt' 1>&2 2>/dev/null";
      if (std::system(stacks.c_str()) != 0) std::fprintf(stderr, "(no stacks: gdb failed)\n");
      _exit(1);  // Xvfb ends with us (its parent-death signal)
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stop = false;
  std::string m_test;
  std::chrono::steady_clock::time_point m_deadline;
  std::thread m_thread;
};

class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    g_xvfb = fork();
    if (g_xvfb == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // however the tests end (a time-out, a crash)
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
    // Xvfb writes its display number once it listens; one that stays silent fails the run.
    std::string number;
    char c;
    pollfd fd{report[0], POLLIN, 0};
    while (poll(&fd, 1, 20000) == 1 && read(report[0], &c, 1) == 1 && c != '\n') number += c;
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
      if (!Reaped(g_xvfb, 10000)) {
        kill(g_xvfb, SIGKILL);
        waitpid(g_xvfb, nullptr, 0);
      }
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

int RunWhileLooping(const std::string& command, std::string* output, int milliseconds) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);  // the command and whatever it starts: ended together on time-out
    dup2(out[1], 1);
    execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
    _exit(127);
  }
  close(out[1]);
  if (pid < 0) {
    close(out[0]);
    return -1;
  }
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  std::string text;
  int status = 0;
  bool exited = false, closed = false;
  const bool done = RunLoopUntil(
      [&] {
        char buffer[256];
        ssize_t n;
        while ((n = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
        closed = closed || n == 0;
        exited = exited || waitpid(pid, &status, WNOHANG) == pid;
        return exited && closed;
      },
      milliseconds);
  close(out[0]);
  if (!done) {
    kill(-pid, SIGKILL);
    if (!exited) waitpid(pid, &status, 0);
    ADD_FAILURE() << "\"" << command << "\" still running after " << milliseconds << " ms: ended";
    return -1;
  }
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
  ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  return RUN_ALL_TESTS();
}
