#include "HtmlView.h"

#include <cctype>

#include "System.h"
#include "WindowTable.h"

const MessageMap& CHtmlView::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CHtmlView>(
      {
          OnMessageNumber(WM_CREATE, &CHtmlView::HandleCreate),
          OnSizeMsg(&CHtmlView::OnSize),
          OnDestroyMsg(&CHtmlView::OnDestroy),
      },
      &CWnd::GetThisMessageMap);
  return map;
}

CHtmlView::CHtmlView() = default;

// Destroyed here rather than by CWnd, so that this class's WM_DESTROY still runs.
CHtmlView::~CHtmlView() {
  if (m_hWnd && ui::FindRecord(m_hWnd)) DestroyWindow();
}

void CHtmlView::Navigate(const char* url) {
  if (m_pBrowserApp) m_pBrowserApp->Navigate(url ? url : "");
}

void CHtmlView::GoBack() {
  if (m_pBrowserApp) m_pBrowserApp->GoBack();
}

void CHtmlView::OnBeforeNavigate2(const char*, DWORD, const char*, const std::vector<BYTE>&,
                                  const char*, BOOL*) {}

void CHtmlView::OnDocumentComplete(const char*) {}

HRESULT CHtmlView::OnGetHostInfo(DOCHOSTUIINFO*) {
  return E_NOTIMPL;
}

HRESULT CHtmlView::OnGetExternal(ExternalObject*) {
  return S_FALSE;
}

LRESULT CHtmlView::HandleCreate(WPARAM, LPARAM) {
  ui::WindowRecord* record = ui::FindRecord(m_hWnd);
  if (!record) return -1;
  ui::WebViewSettings settings;
  DOCHOSTUIINFO info;
  if (OnGetHostInfo(&info) == S_OK) settings.hostFlags = info.dwFlags;
  if (OnGetExternal(&settings.external) != S_OK) settings.external.clear();
  m_pBrowserApp = ui::CreateWebView(*record, *this, settings);
  return 0;
}

void CHtmlView::OnSize(UINT, int cx, int cy) {
  Default();
  if (m_pBrowserApp) m_pBrowserApp->Resize(cx, cy);
}

void CHtmlView::OnDestroy() {
  // The pointer is cleared before the engine is released, so nothing reaches the engine while
  // it shuts down.
  std::unique_ptr<ui::WebView> browser = std::move(m_pBrowserApp);
  browser.reset();
  Default();
}

namespace {

// Web addresses only: any other scheme would start whatever local handler claims it, at the
// word of a page or of a frame inside it.
bool IsWebAddress(const std::string& url) {
  size_t colon = url.find(':');
  if (colon == std::string::npos) return false;
  std::string scheme = url.substr(0, colon);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme == "http" || scheme == "https";
}

}  // namespace

bool CHtmlView::BeforeNavigate(const std::string& url, const std::string& targetFrame,
                               bool newWindow) {
  BOOL cancel = FALSE;
  OnBeforeNavigate2(url.c_str(), 0, targetFrame.c_str(), {}, "", &cancel);
  if (newWindow && !cancel) {
    if (IsWebAddress(url))
      sys::Current().OpenUrl(url);
    else
      sys::Current().OutputDebugString("new window " + url + " not opened: not a web address");
  }
  return cancel || newWindow;
}

void CHtmlView::DocumentComplete(const std::string& url) {
  OnDocumentComplete(url.c_str());
}

void CHtmlView::OnEngineNote(const char* lpszText) {
  sys::Current().OutputDebugString(lpszText);
}

void CHtmlView::EngineNote(const std::string& text) {
  OnEngineNote(text.c_str());
}
