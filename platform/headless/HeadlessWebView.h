// The headless web engine: it loads nothing, records what the view asks of it, and lets a test
// report navigations and loaded pages as the real engine would.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "../WebView.h"

namespace headless {

class HeadlessWebView : public ui::WebView {
 public:
  HeadlessWebView(ui::WindowRecord& record, ui::WebViewSite& site,
                  const ui::WebViewSettings& settings);
  ~HeadlessWebView() override;

  // The engine of CHtmlView window `hwnd`; null when it has none (not created or released).
  static HeadlessWebView* Of(HWND hwnd);

  // What the view asked for.
  const ui::WebViewSettings settings;
  std::vector<std::string> navigations;
  int goBacks = 0;
  SIZE size;
  // Called inside GoBack, so a test can see what had happened by then.
  std::function<void()> onGoBack;

  // The page (or a frame, or a new window with `targetFrame`) wants to go to `url`, written as
  // the page wrote it; true when the view stopped it.
  bool RaiseBeforeNavigate(const std::string& url, const std::string& targetFrame = "",
                           bool newWindow = false);
  void RaiseDocumentComplete(const std::string& url);

  // ui::WebView
  void Navigate(const std::string& url) override { navigations.push_back(url); }
  void GoBack() override;
  void Resize(int width, int height) override { size = SIZE{width, height}; }

 private:
  HWND m_hwnd;
  ui::WebViewSite& m_site;
};

}  // namespace headless
