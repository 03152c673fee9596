#include "XMessages.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace x11 {
namespace {

// One connection for one call; errors (a window that is gone) are not fatal.
class Connection {
 public:
  Connection() : m_display(XOpenDisplay(nullptr)) {}
  ~Connection() {
    if (m_display) XCloseDisplay(m_display);
  }
  Display* get() const { return m_display; }
  explicit operator bool() const { return m_display != nullptr; }

 private:
  Display* m_display;
};

// Swallows the errors of requests on `display` made by this thread for the scope; XSync reports
// what happened. Xlib has one error handler for the whole process: ours is installed once (after
// GDK's, which it keeps) and never swapped again, so traps on several threads and GDK's own traps
// cannot undo each other. An error that no trap of the failing thread claims for its display goes
// on to the handler that was there before.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : m_display(display), m_outer(t_trap) {
    static std::once_flag installed;
    std::call_once(installed, [] { s_previous = XSetErrorHandler(Dispatch); });
    t_trap = this;
  }
  ~ErrorTrap() { t_trap = m_outer; }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;
  bool Failed() {
    XSync(m_display, False);
    return m_error != Success;
  }

 private:
  static int Dispatch(Display* display, XErrorEvent* event) {
    for (ErrorTrap* trap = t_trap; trap; trap = trap->m_outer) {
      if (trap->m_display != display) continue;
      if (trap->m_error == Success) trap->m_error = event->error_code;
      return 0;
    }
    // Another thread may reach us between the install and the store of the previous handler.
    XErrorHandler previous;
    while (!(previous = s_previous.load())) std::this_thread::yield();
    return previous(display, event);
  }
  Display* m_display;
  ErrorTrap* m_outer;  // a trap further out on this thread
  int m_error = Success;
  static thread_local ErrorTrap* t_trap;
  static std::atomic<XErrorHandler> s_previous;
};
thread_local ErrorTrap* ErrorTrap::t_trap = nullptr;
std::atomic<XErrorHandler> ErrorTrap::s_previous{nullptr};

bool ReadCardinals(Display* d, Window w, const char* name, Atom type,
                   std::vector<unsigned long>* out) {
  Atom actualType;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1 << 16, False, type, &actualType,
                         &format, &count, &after, &data) != Success) {
    return false;
  }
  const bool ok = data && format == 32 && actualType == type;
  if (ok) {
    auto* values = reinterpret_cast<unsigned long*>(data);
    out->assign(values, values + count);
  }
  if (data) XFree(data);
  return ok;
}

// The toolkits' helper windows: never mapped, and either input-only or a client leader of its
// own (the window that only carries session properties for the real ones).
bool IsHelperWindow(Display* d, Window w) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(d, w, &attributes)) return true;
  if (attributes.c_class == InputOnly) return true;
  std::vector<unsigned long> leader;
  if (ReadCardinals(d, w, "WM_CLIENT_LEADER", XA_WINDOW, &leader) && !leader.empty() &&
      leader[0] == w) {
    return true;
  }
  return attributes.override_redirect && attributes.map_state != IsViewable;
}

std::vector<Window> Children(Display* d, Window w) {
  std::vector<Window> result;
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &count)) {
    result.assign(children, children + count);  // bottom to top
    if (children) XFree(children);
  }
  return result;
}

bool HasClass(Display* d, Window w) {
  XClassHint hint{};
  if (!XGetClassHint(d, w, &hint)) return false;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return true;
}

// The program's window inside a window manager's frame (the frame itself carries no class).
Window ClientOf(Display* d, Window w, int depth) {
  if (HasClass(d, w)) return w;
  if (depth == 0) return 0;
  const std::vector<Window> children = Children(d, w);
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (Window client = ClientOf(d, *it, depth - 1)) return client;
  }
  return 0;
}

// The root's children from the top down, frames replaced by the windows they hold. Hidden
// (withdrawn) windows are root children again, so they are found as well.
std::vector<uint32_t> TopLevels(Display* d) {
  std::vector<uint32_t> result;
  ErrorTrap trap(d);
  const std::vector<Window> children = Children(d, DefaultRootWindow(d));
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (IsHelperWindow(d, *it)) continue;
    const Window client = ClientOf(d, *it, 2);
    if (client && !IsHelperWindow(d, client)) result.push_back(static_cast<uint32_t>(client));
  }
  trap.Failed();
  return result;
}

