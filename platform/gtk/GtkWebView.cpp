// The web engine on the Linux desktop: a WebKitGTK web view hosted in the CHtmlView's child
// window. Its navigation policy decisions stand in for the before-navigate hook.
#include "../WebView.h"
#include "../WindowTable.h"
#include "EngineAddress.h"
#include "GtkBackend.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// GLib's TRUE and FALSE are macros: the toolkit's headers come after the framework's.
#include <webkit2/webkit2.h>

namespace gtkweb {

namespace {

// Whether the engine's sandbox can start here. It runs each web process under bubblewrap in
// new namespaces, which containers and hardened systems may deny; with the sandbox on there, no
// web process would start and no page would show. The probe is bounded: a stuck bwrap is killed.
bool SandboxCanStart() {
  const char* argv[] = {"bwrap",
                        "--unshare-all",
                        "--die-with-parent",
                        "--ro-bind",
                        "/",
                        "/",
                        "--dev",
                        "/dev",
                        "--proc",
                        "/proc",
                        "true",
                        nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, "bwrap", &quiet, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) return false;
  for (int waited = 0; waited < 3000; waited += 10) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0) return false;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return false;
}

// Once per process, before the first web process starts; the note says what was decided.
std::string PrepareContext() {
  static bool prepared = false;
  if (prepared) return "";
  prepared = true;
  const bool sandbox = SandboxCanStart();
  webkit_web_context_set_sandbox_enabled(webkit_web_context_get_default(), sandbox);
  return sandbox ? "web pages run in the engine's sandbox"
                 : "web pages run without the engine's sandbox: bubblewrap cannot start here";
}

// Script run at the start of every document of every frame, before the document's own: puts
// the members on window.external (made first where the engine has none).
std::string ExternalScript(const ExternalObject& external) {
  std::string script =
      "(function(){var e=window.external;"
      "if(!e||typeof e!=='object'){e={};"
      "Object.defineProperty(window,'external',{value:e,configurable:true});}";
  for (const ExternalMember& member : external) {
    std::string name;
    for (char c : member.name) {
      if (c == '\\' || c == '"') name += '\\';
      name += c;
    }
    script += "Object.defineProperty(e,\"" + name +
              "\",{value:" + (member.value ? "true" : "false") + ",enumerable:true});";
  }
  return script + "})();";
}

class GtkWebView : public ui::WebView {
 public:
  GtkWebView(ui::WindowRecord& record, ui::WebViewSite& site, const ui::WebViewSettings& settings)
      : m_hwnd(record.hwnd), m_site(site) {
    if (const std::string note = PrepareContext(); !note.empty()) m_site.EngineNote(note);
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    if (!settings.external.empty()) {
      WebKitUserScript* script = webkit_user_script_new(
          ExternalScript(settings.external).c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
          WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
      webkit_user_content_manager_add_script(content, script);
      webkit_user_script_unref(script);
    }
    m_view = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", content, nullptr));
    g_object_unref(content);
    g_object_ref_sink(m_view);
    // Plain X11: no GL or direct rendering devices. (The view never draws a 3D border, which
    // is all the host flags ask for.)
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(m_view),
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    g_signal_connect(m_view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(m_view, "create", G_CALLBACK(OnCreate), this);
    g_signal_connect(m_view, "load-changed", G_CALLBACK(OnLoadChanged), this);
    gtkui::HostWidget(record.hwnd, GTK_WIDGET(m_view));
  }

  ~GtkWebView() override {
    g_signal_handlers_disconnect_by_data(m_view, this);
    webkit_web_view_stop_loading(m_view);
    if (ui::WindowRecord* record = ui::FindRecord(m_hwnd)) record->hostedWidget = nullptr;
    gtk_widget_destroy(GTK_WIDGET(m_view));
    g_object_unref(m_view);
  }

  void Navigate(const std::string& url) override { webkit_web_view_load_uri(m_view, url.c_str()); }
  void GoBack() override { webkit_web_view_go_back(m_view); }
  // The backend keeps the hosted view on its child window's place and size (SyncChild).
  void Resize(int, int) override {}

 private:
  // Runs the hook for `action`. It may end this view: nothing of the view is touched after.
  static bool BeforeNavigate(gpointer data, WebKitNavigationAction* action, bool newWindow) {
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const char* target = webkit_navigation_action_get_frame_name(action);
    return static_cast<GtkWebView*>(data)->m_site.BeforeNavigate(UndoEngineEscapes(uri ? uri : ""),
                                                                 target ? target : "", newWindow);
  }

  // Navigations of the page and its frames, and links that open a new window.
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer data) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;  // the engine's own rules
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    g_object_ref(decision);
    const bool cancel =
        BeforeNavigate(data, action, type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION);
    if (cancel)
      webkit_policy_decision_ignore(decision);
    else
      webkit_policy_decision_use(decision);
    g_object_unref(decision);
    return TRUE;
  }

  // window.open: the hook sees it as a new window; the engine never makes one.
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
    BeforeNavigate(data, action, true);
    return nullptr;
  }

  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    if (event != WEBKIT_LOAD_FINISHED) return;
    const char* uri = webkit_web_view_get_uri(view);
    static_cast<GtkWebView*>(data)->m_site.DocumentComplete(uri ? uri : "");
  }

  HWND m_hwnd;
  ui::WebViewSite& m_site;
  WebKitWebView* m_view = nullptr;
};

}  // namespace

}  // namespace gtkweb

namespace ui {
std::unique_ptr<WebView> CreateWebView(WindowRecord& record, WebViewSite& site,
                                       const WebViewSettings& settings) {
  return std::make_unique<gtkweb::GtkWebView>(record, site, settings);
}
}  // namespace ui
