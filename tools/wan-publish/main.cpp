// wan-publish --from BUILD_DIR --to TREE_DIR [--client-version N] [--orca FILE] [--sign KEY]...
// [--launcher DIR] [--content-list] [--mirror URL]... [--threads N] [--large-file BYTES]
// [--tree ID] [--expires WHEN] [--deltas K]: makes or refreshes the update tree that the launcher
// and wan-update read from a data host. wan-publish --new-key NAME makes the key pair that signs
// it.
#include <lzma.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Expiry.h"
#include "ProgressLine.h"
#include "Publisher.h"
#include "TreeSigner.h"
#include "XzEncode.h"
#include "update/ContentList.h"
#include "update/Decompressor.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: wan-publish --from BUILD_DIR --to TREE_DIR [--client-version N] [--orca FILE]\n"
      "                   [--sign KEY]... [--launcher DIR] [--content-list] [--mirror URL]...\n"
      "                   [--threads N] [--large-file BYTES] [--tree ID] [--expires WHEN]\n"
      "                   [--deltas K]\n"
      "       wan-publish --new-key NAME\n"
      "\n"
      "Publishes every file below BUILD_DIR into TREE_DIR, the folder a web server serves as\n"
      "the game's data host: TREE_DIR/versions.txt (a header line, clientVersion, then one\n"
      "NAME<TAB>VERSION<TAB>0 line per file), TREE_DIR/standalone/launcher/gamefiles.txt\n"
      "(one NAME per line) and each file as TREE_DIR/NAME.VERSION, xz-compressed.\n"
      "\n"
      "Run again on a changed build with the same TREE_DIR, it gives exactly the files whose\n"
      "content changed a new version (new files start at 1), keeps the others, and drops\n"
      "files no longer in the build from the manifests. --client-version sets the game\n"
      "client's version (default: the tree's, or 1). --orca publishes FILE as the build's\n"
      "game, \"orca.exe\", as if BUILD_DIR held it (in place of one it holds).\n"
      "\n"
      "--threads N compresses with N threads (default: one per core), each file on one,\n"
      "except files above --large-file BYTES (at least 4096; default 67108864, 64 MiB):\n"
      "those are cut into blocks of a quarter of BYTES that every thread compresses. A tree\n"
      "is the same bytes whatever N. On a terminal a line shows the progress. At the end it\n"
      "prints the bytes a player downloads from the tree's previous version and from nothing.\n"
      "\n"
      "--sign KEY (a secret key file) also writes TREE_DIR/contentlist.txt, every file's\n"
      "version, size and SHA-256 and its payload's size, with both manifests' and a sequence\n"
      "number one above the last, and its signature TREE_DIR/contentlist.sig (one line per\n"
      "--sign, to sign with the old and the new key while a key is replaced). --launcher DIR\n"
      "names the launcher update folder DIR (launcherversion.txt and the Launcher.exe.VERSION\n"
      "it names) in the list and writes the same two files there. --new-key NAME writes a new\n"
      "key pair, NAME.key (secret: keep it off the server) and NAME.pub (the launcher's build\n"
      "setting LAUNCHER_UPDATE_PUBLIC_KEY). --content-list writes the list without signing\n"
      "it: launchers without a key then read the files' sizes and digests from it too.\n"
      "--mirror URL names another host serving the same tree (an http:// or https:// folder\n"
      "URL; up to 16, tried in the order given) in the list, which it implies: a launcher\n"
      "that fails a file on the data host gets it from the mirrors before it asks the player.\n"
      "Mirrors are named anew by each publish: give them every time.\n"
      "--tree ID (1 to 64 letters, digits, '.', '_', '-') names the tree in the list, so that\n"
      "a launcher built with LAUNCHER_UPDATE_TREE=ID (or sent to a data host ending in\n"
      "#tree=ID) takes no other tree signed with the same key. --expires WHEN (a span from\n"
      "now: 30d, 12h, 90m, 3600s, 2w; or a UTC date 2027-01-31 or time 2027-01-31T12:00:00Z)\n"
      "makes launchers with a key refuse the list from then on: publish again before it.\n"
      "Both need --sign or --content-list.\n"
      "\n"
      "--deltas K (1 to 100; implies --content-list) also writes, for every file, patches\n"
      "from the other versions the last K publishes listed, TREE_DIR/NAME.FROM-TO.patch,\n"
      "listed in the content list; launchers that read them download a patch in place of\n"
      "the whole file and fall back to the file when it does not apply. The tree keeps\n"
      "those publishes' manifests in TREE_DIR/history/ and deletes patches no longer listed.\n"
      "\n"
      "Exit status: 0 on success, 1 on failure, 2 on bad usage.\n",
      out);
}

