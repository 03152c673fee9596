// The launcher's self-update: at start-up it asks the update server which launcher build is
// current and, when that differs from its own file version, downloads and starts it.
#pragma once

#include <string>

#include "Sites.h"
#include "update/AppConfig.h"
#include "update/Downloader.h"

// Fetches "launcherversion.txt" from `updateBase` (a folder URL without trailing slash) into
// the work folder. When its first word differs from the running executable's file version,
// downloads that build as "Launcher_<version>.exe" into the work folder, starts it with
// "-killpid <our id>" and returns true: this process must end. False when start-up goes on
// (same version, a word that is no version, a download failed, or the download is not an
// executable of that version or does not start, which is then deleted). With a public key in
// `config`, the build must also be the one the update folder's signed content list names, with its
// content, or it is deleted likewise.
bool TryUpgradeApp(const AppConfig& config, Downloader& downloader,
                   const std::string& updateBase = UpdateBase());

// Whether the server's word names a launcher build: four numbers of 0 to 65535 separated by dots,
// spelt as GetFileVersionString spells them. Anything else (an empty body, a captive portal's
// page, a path) means no update; the word also becomes part of a local file name.
bool IsLauncherVersion(const std::string& word);

// The file version an executable carries, as "%d.%d.%d.%d"; empty when it carries none.
std::string GetFileVersionString(const std::string& path);
