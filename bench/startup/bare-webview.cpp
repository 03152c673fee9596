// bare-webview URL: the least a program can do to show what the launcher's main dialog shows,
// for the startup benchmark to compare against. One 980x650 top-level GTK window holding a
// 640x416 WebKitWebView at the web area's place, loading URL, with the web-engine settings the
// launcher's web view uses (no sandbox, no hardware acceleration). No pictures, no shape, no
// telemetry, no work folder. Ends on closing the window or on SIGTERM.
#include <webkit2/webkit2.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bare-webview URL\n");
    return 2;
  }
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "bare-webview: cannot open the display\n");
    return 1;
  }
  // As the launcher: its pages are its own, and plain X11 has no GL devices.
  webkit_web_context_set_sandbox_enabled(webkit_web_context_get_default(), FALSE);

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "bare-webview");
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(window), 980, 650);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

  GtkWidget* place = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(window), place);
  WebKitWebView* view = WEBKIT_WEB_VIEW(webkit_web_view_new());
  webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view),
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  gtk_widget_set_size_request(GTK_WIDGET(view), 640, 416);
  gtk_fixed_put(GTK_FIXED(place), GTK_WIDGET(view), 282, 143);
  webkit_web_view_load_uri(view, argv[1]);

  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
