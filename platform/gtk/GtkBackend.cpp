#include "GtkBackend.h"

#include <atomic>
#include <map>
#include <vector>

#include "XMessages.h"
#include "platform/ForeignMessages.h"
#include "platform/WindowTable.h"
#include "platform/Wnd.h"

// GLib defines TRUE and FALSE as macros: toolkit headers come after the framework's.
#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace gtkui {
namespace {

struct NativeWindow {
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;  // holds hosted widgets of child windows
  HWND hwnd = 0;
  Surface shown;  // layered windows: the pixels on screen
  // Layered windows without a compositor: where `shown` is opaque. Rebuilt only when a pixel
  // turns opaque or clear, which a new colour alone does not.
  cairo_region_t* opaque = nullptr;
  // The bounding shape the X server has (null: none), so that an unchanged one is not sent
  // again, and how many times one was sent.
  cairo_region_t* shape = nullptr;
  unsigned shapeChanges = 0;
};

NativeWindow* Native(ui::WindowRecord& r) {
  return static_cast<NativeWindow*>(r.native);
}

GdkWindow* GdkOf(ui::WindowRecord& r) {
  NativeWindow* n = Native(r);
  return n ? gtk_widget_get_window(n->window) : nullptr;
}

cairo_surface_t* Wrap(Surface& s) {
  if (s.width <= 0 || s.height <= 0) return nullptr;
  return cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s.pixels.data()),
                                             CAIRO_FORMAT_ARGB32, s.width, s.height, s.width * 4);
}

bool HasWindowManager() {
  GdkScreen* screen = gdk_screen_get_default();
  return GDK_IS_X11_SCREEN(screen) &&
         g_strcmp0(gdk_x11_screen_get_window_manager_name(screen), "unknown") != 0;
}

cairo_region_t* OpaqueRegion(const Surface& s) {
  std::vector<cairo_rectangle_int_t> runs;
  for (int y = 0; y < s.height; ++y) {
    int x = 0;
    while (x < s.width) {
      while (x < s.width && Surface::Alpha(s.At(x, y)) == 0) ++x;
      const int start = x;
      while (x < s.width && Surface::Alpha(s.At(x, y)) != 0) ++x;
      if (x > start) runs.push_back({start, y, x - start, 1});
    }
  }
  // One call: adding the runs one by one costs time in the square of their number.
  return cairo_region_create_rectangles(runs.data(), static_cast<int>(runs.size()));
}

void SetRegion(cairo_region_t*& slot, cairo_region_t* region) {
  if (slot) cairo_region_destroy(slot);
  slot = region;
}

// Pixels of a layered window as the screen can show them: as they are with a compositor;
// otherwise opaque where at least half opaque (colours un-premultiplied) and clear elsewhere,
// with the opaque part as a region for the shape.
void PrepareShown(ui::WindowRecord& r) {
  NativeWindow* n = Native(r);
  if (IsComposited()) {
    n->shown = r.layered;
    SetRegion(n->opaque, nullptr);
    return;
  }
  const bool sameSize = n->shown.width == r.layered.width && n->shown.height == r.layered.height;
  if (!sameSize) n->shown = Surface(r.layered.width, r.layered.height);
  bool maskChanged = !sameSize || !n->opaque;
  for (size_t i = 0; i < r.layered.pixels.size(); ++i) {
    const uint32_t p = r.layered.pixels[i];
    const uint32_t shown = Surface::Alpha(p) < 128 ? 0 : 0xFF000000u | Surface::Straight(p);
    maskChanged = maskChanged || (shown == 0) != (n->shown.pixels[i] == 0);
    n->shown.pixels[i] = shown;
  }
  if (maskChanged) SetRegion(n->opaque, OpaqueRegion(n->shown));
}

bool SameRegion(const cairo_region_t* a, const cairo_region_t* b) {
  return a && b ? cairo_region_equal(a, b) : a == b;
}

