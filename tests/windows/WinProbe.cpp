// win-probe: another Windows process's view of the launcher's windows, for tests/windows.
//   find CLASS [X,Y;X,Y;...]   the first top-level window of CLASS: handle, process, outer
//                              rectangle, client area's origin on the screen, screen size,
//                              whether its window region equals the polygon (even-odd) given
//   windows PID                the top-level windows of process PID: class, owner, place
//   boxes PID                  caption and text of each message box of process PID (UTF-8)
//   send|post CLASS|0xHANDLE MESSAGE [WPARAM [LPARAM]]
//   copydata CLASS KIND TEXT   WM_COPYDATA with dwData KIND and TEXT's bytes
// Prints one "key=value ..." line per window; status 1 when CLASS has no window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A bound on every send; generous, since a fresh Wine prefix sets up the web control the first
// time a window hosts it.
constexpr UINT kSendTimeoutMs = 30000;

BOOL CALLBACK Collect(HWND hwnd, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

std::string TextOf(HWND hwnd) {
  wchar_t text[1024] = {};
  GetWindowTextW(hwnd, text, 1024);
  return Utf8(text);
}

// "x,y;x,y;..." as a region, or null.
HRGN Polygon(const char* text) {
  std::vector<POINT> points;
  long x = 0, y = 0;
  int used = 0;
  while (std::sscanf(text, "%ld,%ld%n", &x, &y, &used) == 2) {
    points.push_back(POINT{x, y});
    text += used;
    if (*text == ';') ++text;
  }
  return points.size() < 3
             ? nullptr
             : CreatePolygonRgn(points.data(), static_cast<int>(points.size()), ALTERNATE);
}

const char* RegionVerdict(HWND hwnd, const char* polygon) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  const int kind = GetWindowRgn(hwnd, region);
  const char* verdict = "none";
  if (kind != ERROR && kind != NULLREGION) {
    HRGN expected = polygon ? Polygon(polygon) : nullptr;
    verdict = !expected ? "some" : EqualRgn(region, expected) ? "same" : "different";
    if (expected) DeleteObject(expected);
  }
  DeleteObject(region);
  return verdict;
}

// A window named by its handle ("0x...") or by its class.
HWND FindByClass(const char* target) {
  if (std::strncmp(target, "0x", 2) == 0)
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(target, nullptr, 16)));
  return FindWindowA(target, nullptr);
}

int Find(const char* className, const char* polygon) {
  HWND hwnd = FindByClass(className);
  if (!hwnd) return 1;
  RECT rect;
  GetWindowRect(hwnd, &rect);
  POINT client{0, 0};
  ClientToScreen(hwnd, &client);
  const DWORD pid = ProcessOf(hwnd);
  std::printf(
      "window=%p pid=%lu rect=%ld,%ld,%ld,%ld client=%ld,%ld screen=%d,%d visible=%d region=%s\n",
      static_cast<void*>(hwnd), pid, rect.left, rect.top, rect.right, rect.bottom, client.x,
      client.y, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
      IsWindowVisible(hwnd) ? 1 : 0, RegionVerdict(hwnd, polygon));
  return 0;
}

int Windows(DWORD pid) {
  for (HWND hwnd : TopLevelWindows()) {
    if (ProcessOf(hwnd) != pid) continue;
    char className[256] = {};
    GetClassNameA(hwnd, className, sizeof className);
    RECT rect;
    GetWindowRect(hwnd, &rect);
    std::printf("window=%p class=%s owner=%p rect=%ld,%ld,%ld,%ld visible=%d layered=%d\n",
                static_cast<void*>(hwnd), className, static_cast<void*>(GetWindow(hwnd, GW_OWNER)),
                rect.left, rect.top, rect.right, rect.bottom, IsWindowVisible(hwnd) ? 1 : 0,
                (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) ? 1 : 0);
  }
  return 0;
}

int Boxes(DWORD pid) {
  for (HWND hwnd : TopLevelWindows()) {
    char className[64] = {};
    GetClassNameA(hwnd, className, sizeof className);
    if (ProcessOf(hwnd) != pid || std::string(className) != "#32770") continue;
    std::string text;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      GetClassNameA(child, className, sizeof className);
      if (_stricmp(className, "Static") == 0 && !TextOf(child).empty()) text = TextOf(child);
    }
    std::printf("box=%p caption=%s text=%s\n", static_cast<void*>(hwnd), TextOf(hwnd).c_str(),
                text.c_str());
  }
  return 0;
}

int Message(bool send, const char* className, int argc, char** argv) {
  HWND hwnd = FindByClass(className);
  if (!hwnd || argc < 1) return 1;
  const UINT message = static_cast<UINT>(std::strtoul(argv[0], nullptr, 0));
  const WPARAM w = argc > 1 ? std::strtoull(argv[1], nullptr, 0) : 0;
  const LPARAM l = argc > 2 ? std::strtoll(argv[2], nullptr, 0) : 0;
  if (!send) return PostMessageA(hwnd, message, w, l) ? 0 : 2;
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(hwnd, message, w, l, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
    return 2;
  std::printf("result=%llu\n", static_cast<unsigned long long>(result));
  return 0;
}

int CopyData(const char* className, const char* kind, const char* text) {
  HWND hwnd = FindByClass(className);
  if (!hwnd) return 1;
  COPYDATASTRUCT data{std::strtoul(kind, nullptr, 0), static_cast<DWORD>(std::strlen(text)),
                      const_cast<char*>(text)};
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &result))
    return 2;
  std::printf("result=%llu\n", static_cast<unsigned long long>(result));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "find" && argc > 2) return Find(argv[2], argc > 3 ? argv[3] : nullptr);
  if (command == "windows" && argc > 2) return Windows(std::strtoul(argv[2], nullptr, 0));
  if (command == "boxes" && argc > 2) return Boxes(std::strtoul(argv[2], nullptr, 0));
  if ((command == "send" || command == "post") && argc > 3)
    return Message(command == "send", argv[2], argc - 3, argv + 3);
  if (command == "copydata" && argc > 4) return CopyData(argv[2], argv[3], argv[4]);
  std::fprintf(stderr, "usage: win-probe find|windows|boxes|send|post|copydata ...\n");
  return 64;
}
