// The Windows-style basic types the launcher's classes are written with.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using UINT = uint32_t;
using DWORD = uint32_t;
using LONG = int32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using UINT_PTR = uintptr_t;
using ULONG_PTR = uintptr_t;
using COLORREF = uint32_t;
// A window handle: the native handle of a top-level window (an X11 window id, a Win32 HWND),
// a framework id for a child.
using HWND = uintptr_t;

class CDC;
struct IconData;
class RegionData;
using HDC = CDC*;         // a device context is the framework's own object
using HICON = IconData*;  // an icon decoded with its alpha channel
using HCURSOR = HICON;
using HRGN = RegionData*;
// A monitor. The framework knows one, the primary monitor (MonitorFromPoint, Wnd.h).
using HMONITOR = uintptr_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

struct POINT {
  LONG x = 0, y = 0;
};
struct SIZE {
  LONG cx = 0, cy = 0;
};
struct RECT {
  LONG left = 0, top = 0, right = 0, bottom = 0;
};
using LPRECT = RECT*;

struct MSG {
  HWND hwnd = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt;
};

struct WINDOWPOS {
  HWND hwnd = 0;
  HWND hwndInsertAfter = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  UINT flags = 0;
};

struct COPYDATASTRUCT {
  ULONG_PTR dwData = 0;
  DWORD cbData = 0;
  void* lpData = nullptr;
};

struct DRAWITEMSTRUCT {
  UINT CtlType = 0, CtlID = 0, itemID = 0, itemAction = 0, itemState = 0;
  HWND hwndItem = 0;
  HDC hDC = nullptr;
  RECT rcItem;
  ULONG_PTR itemData = 0;
};
using LPDRAWITEMSTRUCT = DRAWITEMSTRUCT*;

struct TRACKMOUSEEVENT {
  DWORD cbSize = sizeof(TRACKMOUSEEVENT);
  DWORD dwFlags = 0;
  HWND hwndTrack = 0;
  DWORD dwHoverTime = 0;
};

struct BLENDFUNCTION {
  BYTE BlendOp = 0, BlendFlags = 0, SourceConstantAlpha = 255, AlphaFormat = 0;
};

using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// The member the launcher reads: the monitor's rectangle on the desktop.
struct MONITORINFO {
  DWORD cbSize = sizeof(MONITORINFO);
  RECT rcMonitor;
};

inline constexpr WORD LOWORD(uintptr_t v) {
  return static_cast<WORD>(v & 0xFFFF);
}
inline constexpr WORD HIWORD(uintptr_t v) {
  return static_cast<WORD>((v >> 16) & 0xFFFF);
}
inline constexpr LPARAM MAKELPARAM(int low, int high) {
  return static_cast<LPARAM>(static_cast<int32_t>((static_cast<uint32_t>(low) & 0xFFFF) |
                                                  (static_cast<uint32_t>(high) << 16)));
}
inline constexpr WPARAM MAKEWPARAM(int low, int high) {
  return static_cast<WPARAM>((static_cast<uint32_t>(low) & 0xFFFF) |
                             (static_cast<uint32_t>(high) << 16));
}
// Signed coordinates packed in an LPARAM (mouse messages).
inline constexpr int GET_X_LPARAM(LPARAM lp) {
  return static_cast<int16_t>(LOWORD(lp));
}
inline constexpr int GET_Y_LPARAM(LPARAM lp) {
  return static_cast<int16_t>(HIWORD(lp));
}
