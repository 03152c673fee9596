// An application object that counts the start requests the web bridge posts to its thread.
#pragma once

#include "Messages.h"
#include "platform/Afx.h"

class StartGameApp : public CWinApp {
  DECLARE_MESSAGE_MAP()

 public:
  void OnStartGame(WPARAM, LPARAM) { ++starts; }
  int starts = 0;
};

inline const MessageMap& StartGameApp::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<StartGameApp>(
      {OnThreadMessageNumber(WM_LAUNCHER_STARTGAME, &StartGameApp::OnStartGame)});
  return map;
}
