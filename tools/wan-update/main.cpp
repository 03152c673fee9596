// wan-update --datahost URL --work DIR: brings a work folder up to date from a data host
// exactly as the launcher does before it starts the game, without a window.
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TerminalUpdate.h"
#include "update/AppConfig.h"
#include "update/FileUtil.h"
#include "update/Log.h"
#include "update/Signature.h"
#include "update/SignedTree.h"

namespace {

constexpr int kUsageError = 2;

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: wan-update --datahost URL --work DIR [--connections N] [--key KEY] [--verify]\n"
      "                  [--tree ID] [--min-sequence N] [--no-patches]\n"
      "\n"
      "Brings the game files in DIR up to date from the update server at URL, exactly as the\n"
      "launcher does before it starts the game: it downloads URL/versions.txt and\n"
      "URLstandalone/launcher/gamefiles.txt (so URL normally ends with \"/\"), compares every\n"
      "listed file's .version marker with the manifest, and downloads, unpacks and installs\n"
      "the files that are missing or differ. DIR is created when missing; DIR/log.txt gets\n"
      "the launcher's log lines. Progress is shown on a terminal; a message box of the\n"
      "launcher is printed to standard error with its caption and confirmed at once.\n"
      "--connections N (1 to 16, default 1) downloads up to N files at once; with 1 the\n"
      "files come one after the other, as in the launcher's default build. A transfer that\n"
      "was cut (or a run that was ended) continues where it stopped on the next attempt or\n"
      "run. At its end it prints the bytes it moved over the wire and the bytes it installed.\n"
      "\n"
      "With a public key (KEY: its 64 hex digits or the .pub file of wan-publish --new-key;\n"
      "by default the one the launcher is built with, if any), only a tree whose content\n"
      "list that key signed is installed, and every file must have its signed content.\n"
      "--verify also hashes every installed file and downloads again those that differ from\n"
      "the signed content or are missing, listing each. --tree ID takes only a list of the\n"
      "tree wan-publish --tree ID published (default: the launcher's LAUNCHER_UPDATE_TREE,\n"
      "if any; without one any tree of the key). --min-sequence N takes no list older than N\n"
      "where DIR accepted none newer (default: the launcher's LAUNCHER_UPDATE_MIN_SEQUENCE).\n"
      "A list past its expiry (wan-publish --expires) is refused.\n"
      "\n"
      "Where the tree's content list offers a patch from an installed file's version, the\n"
      "patch is downloaded and applied in place of the whole file, which still comes when\n"
      "the patch fails in any way; --no-patches downloads whole files only.\n"
      "\n"
      "Exit status: 0 when DIR is current, 1 when the update stopped or a file failed,\n"
      "2 on bad usage, 3 when the tree was refused (unsigned, not as signed, expired, older\n"
      "than taken before, or of another tree: a line \"update refused: REASON\" says which).\n",
      out);
}

// A whole decimal number from 1 to 16.
bool ParseConnections(const char* text, int& connections) {
  const std::string value = text;
  if (value.empty() || value.size() > 2 ||
      value.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  connections = std::atoi(value.c_str());
  return connections >= 1 && connections <= 16;
}

// A whole decimal number as a content list spells its sequence.
bool ParseSequence(const char* text, uint64_t& sequence) {
  const std::string value = text;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), sequence);
  return ec == std::errc() && end == value.data() + value.size() && !value.empty() &&
         std::isdigit(static_cast<unsigned char>(value[0]));
}

// A key given as its hex digits, or as the file that holds them.
std::string KeyArgument(const std::string& arg) {
  if (IsPublicKey(arg)) return arg;
  const std::string word = ReadFileWord(arg);
  return IsPublicKey(word) ? word : "";
}

}  // namespace

int main(int argc, char** argv) {
  std::string dataHost, workDir, key = UpdatePublicKey(), tree = UpdateTree();
  uint64_t lowestSequence = LowestUpdateSequence();
  int connections = 1;
  bool verify = false, usePatches = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if ((arg == "--datahost" || arg == "--work") && i + 1 < argc) {
      (arg == "--datahost" ? dataHost : workDir) = argv[++i];
    } else if (arg == "--connections" && i + 1 < argc &&
               ParseConnections(argv[i + 1], connections)) {
      ++i;
    } else if (arg == "--key" && i + 1 < argc) {
      key = KeyArgument(argv[++i]);
      if (key.empty()) {
        std::fprintf(stderr, "wan-update: \"%s\" is not a public key\n", argv[i]);
        return kUsageError;
      }
    } else if (arg == "--tree" && i + 1 < argc && IsTreeId(argv[i + 1])) {
      tree = argv[++i];
    } else if (arg == "--min-sequence" && i + 1 < argc &&
               ParseSequence(argv[i + 1], lowestSequence)) {
      ++i;
    } else if (arg == "--verify") {
      verify = true;
    } else if (arg == "--no-patches") {
      usePatches = false;
    } else {
      std::fprintf(stderr, "wan-update: unexpected argument \"%s\"\n", arg.c_str());
      PrintUsage(stderr);
      return kUsageError;
    }
  }
  if (dataHost.empty() || workDir.empty()) {
    PrintUsage(stderr);
    return kUsageError;
  }
  if (verify && key.empty()) {
    std::fprintf(stderr, "wan-update: --verify needs a public key (--key)\n");
    return kUsageError;
  }
  if (workDir.back() != '/' && workDir.back() != sys::kPathSeparator)
    workDir += sys::kPathSeparator;

  TerminalSystem system;
  sys::Install(&system);
  int exitCode = 1;
  if (!CreateDirectoryRecursive(workDir)) {
    std::fprintf(stderr, "wan-update: cannot create %s\n", workDir.c_str());
  } else {
    AppConfig config;
    config.strWorkPath = workDir;
    config.strDataHost = dataHost;
    SetLogFile(workDir + "log.txt");
    config.strUpdatePublicKey = key;
    config.bVerifyContent = verify;
    config.strUpdateTree = tree;
    config.nLowestSequence = lowestSequence;
    config.bUsePatches = usePatches;
    TerminalUpdate update(config, connections);
    exitCode = update.Run();
  }
  sys::Install(nullptr);
  return exitCode;
}
