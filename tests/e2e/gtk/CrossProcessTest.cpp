// Messages from other processes (wan-send) reaching message maps, and the top-level windows of
// another process as the launcher sees them.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "XvfbEnvironment.h"
#include "platform/Afx.h"
#include "platform/System.h"

namespace {

class CTargetDlg : public CWnd {
  DECLARE_MESSAGE_MAP()

 public:
  LRESULT OnNotice(WPARAM w, LPARAM l) {
    notices.push_back({w, l});
    return 0;
  }
  LRESULT OnRun(WPARAM, LPARAM) { return 42; }
  BOOL OnCopyData(CWnd*, COPYDATASTRUCT* data) {
    kinds.push_back(data->dwData);
    lengths.push_back(data->cbData);
    texts.emplace_back(static_cast<const char*>(data->lpData), std::min<DWORD>(data->cbData, 1023));
    return data->cbData < 1024;  // longer payloads are refused
  }
  std::vector<std::pair<WPARAM, LPARAM>> notices;
  std::vector<ULONG_PTR> kinds;
  std::vector<DWORD> lengths;
  std::vector<std::string> texts;
};

const MessageMap& CTargetDlg::GetThisMessageMap() {
  static const MessageMap map = MessageMap::For<CTargetDlg>(
      {
          OnMessageNumber(WM_USER + 1, &CTargetDlg::OnNotice),
          OnMessageNumber(2030, &CTargetDlg::OnRun),
          OnCopyDataMsg(&CTargetDlg::OnCopyData),
      },
      &CWnd::GetThisMessageMap);
  return map;
}

const std::string kWanSend = WAN_SEND;

TEST(CrossProcessTest, WanSendMessagesAndCopyDataReachTheMessageMap) {
  CTargetDlg dlg;
  ASSERT_TRUE(
      dlg.CreateEx(0, "WanE2ETarget", "target", WS_POPUP, RECT{0, 0, 100, 100}, nullptr, 0));
  dlg.ShowWindow(SW_SHOW);
  RunLoopUntil([] { return false; }, 200);

  std::string out;
  ASSERT_EQ(RunWhileLooping(kWanSend + " --find WanE2ETarget", &out), 0);
  EXPECT_EQ(std::stoul(out, nullptr, 16), dlg.m_hWnd);
  EXPECT_EQ(FindWindow("WanE2ETarget", nullptr), dlg.m_hWnd);

  // Posted, with parameters that must arrive as unsigned 32-bit values.
  ASSERT_EQ(RunWhileLooping(kWanSend + " --class WanE2ETarget --post 1025 0xFFFFFFFF -2"), 0);
  ASSERT_TRUE(RunLoopUntil([&] { return !dlg.notices.empty(); }));
  EXPECT_EQ(dlg.notices[0].first, 0xFFFFFFFFu);
  EXPECT_EQ(dlg.notices[0].second, static_cast<LPARAM>(0xFFFFFFFEu));

  // Sent: the result comes back.
  ASSERT_EQ(
      RunWhileLooping(kWanSend + " --window " + std::to_string(dlg.m_hWnd) + " --send 2030", &out),
      0);
  EXPECT_EQ(out, "42\n");

  // Copy-data: a command, and a payload one byte over the limit that arrives whole.
  ASSERT_EQ(RunWhileLooping(
                kWanSend + " --class WanE2ETarget --copydata 1 '400,300,http://a/b?c,d'", &out),
            0);
  EXPECT_EQ(out, "1\n");
  ASSERT_EQ(RunWhileLooping(kWanSend + " --class WanE2ETarget --copydata-size 2 1024", &out), 0);
  EXPECT_EQ(out, "0\n");
  ASSERT_EQ(dlg.kinds.size(), 2u);
  EXPECT_EQ(dlg.kinds[0], 1u);
  EXPECT_EQ(dlg.texts[0], "400,300,http://a/b?c,d");
  EXPECT_EQ(dlg.kinds[1], 2u);
  EXPECT_EQ(dlg.lengths[1], 1024u);
}

BOOL CollectWindows(HWND hwnd, LPARAM lParam) {
  reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
  return TRUE;
}

TEST(CrossProcessTest, ChildProcessWindowsWithTheirOwnersUntilTheyAreGone) {
  sys::Process child;
  ASSERT_TRUE(sys::Current().StartProcess(FRAMEWORK_DEMO, "", "", &child));
  EXPECT_EQ(WaitForProcessWindow(child, 3000), 0u);
  // The demo makes its dialog and then the layered window it owns.
  std::vector<HWND> mine;
  ASSERT_TRUE(RunLoopUntil([&] {
    std::vector<HWND> all;
    EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&all));
    mine.clear();
    for (HWND hwnd : all) {
      DWORD pid = 0;
      GetWindowThreadProcessId(hwnd, &pid);
      if (pid == child.id) mine.push_back(hwnd);
    }
    // Settled: both windows there, the owned one above its owner.
    return mine.size() == 2 && GetParent(mine[0]) == mine[1];
  }));
  const HWND layered = mine[0], dialog = mine[1];  // from the top of the stacking order
  EXPECT_EQ(GetParent(layered), dialog);
  EXPECT_EQ(GetParent(dialog), 0u);
  EXPECT_EQ(FindWindow("DODuzoDizuzide", nullptr), dialog);
  char expected[64];
  std::snprintf(expected, sizeof expected, "0x%08x 0x%08x\n0x%08x 0x00000000\n",
                static_cast<unsigned>(layered), static_cast<unsigned>(dialog),
                static_cast<unsigned>(dialog));
  // Another process's look at the stacking order, which the demo may still be settling.
  std::string out;
  for (int tries = 0; tries < 50 && out != expected; ++tries) {
    ASSERT_EQ(RunWhileLooping(kWanSend + " --list " + std::to_string(child.id), &out), 0);
  }
  EXPECT_EQ(out, expected);

  // Closing it through its own message ends the process and its windows.
  EXPECT_TRUE(PostMessage(dialog, WM_CLOSE, 0, 0));
  EXPECT_TRUE(RunLoopUntil([&] { return !IsWindow(dialog) && !IsWindow(layered); }));
  EXPECT_NE(RunWhileLooping(kWanSend + " --exists " + std::to_string(dialog)), 0);
  kill(static_cast<pid_t>(child.id), SIGTERM);  // in case it is still there
}

