// user-dirs.dirs, a text file of the user's that names the desktop folder. The input's first
// line is the home folder, the rest the file.
#include "FuzzSupport.h"
#include "platform/posix/PosixSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = fuzz::Text(data, size);
  const size_t newline = input.find('\n');
  const std::string home = input.substr(0, newline);
  const std::string text = newline == std::string::npos ? "" : input.substr(newline + 1);
  const std::string folder = sys::DesktopFolderFromUserDirs(text, home);
  if (folder.empty()) return 0;
  // An absolute folder (or one under the home given), without a trailing separator, on one line.
  // (A relative home is the caller's to refuse; the folder then starts with it.)
  std::string homeFolder = home;
  while (homeFolder.size() > 1 && homeFolder.back() == '/') homeFolder.pop_back();
  FUZZ_CHECK(folder[0] == '/' || (home[0] != '/' && folder.rfind(homeFolder, 0) == 0));
  FUZZ_CHECK(folder == "/" || folder.back() != '/');
  FUZZ_CHECK(folder.find('\0') == std::string::npos || input.find('\0') != std::string::npos);
  FUZZ_CHECK(folder.find('\n') == std::string::npos || home.find('\n') != std::string::npos);
  return 0;
}
