// CHtmlView: a window that hosts the system web engine and shows one page. Subclasses watch
// and steer the page through the hooks, which the engine calls on the UI thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "WebView.h"
#include "Wnd.h"

#ifndef _WIN32
using HRESULT = LONG;
inline constexpr HRESULT S_OK = 0, S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
#endif

// What the page's host tells the engine about how to show the page (flags).
struct DOCHOSTUIINFO {
  DWORD cbSize = sizeof(DOCHOSTUIINFO);
  DWORD dwFlags = 0;
  DWORD dwDoubleClick = 0;
};
inline constexpr DWORD DOCHOSTUIFLAG_NO3DBORDER = 0x4;

class CHtmlView : public CWnd, private ui::WebViewSite {
  DECLARE_MESSAGE_MAP()

 public:
  CHtmlView();
  ~CHtmlView() override;

  // Opens `url` in the page (no flags, target frame, headers or post data).
  void Navigate(const char* url);
  // One page back in the page's history; nothing when there is none.
  void GoBack();

  // Before every navigation of the page and of its frames, and before a new window would open
  // (a link with a target, window.open): `lpszURL` is the address as the page wrote it and
  // `lpszTargetFrameName` the target of a new window ("" otherwise). Setting *pbCancel to TRUE
  // stops the navigation; a new window that is not stopped opens in the user's browser, never
  // in the engine. The flags are 0, the post data and headers empty.
  virtual void OnBeforeNavigate2(const char* lpszURL, DWORD nFlags, const char* lpszTargetFrameName,
                                 const std::vector<BYTE>& baPostedData, const char* lpszHeaders,
                                 BOOL* pbCancel);
  // The page at `lpszURL` has loaded.
  virtual void OnDocumentComplete(const char* lpszURL);
  // What the engine decided when it first started (e.g. whether its sandbox runs); written to
  // the debugger output unless a control logs it.
  virtual void OnEngineNote(const char* lpszText);
  // Asked once, when the engine starts; S_OK applies the flags in `pInfo`.
  virtual HRESULT OnGetHostInfo(DOCHOSTUIINFO* pInfo);
  // Asked once, when the engine starts; S_OK gives page script the members in `pExternal`.
  virtual HRESULT OnGetExternal(ExternalObject* pExternal);

 protected:
  void OnSize(UINT nType, int cx, int cy);
  void OnDestroy();

  // The engine; null before the window exists and after WM_DESTROY.
  std::unique_ptr<ui::WebView> m_pBrowserApp;

 private:
  LRESULT HandleCreate(WPARAM, LPARAM);
  // ui::WebViewSite
  bool BeforeNavigate(const std::string& url, const std::string& targetFrame,
                      bool newWindow) override;
  void DocumentComplete(const std::string& url) override;
  void EngineNote(const std::string& text) override;
};
