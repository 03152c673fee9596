// Windows of the GTK backend as the X server sees them: shapes, layered pixels and their
// transparency to the mouse, message boxes from worker threads, destroyed handles.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "Log.h"
#include "TempDir.h"
#include "XvfbEnvironment.h"
#include "platform/Afx.h"
#include "platform/gtk/GtkBackend.h"
#include "platform/gtk/GtkSystem.h"

// Xlib defines macros (None, Status, ...): its headers come last.
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

namespace {

const POINT kOutline[] = {{157, 75},  {938, 75},  {955, 108}, {940, 141},
                          {938, 592}, {139, 594}, {36, 316}};

// A top-level window painted in one colour that records presses.
class CColourWnd : public CWnd {
  DECLARE_MESSAGE_MAP()

 public:
  explicit CColourWnd(COLORREF colour) : m_colour(colour) {}
  void OnPaint() {
    CPaintDC dc(this);
    RECT rc;
    GetClientRect(&rc);
    dc.FillSolidRect(rc, m_colour);
  }
  void OnLButtonDown(UINT, POINT point) { presses.push_back(point); }
  std::vector<POINT> presses;

 private:
  COLORREF m_colour;
};

const MessageMap& CColourWnd::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CColourWnd>(
      {OnPaintMsg(&CColourWnd::OnPaint), OnLButtonDownMsg(&CColourWnd::OnLButtonDown)},
      &CWnd::GetThisMessageMap);
  return map;
}

bool IsShownOnScreen(HWND hwnd) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(TestDisplay(), hwnd, &attributes) &&
         attributes.map_state == IsViewable;
}

TEST(GtkWindowTest, SevenPointOutlineIsTheShapeTheServerReports) {
  CColourWnd wnd(RGB(0, 0, 255));
  ASSERT_TRUE(wnd.CreateEx(0, "#32770", "shaped", WS_POPUP, RECT{0, 0, 980, 650}, nullptr, 0));
  CRgn rgn;
  ASSERT_TRUE(rgn.CreatePolygonRgn(kOutline, 7, ALTERNATE));
  wnd.SetWindowRgn(rgn, FALSE);
  wnd.ShowWindow(SW_SHOW);
  ASSERT_TRUE(RunLoopUntil([&] { return IsShownOnScreen(wnd.m_hWnd); }));

  long expected = 0;
  for (const RECT& r : rgn.GetSafeHandle()->Rectangles())
    expected += static_cast<long>(r.right - r.left) * (r.bottom - r.top);
  XRectangle* rects = nullptr;
  int count = 0, ordering = 0;
  auto shapeArea = [&] {
    if (rects) XFree(rects);
    rects = XShapeGetRectangles(TestDisplay(), wnd.m_hWnd, ShapeBounding, &count, &ordering);
    long area = 0;
    for (int i = 0; i < count; ++i) area += static_cast<long>(rects[i].width) * rects[i].height;
    return area;
  };
  EXPECT_TRUE(RunLoopUntil([&] { return shapeArea() == expected; }))
      << shapeArea() << " " << expected;
  ASSERT_NE(rects, nullptr);
  auto inShape = [&](int x, int y) {
    for (int i = 0; i < count; ++i) {
      if (x >= rects[i].x && x < rects[i].x + rects[i].width && y >= rects[i].y &&
          y < rects[i].y + rects[i].height)
        return true;
    }
    return false;
  };
  EXPECT_TRUE(inShape(490, 325));
  EXPECT_TRUE(inShape(40, 316));
  EXPECT_FALSE(inShape(10, 10));
  EXPECT_FALSE(inShape(150, 80));
  EXPECT_FALSE(inShape(970, 640));
  XFree(rects);
}

