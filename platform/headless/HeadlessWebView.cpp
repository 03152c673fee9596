#include "HeadlessWebView.h"

#include "../WindowTable.h"

namespace ui {
std::unique_ptr<WebView> CreateWebView(WindowRecord& record, WebViewSite& site,
                                       const WebViewSettings& settings) {
  return std::make_unique<headless::HeadlessWebView>(record, site, settings);
}
}  // namespace ui

namespace headless {

HeadlessWebView::HeadlessWebView(ui::WindowRecord& record, ui::WebViewSite& site,
                                 const ui::WebViewSettings& settings)
    : settings(settings), size{record.Width(), record.Height()}, m_hwnd(record.hwnd), m_site(site) {
  record.hostedWidget = this;
}

HeadlessWebView::~HeadlessWebView() {
  if (ui::WindowRecord* record = ui::FindRecord(m_hwnd)) record->hostedWidget = nullptr;
}

HeadlessWebView* HeadlessWebView::Of(HWND hwnd) {
  ui::WindowRecord* record = ui::FindRecord(hwnd);
  return record ? static_cast<HeadlessWebView*>(record->hostedWidget) : nullptr;
}

bool HeadlessWebView::RaiseBeforeNavigate(const std::string& url, const std::string& targetFrame,
                                          bool newWindow) {
  return m_site.BeforeNavigate(url, targetFrame, newWindow);
}

void HeadlessWebView::RaiseDocumentComplete(const std::string& url) {
  m_site.DocumentComplete(url);
}

void HeadlessWebView::GoBack() {
  ++goBacks;
  if (onGoBack) onGoBack();
}

}  // namespace headless
