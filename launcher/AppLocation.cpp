#include "AppLocation.h"

#include <cstdio>

#include "LauncherSettings.h"
#include "platform/CodePage.h"
#include "platform/Dialog.h"
#include "platform/Resources.h"
#include "update/FileUtil.h"
#include "update/Log.h"

namespace {

// Copies the running executable over the work folder's launcher and starts that copy.
void MoveApp(const std::string& running, const std::string& target, const std::string& work) {
  sys::System& system = sys::Current();
  CreateParentDirectory(target);
  if (!system.CopyFile(running, target)) {
    LogPrint("CheckNeedMoveAppLocation CopyFile error(%d)!", system.GetLastError());
    return;
  }
  LogPrint("CheckNeedMoveAppLocation copy file to %s successed", target.c_str());
  StartHandOver(target, work);
  LogPrint("CheckNeedMoveAppLocation ShellExecute %s", target.c_str());
}

// Letter case is folded for ASCII letters only, each a character of its own: the second byte
// of a double-byte character may have a letter's value but is no letter.
bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  for (size_t at = 0; at < prefix.size(); at += sys::CharSize(text, at)) {
    const size_t size = sys::CharSize(text, at);
    if (size > 1 ? text.compare(at, size, prefix, at, size) != 0
                 : fold(text[at]) != fold(prefix[at])) {
      return false;
    }
  }
  return true;
}

std::string FileName(const std::string& path) {
  size_t separator = FindLastSeparator(path);
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// Desktops that read a shortcut's picture from a file get icon 128's largest image, and tie
// the main dialog's windows to the shortcut by their class.
sys::Shortcut MakeShortcut(const std::string& name, const std::string& targetPath,
                           const std::string& workFolder) {
  sys::Shortcut shortcut{targetPath, workFolder, name};
  res::Resource icon;
  if (res::FindResource(128, "icon", &icon)) shortcut.iconPng = IconPngImage(icon.data, icon.size);
  const DialogTemplate* dialog = res::FindDialogTemplate(102);
  if (dialog && dialog->className) shortcut.windowClass = dialog->className;
  return shortcut;
}

}  // namespace

std::string GetShortcutName() {
  return std::string("Wan") + LAUNCHER_GAME_TITLE;
}

bool CheckNeedMoveAppLocation(const AppConfig& config) {
  std::string running = sys::Current().GetModuleFileName();
  std::string work = config.GetWorkPath();
  std::string target = work + kAppFileName;
  LogPrint("check application path %s and %s", running.c_str(), target.c_str());
  // The same file however its path is spelt: copying a file over itself and starting the
  // "copy" would hand over for ever.
  if (!sys::Current().SameFile(running, target)) {
    // The last guard against such a chain: a copy that another one started as the work
    // folder's launcher does not move again. A downloaded build (another name) still does.
    if (config.bHandedOver && FileName(running) == kAppFileName) {
      LogPrint("started by hand-over, no further relocation");
      return false;
    }
    MoveApp(running, target, work);
    return true;
  }
  LogPrint("create shortcut %s", target.c_str());
  std::string name = GetShortcutName();
  for (sys::Folder folder :
       {sys::Folder::Desktop, sys::Folder::CommonPrograms, sys::Folder::AppData}) {
    CreateShortcut(name, folder, target, work);
  }
  // The shell pins an item it finds by folder and name, so it is offered the work folder and
  // "Launcher.exe" rather than a full path and a shortcut name, which it could never resolve.
  PinToTaskbar(work, kAppFileName);
  return false;
}

bool CreateShortcut(const std::string& name, sys::Folder folderId, const std::string& targetPath,
                    const std::string& workFolder) {
  sys::System& system = sys::Current();
  std::string folder;
  if (!system.GetSpecialFolder(folderId, folder)) return false;
  if (folderId == sys::Folder::AppData) {
    const char separator = sys::kPathSeparator;
    folder = folder + separator + "Microsoft" + separator + "Internet Explorer" + separator +
             "Quick Launch";
  }
  // A missing folder (usually Quick Launch) is not created; a failed write is not reported.
  if (!IsPathExist(folder) ||
      !system.SaveShortcut(folder, name, MakeShortcut(name, targetPath, workFolder))) {
    return true;
  }
  // Only the desktop's shortcut is started from a file manager's view, which asks for the mark.
  if (folderId == sys::Folder::Desktop && !system.TrustShortcut(folder, name))
    LogPrint("shortcut %s in %s not marked trusted", name.c_str(), folder.c_str());
  return true;
}

bool PinToTaskbar(const std::string& folder, const std::string& item) {
  sys::System& system = sys::Current();
  std::vector<std::string> verbs;
  if (!system.GetShellVerbs(folder, item, verbs)) return false;
  for (size_t i = 0; i < verbs.size(); ++i) {
    if (IsPinVerb(verbs[i])) return system.InvokeShellVerb(folder, item, i);
  }
  return false;
}

bool IsPinVerb(const std::string& name) {
  for (const char* verb : {"Pin to Taskbar", "锁定到任务栏", "固定到任务栏"}) {
    if (StartsWithIgnoringCase(name, verb)) return true;
  }
  return false;
}

bool StartHandOver(const std::string& file, const std::string& workFolder) {
  char params[260];
  std::snprintf(params, sizeof params, "-killpid %d",
                static_cast<int>(sys::Current().GetCurrentProcessId()));
  return sys::Current().StartProcess(file, params, workFolder, nullptr);
}
