#include "HtmlCtrl.h"

#include <cstring>

#include "AppRequest.h"
#include "Messages.h"
#include "Telemetry.h"
#include "platform/Afx.h"
#include "update/Log.h"

// No message map of its own: the view's handling is what a control in a dialog needs
// (WM_DESTROY releases the browser, WM_SIZE makes the page fill the control, and
// WM_MOUSEACTIVATE gets the plain default, as there is no frame window to activate).

BOOL CHtmlCtrl::CreateFromStatic(UINT nID, CWnd* pParent) {
  CStatic wndStatic;
  if (!wndStatic.SubclassDlgItem(nID, pParent)) return FALSE;
  RECT rc;
  wndStatic.GetWindowRect(&rc);
  pParent->ScreenToClient(&rc);
  wndStatic.DestroyWindow();
  // WS_CHILD | WS_VISIBLE | 0x8
  return Create(nullptr, nullptr, 0x50000008, rc, pParent, nID);
}

HRESULT CHtmlCtrl::OnGetExternal(ExternalObject* pExternal) {
  pExternal->push_back(ExternalMember{"isWD", isWD()});
  return S_OK;
}

HRESULT CHtmlCtrl::OnGetHostInfo(DOCHOSTUIINFO* pInfo) {
  pInfo->dwFlags |= DOCHOSTUIFLAG_NO3DBORDER;
  return S_OK;
}

void CHtmlCtrl::OnDocumentComplete(const char* lpszURL) {
  LogPrint("load page %s completed", lpszURL);
}

void CHtmlCtrl::OnEngineNote(const char* lpszText) {
  LogPrint("%s", lpszText);
}

void CHtmlCtrl::OnBeforeNavigate2(const char* lpszURL, DWORD, const char*, const std::vector<BYTE>&,
                                  const char*, BOOL* pbCancel) {
  std::string request;
  if (FindAppRequest(lpszURL, request)) {
    OnAppRequest(request.c_str());
    *pbCancel = TRUE;
    GoBack();
    return;
  }
  if (std::strstr(lpszURL, "login?")) PostLoginState(m_config, kLoginStateSelectServer);
  *pbCancel = FALSE;
}

void CHtmlCtrl::OnAppRequest(const char* lpszRequest) {
  const std::vector<std::string> args = SplitAppRequest(lpszRequest);
  if (!Check(args.size() > 0, "HtmlCtrl", 192, "args.size() > 0")) return;
  if (args[0] == "startgame") {
    ApplyStartGame(m_config, args);
    if (CWinApp* app = AfxGetApp())
      PostThreadMessage(app->m_nThreadID, WM_LAUNCHER_STARTGAME, 0, 0);
  } else if (args[0] == "close") {
    ShowWindow(SW_HIDE);
    if (CWnd* parent = GetParent()) parent->SendMessage(WM_HTML_CLOSE, 0, 0);
  }
}