bool IsNumber(const std::string& text) {
  size_t start = !text.empty() && text[0] == '-';
  return text.size() > start && text.find_first_not_of("0123456789", start) == std::string::npos;
}

// liblzma's most threads for one encoder.
constexpr unsigned long long kMostThreads = 16384;

// The most publishes --deltas reaches back to.
constexpr unsigned long long kMostDeltas = 100;

// The smallest --large-file: blocks of 1 KiB.
constexpr unsigned long long kLeastLargeFile = 4096;

// A whole number from `least` to `most`.
bool IsCount(const std::string& text, unsigned long long least, unsigned long long most) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const unsigned long long value = std::stoull(text);
  return value >= least && value <= most;
}

XzEncoding Encoding(const std::string& threads, const std::string& largeFile) {
  XzEncoding encoding;
  encoding.threads = threads.empty() ? std::max(1u, std::thread::hardware_concurrency())
                                     : static_cast<uint32_t>(std::stoul(threads));
  if (!largeFile.empty()) encoding.largeFile = std::stoull(largeFile);
  return encoding;
}

void PrintDownloads(const PublishResult& result) {
  auto print = [](const char* from, const Download& download) {
    std::printf("wan-publish: from %s a player downloads %d file%s, %llu bytes\n", from,
                download.files, download.files == 1 ? "" : "s",
                static_cast<unsigned long long>(download.bytes));
  };
  if (result.fromLastVersion) print("the last version", *result.fromLastVersion);
  print("nothing (a fresh install)", result.fromNothing);
}

int NewKey(const std::string& name) {
  std::string publicKey, error;
  if (!MakeKeys(name, publicKey, error)) {
    std::fprintf(stderr, "wan-publish: %s\n", error.c_str());
    return 1;
  }
  std::printf(
      "wan-publish: secret key %s.key, public key %s.pub\n"
      "build the launcher with -DLAUNCHER_UPDATE_PUBLIC_KEY=%s\n",
      name.c_str(), name.c_str(), publicKey.c_str());
  return 0;
}

int Sign(const std::string& to, const PublishResult& result, const SignOptions& sign) {
  uint64_t sequence = 0;
  std::string error;
  if (!SignTree(to, result.published, sign, sequence, error)) {
    std::fprintf(stderr, "wan-publish: %s\n", error.c_str());
    return 1;
  }
  std::string binding;
  if (!sign.tree.empty()) binding += ", tree " + sign.tree;
  if (sign.expires != 0) binding += ", expires at " + std::to_string(sign.expires);
  std::printf("wan-publish: %s content list, sequence %llu%s\n",
              sign.secretKeyFiles.empty() ? "unsigned" : "signed",
              static_cast<unsigned long long>(sequence), binding.c_str());
  return 0;
}

// Launchers refuse a stream whose decoder needs more memory than their limit: a preset that
// needs more would publish large files that no launcher installs.
void WarnIfPresetNeedsTooMuchMemory() {
  const uint64_t need = lzma_easy_decoder_memusage(kXzPreset);
  if (need <= kDecoderMemLimit) return;
  std::fprintf(stderr,
               "wan-publish: warning: xz preset %u needs %llu MiB to decode, more than the "
               "launcher's limit of %llu MiB; launchers will refuse its large files\n",
               kXzPreset, static_cast<unsigned long long>(need >> 20),
               static_cast<unsigned long long>(kDecoderMemLimit >> 20));
}

// A tree signed before and published now without a key has a list that names the old manifests:
// launchers that check signatures stop updating from it until it is signed again.
int WarnIfSigned(const std::string& to) {
  if (HasContentList(to)) {
    std::fprintf(stderr,
                 "wan-publish: warning: the tree's content list no longer matches its manifests; "
                 "publish with --sign\n");
  }
  return 0;
}

