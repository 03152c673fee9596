#include "Win32Backend.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/Backend.h"
#include "platform/ForeignMessages.h"
#include "platform/WinApp.h"
#include "platform/WindowTable.h"
#include "platform/Wnd.h"
#include "platform/win32/Win32System.h"

namespace win32ui {
namespace {

// Messages of the backend's own message-only window, which runs the framework's queue and
// timers. Being window messages, they also run inside the system's modal loops (a message box,
// a window being moved).
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT kTimerMessage = WM_APP + 2;
// The framework's waits on another process are bounded; so is a send to one.
constexpr UINT kSendTimeoutMs = 5000;

win32_HWND Native(HWND hwnd) {
  return reinterpret_cast<win32_HWND>(hwnd);
}
HWND Handle(win32_HWND hwnd) {
  return reinterpret_cast<HWND>(hwnd);
}

HINSTANCE Instance() {
  return GetModuleHandleA(nullptr);
}

// A 32-bit top-down DIB header for a surface's pixels (premultiplied BGRA in memory).
BITMAPINFO HeaderFor(const Surface& s) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = s.width;
  info.bmiHeader.biHeight = -s.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// A native icon from a framework picture (icons take straight, not premultiplied, alpha).
win32_HICON MakeIcon(const Surface& picture) {
  if (picture.width <= 0 || picture.height <= 0) return nullptr;
  BITMAPINFO info = HeaderFor(picture);
  void* bits = nullptr;
  HBITMAP colour = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!colour) return nullptr;
  auto* out = static_cast<uint32_t*>(bits);
  for (size_t i = 0; i < picture.pixels.size(); ++i) out[i] = Surface::Straight(picture.pixels[i]);
  HBITMAP mask = CreateBitmap(picture.width, picture.height, 1, 1, nullptr);
  ICONINFO icon{TRUE, 0, 0, mask, colour};
  win32_HICON result = CreateIconIndirect(&icon);
  DeleteObject(mask);
  DeleteObject(colour);
  return result;
}

struct NativeWindow {
  win32_HWND hwnd = nullptr;
  WNDPROC baseProc = DefWindowProcA;  // a system class's own procedure, for default handling
  bool trackingLeave = false;
  win32_HICON icons[2] = {nullptr, nullptr};  // small, big: destroyed with the window
};

NativeWindow* NativeOfRecord(ui::WindowRecord& r) {
  return static_cast<NativeWindow*>(r.native);
}

// A framework timer: a timer-queue timer whose callback (on a pool thread) posts a message to
// the pump window; at most one such message is waiting at a time.
struct Timer {
  win32_HWND pump = nullptr;
  UINT_PTR id = 0;
  HANDLE handle = nullptr;
  std::atomic<bool> pending{false};
  std::function<void()> tick;
};

void CALLBACK OnTimerDue(void* context, BOOLEAN) {
  auto* timer = static_cast<Timer*>(context);
  if (!timer->pending.exchange(true)) PostMessageA(timer->pump, kTimerMessage, timer->id, 0);
}

win32_LRESULT CALLBACK WindowProc(win32_HWND, UINT, win32_WPARAM, win32_LPARAM);
win32_LRESULT CALLBACK PumpProc(win32_HWND, UINT, win32_WPARAM, win32_LPARAM);

BOOL CALLBACK CollectWindow(win32_HWND hwnd, win32_LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(Handle(hwnd));
  return TRUE;
}

class Win32Backend : public ui::Backend {
 public:
  bool Start();

