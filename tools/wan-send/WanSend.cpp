// wan-send: speaks the launcher's window messages from another process, for operators and
// tests. The target is a window handle (decimal or 0x hex) or a window class name.
//
//   wan-send (--window ID | --class NAME) --post MESSAGE [WPARAM [LPARAM]]
//   wan-send (--window ID | --class NAME) --send MESSAGE [WPARAM [LPARAM]]   prints the result
//   wan-send (--window ID | --class NAME) --copydata KIND TEXT               prints the result
//   wan-send (--window ID | --class NAME) --copydata-size KIND BYTES         BYTES x "x"
//   wan-send --find NAME           prints the handle of the first window of that class
//   wan-send --list PID            prints "handle owner" per top-level window of the process
//   wan-send --exists ID           exit status 0 when the handle names a window
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gtk/XMessages.h"

namespace {

int Usage() {
  std::fprintf(
      stderr,
      "usage: wan-send (--window ID | --class NAME) --post|--send MESSAGE [WPARAM [LPARAM]]\n"
      "       wan-send (--window ID | --class NAME) --copydata KIND TEXT\n"
      "       wan-send (--window ID | --class NAME) --copydata-size KIND BYTES\n"
      "       wan-send --find NAME | --list PID | --exists ID\n");
  return 2;
}

// Numbers are taken as 32-bit values: negative ones wrap, never widen.
bool Number(const char* text, uint32_t* value) {
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 0);
  if (!*text || *end) return false;
  *value = static_cast<uint32_t>(v & 0xFFFFFFFF);
  return true;
}

void PrintHandle(uint32_t window) {
  std::printf("0x%08x\n", window);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string first = argv[1];
  uint32_t value = 0;
  if (first == "--find") {
    const uint32_t window = x11::FindWindowByClass(argv[2]);
    if (!window) return 1;
    PrintHandle(window);
    return 0;
  }
  if (first == "--list") {
    if (!Number(argv[2], &value)) return Usage();
    for (uint32_t window : x11::TopLevelWindows()) {
      uint32_t pid = 0;
      if (x11::WindowPid(window, &pid) && pid == value)
        std::printf("0x%08x 0x%08x\n", window, x11::TransientFor(window));
    }
    return 0;
  }
  if (first == "--exists") {
    if (!Number(argv[2], &value)) return Usage();
    return x11::WindowExists(value) ? 0 : 1;
  }

  uint32_t target = 0;
  if (first == "--window") {
    if (!Number(argv[2], &target)) return Usage();
  } else if (first == "--class") {
    target = x11::FindWindowByClass(argv[2]);
    if (!target) {
      std::fprintf(stderr, "wan-send: no window of class %s\n", argv[2]);
      return 1;
    }
  } else {
    return Usage();
  }
  if (argc < 5) return Usage();
  const std::string command = argv[3];
  uint32_t message = 0, wParam = 0, lParam = 0, result = 0;
  if (command == "--post" || command == "--send") {
    if (!Number(argv[4], &message) || (argc > 5 && !Number(argv[5], &wParam)) ||
        (argc > 6 && !Number(argv[6], &lParam))) {
      return Usage();
    }
    if (command == "--post") return x11::PostMessage(target, message, wParam, lParam) ? 0 : 1;
    if (!x11::SendMessage(target, message, wParam, lParam, &result)) return 1;
    std::printf("%u\n", result);
    return 0;
  }
  if ((command == "--copydata" || command == "--copydata-size") && argc == 6) {
    uint32_t kind = 0, size = 0;
    if (!Number(argv[4], &kind)) return Usage();
    std::string payload = argv[5];
    if (command == "--copydata-size") {
      if (!Number(argv[5], &size) || size > x11::kMaxCopyData) return Usage();
      payload.assign(size, 'x');
    }
    if (!x11::SendCopyData(target, 0, kind, payload, &result)) return 1;
    std::printf("%u\n", result);
    return 0;
  }
  return Usage();
}
