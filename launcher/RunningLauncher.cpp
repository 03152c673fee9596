#include "RunningLauncher.h"

#include "Messages.h"
#include "platform/Afx.h"
#include "update/Log.h"

namespace {
// The class of the main dialog (template 102), which other processes find it by.
constexpr const char* kMainDialogClass = "DODuzoDizuzide";
}  // namespace

bool CheckRunningLauncher(const AppConfig& config) {
  if (config.bHandedOver) return false;
  // No window of this process exists yet: whatever is found is another launcher's.
  const HWND hRunning = FindWindow(kMainDialogClass, nullptr);
  if (!hRunning) return false;
  LogPrint("launcher already running (window %lu), bring it to top",
           static_cast<unsigned long>(hRunning));
  // A send, bounded like every send to another process, so the running launcher has acted
  // (or was found hung) before this one ends.
  SendMessage(hRunning, WM_RUN_LAUNCHER, 0, 0);
  return true;
}