// A mirror as the list names it: a folder, which a file's path follows as it follows the data
// host's URL. The same mirror twice is named once.
bool AddMirror(std::string url, std::vector<std::string>& mirrors) {
  if (!url.empty() && url.back() != '/') url += '/';
  if (std::find(mirrors.begin(), mirrors.end(), url) != mirrors.end()) return true;
  if (!IsMirrorUrl(url) || mirrors.size() == kMaxMirrors) {
    std::fprintf(stderr,
                 "wan-publish: --mirror %s is not an http:// or https:// URL of a folder, or one "
                 "too many (at most %zu)\n",
                 url.c_str(), kMaxMirrors);
    return false;
  }
  mirrors.push_back(url);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string from, to, clientVersion, orca, newKey, threads, largeFile, expires, deltas;
  SignOptions sign;
  bool contentList = false;
  const std::map<std::string, std::string*> options = {{"--from", &from},
                                                       {"--to", &to},
                                                       {"--client-version", &clientVersion},
                                                       {"--orca", &orca},
                                                       {"--launcher", &sign.launcherDir},
                                                       {"--new-key", &newKey},
                                                       {"--threads", &threads},
                                                       {"--large-file", &largeFile},
                                                       {"--tree", &sign.tree},
                                                       {"--expires", &expires},
                                                       {"--deltas", &deltas}};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    const auto valued = options.find(arg);
    if (i + 1 < argc && valued != options.end()) {
      *valued->second = argv[++i];
    } else if (arg == "--content-list") {
      contentList = true;
    } else if (i + 1 < argc && arg == "--sign") {
      sign.secretKeyFiles.push_back(argv[++i]);
    } else if (i + 1 < argc && arg == "--mirror") {
      if (!AddMirror(argv[++i], sign.mirrors)) return 2;
      contentList = true;
    } else {
      std::fprintf(stderr, "wan-publish: unexpected argument \"%s\"\n", arg.c_str());
      PrintUsage(stderr);
      return 2;
    }
  }
  if (!expires.empty() && !ParseExpiry(expires, std::time(nullptr), sign.expires)) {
    std::fprintf(stderr, "wan-publish: --expires %s is neither a span nor a UTC time to come\n",
                 expires.c_str());
    return 2;
  }
  // A key pair is made on its own, never in passing with a publish.
  if (!newKey.empty() && argc == 3) return NewKey(newKey);
  if (!newKey.empty() || from.empty() || to.empty() ||
      (!clientVersion.empty() && !IsNumber(clientVersion)) ||
      (!threads.empty() && !IsCount(threads, 1, kMostThreads)) ||
      (!largeFile.empty() && !IsCount(largeFile, kLeastLargeFile, UINT64_MAX / 2)) ||
      (!deltas.empty() && !IsCount(deltas, 1, kMostDeltas)) ||
      (!sign.launcherDir.empty() && sign.secretKeyFiles.empty()) ||
      (!sign.tree.empty() && !IsTreeId(sign.tree)) ||
      ((!sign.tree.empty() || !expires.empty()) && sign.secretKeyFiles.empty() && !contentList)) {
    PrintUsage(stderr);
    return 2;
  }
  WarnIfPresetNeedsTooMuchMemory();
  PublishResult result;
  std::string error;
  Publisher publisher(from, to);
  if (!orca.empty()) publisher.AddFile("orca.exe", orca);
  // Patches are found through the content list: one comes with them.
  contentList = contentList || !deltas.empty();
  publisher.SetSigned(!sign.secretKeyFiles.empty() || contentList);
  publisher.SetEncoding(Encoding(threads, largeFile));
  if (!deltas.empty()) publisher.SetDeltas(std::stoi(deltas));
  // Logs and test runs get no progress lines: only a terminal redraws one in place.
  ProgressLine progress(stderr);
  if (isatty(STDERR_FILENO)) {
    publisher.SetProgress([&](const PublishProgress& done) { progress.Show(done); });
  }
  const bool published = publisher.Publish(clientVersion, result, error);
  if (isatty(STDERR_FILENO)) progress.Clear();
  if (!published) {
    std::fprintf(stderr, "wan-publish: %s\n", error.c_str());
    return 1;
  }
  std::printf("wan-publish: %d files, %d new or changed, client version %s\n", result.files,
              result.written, result.clientVersion.c_str());
  PrintDownloads(result);
  if (sign.secretKeyFiles.empty() && !contentList) return WarnIfSigned(to);
  return Sign(to, result, sign);
}
