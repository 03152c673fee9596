// The framework's window records, keyed by handle (not part of the launcher's API; tests and
// backends read them).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Gdi.h"

class CWnd;

namespace ui {

struct WindowRecord {
  HWND hwnd = 0;
  CWnd* wnd = nullptr;    // the attached object
  std::string className;  // as created (other processes look for it)
  std::string classKey;   // lower case, for the built-in classes
  std::string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  UINT id = 0;
  HWND parent = 0;             // child windows
  HWND owner = 0;              // top-level windows
  std::vector<HWND> children;  // bottom to top
  RECT rect;   // top-level: its outer rectangle on the screen; child: parent's client coordinates
  RECT frame;  // top-level: what the display's frame (a window manager's) adds on each side
  bool iconic = false;
  bool topmost = false;
  bool hiddenWithOwner = false;  // hidden because its owner was minimised
  std::unique_ptr<RegionData> region;
  HICON iconBig = nullptr;
  HICON iconSmall = nullptr;
  HWND focus = 0;  // top-level: the window with the keyboard focus inside it

  // Painting: top-level windows paint into a backing surface of their size.
  Surface backing;
  bool needsPaint = true;
  CDC* paintDC = nullptr;  // while WM_PAINT runs: where BeginPaint draws
  // Layered windows: the last surface given with UpdateLayeredWindow.
  Surface layered;

  // Mouse tracking (TrackMouseEvent).
  DWORD trackFlags = 0;
  DWORD hoverTime = 0;
  UINT_PTR hoverTimer = 0;

  // Data of the built-in control classes.
  int rangeLow = 0, rangeHigh = 100, position = 0;  // progress bar
  bool pressed = false;                             // button

  void* native = nullptr;        // the backend's window
  void* hostedWidget = nullptr;  // a native widget that fills this child window

  bool IsChild() const { return (style & WS_CHILD) != 0; }
  bool IsVisible() const { return (style & WS_VISIBLE) != 0; }
  bool IsLayered() const { return (exStyle & WS_EX_LAYERED) != 0; }
  int Width() const { return rect.right - rect.left; }
  int Height() const { return rect.bottom - rect.top; }
  SIZE ClientSize() const;
};

// The client area of a window whose outer size is `outer` and whose frame adds `frame` on each
// side (nothing where no window manager runs: the outer size is then the client's).
SIZE ClientSizeOf(SIZE outer, const RECT& frame);
// A window's whole client area, in its client coordinates.
RECT ClientArea(const WindowRecord& record);

// The table: records go in when their window is made and out when it is destroyed.
void Register(std::unique_ptr<WindowRecord> record);
void Unregister(HWND hwnd);
HWND NewChildHandle();
WindowRecord* FindRecord(HWND hwnd);
// A child counts as shown only if it and all its ancestors are.
bool IsShown(const WindowRecord* record);
// Drops the capture and the pointer tracking of a window that is going.
void ForgetInput(HWND hwnd);
// The top-level window that `hwnd` belongs to (itself for a top-level window).
WindowRecord* TopLevelOf(HWND hwnd);
// Top-level windows of this process, in creation order.
std::vector<HWND> LocalTopLevels();
// Offset of a child's client area inside its top-level window.
POINT OffsetInTopLevel(HWND hwnd);

}  // namespace ui