// Bounding shape: the window region, cut by the alpha of a layered window's pixels where no
// compositor blends them. Input shape of a layered window: empty, so presses go beneath.
// The X server is told only what changed: a hover repaint must not rebuild the shape.
void ApplyShape(ui::WindowRecord& r) {
  NativeWindow* n = Native(r);
  if (!n) return;
  cairo_region_t* shape =
      r.region ? cairo_region_copy(static_cast<cairo_region_t*>(r.region->Native())) : nullptr;
  if (r.IsLayered() && n->opaque && !IsComposited()) {
    if (shape)
      cairo_region_intersect(shape, n->opaque);
    else
      shape = cairo_region_copy(n->opaque);
  }
  if (SameRegion(shape, n->shape)) {
    if (shape) cairo_region_destroy(shape);
  } else {
    // Through the widget, which keeps the shape across its own size changes.
    gtk_widget_shape_combine_region(n->window, shape);
    SetRegion(n->shape, shape);
    ++n->shapeChanges;
  }
  // Given again each time: one given before the window is first shown no longer holds after.
  if (r.IsLayered()) {
    cairo_region_t* none = cairo_region_create();
    gtk_widget_input_shape_combine_region(n->window, none);
    cairo_region_destroy(none);
  }
}

// Place and size of the X window: the outer rectangle's top-left corner (the window manager puts
// its frame's corner there) and the client size. A window without a sizing border has a fixed
// size: the player cannot resize it through the window manager.
void ApplyGeometry(ui::WindowRecord& r) {
  GtkWindow* window = GTK_WINDOW(Native(r)->window);
  const SIZE client = r.ClientSize();
  const int width = std::max(1, static_cast<int>(client.cx));
  const int height = std::max(1, static_cast<int>(client.cy));
  if (!(r.style & WS_THICKFRAME)) {
    GdkGeometry hints{};
    hints.min_width = hints.max_width = width;
    hints.min_height = hints.max_height = height;
    gtk_window_set_geometry_hints(
        window, nullptr, &hints,
        static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
  }
  gtk_window_move(window, r.rect.left, r.rect.top);
  gtk_window_resize(window, width, height);
}

// What the window manager's frame adds on each side (_NET_FRAME_EXTENTS: left, right, top,
// bottom); nothing where no window manager runs.
RECT FrameExtents(GdkWindow* window) {
  Display* display = GDK_WINDOW_XDISPLAY(window);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  RECT frame{};
  gdk_x11_display_error_trap_push(gdk_window_get_display(window));
  const int status = XGetWindowProperty(display, GDK_WINDOW_XID(window),
                                        XInternAtom(display, "_NET_FRAME_EXTENTS", False), 0, 4,
                                        False, XA_CARDINAL, &type, &format, &count, &after, &data);
  gdk_x11_display_error_trap_pop_ignored(gdk_window_get_display(window));
  if (status == Success && data && format == 32 && count == 4) {
    // A frame wider than a screen is nonsense from another program: taken as none.
    auto side = [&](int i) {
      const unsigned long v = reinterpret_cast<unsigned long*>(data)[i];
      return static_cast<LONG>(v <= 4096 ? v : 0);
    };
    frame = RECT{side(0), side(2), side(1), side(3)};
  }
  if (data) XFree(data);
  return frame;
}

// Owned windows stay above their owner, as the window manager keeps transient windows (and
// as nothing does when none runs).
void RaiseOwned(ui::WindowRecord& owner) {
  for (HWND top : ui::LocalTopLevels()) {
    ui::WindowRecord* owned = ui::FindRecord(top);
    if (owned && owned->owner == owner.hwnd && owned->IsVisible() && GdkOf(*owned))
      gdk_window_raise(GdkOf(*owned));
  }
}

// Moving a window with the pointer ourselves (no window manager to ask).
struct MoveDrag {
  HWND hwnd = 0;
  int startRootX = 0, startRootY = 0;
  int startX = 0, startY = 0;
};

class GtkBackend : public ui::Backend {
 public:
  HWND CreateTopLevel(ui::WindowRecord& r) override;
  void DestroyTopLevel(ui::WindowRecord& r) override;
  void Sync(ui::WindowRecord& r, unsigned what) override;
  void SyncChild(ui::WindowRecord& r) override;
  void DestroyChild(ui::WindowRecord& r) override {
    if (r.hostedWidget) gtk_widget_destroy(static_cast<GtkWidget*>(r.hostedWidget));
    r.hostedWidget = nullptr;
  }
  void QueueRedraw(ui::WindowRecord& r, const RECT& area) override {
    if (NativeWindow* n = Native(r)) {
      gtk_widget_queue_draw_area(n->window, area.left, area.top, area.right - area.left,
                                 area.bottom - area.top);
    }
  }
  void UpdateLayered(ui::WindowRecord& r) override;
  void BeginMoveDrag(ui::WindowRecord& r) override;
  // Monitor 0 where none is marked primary. Its corner need not be the screen's (xrandr puts
  // outputs anywhere), and a dialog centred on the whole screen would straddle two monitors.
  RECT PrimaryMonitor() override {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    GdkRectangle area{};
    if (monitor) gdk_monitor_get_geometry(monitor, &area);
    return RECT{area.x, area.y, area.x + area.width, area.y + area.height};
  }
  // X11 desktops group windows by WM_CLASS: the id becomes its instance part, while the class
  // part stays the window class that other programs find a window by.
  void SetApplicationId(const std::string& id) override {
    m_appId = id;
    g_set_prgname(id.c_str());
  }
  void WakeUp() override {
    if (!m_drainScheduled.exchange(true)) g_idle_add_full(G_PRIORITY_DEFAULT, Drain, this, nullptr);
  }
  void RunLoop() override;
  void QuitLoop() override {
    if (m_loop) g_main_loop_quit(m_loop);
  }
  UINT_PTR StartTimer(UINT milliseconds, std::function<void()> tick) override;
  void StopTimer(UINT_PTR id) override {
    if (id && g_main_context_find_source_by_id(nullptr, static_cast<guint>(id)))
      g_source_remove(static_cast<guint>(id));
  }

  bool IsForeignWindow(HWND hwnd) override {
    return hwnd <= 0xFFFFFFFF && x11::WindowExists(static_cast<uint32_t>(hwnd));
  }
  bool PostForeign(HWND hwnd, UINT message, WPARAM w, LPARAM l) override {
    return x11::PostMessage(static_cast<uint32_t>(hwnd), message, static_cast<uint32_t>(w),
                            static_cast<uint32_t>(l));
  }
  bool SendForeign(HWND hwnd, UINT message, WPARAM w, LPARAM l, LRESULT* result) override {
    uint32_t r = 0;
    const bool ok = x11::SendMessage(static_cast<uint32_t>(hwnd), message, static_cast<uint32_t>(w),
                                     static_cast<uint32_t>(l), &r);
    *result = static_cast<LRESULT>(r);
    return ok;
  }
  bool SendCopyData(HWND hwnd, HWND from, const COPYDATASTRUCT& data, LRESULT* result) override {
    uint32_t r = 0;
    const std::string payload(static_cast<const char*>(data.lpData), data.lpData ? data.cbData : 0);
    const bool ok = x11::SendCopyData(static_cast<uint32_t>(hwnd), static_cast<uint32_t>(from),
                                      static_cast<uint32_t>(data.dwData), payload, &r);
    *result = static_cast<LRESULT>(r);
    return ok;
  }
  bool ListTopLevel(std::vector<HWND>& out) override {
    for (uint32_t w : x11::TopLevelWindows()) out.push_back(w);
    return true;
  }
  bool ForeignProcessId(HWND hwnd, DWORD* pid) override {
    uint32_t p = 0;
    if (!x11::WindowPid(static_cast<uint32_t>(hwnd), &p)) return false;
    *pid = p;
    return true;
  }
  HWND ForeignOwner(HWND hwnd) override { return x11::TransientFor(static_cast<uint32_t>(hwnd)); }
  bool ForeignIsIconic(HWND hwnd) override { return x11::IsIconic(static_cast<uint32_t>(hwnd)); }
  bool ActivateForeign(HWND hwnd) override {
    return hwnd <= 0xFFFFFFFF && x11::Activate(static_cast<uint32_t>(hwnd));
  }
  std::string ForeignClass(HWND hwnd) override {
    return x11::WindowClass(static_cast<uint32_t>(hwnd));
  }

  MoveDrag m_drag;
  int m_pressRootX = 0, m_pressRootY = 0;
  guint32 m_pressTime = 0;

 private:
  static gboolean Drain(gpointer self) {
    static_cast<GtkBackend*>(self)->m_drainScheduled = false;
    ui::DispatchPending();
    return G_SOURCE_REMOVE;
  }
  std::atomic<bool> m_drainScheduled{false};
  GMainLoop* m_loop = nullptr;
  std::string m_appId;
};

GtkBackend* g_backend = nullptr;

ui::WindowRecord* RecordOf(gpointer data) {
  return ui::FindRecord(static_cast<NativeWindow*>(data)->hwnd);
}

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  ui::WindowRecord* r = RecordOf(data);
  if (!r) return FALSE;
  Surface* pixels = &r->backing;
  if (r->IsLayered()) {
    pixels = &Native(*r)->shown;
  } else {
    ui::PaintTopLevel(r->hwnd);
    if (!(r = RecordOf(data))) return FALSE;
    pixels = &r->backing;
  }
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (cairo_surface_t* s = Wrap(*pixels)) {
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(s);
  } else {
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_paint(cr);
  }
  return FALSE;  // hosted widgets draw after us
}