  HWND CreateTopLevel(ui::WindowRecord& r) override;
  void DestroyTopLevel(ui::WindowRecord& r) override;
  void Sync(ui::WindowRecord& r, unsigned what) override;
  // The native window hosting a view's control follows the view's place and visibility.
  void SyncChild(ui::WindowRecord& r) override {
    auto* host = static_cast<win32_HWND>(r.hostedWidget);
    if (!host) return;
    const POINT offset = ui::OffsetInTopLevel(r.hwnd);
    SetWindowPos(host, nullptr, offset.x, offset.y, std::max(1, r.Width()), std::max(1, r.Height()),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(host, ui::IsShown(&r) ? SW_SHOWNA : SW_HIDE);
  }
  void DestroyChild(ui::WindowRecord& r) override {
    if (r.hostedWidget) DestroyWindow(static_cast<win32_HWND>(r.hostedWidget));
    r.hostedWidget = nullptr;
  }
  void QueueRedraw(ui::WindowRecord& r, const RECT& area) override {
    const win32_RECT rc{area.left, area.top, area.right, area.bottom};
    if (NativeWindow* n = NativeOfRecord(r)) InvalidateRect(n->hwnd, &rc, FALSE);
  }
  void UpdateLayered(ui::WindowRecord& r) override;
  // The system's own move loop, as a press on a caption starts it.
  void BeginMoveDrag(ui::WindowRecord& r) override {
    if (NativeWindow* n = NativeOfRecord(r))
      PostMessageA(n->hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
  }
  // The system's primary monitor is the one that holds the desktop's origin.
  RECT PrimaryMonitor() override {
    win32_MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoA(MonitorFromPoint(win32_POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    return RECT{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right,
                info.rcMonitor.bottom};
  }
  // The shell groups the taskbar buttons and pins of this process under this id.
  void SetApplicationId(const std::string& id) override { sys::SetAppUserModelId(id); }
  void WakeUp() override {
    if (!m_wakePending.exchange(true)) PostMessageA(m_pump, kWakeMessage, 0, 0);
  }
  void RunLoop() override;
  void QuitLoop() override {
    m_quit = true;
    PostMessageA(m_pump, WM_NULL, 0, 0);  // GetMessage returns and the loop sees the flag
  }
  UINT_PTR StartTimer(UINT milliseconds, std::function<void()> tick) override;
  void StopTimer(UINT_PTR id) override;

  bool IsForeignWindow(HWND hwnd) override { return IsWindow(Native(hwnd)) != 0; }
  bool PostForeign(HWND hwnd, UINT message, WPARAM w, LPARAM l) override {
    return PostMessageA(Native(hwnd), message, w, l) != 0;
  }
  bool SendForeign(HWND hwnd, UINT message, WPARAM w, LPARAM l, LRESULT* result) override {
    win32_ULONG_PTR answer = 0;
    const bool sent = SendMessageTimeoutA(Native(hwnd), message, w, l, SMTO_ABORTIFHUNG,
                                          kSendTimeoutMs, &answer) != 0;
    *result = static_cast<LRESULT>(answer);
    return sent;
  }
  bool SendCopyData(HWND hwnd, HWND from, const COPYDATASTRUCT& data, LRESULT* result) override {
    win32_COPYDATASTRUCT native{data.dwData, data.cbData, data.lpData};
    return SendForeign(hwnd, WM_COPYDATA, from, reinterpret_cast<LPARAM>(&native), result);
  }
  bool ListTopLevel(std::vector<HWND>& out) override {
    return EnumWindows(CollectWindow, reinterpret_cast<win32_LPARAM>(&out)) != 0;
  }
  bool ForeignProcessId(HWND hwnd, DWORD* pid) override {
    win32_DWORD process = 0;
    if (!GetWindowThreadProcessId(Native(hwnd), &process)) return false;
    *pid = process;
    return true;
  }
  HWND ForeignOwner(HWND hwnd) override { return Handle(GetWindow(Native(hwnd), GW_OWNER)); }
  bool ForeignIsIconic(HWND hwnd) override { return IsIconic(Native(hwnd)) != 0; }
  bool ActivateForeign(HWND hwnd) override {
    if (!IsWindow(Native(hwnd))) return false;
    if (IsIconic(Native(hwnd))) ShowWindow(Native(hwnd), SW_RESTORE);
    return SetForegroundWindow(Native(hwnd)) != 0;
  }
  std::string ForeignClass(HWND hwnd) override {
    char name[256] = {};
    return GetClassNameA(Native(hwnd), name, sizeof name) > 0 ? name : "";
  }
  // The system knows when a process first waits in its message loop.
  DWORD WaitForInputIdle(const sys::Process& process, DWORD milliseconds) override {
    return ::WaitForInputIdle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process.handle)),
                              milliseconds);
  }

  // The default handling of a native window's message: its class's procedure.
  WNDPROC BaseProcOf(win32_HWND hwnd) const {
    ui::WindowRecord* r = ui::FindRecord(Handle(hwnd));
    if (r && r->native) return static_cast<NativeWindow*>(r->native)->baseProc;
    return m_dying && m_dying->hwnd == hwnd ? m_dying->baseProc : DefWindowProcA;
  }
  void RunTimer(UINT_PTR id);
  void Drain() {
    m_wakePending = false;
    ui::DispatchPending();
  }

 private:
  bool RegisterClassNamed(const std::string& name);
  void ApplyIcons(ui::WindowRecord& r);

  win32_HWND m_pump = nullptr;
  std::atomic<bool> m_wakePending{false};
  bool m_quit = false;
  std::set<std::string> m_classes;
  NativeWindow* m_dying = nullptr;  // the window being destroyed

  std::map<UINT_PTR, std::unique_ptr<Timer>> m_timers;
  UINT_PTR m_nextTimer = 1;
};

Win32Backend* g_backend = nullptr;

bool Win32Backend::Start() {
  WNDCLASSEXA pump{};
  pump.cbSize = sizeof pump;
  pump.lpfnWndProc = PumpProc;
  pump.hInstance = Instance();
  pump.lpszClassName = "LauncherMessagePump";
  if (!RegisterClassExA(&pump)) return false;
  m_pump = CreateWindowExA(0, pump.lpszClassName, "", 0, 0, 0, 0, 0,
                           reinterpret_cast<win32_HWND>(-3) /* message-only */, nullptr, Instance(),
                           nullptr);
  return m_pump != nullptr;
}

// One window class per framework class, registered when its first window is made: other
// processes find windows by these names. The system's own classes ("#32770", "Static", ...) are
// never registered again under their names: a class of this program would take their place in
// every window of the process, message boxes and the web control's included.
bool Win32Backend::RegisterClassNamed(const std::string& name) {
  if (m_classes.count(name)) return true;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExA(nullptr, name.c_str(), &wc)) return true;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = name.c_str();
  if (!RegisterClassExA(&wc)) return false;
  m_classes.insert(name);
  return true;
}

HWND Win32Backend::CreateTopLevel(ui::WindowRecord& r) {
  if (!RegisterClassNamed(r.className)) return 0;
  // The low word is the class's own styles (a dialog's DS_*), which a plain class has none of;
  // a window without a caption is a pop-up, else the system would give it one.
  DWORD style = r.style & ~(WS_VISIBLE | WS_CHILD | WS_MINIMIZE) & 0xFFFF0000u;
  if ((style & WS_CAPTION) != WS_CAPTION) style |= WS_POPUP;
  style |= WS_CLIPCHILDREN;  // a hosted control keeps its pixels when the window paints
  DWORD exStyle = r.exStyle;
  // A layered window only shows pictures: presses go to the window beneath.
  if (r.IsLayered()) exStyle |= WS_EX_TRANSPARENT | WS_EX_NOACTIVATE;
  ui::WindowRecord* owner = ui::FindRecord(r.owner);
  win32_HWND hwnd = CreateWindowExA(exStyle, r.className.c_str(), r.text.c_str(), style,
                                    r.rect.left, r.rect.top, r.Width(), r.Height(),
                                    owner && owner->native ? NativeOfRecord(*owner)->hwnd : nullptr,
                                    nullptr, Instance(), nullptr);
  if (!hwnd) return 0;
  auto* n = new NativeWindow;
  n->hwnd = hwnd;
  // A window of a system class is subclassed: its messages come here first, and what the
  // framework leaves goes to the class's own procedure.
  if (!m_classes.count(r.className))
    n->baseProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
  r.native = n;
  return Handle(hwnd);
}

void Win32Backend::DestroyTopLevel(ui::WindowRecord& r) {
  NativeWindow* n = NativeOfRecord(r);
  if (!n) return;
  // The native window's last messages find no record and go to the class's own procedure.
  r.native = nullptr;
  m_dying = n;
  DestroyWindow(n->hwnd);
  m_dying = nullptr;
  for (win32_HICON icon : n->icons)
    if (icon) DestroyIcon(icon);
  delete n;
}

void Win32Backend::ApplyIcons(ui::WindowRecord& r) {
  NativeWindow* n = NativeOfRecord(r);
  const HICON pictures[2] = {r.iconSmall ? r.iconSmall : r.iconBig,
                             r.iconBig ? r.iconBig : r.iconSmall};
  for (int which : {ICON_SMALL, ICON_BIG}) {
    win32_HICON icon = pictures[which] ? MakeIcon(pictures[which]->picture) : nullptr;
    SendMessageA(n->hwnd, WM_SETICON, which, reinterpret_cast<win32_LPARAM>(icon));
    if (n->icons[which]) DestroyIcon(n->icons[which]);
    n->icons[which] = icon;
  }
}

void Win32Backend::Sync(ui::WindowRecord& r, unsigned what) {
  NativeWindow* n = NativeOfRecord(r);
  if (!n) return;
  win32_HWND hwnd = n->hwnd;
  constexpr UINT kKeep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  if (what & ui::kSyncGeometry)
    SetWindowPos(hwnd, nullptr, r.rect.left, r.rect.top, r.Width(), r.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  if (what & ui::kSyncTitle) SetWindowTextA(hwnd, r.text.c_str());
  if (what & ui::kSyncOwner) {
    ui::WindowRecord* owner = ui::FindRecord(r.owner);
    win32_HWND native = owner && owner->native ? NativeOfRecord(*owner)->hwnd : nullptr;
    SetWindowLongPtrA(hwnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(native));
  }
  if (what & ui::kSyncTopmost)
    SetWindowPos(hwnd, reinterpret_cast<win32_HWND>(r.topmost ? -1 : -2), 0, 0, 0, 0, kKeep);
  if (what & ui::kSyncIcon) ApplyIcons(r);
  if (what & ui::kSyncRegion) {
    // The system owns the region it is given: it gets a copy.
    win32_HRGN region = nullptr;
    if (r.region) {
      region = CreateRectRgn(0, 0, 0, 0);
      CombineRgn(region, static_cast<win32_HRGN>(r.region->Native()), nullptr, RGN_COPY);
    }
    if (!SetWindowRgn(hwnd, region, TRUE) && region) DeleteObject(region);
  }
  if (what & (ui::kSyncVisibility | ui::kSyncIconic)) {
    if (!r.IsVisible()) {
      ShowWindow(hwnd, SW_HIDE);
    } else if (r.iconic) {
      ShowWindow(hwnd, SW_SHOWMINNOACTIVE);
    } else {
      ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : r.IsLayered() ? SW_SHOWNA : SW_SHOW);
      // A dialog made to take the foreground asks for it whenever it appears.
      if (r.style & DS_SETFOREGROUND) SetForegroundWindow(hwnd);
    }
  }
  if (what & ui::kSyncRaise) SetWindowPos(hwnd, nullptr /* top */, 0, 0, 0, 0, kKeep);
  if (what & ui::kSyncFocus) SetForegroundWindow(hwnd);
}

void Win32Backend::UpdateLayered(ui::WindowRecord& r) {
  NativeWindow* n = NativeOfRecord(r);
  const Surface& pixels = r.layered;
  if (!n || pixels.width <= 0 || pixels.height <= 0) return;
  BITMAPINFO info = HeaderFor(pixels);
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section) return;
  std::memcpy(bits, pixels.pixels.data(), pixels.pixels.size() * 4);
  win32_HDC screen = GetDC(nullptr);
  win32_HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ previous = SelectObject(memory, section);
  win32_POINT place{r.rect.left, r.rect.top}, origin{0, 0};
  win32_SIZE size{pixels.width, pixels.height};
  win32_BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(n->hwnd, screen, &place, &size, memory, &origin, 0, &blend, ULW_ALPHA);
  SelectObject(memory, previous);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  DeleteObject(section);
}

