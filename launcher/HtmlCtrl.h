// CHtmlCtrl: a web page in place of a dialog's static control, and the page's only channel to
// the launcher. The page asks for something by navigating to "app:" + command + "|arg"...;
// the control catches such navigations, cancels them and carries out the command.
#pragma once

#include "platform/HtmlView.h"
#include "update/AppConfig.h"

class CHtmlCtrl : public CHtmlView {
 public:
  // "startgame" requests store their values in `config`.
  explicit CHtmlCtrl(AppConfig& config) : m_config(config) {}

  // Replaces static control `nID` of `pParent` by this control, same place and size.
  BOOL CreateFromStatic(UINT nID, CWnd* pParent);

  // The object belongs to its dialog and outlives its window.
  void PostNcDestroy() override {}
  // Page script sees window.external.isWD.
  HRESULT OnGetExternal(ExternalObject* pExternal) override;
  HRESULT OnGetHostInfo(DOCHOSTUIINFO* pInfo) override;
  void OnBeforeNavigate2(const char* lpszURL, DWORD nFlags, const char* lpszTargetFrameName,
                         const std::vector<BYTE>& baPostedData, const char* lpszHeaders,
                         BOOL* pbCancel) override;
  void OnDocumentComplete(const char* lpszURL) override;
  void OnEngineNote(const char* lpszText) override;
  // Carries out one request: the text after "app:".
  virtual void OnAppRequest(const char* lpszRequest);

  // Tells page script that it runs inside the launcher.
  BOOL isWD() { return TRUE; }

 private:
  AppConfig& m_config;
};