bool OwnEvent(GtkWidget* widget, GdkWindow* window) {
  return window == gtk_widget_get_window(widget);
}

gboolean OnButton(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  ui::WindowRecord* r = RecordOf(data);
  if (!r || event->button != 1 || !OwnEvent(widget, event->window)) return FALSE;
  if (event->type == GDK_BUTTON_PRESS) {
    g_backend->m_pressRootX = static_cast<int>(event->x_root);
    g_backend->m_pressRootY = static_cast<int>(event->y_root);
    g_backend->m_pressTime = event->time;
    ui::DeliverMouse(r->hwnd, WM_LBUTTONDOWN, static_cast<int>(event->x),
                     static_cast<int>(event->y));
  } else if (event->type == GDK_BUTTON_RELEASE) {
    if (g_backend->m_drag.hwnd) {
      g_backend->m_drag.hwnd = 0;  // the move ends; the window gets no button-up
      return TRUE;
    }
    ui::DeliverMouse(r->hwnd, WM_LBUTTONUP, static_cast<int>(event->x), static_cast<int>(event->y));
  }
  return TRUE;
}

gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer data) {
  ui::WindowRecord* r = RecordOf(data);
  if (!r || !OwnEvent(widget, event->window)) return FALSE;
  MoveDrag& drag = g_backend->m_drag;
  if (drag.hwnd) {
    if (CWnd* wnd = CWnd::FromHandle(drag.hwnd)) {
      wnd->SetWindowPos(0, drag.startX + static_cast<int>(event->x_root) - drag.startRootX,
                        drag.startY + static_cast<int>(event->y_root) - drag.startRootY, 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return TRUE;
  }
  ui::DeliverMouse(r->hwnd, WM_MOUSEMOVE, static_cast<int>(event->x), static_cast<int>(event->y));
  return TRUE;
}

gboolean OnLeave(GtkWidget*, GdkEventCrossing* event, gpointer data) {
  ui::WindowRecord* r = RecordOf(data);
  if (r && event->detail != GDK_NOTIFY_INFERIOR) ui::DeliverPointerLeft(r->hwnd);
  return FALSE;
}

UINT VirtualKey(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Escape:
      return VK_ESCAPE;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      return VK_RETURN;
    case GDK_KEY_space:
      return VK_SPACE;
    default: {
      const guint upper = gdk_keyval_to_upper(keyval);
      return upper < 0x80 ? upper : (keyval & 0xFF);
    }
  }
}

// The child window whose hosted widget holds the keyboard focus, if one does.
HWND HostOfFocus(ui::WindowRecord& top, GtkWidget* focus) {
  if (!focus) return 0;
  for (HWND child : top.children) {
    ui::WindowRecord* c = ui::FindRecord(child);
    if (!c) continue;
    auto* hosted = static_cast<GtkWidget*>(c->hostedWidget);
    if (hosted && (focus == hosted || gtk_widget_is_ancestor(focus, hosted))) return child;
    if (HWND inner = HostOfFocus(*c, focus)) return inner;
  }
  return 0;
}

gboolean OnKey(GtkWidget* widget, GdkEventKey* event, gpointer data) {
  ui::WindowRecord* r = RecordOf(data);
  if (!r) return FALSE;
  const HWND host = HostOfFocus(*r, gtk_window_get_focus(GTK_WINDOW(widget)));
  // FALSE lets GTK hand the key on to the focused hosted widget.
  return ui::DeliverKey(r->hwnd, event->type == GDK_KEY_PRESS ? WM_KEYDOWN : WM_KEYUP,
                        VirtualKey(event->keyval), host);
}

// The client window's place and size, as the outer rectangle around it.
gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
  if (ui::WindowRecord* r = RecordOf(data)) {
    const RECT& f = r->frame;
    ui::NoteGeometry(r->hwnd, event->x - f.left, event->y - f.top, event->width + f.left + f.right,
                     event->height + f.top + f.bottom);
  }
  return FALSE;
}

