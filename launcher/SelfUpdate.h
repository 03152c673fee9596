// The launcher's self-update: at start-up it asks the update server which launcher build is
// current and, when that differs from its own file version, downloads and starts it.
#pragma once

#include <string>

// The file version an executable carries, as "%d.%d.%d.%d"; empty when it carries none.
std::string GetFileVersionString(const std::string& path);
