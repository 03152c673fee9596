#include "LauncherRig.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "XvfbEnvironment.h"
#include "platform/gtk/XMessages.h"
#include "platform/posix/VersionNote.h"

// Xlib defines macros other headers trip over: it comes last.
#include <X11/Xlib.h>

namespace fs = std::filesystem;

namespace {

// Zombies of the run (detached programs re-parented to the test) are reaped as they appear.
void ReapZombies() {
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

// Parent of each process, from /proc.
std::map<pid_t, pid_t> ParentMap() {
  std::map<pid_t, pid_t> parents;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 2));
    char state;
    pid_t parent;
    if (rest >> state >> parent) parents[std::stoi(name)] = parent;
  }
  return parents;
}

std::set<pid_t> Descendants(const std::set<pid_t>& excluded) {
  const std::map<pid_t, pid_t> parents = ParentMap();
  std::set<pid_t> found{getpid()};
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [pid, parent] : parents) {
      if (found.count(parent) && !found.count(pid) && !excluded.count(pid))
        grew = found.insert(pid).second;
    }
  }
  found.erase(getpid());
  return found;
}

int IgnoreXError(Display*, XErrorEvent*) {
  return 0;
}

std::string Trimmed(std::string line) {
  // "YYMMDD-HHMMSS: " before the entry, one blank after it.
  if (line.size() >= 15 && line[6] == '-' && line[13] == ':') line.erase(0, 15);
  if (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

void AppendUint32(std::string& bytes, uint32_t value) {
  bytes.append(reinterpret_cast<const char*>(&value), 4);
}

std::string VersionNoteBytes(const std::string& version) {
  auto half = [&](int first) {
    return sys::FileVersionField(version.c_str(), first) << 16 |
           sys::FileVersionField(version.c_str(), first + 1);
  };
  std::string bytes;
  AppendUint32(bytes, sizeof sys::kVersionNoteOwner);
  AppendUint32(bytes, 8);
  AppendUint32(bytes, sys::kVersionNoteType);
  bytes.append(sys::kVersionNoteOwner, sizeof sys::kVersionNoteOwner);
  bytes.resize((bytes.size() + 3) & ~size_t{3}, '\0');
  AppendUint32(bytes, half(0));
  AppendUint32(bytes, half(2));
  return bytes;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    ReapZombies();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

bool Alive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

std::vector<std::string> ProcessArgs(pid_t pid) {
  const std::string text = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
  std::vector<std::string> args;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\0', at);
    args.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return args;
}

int RunProgram(const std::vector<std::string>& argv, std::string* output) {
  int out[2];
  if (pipe(out) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  std::string text;
  int status = -1;
  WaitUntil([&] {
    char buffer[256];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
    return waitpid(pid, &status, WNOHANG) == pid;
  });
  if (!WIFEXITED(status) && !WIFSIGNALED(status)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  char buffer[256];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
  close(out[0]);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

::testing::AssertionResult InOrder(const std::vector<std::string>& entries,
                                   const std::vector<std::string>& expected) {
  size_t next = 0;
  for (const std::string& entry : entries) {
    if (next < expected.size() && entry == expected[next]) ++next;
  }
  if (next == expected.size()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "missing or out of order: \"" << expected[next] << "\"";
}

std::string ProcessExe(pid_t pid) {
  std::error_code error;
  return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
}

WindowInfo Info(uint32_t window) {
  Display* display = TestDisplay();
  XSync(display, False);
  auto previous = XSetErrorHandler(IgnoreXError);
  XWindowAttributes attributes;
  WindowInfo info;
  info.exists = window && XGetWindowAttributes(display, window, &attributes);
  if (info.exists) {
    info.viewable = attributes.map_state == IsViewable;
    Window child;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &info.x, &info.y,
                          &child);
    info.width = attributes.width;
    info.height = attributes.height;
  }
  XSync(display, False);
  XSetErrorHandler(previous);
  return info;
}

std::vector<uint32_t> WindowsOf(pid_t pid) {
  std::vector<uint32_t> windows;
  for (uint32_t window : x11::TopLevelWindows()) {
    uint32_t owner = 0;
    if (x11::WindowPid(window, &owner) && owner == static_cast<uint32_t>(pid))
      windows.push_back(window);
  }
  return windows;
}

uint32_t WindowOf(pid_t pid, const std::string& className) {
  for (uint32_t window : WindowsOf(pid)) {
    if (x11::WindowClass(window) == className) return window;
  }
  return 0;
}

void ClickAt(int x, int y) {
  ASSERT_EQ(RunProgram({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y),
                        "click", "1"}),
            0);
}

void ClickWhenShown(int x, int y, uint32_t colour) {
  EXPECT_TRUE(WaitUntil([&] { return ScreenPixel(x, y) == colour; }))
      << "the page is not shown at " << x << "," << y;
  ClickAt(x, y);
}

void LauncherE2E::SetUp() {
  // Programs the launcher detaches become the test's children, so none escapes the clean-up.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  m_before = Descendants({});
  for (const char* folder : {"home/Desktop", "home/.local/share", "home/.config", "home/.cache",
                             "share/applications", "run", "drive", "root", "Downloads", "out"}) {
    fs::create_directories(m_dir / folder);
  }
  fs::permissions(m_dir / "run", fs::perms::owner_all);
  setenv("HOME", (m_dir / "home").c_str(), 1);
  setenv("XDG_DATA_HOME", (m_dir / "home/.local/share").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (m_dir / "home/.config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (m_dir / "home/.cache").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (m_dir / "run").c_str(), 1);
  setenv("XDG_DATA_DIRS", (m_dir / "share:/usr/local/share:/usr/share").c_str(), 1);
  unsetenv("XDG_DESKTOP_DIR");
  setenv("GSETTINGS_BACKEND", "memory", 1);
  setenv("LAUNCHER_FIXED_DRIVES", (m_dir / "drive").c_str(), 1);

  const std::string out = m_dir / "out/demo-server.out";
  Start({DEMO_SERVER, "--root", Root(), "--port", "0", "--telemetry-log", m_dir / "telemetry.log"},
        m_dir.path());
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(out).find('\n') != std::string::npos; }))
      << "demo-server did not start";
  const std::string first = ReadFile(out);
  const std::string prefix = "demo-server: ";
  ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
  m_origin = first.substr(prefix.size(), first.find('\n') - prefix.size());
  if (m_origin.back() == '/') m_origin.pop_back();
  setenv("LAUNCHER_SERVER", m_origin.c_str(), 1);
}

void LauncherE2E::TearDown() {
  // Ended outright: killing a parent hands its children to the test, so look again until none.
  for (int round = 0; round < 10; ++round) {
    const std::set<pid_t> left = Descendants(m_before);
    if (left.empty()) break;
    for (pid_t pid : left) kill(pid, SIGKILL);
    for (pid_t pid : left) waitpid(pid, nullptr, 0);
  }
  if (HasFailure()) {
    std::printf("--- log.txt\n%s--- orca.log\n%s--- telemetry\n%s", LogText().c_str(),
                OrcaLog().c_str(), ReadFile(m_dir / "telemetry.log").c_str());
  }
}

pid_t LauncherE2E::Start(const std::vector<std::string>& argv, const std::string& cwd) {
  const std::string out = m_dir / ("out/" + fs::path(argv[0]).filename().string() + ".out");
  const pid_t pid = fork();
  if (pid == 0) {
    const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(file, 1);
    dup2(file, 2);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (chdir(cwd.c_str()) == 0) execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

void LauncherE2E::PlaceLauncher(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  fs::copy_file(LAUNCHER_EXE, path, fs::copy_options::overwrite_existing);
}

void LauncherE2E::ServeLauncherVersion(const std::string& version) {
  fs::create_directories(Root() + "launcher");
  WriteFile(Root() + "launcher/launcherversion.txt", version + "\r\n");
}

void LauncherE2E::PublishGame(const std::string& orca) {
  fs::create_directories(m_dir / "build/data");
  WriteFile(m_dir / "build/readme.txt", "the game's read-me\n");
  WriteFile(m_dir / "build/data/map.dat", std::string(5000, 'm'));
  ASSERT_EQ(RunProgram({WAN_PUBLISH, "--from", m_dir / "build", "--to", Root(), "--orca", orca}),
            0);
  fs::create_directories(Root() + "mini");
  const std::string link = "app:startgame|e2e_player|e2e_token|9|127.0.0.1|7009|" + m_origin +
                           "/|e2e_platform|e2e_pf|true|zone=9";
  WriteFile(Root() + "mini/zonelist.html",
            "<!DOCTYPE html><html><body style=\"margin:0\"><a href=\"" + link +
                "\" style=\"position:fixed;inset:0;background:#234\">新手村</a></body></html>");
}

std::vector<std::string> LauncherE2E::Log() const {
  std::vector<std::string> lines;
  std::istringstream in(LogText());
  for (std::string line; std::getline(in, line);) lines.push_back(Trimmed(line));
  return lines;
}

bool LauncherE2E::LogHas(const std::string& line) const {
  for (const std::string& entry : Log()) {
    if (entry == line) return true;
  }
  return false;
}

int LauncherE2E::LogCount(const std::string& prefix) const {
  int count = 0;
  for (const std::string& entry : Log()) count += entry.rfind(prefix, 0) == 0;
  return count;
}

std::string LauncherE2E::LogText() const {
  return ReadFile(Work() + "log.txt");
}

std::vector<std::string> LauncherE2E::Telemetry() const {
  std::vector<std::string> events;
  std::istringstream in(ReadFile(m_dir / "telemetry.log"));
  for (std::string line; std::getline(in, line);) {
    const std::string kind = line.substr(0, line.find(' '));
    const std::string key = "\"state\":\"";
    const size_t state = line.find(key);
    events.push_back(state == std::string::npos
                         ? kind
                         : kind + " " +
                               line.substr(state + key.size(), line.find('"', state + key.size()) -
                                                                   state - key.size()));
  }
  return events;
}

bool LauncherE2E::OrcaLogHas(const std::string& line) const {
  return ("\n" + OrcaLog()).find("\n" + line + "\n") != std::string::npos;
}

uint32_t LauncherE2E::WaitForMainDialog(pid_t pid) {
  uint32_t dialog = 0;
  WaitUntil([&] {
    dialog = WindowOf(pid, kMainDialogClass);
    return dialog && Info(dialog).viewable;
  });
  return dialog && Info(dialog).viewable ? dialog : 0;
}

void LauncherE2E::ClickServerLink(uint32_t dialog) {
  const WindowInfo info = Info(dialog);
  ClickWhenShown(info.x + 282 + 320, info.y + 143 + 208, kServerLinkColour);
}

bool PatchVersionNote(const std::string& path, const std::string& from, const std::string& to) {
  std::string bytes = ReadFile(path);
  const std::string old = VersionNoteBytes(from);
  // The debug information may hold the note's bytes too; changing them there does no harm.
  size_t at = bytes.find(old);
  if (at == std::string::npos) return false;
  for (; at != std::string::npos; at = bytes.find(old, at + old.size()))
    bytes.replace(at, old.size(), VersionNoteBytes(to));
  WriteFile(path, bytes);
  return chmod(path.c_str(), 0755) == 0;
}