gboolean OnProperty(GtkWidget* widget, GdkEventProperty* event, gpointer data) {
  ui::WindowRecord* r = RecordOf(data);
  if (r && event->atom == gdk_atom_intern_static_string("_NET_FRAME_EXTENTS"))
    ui::NoteFrame(r->hwnd, FrameExtents(gtk_widget_get_window(widget)));
  return FALSE;
}

gboolean OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer data) {
  ui::WindowRecord* r = RecordOf(data);
  if (r && (event->changed_mask & GDK_WINDOW_STATE_ICONIFIED))
    ui::NoteIconic(r->hwnd, (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0);
  return FALSE;
}

// A window that appears comes on top: its owned windows go back above it.
gboolean OnMap(GtkWidget*, GdkEvent*, gpointer data) {
  if (ui::WindowRecord* r = RecordOf(data)) RaiseOwned(*r);
  return FALSE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  if (ui::WindowRecord* r = RecordOf(data)) ::SendMessage(r->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  return TRUE;  // the window goes only when the program destroys it
}

// Messages from other processes.
GdkFilterReturn OnXEvent(GdkXEvent* xevent, GdkEvent*, gpointer) {
  Display* display = gdk_x11_get_default_xdisplay();
  x11::Incoming in;
  if (!x11::DecodeMessage(display, *static_cast<XEvent*>(xevent), &in)) return GDK_FILTER_CONTINUE;
  const HWND target = in.target;
  if (!ui::FindRecord(target)) return GDK_FILTER_REMOVE;
  LRESULT result = 0;
  if (in.message == x11::kCopyDataMessage) {
    uint32_t kind = 0;
    std::string payload;
    if (in.replyWindow && x11::TakeCopyData(display, in.replyWindow, &kind, &payload)) {
      COPYDATASTRUCT data;
      data.dwData = kind;
      data.cbData = static_cast<DWORD>(payload.size());
      data.lpData = payload.data();
      result = ::SendMessage(target, WM_COPYDATA, in.wParam, reinterpret_cast<LPARAM>(&data));
    }
  } else if (!ui::IsAcceptedForeignMessage(in.message, in.wParam)) {
    // Dropped; a sender that waits gets 0 at once.
  } else if (in.replyWindow) {
    result = ::SendMessage(target, in.message, in.wParam, in.lParam);
  } else {
    ::PostMessage(target, in.message, in.wParam, in.lParam);
  }
  if (in.replyWindow)
    x11::SendReply(display, in.replyWindow, in.serial, static_cast<uint32_t>(result));
  return GDK_FILTER_REMOVE;
}

// A compositor that starts or ends changes what layered windows can show: translucent pixels
// blend, or are cut by their alpha again.
void OnCompositedChanged(GdkScreen*, gpointer) {
  for (HWND top : ui::LocalTopLevels()) {
    ui::WindowRecord* r = ui::FindRecord(top);
    if (r && r->IsLayered() && r->layered.width > 0) g_backend->UpdateLayered(*r);
  }
}

HWND GtkBackend::CreateTopLevel(ui::WindowRecord& r) {
  auto* n = new NativeWindow;
  n->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(n->window);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  const std::string& instance = m_appId.empty() ? r.className : m_appId;
  gtk_window_set_wmclass(window, instance.c_str(), r.className.c_str());
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_window_set_decorated(window, (r.style & WS_CAPTION) == WS_CAPTION);
  gtk_widget_set_app_paintable(n->window, TRUE);
  if (r.IsLayered()) {
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(n->window)))
      gtk_widget_set_visual(n->window, rgba);
    gtk_window_set_accept_focus(window, FALSE);
  }
  if (!(r.exStyle & WS_EX_APPWINDOW) && r.owner) gtk_window_set_skip_taskbar_hint(window, TRUE);
  n->fixed = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(n->window), n->fixed);
  gtk_widget_show(n->fixed);
  r.native = n;
  ApplyGeometry(r);
  gtk_widget_add_events(n->window, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                       GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK |
                                       GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK |
                                       GDK_STRUCTURE_MASK | GDK_PROPERTY_CHANGE_MASK);
  g_signal_connect(n->window, "draw", G_CALLBACK(OnDraw), n);
  g_signal_connect(n->window, "button-press-event", G_CALLBACK(OnButton), n);
  g_signal_connect(n->window, "button-release-event", G_CALLBACK(OnButton), n);
  g_signal_connect(n->window, "motion-notify-event", G_CALLBACK(OnMotion), n);
  g_signal_connect(n->window, "leave-notify-event", G_CALLBACK(OnLeave), n);
  g_signal_connect(n->window, "key-press-event", G_CALLBACK(OnKey), n);
  g_signal_connect(n->window, "key-release-event", G_CALLBACK(OnKey), n);
  g_signal_connect(n->window, "configure-event", G_CALLBACK(OnConfigure), n);
  g_signal_connect(n->window, "window-state-event", G_CALLBACK(OnWindowState), n);
  g_signal_connect(n->window, "delete-event", G_CALLBACK(OnDelete), n);
  g_signal_connect(n->window, "map-event", G_CALLBACK(OnMap), n);
  g_signal_connect(n->window, "property-notify-event", G_CALLBACK(OnProperty), n);
  gtk_widget_realize(n->window);
  GdkWindow* gdk = gtk_widget_get_window(n->window);
  if ((r.style & WS_CAPTION) == WS_CAPTION) {
    // What the window manager offers on the caption follows the window's styles.
    unsigned functions = GDK_FUNC_MOVE;
    if (r.style & WS_SYSMENU) functions |= GDK_FUNC_CLOSE;
    if (r.style & WS_MINIMIZEBOX) functions |= GDK_FUNC_MINIMIZE;
    if (r.style & WS_MAXIMIZEBOX) functions |= GDK_FUNC_MAXIMIZE;
    if (r.style & WS_THICKFRAME) functions |= GDK_FUNC_RESIZE;
    gdk_window_set_functions(gdk, static_cast<GdkWMFunction>(functions));
  }
  n->hwnd = GDK_WINDOW_XID(gdk);
  return n->hwnd;
}

