// Desktop launcher files (.desktop), the Linux desktop's shortcuts.
#pragma once

#include <string>

#include "../System.h"

namespace sys {

// The file's text: an application entry named `name` that starts the target, without
// arguments, in the working folder. Every value is escaped, so no byte of it can start a key.
std::string DesktopEntryText(const std::string& name, const Shortcut& shortcut);

}  // namespace sys
