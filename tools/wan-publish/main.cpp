// wan-publish --from BUILD_DIR --to TREE_DIR [--client-version N] [--orca FILE]: makes or
// refreshes the update tree that the launcher and wan-update read from a data host.
#include <cstdio>
#include <map>
#include <string>

#include "Publisher.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: wan-publish --from BUILD_DIR --to TREE_DIR [--client-version N] [--orca FILE]\n"
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
      "Exit status: 0 on success, 1 on failure, 2 on bad usage.\n",
      out);
}

bool IsNumber(const std::string& text) {
  size_t start = !text.empty() && text[0] == '-';
  return text.size() > start && text.find_first_not_of("0123456789", start) == std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
  std::string from, to, clientVersion, orca;
  const std::map<std::string, std::string*> options = {
      {"--from", &from}, {"--to", &to}, {"--client-version", &clientVersion}, {"--orca", &orca}};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    const auto valued = options.find(arg);
    if (i + 1 < argc && valued != options.end()) {
      *valued->second = argv[++i];
    } else {
      std::fprintf(stderr, "wan-publish: unexpected argument \"%s\"\n", arg.c_str());
      PrintUsage(stderr);
      return 2;
    }
  }
  if (from.empty() || to.empty() || (!clientVersion.empty() && !IsNumber(clientVersion))) {
    PrintUsage(stderr);
    return 2;
  }
  PublishResult result;
  std::string error;
  Publisher publisher(from, to);
  if (!orca.empty()) publisher.AddFile("orca.exe", orca);
  if (!publisher.Publish(clientVersion, result, error)) {
    std::fprintf(stderr, "wan-publish: %s\n", error.c_str());
    return 1;
  }
  std::printf("wan-publish: %d files, %d new or changed, client version %s\n", result.files,
              result.written, result.clientVersion.c_str());
  return 0;
}