uint32_t NextSerial() {
  static std::atomic<uint32_t> serial{1};
  return serial++;
}

bool SendClientMessage(Display* d, Window target, const char* type, const long (&data)[5]) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = target;
  event.xclient.message_type = XInternAtom(d, type, False);
  event.xclient.format = 32;
  for (int i = 0; i < 5; ++i) event.xclient.data.l[i] = data[i];
  ErrorTrap trap(d);
  XSendEvent(d, target, False, NoEventMask, &event);
  return !trap.Failed();
}

// Waits for the reply with `serial` on `replyWindow`.
bool WaitReply(Display* d, Window replyWindow, uint32_t serial, uint32_t* result) {
  const Atom replyAtom = XInternAtom(d, kReplyAtom, False);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
  while (true) {
    while (XPending(d)) {
      XEvent event;
      XNextEvent(d, &event);
      if (event.type == ClientMessage && event.xclient.window == replyWindow &&
          event.xclient.message_type == replyAtom &&
          static_cast<uint32_t>(event.xclient.data.l[0]) == serial) {
        if (result) *result = static_cast<uint32_t>(event.xclient.data.l[1]);
        return true;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fd{ConnectionNumber(d), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left.count()));
  }
}

Window MakeReplyWindow(Display* d) {
  return XCreateSimpleWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, 0);
}

bool Send(Display* d, uint32_t target, uint32_t message, uint32_t wParam, uint32_t lParam,
          Window replyWindow, uint32_t* result) {
  const uint32_t serial = NextSerial();
  const long data[5] = {static_cast<long>(message), static_cast<long>(wParam),
                        static_cast<long>(lParam), static_cast<long>(replyWindow),
                        static_cast<long>(serial)};
  return SendClientMessage(d, target, kMessageAtom, data) &&
         WaitReply(d, replyWindow, serial, result);
}

}  // namespace

bool WindowExists(uint32_t window) {
  Connection c;
  if (!c || !window) return false;
  ErrorTrap trap(c.get());
  XWindowAttributes attributes;
  const Status ok = XGetWindowAttributes(c.get(), window, &attributes);
  return !trap.Failed() && ok;
}

std::vector<uint32_t> TopLevelWindows() {
  Connection c;
  return c ? TopLevels(c.get()) : std::vector<uint32_t>{};
}

bool WindowPid(uint32_t window, uint32_t* pid) {
  Connection c;
  if (!c) return false;
  ErrorTrap trap(c.get());
  std::vector<unsigned long> values;
  const bool ok =
      ReadCardinals(c.get(), window, "_NET_WM_PID", XA_CARDINAL, &values) && !values.empty();
  if (trap.Failed() || !ok) return false;
  *pid = static_cast<uint32_t>(values[0]);
  return true;
}

uint32_t TransientFor(uint32_t window) {
  Connection c;
  if (!c) return 0;
  ErrorTrap trap(c.get());
  Window owner = 0;
  const Status ok = XGetTransientForHint(c.get(), window, &owner);
  return !trap.Failed() && ok ? static_cast<uint32_t>(owner) : 0;
}

std::string WindowClass(uint32_t window) {
  Connection c;
  if (!c) return "";
  ErrorTrap trap(c.get());
  XClassHint hint{};
  std::string result;
  if (XGetClassHint(c.get(), window, &hint)) {
    if (hint.res_class) result = hint.res_class;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
  }
  trap.Failed();
  return result;
}

uint32_t FindWindowByClass(const std::string& className) {
  for (uint32_t window : TopLevelWindows()) {
    if (WindowClass(window) == className) return window;
  }
  return 0;
}

