// Desktop launcher files (.desktop), the Linux desktop's shortcuts.
#pragma once

#include <string>

#include "../System.h"

namespace sys {

// The file's text: an application entry named `name` that starts the target, without
// arguments, in the working folder, shown with the picture file `iconPath` and tied to windows
// of the shortcut's window class (each line only when it has a value). Every value is escaped,
// so no byte of it can start a key.
std::string DesktopEntryText(const std::string& name, const Shortcut& shortcut,
                             const std::string& iconPath);

// Where a shortcut's picture is kept: beside the target, under its name with ".png" for its
// extension ("/w/Launcher.exe" gives "/w/Launcher.png").
std::string DesktopIconPath(const std::string& target);

}  // namespace sys
