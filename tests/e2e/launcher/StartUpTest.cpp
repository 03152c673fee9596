// Start-up of the real launcher: the first install from a download folder, the self-update
// hand-over, a second start while one runs, and developer mode with the main dialog's place and
// shape.
#include <filesystem>
#include <string>
#include <vector>

#include "LauncherRig.h"
#include "XvfbEnvironment.h"
#include "platform/gtk/XMessages.h"

// Xlib defines macros other headers trip over: its headers come last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kRunLauncher = 2030, kClose = 0x0010;

pid_t PidOf(uint32_t window) {
  uint32_t pid = 0;
  return x11::WindowPid(window, &pid) ? static_cast<pid_t>(pid) : 0;
}

// Waits for the one shown main dialog, whichever process shows it.
uint32_t WaitForAnyMainDialog() {
  uint32_t dialog = 0;
  WaitUntil([&] {
    dialog = x11::FindWindowByClass(kMainDialogClass);
    return dialog && Info(dialog).viewable;
  });
  return dialog && Info(dialog).viewable ? dialog : 0;
}

class StartUpTest : public LauncherE2E {};

bool SameFile(const std::string& a, const std::string& b) {
  return fs::exists(a) && fs::exists(b) && ReadFile(a) == ReadFile(b);
}

TEST_F(StartUpTest, AFreshInstallMovesToTheWorkFolderAndLaterStartsThereDirectly) {
  ServeLauncherVersion("1.0.0.1");
  const std::string downloaded = m_dir / "Downloads/Launcher.exe";
  const std::string target = Work() + "Launcher.exe";
  PlaceLauncher(downloaded);
  const pid_t first = Start({downloaded}, m_dir / "Downloads");

  const uint32_t dialog = WaitForAnyMainDialog();
  ASSERT_NE(dialog, 0u) << "no main dialog";
  const pid_t copy = PidOf(dialog);
  ASSERT_TRUE(WaitUntil([&] { return !Alive(first); })) << "the first process did not end";
  EXPECT_NE(copy, first);
  EXPECT_EQ(ProcessExe(copy), target);
  const std::vector<std::string> args = ProcessArgs(copy);
  EXPECT_EQ(std::vector<std::string>(args.begin() + 1, args.end()),
            (std::vector<std::string>{"-killpid", std::to_string(first)}));
  EXPECT_TRUE(SameFile(target, LAUNCHER_EXE));
  EXPECT_TRUE(InOrder(
      Log(), {std::string(100, '-'), "Launcher start ..." + downloaded,
              "check application path " + downloaded + " and " + target,
              "CheckNeedMoveAppLocation copy file to " + target + " successed",
              "CheckNeedMoveAppLocation ShellExecute " + target, std::string(100, '-'),
              "Launcher start ..." + target, "check application path " + target + " and " + target,
              "create shortcut " + target}));
  // The server names the running version: nothing is downloaded.
  EXPECT_EQ(LogCount("download app to"), 0);
  EXPECT_TRUE(fs::exists(m_dir / "home/Desktop/WanVellmark.desktop"));
  EXPECT_TRUE(fs::exists(m_dir / "share/applications/WanVellmark.desktop"));
  // The desktop shows the launcher's picture and ties the running dialog to the entry by the
  // class its window really has.
  const std::string entry = ReadFile(m_dir / "home/Desktop/WanVellmark.desktop");
  EXPECT_NE(entry.find("\nIcon=" + Work() + "Launcher.png\n"), std::string::npos) << entry;
  EXPECT_TRUE(fs::exists(Work() + "Launcher.png"));
  EXPECT_NE(entry.find("\nStartupWMClass=" + x11::WindowClass(dialog) + "\n"), std::string::npos)
      << entry;
  // Only the copy that went on reported its start.
  ASSERT_TRUE(WaitUntil([&] { return Telemetry().size() >= 3; })) << "no startup event";
  EXPECT_EQ(Telemetry(),
            (std::vector<std::string>{"event wd_start", "event wd_server_list", "startup"}));

  // Closed, the launcher ends; started again from the work folder it shows its dialog at once.
  ASSERT_TRUE(x11::PostMessage(dialog, kClose, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return !Alive(copy); })) << "closing did not end the launcher";
  EXPECT_TRUE(LogHas("Exit ..."));
  const pid_t again = Start({target}, Work());
  const uint32_t second = WaitForMainDialog(again);
  ASSERT_NE(second, 0u);
  EXPECT_EQ(LogCount("CheckNeedMoveAppLocation copy file"), 1);
  EXPECT_EQ(LogCount("create shortcut " + target), 2);

  // Without a game, 2030 brings the main dialog forward.
  uint32_t result = 1;
  ASSERT_TRUE(x11::SendMessage(second, kRunLauncher, 0, 0, &result));
  EXPECT_EQ(result, 0u);
  EXPECT_TRUE(WaitUntil([&] { return LogHas("run launcher, open main dialog"); }));
  EXPECT_TRUE(Info(second).viewable);
}

