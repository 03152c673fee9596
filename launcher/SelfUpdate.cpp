#include "SelfUpdate.h"

#include <cstdio>

#include "AppLocation.h"
#include "FileUtil.h"
#include "Log.h"
#include "platform/System.h"

namespace {

constexpr const char* kAppName = "Launcher";

// The server's word becomes part of a local file name: it must not lead out of the work folder.
bool IsPlainFileName(const std::string& word) {
  return word.find_first_of("/\\:") == std::string::npos;
}

}  // namespace

bool TryUpgradeApp(const AppConfig& config, Downloader& downloader, const std::string& updateBase) {
  sys::System& system = sys::Current();
  std::string running = GetFileVersionString(system.GetModuleFileName());
  std::string work = config.GetWorkPath();
  std::string versionFile = work + "launcherversion.txt";
  // The time in the query gets past caches between here and the server.
  char url[1024];
  std::snprintf(url, sizeof url, "%s/launcherversion.txt?t=%u", updateBase.c_str(),
                static_cast<unsigned>(system.GetTime()));
  if (!downloader.DownloadFile(url, versionFile, false)) return false;

  // A difference, not a higher number: an older build on the server is a downgrade.
  std::string remote = ReadFileWord(versionFile);
  if (remote == running) return false;
  if (!IsPlainFileName(remote)) {
    LogPrint("launcher version %s is not a file name", remote.c_str());
    return false;
  }
  std::string remoteFile = updateBase + "/" + kAppName + ".exe." + remote;
  std::string localFile = work + kAppName + "_" + remote + ".exe";
  if (!downloader.DownloadFile(remoteFile, localFile, false)) return false;
  LogPrint("download app to %s successed", localFile.c_str());
  // Only the build the word names is started: a proxy's error page saved in its place is no
  // program, and a build of another version would download and hand over on every start.
  std::string downloaded = GetFileVersionString(localFile);
  if (downloaded != remote) {
    system.DeleteFile(localFile);
    LogPrint("downloaded launcher %s is not version %s (it carries \"%s\"), deleted",
             localFile.c_str(), remote.c_str(), downloaded.c_str());
    return false;
  }
  StartHandOver(localFile, work);
  LogPrint("TryUpgradeApp run %s\n", localFile.c_str());
  return true;
}

std::string GetFileVersionString(const std::string& path) {
  uint32_t high = 0, low = 0;
  if (!sys::Current().GetFileVersion(path, high, low)) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(high >> 16),
                static_cast<int>(high & 0xFFFF), static_cast<int>(low >> 16),
                static_cast<int>(low & 0xFFFF));
  return text;
}
