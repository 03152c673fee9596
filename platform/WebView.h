// What a backend's web engine provides to CHtmlView (not part of the launcher's API). Each
// backend library defines CreateWebView; the program links one backend.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Types.h"

// The object page script reaches as `window.external`: read-only members, each a boolean,
// listed in dispatch-id order. The engine reads them once, when it starts, and gives them to
// every document of every frame before the document's own script runs.
struct ExternalMember {
  std::string name;
  BOOL value = 0;
};
using ExternalObject = std::vector<ExternalMember>;

namespace ui {

struct WindowRecord;

// The view's side, which the engine reports to (on the UI thread).
class WebViewSite {
 public:
  virtual ~WebViewSite() = default;
  // Before a navigation of the page or of one of its frames, or before a new window would open
  // (`newWindow`, with its `targetFrame`), with the address as the page wrote it. True: the
  // engine must not go there (and never opens a window itself).
  virtual bool BeforeNavigate(const std::string& url, const std::string& targetFrame,
                              bool newWindow) = 0;
  virtual void DocumentComplete(const std::string& url) = 0;
  // Something the engine decided once per process that an operator should be able to read.
  virtual void EngineNote(const std::string& text) = 0;
};

// What the engine is told when it starts.
struct WebViewSettings {
  DWORD hostFlags = 0;      // DOCHOSTUIINFO flags
  ExternalObject external;  // window.external's members
};

// The engine of one CHtmlView, filling the view's child window. Destroying it releases the
// engine; it reports nothing afterwards.
class WebView {
 public:
  virtual ~WebView() = default;
  virtual void Navigate(const std::string& url) = 0;
  virtual void GoBack() = 0;
  // The view's size changed: the page fills it.
  virtual void Resize(int width, int height) = 0;
};

// The engine for the child window `record`; null when it cannot start.
std::unique_ptr<WebView> CreateWebView(WindowRecord& record, WebViewSite& site,
                                       const WebViewSettings& settings);

}  // namespace ui
