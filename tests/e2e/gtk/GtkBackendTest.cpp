// Windows of the GTK backend as the X server sees them: shapes, layered pixels and their
// transparency to the mouse, message boxes from worker threads, destroyed handles.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "TempDir.h"
#include "Watchdog.h"
#include "XvfbEnvironment.h"
#include "platform/Afx.h"
#include "platform/Backend.h"
#include "platform/gtk/GtkBackend.h"
#include "platform/gtk/GtkSystem.h"
#include "update/Log.h"

// GLib and Xlib define macros (TRUE, None, Status, ...): their headers come last.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>
#include <gtk/gtk.h>

namespace {

using namespace std::chrono_literals;

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

  // Pixels handed over again are shaped again only when their alpha changes: the same ones or
  // new colours leave the shape alone (new colours still show), an opaque band where it was
  // clear joins it.
  const unsigned shapes = gtkui::ShapeChanges(layered.m_hWnd);
  auto update = [&] {
    ASSERT_TRUE(UpdateLayeredWindow(layered.m_hWnd, nullptr, &dst, &size, memDC, &src, 0, &blend,
                                    ULW_ALPHA));
  };
  update();
  Gdiplus::SolidBrush blue(Gdiplus::Color(0xFF0000FF));
  graphics.FillRectangle(&blue, 0, 0, 300, 50);
  update();
  EXPECT_TRUE(RunLoopUntil([&] { return ScreenPixel(150, 120) == 0x0000FF; }))
      << std::hex << ScreenPixel(150, 120);
  EXPECT_EQ(gtkui::ShapeChanges(layered.m_hWnd), shapes);
  graphics.FillRectangle(&blue, 0, 100, 300, 50);
  update();
  EXPECT_TRUE(RunLoopUntil([&] { return ScreenPixel(150, 220) == 0x0000FF; }))
      << std::hex << ScreenPixel(150, 220);
  if (!gtkui::IsComposited()) {
    EXPECT_EQ(gtkui::ShapeChanges(layered.m_hWnd), shapes + 1);
  }
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

// A worker asking for a box while the main thread joins it, or after the loop has ended: the
// box is not shown and nobody waits for ever.
TEST(GtkWindowTest, MessageBoxFromAWorkerIsNotShownWhileTheMainThreadEndsIt) {
  gtkui::GtkSystem system;
  sys::System* previous = sys::Install(&system);
  Watchdog watchdog("a worker's box while the main thread joins it", 20s);
  std::atomic<bool> asking{false};
  std::atomic<int> result{-1};
  auto ask = [&] {
    asking = true;
    result = MessageBoxA(0, "下载资源失败", "错误", MB_OK);
  };
  std::thread worker(ask);
  while (!asking) std::this_thread::sleep_for(1ms);
  {
    ui::WorkerJoin joining;  // as Downloader::Reset holds it
    worker.join();
  }
  EXPECT_EQ(result, 0);

  CWinApp app;
  PostQuitMessage(0);
  asking = false;
  worker = std::thread(ask);
  while (!asking) std::this_thread::sleep_for(1ms);
  app.Run();
  worker.join();
  EXPECT_EQ(result, 0);
  gtkui::Install();  // a fresh start for the loop of the following tests
  sys::Install(previous);
}

TEST(GtkWindowTest, EscapeFromTheKeyboardEndsAModelessDialogByHidingIt) {
  CDialog dlg(104);
  ASSERT_TRUE(dlg.Create(104));
  dlg.ShowWindow(SW_SHOW);
  ASSERT_TRUE(RunLoopUntil([&] { return IsShownOnScreen(dlg.m_hWnd); }));
  EXPECT_EQ(
      RunWhileLooping("xdotool windowfocus --sync " + std::to_string(dlg.m_hWnd) + " key Escape"),
      0);
  EXPECT_TRUE(RunLoopUntil([&] { return !dlg.IsWindowVisible(); }));
  EXPECT_TRUE(IsWindow(dlg.m_hWnd));
}

TEST(GtkWindowTest, HostedWidgetFillsItsChildWindowAndFollowsIt) {
  CColourWnd top(RGB(0, 0, 0));
  ASSERT_TRUE(top.CreateEx(0, "#32770", "host", WS_POPUP, RECT{0, 0, 400, 300}, nullptr, 0));
  CStatic child;
  ASSERT_TRUE(child.Create("", WS_CHILD | WS_VISIBLE, RECT{10, 20, 110, 70}, &top, 1019));
  GtkWidget* widget = gtk_drawing_area_new();
  ASSERT_TRUE(gtkui::HostWidget(child.m_hWnd, widget));
  top.ShowWindow(SW_SHOW);
  auto placed = [&](int x, int y, int w, int h) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    return gtk_widget_get_visible(widget) && a.x == x && a.y == y && a.width == w && a.height == h;
  };
  EXPECT_TRUE(RunLoopUntil([&] { return placed(10, 20, 100, 50); }));
  child.MoveWindow(282, 143, 100, 100, FALSE);
  EXPECT_TRUE(RunLoopUntil([&] { return placed(282, 143, 100, 100); }));
  child.ShowWindow(SW_HIDE);
  EXPECT_FALSE(gtk_widget_get_visible(widget));
}

