// Where the launcher runs from: always "Launcher.exe" in its work folder, with shortcuts to it
// on the desktop, in the program menu and in Quick Launch.
#pragma once

#include <string>

#include "platform/System.h"
#include "update/AppConfig.h"

// The launcher's file name in the work folder.
inline constexpr const char* kAppFileName = "Launcher.exe";

// The shortcuts' file name and description: "Wan" followed by the game's title.
std::string GetShortcutName();

// Start-up's first check. When the running executable is not the work folder's "Launcher.exe"
// (another file, not another spelling of its path), copies it there, starts the copy and
// returns true: this process must end, also when the copy failed. A process that another copy
// started ("-killpid") while running as "Launcher.exe" never moves again: it logs that and
// returns false. Otherwise writes the shortcuts, tries to pin the launcher to the taskbar and
// returns false.
bool CheckNeedMoveAppLocation(const AppConfig& config);

// Writes the shortcut `name` to `targetPath` into a special folder (for AppData, its Quick
// Launch folder), only where that folder exists. False when the special folder is unknown.
bool CreateShortcut(const std::string& name, sys::Folder folderId, const std::string& targetPath,
                    const std::string& workFolder);

// Invokes the first pin verb the shell offers on `item` inside `folder`; whether one was.
bool PinToTaskbar(const std::string& folder, const std::string& item);

// Whether a shell verb's display name is one of the pin-to-taskbar verbs.
bool IsPinVerb(const std::string& name);

// Starts another copy of the launcher that takes over from this process: "-killpid <our id>",
// in the work folder. Whether it started.
bool StartHandOver(const std::string& file, const std::string& workFolder);