void GtkBackend::DestroyTopLevel(ui::WindowRecord& r) {
  NativeWindow* n = Native(r);
  if (!n) return;
  if (m_drag.hwnd == r.hwnd) m_drag.hwnd = 0;
  g_signal_handlers_disconnect_by_data(n->window, n);
  gtk_widget_destroy(n->window);
  SetRegion(n->opaque, nullptr);
  SetRegion(n->shape, nullptr);
  delete n;
  r.native = nullptr;
  // From here on the handle must not name a window, for this process or any other.
  gdk_display_sync(gdk_display_get_default());
}

void GtkBackend::Sync(ui::WindowRecord& r, unsigned what) {
  NativeWindow* n = Native(r);
  if (!n) return;
  GtkWindow* window = GTK_WINDOW(n->window);
  if (what & ui::kSyncGeometry) ApplyGeometry(r);
  if (what & ui::kSyncTitle) gtk_window_set_title(window, r.text.c_str());
  if (what & ui::kSyncOwner) {
    ui::WindowRecord* owner = ui::FindRecord(r.owner);
    gtk_window_set_transient_for(
        window, owner && Native(*owner) ? GTK_WINDOW(Native(*owner)->window) : nullptr);
  }
  if (what & ui::kSyncTopmost) gtk_window_set_keep_above(window, r.topmost);
  if (what & ui::kSyncIcon) {
    HICON icon = r.iconBig ? r.iconBig : r.iconSmall;
    cairo_surface_t* s = icon ? Wrap(icon->picture) : nullptr;
    GdkPixbuf* pixbuf =
        s ? gdk_pixbuf_get_from_surface(s, 0, 0, icon->picture.width, icon->picture.height)
          : nullptr;
    gtk_window_set_icon(window, pixbuf);
    if (pixbuf) g_object_unref(pixbuf);
    if (s) cairo_surface_destroy(s);
  }
  if (what & ui::kSyncRegion) ApplyShape(r);
  if (what & (ui::kSyncVisibility | ui::kSyncIconic)) {
    const bool shown = r.IsVisible() && !(r.iconic && !HasWindowManager());
    if (shown) {
      gtk_widget_show(n->window);
      // A dialog made to take the foreground asks for it whenever it appears.
      if (r.style & DS_SETFOREGROUND) gtk_window_present(window);
      ApplyShape(r);
      if (r.iconic)
        gtk_window_iconify(window);
      else
        gtk_window_deiconify(window);
    } else {
      gtk_widget_hide(n->window);
    }
  }
  if (what & ui::kSyncRaise) {
    if (GdkWindow* gdk = GdkOf(r)) gdk_window_raise(gdk);
    RaiseOwned(r);
  }
  if (what & ui::kSyncFocus) gtk_window_present(window);
}