void Win32Backend::RunLoop() {
  m_quit = false;
  WakeUp();  // whatever was queued before the loop
  win32_MSG msg;
  while (!m_quit) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // WM_QUIT reached the thread's queue (another process may post it to a window): the
      // framework's queue decides when the loop ends.
      if (msg.hwnd)
        ::PostMessage(Handle(msg.hwnd), WM_QUIT, msg.wParam, msg.lParam);
      else
        ::PostQuitMessage(static_cast<int>(msg.wParam));
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

UINT_PTR Win32Backend::StartTimer(UINT milliseconds, std::function<void()> tick) {
  auto timer = std::make_unique<Timer>();
  timer->pump = m_pump;
  timer->id = m_nextTimer++;
  timer->tick = std::move(tick);
  if (!CreateTimerQueueTimer(&timer->handle, nullptr, OnTimerDue, timer.get(), milliseconds,
                             milliseconds, WT_EXECUTEDEFAULT))
    return 0;
  const UINT_PTR id = timer->id;
  m_timers[id] = std::move(timer);
  return id;
}

void Win32Backend::StopTimer(UINT_PTR id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return;
  // Waits for a callback that is running (it only posts), so none touches the timer after.
  DeleteTimerQueueTimer(nullptr, it->second->handle, INVALID_HANDLE_VALUE);
  m_timers.erase(it);
}

void Win32Backend::RunTimer(UINT_PTR id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return;  // stopped after its message was posted
  it->second->pending = false;
  std::function<void()> tick = it->second->tick;  // the tick may stop its own timer
  tick();
}

win32_LRESULT CALLBACK PumpProc(win32_HWND hwnd, UINT message, win32_WPARAM w, win32_LPARAM l) {
  if (message == kWakeMessage && g_backend) {
    g_backend->Drain();
    return 0;
  }
  if (message == kTimerMessage && g_backend) {
    g_backend->RunTimer(w);
    return 0;
  }
  return DefWindowProcA(hwnd, message, w, l);
}

// The window's outer rectangle as the framework keeps it (not while minimised: the system
// parks minimised windows far off the screen).
void NoteNativeGeometry(win32_HWND hwnd) {
  if (IsIconic(hwnd)) return;
  win32_RECT outer;
  if (!GetWindowRect(hwnd, &outer)) return;
  ui::NoteGeometry(Handle(hwnd), outer.left, outer.top, outer.right - outer.left,
                   outer.bottom - outer.top);
}

void Paint(win32_HWND hwnd, ui::WindowRecord& record) {
  PAINTSTRUCT paint;
  if (!record.IsLayered()) ui::PaintTopLevel(Handle(hwnd));
  win32_HDC dc = BeginPaint(hwnd, &paint);
  ui::WindowRecord* r = ui::FindRecord(Handle(hwnd));  // painting may have destroyed it
  if (r && !r->IsLayered() && r->backing.width > 0) {
    const Surface& s = r->backing;
    BITMAPINFO info = HeaderFor(s);
    SetDIBitsToDevice(dc, 0, 0, s.width, s.height, 0, 0, 0, s.height, s.pixels.data(), &info,
                      DIB_RGB_COLORS);
  }
  EndPaint(hwnd, &paint);
}

// Messages from the system and from other processes, handed to the framework.
win32_LRESULT CALLBACK WindowProc(win32_HWND hwnd, UINT message, win32_WPARAM w, win32_LPARAM l) {
  const HWND handle = Handle(hwnd);
  ui::WindowRecord* r = ui::FindRecord(handle);
  const WNDPROC base = g_backend->BaseProcOf(hwnd);
  if (!r || !r->native) return CallWindowProcA(base, hwnd, message, w, l);
  auto* n = NativeOfRecord(*r);
  const int x = static_cast<int16_t>(LOWORD(l)), y = static_cast<int16_t>(HIWORD(l));
  switch (message) {
    case WM_PAINT:
      Paint(hwnd, *r);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case WM_WINDOWPOSCHANGED:
      NoteNativeGeometry(hwnd);
      break;
    case WM_SIZE:
      if (w == SIZE_MINIMIZED || w == SIZE_RESTORED) ui::NoteIconic(handle, w == SIZE_MINIMIZED);
      return 0;
    case WM_MOUSEMOVE:
      if (!n->trackingLeave) {
        win32_TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        n->trackingLeave = TrackMouseEvent(&track) != 0;
      }
      ui::DeliverMouse(handle, message, x, y);
      return 0;
    case WM_LBUTTONDOWN:
      // The release comes here wherever the pointer is then, as with X11's implicit grab.
      SetCapture(hwnd);
      ui::DeliverMouse(handle, message, x, y);
      return 0;
    case WM_LBUTTONUP:
      SystemReleaseCapture();
      ui::DeliverMouse(handle, message, x, y);
      return 0;
    case WM_MOUSELEAVE:
      n->trackingLeave = false;
      ui::DeliverPointerLeft(handle);
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
      if (ui::DeliverKey(handle, message, static_cast<UINT>(w))) return 0;
      break;
    case WM_SYSCOMMAND:
      // The caption's buttons and other programs: minimise, restore and close are the
      // framework's (its windows hide their owned windows, dialogs cancel); moving is the
      // system's.
      switch (w & 0xFFF0) {
        case SC_MINIMIZE:
        case SC_RESTORE:
        case SC_CLOSE:
          return ::SendMessage(handle, WM_SYSCOMMAND, w & 0xFFF0, 0);
      }
      break;
    case WM_CLOSE:
      return ::SendMessage(handle, WM_CLOSE, 0, 0);
    case WM_COPYDATA: {
      // The payload is the system's copy in this process, valid while the message is handled.
      const auto* native = reinterpret_cast<const win32_COPYDATASTRUCT*>(l);
      if (!native) return 0;
      COPYDATASTRUCT data;
      data.dwData = native->dwData;
      data.cbData = native->cbData;
      data.lpData = native->lpData;
      return ::SendMessage(handle, WM_COPYDATA, w, reinterpret_cast<LPARAM>(&data));
    }
    default:
      // The framework posts to its own windows through its own queue: any other message that
      // arrives here came from outside, and only those with plain-value parameters get in.
      if ((message == WM_NULL || message >= WM_USER) && ui::IsAcceptedForeignMessage(message, w))
        return ::SendMessage(handle, message, w, l);
      break;
  }
  return CallWindowProcA(base, hwnd, message, w, l);
}

}  // namespace

bool Install() {
  if (!g_backend) {
    auto backend = std::make_unique<Win32Backend>();
    if (!backend->Start()) return false;
    g_backend = backend.release();
  }
  ui::InstallBackend(g_backend);
  return true;
}

win32_HWND NativeOf(HWND hwnd) {
  ui::WindowRecord* top = ui::TopLevelOf(hwnd);
  return top && top->native ? static_cast<NativeWindow*>(top->native)->hwnd : nullptr;
}

}  // namespace win32ui