TEST_F(StartUpTest, ASelfUpdateHandsOverTwiceAndEndsWithTheNewVersionInPlace) {
  const std::string update = Root() + "launcher/Launcher.exe.1.0.0.2";
  ServeLauncherVersion("1.0.0.2");
  fs::copy_file(LAUNCHER_EXE, update);
  ASSERT_TRUE(PatchVersionNote(update, "1.0.0.1", "1.0.0.2"));
  const std::string target = Work() + "Launcher.exe";
  const std::string downloaded = Work() + "Launcher_1.0.0.2.exe";
  PlaceLauncher(target);
  const pid_t old = Start({target}, Work());

  const uint32_t dialog = WaitForAnyMainDialog();
  ASSERT_NE(dialog, 0u) << "no main dialog at the end of the hand-over";
  const pid_t current = PidOf(dialog);
  EXPECT_TRUE(WaitUntil([&] { return !Alive(old); }));
  EXPECT_EQ(ProcessExe(current), target);
  EXPECT_EQ(ProcessArgs(current).at(1), "-killpid");
  EXPECT_TRUE(SameFile(downloaded, update));
  EXPECT_TRUE(SameFile(target, update)) << "Launcher.exe is not the new version";
  EXPECT_TRUE(
      InOrder(Log(), {"Launcher start ..." + target, "download app to " + downloaded + " successed",
                      "TryUpgradeApp run " + downloaded, "Launcher start ..." + downloaded,
                      "CheckNeedMoveAppLocation copy file to " + target + " successed",
                      "Launcher start ..." + target, "create shortcut " + target}));
  // The chain has ended: the new version found itself current, one launcher runs.
  EXPECT_EQ(LogCount("download app to"), 1);
  EXPECT_EQ(LogCount("Launcher start ..."), 3);
  EXPECT_TRUE(Alive(current));
}

// A player starts the download again while the launcher runs: the second launcher asks the
// running one forward and ends, with no dialog of its own and without moving itself over the
// running "Launcher.exe".
TEST_F(StartUpTest, ASecondStartBringsTheRunningLauncherForwardAndEnds) {
  ServeLauncherVersion("1.0.0.1");
  const std::string target = Work() + "Launcher.exe";
  PlaceLauncher(target);
  const pid_t first = Start({target}, Work());
  const uint32_t dialog = WaitForMainDialog(first);
  ASSERT_NE(dialog, 0u);

  const std::string downloaded = m_dir / "Downloads/Launcher.exe";
  PlaceLauncher(downloaded);
  const pid_t second = Start({downloaded}, m_dir / "Downloads");
  ASSERT_TRUE(WaitUntil([&] { return !Alive(second); }, 20)) << "the second launcher runs on";
  EXPECT_TRUE(WaitUntil([&] { return LogHas("run launcher, open main dialog"); }));
  EXPECT_TRUE(InOrder(Log(), {"Launcher start ..." + downloaded,
                              "launcher already running (window " + std::to_string(dialog) +
                                  "), bring it to top"}));
  EXPECT_EQ(LogCount("check application path"), 1) << "the second launcher went on to relocate";
  int dialogs = 0;
  for (uint32_t window : x11::TopLevelWindows())
    dialogs += x11::WindowClass(window) == kMainDialogClass;
  EXPECT_EQ(dialogs, 1);
  EXPECT_TRUE(Alive(first));
  EXPECT_TRUE(Info(dialog).viewable);
}

TEST_F(StartUpTest, DevModeShowsTheShapedDialogWhereItWasStarted) {
  const std::string downloaded = m_dir / "Downloads/Launcher.exe";
  PlaceLauncher(downloaded);
  const pid_t pid = Start({downloaded, "dev=1"}, m_dir / "Downloads");
  const uint32_t dialog = WaitForMainDialog(pid);
  ASSERT_NE(dialog, 0u);
  EXPECT_FALSE(fs::exists(Work() + "Launcher.exe"));
  EXPECT_EQ(LogCount("check application path"), 0);
  EXPECT_EQ(LogCount("download file"), 0) << "dev mode asked for a launcher update";
  EXPECT_FALSE(fs::exists(Work() + "launcherversion.txt"));

  Display* display = TestDisplay();
  const int screenWidth = DisplayWidth(display, DefaultScreen(display));
  const int screenHeight = DisplayHeight(display, DefaultScreen(display));
  const WindowInfo info = Info(dialog);
  EXPECT_EQ(info.x, (screenWidth - 980) / 2);
  EXPECT_EQ(info.y, (screenHeight - 650) / 3);
  EXPECT_EQ(info.width, 980);
  EXPECT_EQ(info.height, 650);

  // The shape may reach the server a moment after the window maps.
  int count = 0, ordering = 0;
  XRectangle* rectangles = nullptr;
  auto area = [&] {
    if (rectangles) XFree(rectangles);
    rectangles = XShapeGetRectangles(display, dialog, ShapeBounding, &count, &ordering);
    long sum = 0;
    for (int i = 0; i < count; ++i) sum += long{rectangles[i].width} * rectangles[i].height;
    return sum;
  };
  EXPECT_TRUE(WaitUntil([&] { return area() < 980 * 650; })) << "the dialog is not shaped";
  ASSERT_NE(rectangles, nullptr);
  auto inside = [&](int x, int y) {
    for (int i = 0; i < count; ++i) {
      const XRectangle& r = rectangles[i];
      if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height) return true;
    }
    return false;
  };
  // Near each corner of the outline (157,75) (938,75) (955,108) (940,141) (938,592) (139,594)
  // (36,316), once inside and once outside.
  const std::vector<std::pair<int, int>> in{{490, 325}, {160, 78},  {935, 78},  {950, 108},
                                            {936, 145}, {935, 588}, {142, 590}, {42, 316}};
  const std::vector<std::pair<int, int>> out{{5, 5},     {150, 72},  {945, 78},  {962, 108},
                                             {945, 145}, {945, 592}, {975, 645}, {120, 600},
                                             {30, 316},  {100, 150}, {490, 70},  {490, 600}};
  for (auto [x, y] : in) EXPECT_TRUE(inside(x, y)) << x << "," << y;
  for (auto [x, y] : out) EXPECT_FALSE(inside(x, y)) << x << "," << y;
  XFree(rectangles);
}

}  // namespace