void GtkBackend::SyncChild(ui::WindowRecord& r) {
  auto* widget = static_cast<GtkWidget*>(r.hostedWidget);
  ui::WindowRecord* top = ui::TopLevelOf(r.hwnd);
  if (!widget || !top || !Native(*top)) return;
  if (!r.IsVisible()) {
    gtk_widget_hide(widget);
    return;
  }
  const POINT offset = ui::OffsetInTopLevel(r.hwnd);
  gtk_fixed_move(GTK_FIXED(Native(*top)->fixed), widget, offset.x, offset.y);
  gtk_widget_set_size_request(widget, std::max(1, r.Width()), std::max(1, r.Height()));
  gtk_widget_show(widget);
}

void GtkBackend::UpdateLayered(ui::WindowRecord& r) {
  if (!Native(r)) return;
  PrepareShown(r);
  ApplyShape(r);
  gtk_widget_queue_draw(Native(r)->window);
}

void GtkBackend::BeginMoveDrag(ui::WindowRecord& r) {
  if (!Native(r)) return;
  if (HasWindowManager()) {
    gtk_window_begin_move_drag(GTK_WINDOW(Native(r)->window), 1, m_pressRootX, m_pressRootY,
                               m_pressTime);
    return;
  }
  m_drag = MoveDrag{r.hwnd, m_pressRootX, m_pressRootY, r.rect.left, r.rect.top};
}