TEST(CrossProcessTest, ForgedSystemMessagesFromAnotherProcessAreDropped) {
  sys::Process demo;
  ASSERT_TRUE(sys::Current().StartProcess(FRAMEWORK_DEMO, "", "", &demo));
  HWND dialog = 0;
  ASSERT_TRUE(RunLoopUntil([&] { return (dialog = FindWindow("DODuzoDizuzide", nullptr)) != 0; }));
  // Parameters that default handling would take as a picture, a window position, an owner-draw
  // record, a timer callback.
  const std::string to = kWanSend + " --class DODuzoDizuzide ";
  EXPECT_EQ(RunWhileLooping(to + "--send 0x80 1 0x1234"), 0);  // WM_SETICON
  for (const char* message : {"0x14 0x1234", "0x47 0 0x1234", "0x2B 0 0x1234", "0x113 1 0x1234"})
    EXPECT_EQ(RunWhileLooping(to + "--post " + message), 0) << message;
  std::string out;
  ASSERT_EQ(RunWhileLooping(to + "--send 0x37", &out), 0);  // WM_QUERYDRAGICON: no address back
  EXPECT_EQ(out, "0\n");
  // Still there and answering.
  ASSERT_EQ(RunWhileLooping(to + "--send 0", &out), 0);
  EXPECT_EQ(out, "0\n");
  EXPECT_TRUE(IsWindow(dialog));
  kill(static_cast<pid_t>(demo.id), SIGTERM);
}

}  // namespace