// A window that starts a move on every press, as the launcher's dialogs do.
class CDraggedWnd : public CColourWnd {
  DECLARE_MESSAGE_MAP()

 public:
  CDraggedWnd() : CColourWnd(RGB(200, 0, 200)) {}
  void OnLButtonDown(UINT, POINT point) {
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
  }
};

const MessageMap& CDraggedWnd::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CDraggedWnd>(
      {OnLButtonDownMsg(&CDraggedWnd::OnLButtonDown)}, &CColourWnd::GetThisMessageMap);
  return map;
}

TEST(GtkWindowTest, PressAndMoveDragsTheWindowWithThePointer) {
  CDraggedWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, "#32770", "dragged", WS_POPUP, RECT{100, 100, 300, 200}, nullptr, 0));
  wnd.ShowWindow(SW_SHOW);
  ASSERT_TRUE(RunLoopUntil([&] { return IsShownOnScreen(wnd.m_hWnd); }));
  ASSERT_EQ(RunWhileLooping("xdotool mousemove 150 150 mousedown 1"), 0);
  RunLoopUntil([] { return false; }, 200);
  ASSERT_EQ(RunWhileLooping("xdotool mousemove 190 170 mousemove 250 210 mouseup 1"), 0);
  RECT rc;
  EXPECT_TRUE(RunLoopUntil([&] {
    wnd.GetWindowRect(&rc);
    return rc.left == 200 && rc.top == 160;
  })) << rc.left
      << "," << rc.top;
  EXPECT_EQ(rc.right - rc.left, 200);
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

// The primary monitor with its corner. Alone it is the whole screen; made the right half of
// the screen (a RandR 1.5 monitor on Xvfb's one output, as a desktop with a monitor left of the
// primary one has it), it is that half, whose corner is not the screen's.
TEST(GtkScreenTest, PrimaryMonitorIsTheMarkedOneWithItsCorner) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 800);

  Display* display = TestDisplay();
  const Window root = DefaultRootWindow(display);
  XRRScreenResources* resources = XRRGetScreenResources(display, root);
  ASSERT_TRUE(resources && resources->noutput > 0);
  RROutput output = resources->outputs[0];
  XRRMonitorInfo right{};
  right.name = XInternAtom(display, "RIGHT", False);
  right.primary = True;
  right.x = 640;
  right.width = 640;
  right.height = 800;
  right.noutput = 1;
  right.outputs = &output;
  XRRSetMonitor(display, root, &right);
  // Monitors alone change without a notice to clients; a change of the primary output sends one.
  XRRSetOutputPrimary(display, root, output);
  XSync(display, False);
  XRRFreeScreenResources(resources);
  EXPECT_TRUE(RunLoopUntil([] { return GetSystemMetrics(SM_CXSCREEN) == 640; }));
  MONITORINFO info;
  ASSERT_TRUE(GetMonitorInfo(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info));
  EXPECT_EQ(info.rcMonitor.left, 640);
  EXPECT_EQ(info.rcMonitor.top, 0);
  EXPECT_EQ(info.rcMonitor.right, 1280);
  EXPECT_EQ(info.rcMonitor.bottom, 800);

  XRRDeleteMonitor(display, root, right.name);
  XRRSetOutputPrimary(display, root, None);
  XSync(display, False);
  EXPECT_TRUE(RunLoopUntil([] { return GetSystemMetrics(SM_CXSCREEN) == 1280; }));
}