void GtkBackend::RunLoop() {
  m_loop = g_main_loop_new(nullptr, FALSE);
  WakeUp();  // whatever was queued before the loop
  g_main_loop_run(m_loop);
  g_main_loop_unref(m_loop);
  m_loop = nullptr;
}

UINT_PTR GtkBackend::StartTimer(UINT milliseconds, std::function<void()> tick) {
  auto* closure = new std::function<void()>(std::move(tick));
  return g_timeout_add_full(
      G_PRIORITY_DEFAULT, milliseconds,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_CONTINUE;
      },
      closure, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

// Handles are X11 window ids and other programs' messages are X client messages, so GTK must
// take its X11 backend on a Wayland session too (XWayland's display). GTK tries the backends
// that GDK_BACKEND names and skips those not allowed, so both say X11; the variable also
// reaches the processes started from here (the game, the web engine's processes).
bool OpenX11Display() {
  g_setenv("GDK_BACKEND", "x11", TRUE);
  gdk_set_allowed_backends("x11");
  return gtk_init_check(nullptr, nullptr);
}

}  // namespace

bool Install() {
  static bool initialised = OpenX11Display();
  if (!initialised) return false;
  if (!g_backend) {
    g_backend = new GtkBackend;
    gdk_window_add_filter(nullptr, OnXEvent, nullptr);
    g_signal_connect(gdk_screen_get_default(), "composited-changed",
                     G_CALLBACK(OnCompositedChanged), nullptr);
  }
  ui::InstallBackend(g_backend);
  return true;
}

bool HostWidget(HWND child, GtkWidget* widget) {
  ui::WindowRecord* r = ui::FindRecord(child);
  ui::WindowRecord* top = ui::TopLevelOf(child);
  if (!r || !r->IsChild() || !top || !Native(*top) || !widget) return false;
  r->hostedWidget = widget;
  gtk_fixed_put(GTK_FIXED(Native(*top)->fixed), widget, 0, 0);
  g_backend->SyncChild(*r);
  return true;
}

unsigned ShapeChanges(HWND topLevel) {
  ui::WindowRecord* r = ui::FindRecord(topLevel);
  return r && Native(*r) ? Native(*r)->shapeChanges : 0;
}

GtkWidget* TopLevelWidget(HWND topLevel) {
  ui::WindowRecord* r = ui::FindRecord(topLevel);
  return r && Native(*r) ? Native(*r)->window : nullptr;
}

bool IsComposited() {
  GdkScreen* screen = gdk_screen_get_default();
  return screen && gdk_screen_is_composited(screen);
}

}  // namespace gtkui