bool IsIconic(uint32_t window) {
  Connection c;
  if (!c) return false;
  ErrorTrap trap(c.get());
  const Atom wmState = XInternAtom(c.get(), "WM_STATE", False);
  std::vector<unsigned long> state;
  const bool ok = ReadCardinals(c.get(), window, "WM_STATE", wmState, &state) && !state.empty();
  return !trap.Failed() && ok && state[0] == IconicState;
}

bool Activate(uint32_t window) {
  Connection c;
  if (!c) return false;
  Display* d = c.get();
  ErrorTrap trap(d);
  XMapRaised(d, window);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = 2;  // a request from a pager-like program: honoured
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
             &event);
  return !trap.Failed();
}

bool PostMessage(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam) {
  Connection c;
  if (!c) return false;
  const long data[5] = {static_cast<long>(message), static_cast<long>(wParam),
                        static_cast<long>(lParam), 0, static_cast<long>(NextSerial())};
  return SendClientMessage(c.get(), window, kMessageAtom, data);
}

bool SendMessage(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam,
                 uint32_t* result) {
  Connection c;
  if (!c) return false;
  const Window reply = MakeReplyWindow(c.get());
  const bool ok = Send(c.get(), window, message, wParam, lParam, reply, result);
  XDestroyWindow(c.get(), reply);
  return ok;
}

bool SendCopyData(uint32_t window, uint32_t wParam, uint32_t kind, const std::string& payload,
                  uint32_t* result) {
  if (payload.size() > kMaxCopyData) return false;
  Connection c;
  if (!c) return false;
  Display* d = c.get();
  const Window reply = MakeReplyWindow(d);
  const std::string bytes = EncodeCopyData(kind, payload);
  const Atom atom = XInternAtom(d, kCopyDataAtom, False);
  XChangeProperty(d, reply, atom, atom, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<int>(bytes.size()));
  const bool ok = Send(d, window, kCopyDataMessage, wParam, static_cast<uint32_t>(payload.size()),
                       reply, result);
  XDestroyWindow(d, reply);
  return ok;
}

bool DecodeMessage(Display* d, const XEvent& event, Incoming* incoming) {
  return DecodeClientMessage(event, XInternAtom(d, kMessageAtom, False), incoming);
}

bool DecodeClientMessage(const XEvent& event, Atom messageAtom, Incoming* incoming) {
  if (event.type != ClientMessage || event.xclient.format != 32 ||
      event.xclient.message_type != messageAtom) {
    return false;
  }
  // Xlib hands the 32-bit fields over sign-extended: keep the low 32 bits only.
  auto field = [&](int i) { return static_cast<uint32_t>(event.xclient.data.l[i] & 0xFFFFFFFF); };
  *incoming = Incoming{static_cast<uint32_t>(event.xclient.window),
                       field(0),
                       field(1),
                       field(2),
                       field(3),
                       field(4)};
  return true;
}

bool TakeCopyData(Display* d, uint32_t replyWindow, uint32_t* kind, std::string* payload) {
  const Atom atom = XInternAtom(d, kCopyDataAtom, False);
  Atom actualType;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  ErrorTrap trap(d);
  const int status = XGetWindowProperty(d, replyWindow, atom, 0, (kMaxCopyData + 4) / 4 + 1, True,
                                        atom, &actualType, &format, &count, &after, &data);
  const bool failed = trap.Failed();
  const bool ok = !failed && status == Success && data && format == 8 &&
                  DecodeCopyData(data, count, kind, payload);
  if (data) XFree(data);
  return ok;
}

std::string EncodeCopyData(uint32_t kind, const std::string& payload) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((kind >> (8 * i)) & 0xFF);
  return bytes + payload;
}

bool DecodeCopyData(const unsigned char* data, size_t count, uint32_t* kind, std::string* payload) {
  if (count < 4) return false;
  *kind = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
  payload->assign(reinterpret_cast<const char*>(data) + 4, count - 4);
  return true;
}

void SendReply(Display* d, uint32_t replyWindow, uint32_t serial, uint32_t result) {
  const long data[5] = {static_cast<long>(serial), static_cast<long>(result), 0, 0, 0};
  SendClientMessage(d, replyWindow, kReplyAtom, data);
  XFlush(d);
}

}  // namespace x11