TEST(GtkWindowTest, LayeredWindowShowsItsPixelsAndLetsPressesThrough) {
  // The owner: green, at (100, 100).
  CColourWnd owner(RGB(0, 255, 0));
  ASSERT_TRUE(owner.CreateEx(0, "#32770", "owner", WS_POPUP, RECT{100, 100, 400, 300}, nullptr, 0));
  owner.ShowWindow(SW_SHOW);
  // Over it: opaque red at the top, a quarter-opaque band below, transparent elsewhere.
  CWnd layered;
  ASSERT_TRUE(
      layered.CreateEx(WS_EX_LAYERED, "STATIC", "", 0, RECT{100, 100, 400, 300}, &owner, 0));
  CBitmap bitmap;
  bitmap.CreateDIBSection32(300, 200);
  CDC memDC;
  memDC.CreateCompatibleDC(nullptr);
  memDC.SelectObject(&bitmap);
  Gdiplus::Graphics graphics(memDC);
  Gdiplus::SolidBrush red(Gdiplus::Color(0xFFFF0000)), faint(Gdiplus::Color(0x40FF0000));
  graphics.FillRectangle(&red, 0, 0, 300, 50);
  graphics.FillRectangle(&faint, 0, 50, 300, 50);
  POINT dst{100, 100}, src{0, 0};
  SIZE size{300, 200};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ASSERT_TRUE(
      UpdateLayeredWindow(layered.m_hWnd, nullptr, &dst, &size, memDC, &src, 0, &blend, ULW_ALPHA));
  layered.ShowWindow(SW_SHOW);
  ASSERT_TRUE(RunLoopUntil(
      [&] { return IsShownOnScreen(layered.m_hWnd) && IsShownOnScreen(owner.m_hWnd); }));
  ASSERT_TRUE(RunLoopUntil([&] { return ScreenPixel(150, 120) == 0xFF0000; }))
      << std::hex << ScreenPixel(150, 120);
  // Transparent: the owner beneath.
  EXPECT_TRUE(RunLoopUntil([&] { return ScreenPixel(150, 250) == 0x00FF00; }))
      << std::hex << ScreenPixel(150, 250);
  if (!gtkui::IsComposited()) {
    EXPECT_EQ(ScreenPixel(150, 170), 0x00FF00u);  // under 50 % without a compositor: cut away
  }
  EXPECT_EQ(GetParent(layered.m_hWnd), owner.m_hWnd);

  // A press on the opaque red part reaches the owner beneath.
  ASSERT_EQ(RunWhileLooping("xdotool mousemove 150 120 click 1"), 0);
  ASSERT_TRUE(RunLoopUntil([&] { return !owner.presses.empty(); }));
  EXPECT_EQ(owner.presses[0].x, 50);
  EXPECT_EQ(owner.presses[0].y, 20);
}

TEST(GtkWindowTest, MessageBoxFromAWorkerWaitsForThePlayer) {
  gtkui::GtkSystem system;
  sys::System* previous = sys::Install(&system);
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    MessageBoxA(0, "游戏客户端已经启动", "启动失败", MB_OK);
    returned = true;
  });
  // The player, on a thread of its own: the main thread is inside the box's modal loop.
  std::atomic<bool> waitingWhenShown{false}, waitingLater{false}, confirmed{false};
  std::thread player([&] {
    char id[64] = {};
    FILE* search = popen("xdotool search --sync --onlyvisible --name '启动失败'", "r");
    const bool found = search && fgets(id, sizeof id, search);
    if (search) pclose(search);
    if (!found) return;
    waitingWhenShown = !returned;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    waitingLater = !returned;
    id[strcspn(id, "\n")] = '\0';
    confirmed =
        std::system(("xdotool windowfocus --sync " + std::string(id) + " key Return").c_str()) == 0;
  });
  EXPECT_TRUE(RunLoopUntil([&] { return returned.load(); }, 15000));
  player.join();
  EXPECT_TRUE(waitingWhenShown);
  EXPECT_TRUE(waitingLater);
  EXPECT_TRUE(confirmed);
  worker.join();
  sys::Install(previous);
}

TEST(GtkWindowTest, HandleStopsNamingAWindowOnceItIsDestroyed) {
  CColourWnd wnd(RGB(1, 2, 3));
  ASSERT_TRUE(wnd.CreateEx(0, "#32770", "gone soon", WS_POPUP, RECT{0, 0, 50, 50}, nullptr, 0));
  const HWND hwnd = wnd.m_hWnd;
  EXPECT_LE(hwnd, 0xFFFFFFFFu);  // an X11 window id
  EXPECT_TRUE(IsWindow(hwnd));
  wnd.DestroyWindow();
  EXPECT_FALSE(IsWindow(hwnd));
  RunLoopUntil([] { return false; }, 100);
  XSync(TestDisplay(), False);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindow(0));
}

}  // namespace
