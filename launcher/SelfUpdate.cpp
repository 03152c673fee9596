#include "SelfUpdate.h"

#include <cerrno>
#include <cstdio>

#include "AppLocation.h"
#include "platform/System.h"
#include "update/FileUtil.h"
#include "update/Log.h"
#include "update/Signature.h"
#include "update/SignedTree.h"

namespace {

constexpr const char* kAppName = "Launcher";

// True when the update folder's signed content list, fetched now, is one the game update would
// take (of the build's tree, not expired, not older than taken before or than the build) and
// names `build` as the launcher of `version` with exactly its content; false with a log line
// saying what failed. The page has named no tree yet: only the build's counts.
bool IsSignedLauncher(Downloader& downloader, const std::string& updateBase,
                      const AppConfig& config, const std::string& version,
                      const std::string& build) {
  const SignedListFiles files = LauncherListFiles(config.GetWorkPath());
  const int64_t now = sys::Current().GetTime();
  const auto time = static_cast<uint32_t>(now);
  ContentList list;
  if (!downloader.DownloadFile(ContentListUrl(updateBase + "/", time), files.list, false,
                               kMaxContentListBytes) ||
      !downloader.DownloadFile(SignatureUrl(updateBase + "/", time), files.signature, false,
                               kMaxSignatureBytes) ||
      !Check(ReadSignedList(files, config.strUpdatePublicKey, list), "Launcher", 210,
             "ReadSignedList(m_ContentListName, m_SignatureName)") ||
      !Check(IsExpectedTree(files, list, config.strUpdateTree), "Launcher", 213,
             "IsExpectedTree(contentList, m_config.strUpdateTree)") ||
      !Check(!IsExpired(files, list, now), "Launcher", 212, "!IsExpired(contentList)") ||
      !Check(!IsRollback(files, list, config.nLowestSequence), "Launcher", 211,
             "!IsRollback(contentList)") ||
      !AcceptSequence(files, list)) {
    return false;
  }
  std::string why = "is not the build the signed list names (" + list.launcherName + ")";
  if (list.launcherName == std::string(kAppName) + ".exe." + version &&
      FileHasContent(build, list.launcher, why)) {
    return true;
  }
  LogPrint("downloaded launcher %s %s", build.c_str(), why.c_str());
  return false;
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
  if (!IsLauncherVersion(remote)) {
    LogPrint("launcher version \"%s\" is not a version, no update", remote.c_str());
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
  if (!config.strUpdatePublicKey.empty() &&
      !IsSignedLauncher(downloader, updateBase, config, remote, localFile)) {
    system.DeleteFile(localFile);
    LogPrint("downloaded launcher %s is not the signed build, deleted", localFile.c_str());
    return false;
  }
  // A build that does not start (not an executable of this system after all) is not retried on
  // every start-up: it goes, and this launcher carries on.
  if (!StartHandOver(localFile, work)) {
    LogPrint("TryUpgradeApp cannot start %s (%d), deleted, start-up goes on", localFile.c_str(),
             errno);
    system.DeleteFile(localFile);
    return false;
  }
  LogPrint("TryUpgradeApp run %s\n", localFile.c_str());
  return true;
}

bool IsLauncherVersion(const std::string& word) {
  unsigned fields[4] = {};
  char end = 0;
  if (std::sscanf(word.c_str(), "%5u.%5u.%5u.%5u%c", &fields[0], &fields[1], &fields[2], &fields[3],
                  &end) != 4) {
    return false;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", fields[0], fields[1], fields[2], fields[3]);
  return text == word && fields[0] <= 0xFFFF && fields[1] <= 0xFFFF && fields[2] <= 0xFFFF &&
         fields[3] <= 0xFFFF;
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
