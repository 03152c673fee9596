// The window records by handle, and painting a top-level window with its children.
#include "WindowTable.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "Wnd.h"

namespace ui {
namespace {
// Lookups may come from worker threads (IsWindow, GetParent); records change on the UI thread.
std::recursive_mutex g_tableMutex;
std::map<HWND, std::unique_ptr<WindowRecord>> g_windows;
std::vector<HWND> g_topLevels;
// Child handles come from a range X11 never gives out (its ids stay below 2^29).
HWND g_nextChild = 0x40000001;

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}
}  // namespace

SIZE ClientSizeOf(SIZE outer, const RECT& frame) {
  return SIZE{std::max(0, static_cast<int>(outer.cx - frame.left - frame.right)),
              std::max(0, static_cast<int>(outer.cy - frame.top - frame.bottom))};
}

SIZE WindowRecord::ClientSize() const {
  return ClientSizeOf(SIZE{Width(), Height()}, frame);
}

RECT ClientArea(const WindowRecord& record) {
  const SIZE client = record.ClientSize();
  return RECT{0, 0, client.cx, client.cy};
}

HWND NewChildHandle() {
  return g_nextChild++;
}

void Register(std::unique_ptr<WindowRecord> record) {
  std::lock_guard lock(g_tableMutex);
  if (!record->IsChild()) g_topLevels.push_back(record->hwnd);
  HWND hwnd = record->hwnd;
  g_windows[hwnd] = std::move(record);
}

void Unregister(HWND hwnd) {
  std::lock_guard lock(g_tableMutex);
  g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), hwnd), g_topLevels.end());
  g_windows.erase(hwnd);
}

bool IsShown(const WindowRecord* record) {
  for (; record; record = record->IsChild() ? FindRecord(record->parent) : nullptr) {
    if (!record->IsVisible()) return false;
  }
  return true;
}

WindowRecord* FindRecord(HWND hwnd) {
  std::lock_guard lock(g_tableMutex);
  auto it = g_windows.find(hwnd);
  return it == g_windows.end() ? nullptr : it->second.get();
}

WindowRecord* TopLevelOf(HWND hwnd) {
  WindowRecord* record = FindRecord(hwnd);
  while (record && record->IsChild()) record = FindRecord(record->parent);
  return record;
}

std::vector<HWND> LocalTopLevels() {
  std::lock_guard lock(g_tableMutex);
  return g_topLevels;
}

POINT OffsetInTopLevel(HWND hwnd) {
  POINT offset;
  for (WindowRecord* r = FindRecord(hwnd); r && r->IsChild(); r = FindRecord(r->parent)) {
    offset.x += r->rect.left;
    offset.y += r->rect.top;
  }
  return offset;
}

// ---------------------------------------------------------------------------------------------
// Painting

namespace {
void PaintTree(WindowRecord& record, Surface& surface, POINT origin, RECT clip) {
  CDC dc(&surface, origin, clip);
  record.paintDC = &dc;
  const HWND hwnd = record.hwnd;
  ::SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(&dc), 0);
  if (record.IsChild()) ::SendMessage(hwnd, WM_NCPAINT, 1, 0);
  ::SendMessage(hwnd, WM_PAINT, 0, 0);
  WindowRecord* still = FindRecord(hwnd);  // a handler may have destroyed the window
  if (!still) return;
  still->paintDC = nullptr;
  for (HWND child : std::vector<HWND>(still->children)) {
    WindowRecord* c = FindRecord(child);
    if (!c || !c->IsVisible()) continue;
    RECT childClip = Intersect(clip, RECT{origin.x + c->rect.left, origin.y + c->rect.top,
                                          origin.x + c->rect.right, origin.y + c->rect.bottom});
    if (childClip.right <= childClip.left || childClip.bottom <= childClip.top) continue;
    PaintTree(*c, surface, POINT{origin.x + c->rect.left, origin.y + c->rect.top}, childClip);
  }
}
}  // namespace

void PaintTopLevel(HWND topLevel) {
  WindowRecord* record = FindRecord(topLevel);
  if (!record || record->IsChild() || !record->needsPaint) return;
  record->needsPaint = false;
  const SIZE client = record->ClientSize();
  const int w = client.cx, h = client.cy;
  if (record->backing.width != w || record->backing.height != h) record->backing = Surface(w, h);
  if (w == 0 || h == 0) return;
  PaintTree(*record, record->backing, POINT{}, RECT{0, 0, w, h});
}

}  // namespace ui
