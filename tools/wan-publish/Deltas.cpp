#include "Deltas.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "PatchEncode.h"
#include "TreePaths.h"
#include "update/ContentList.h"
#include "update/Decompressor.h"
#include "update/Patch.h"
#include "update/Signature.h"
#include "update/SignedTree.h"
#include "update/VersionInfos.h"

namespace fs = std::filesystem;

namespace {

const char* const kHistory = "history/";

// The numbers N of "history/versions.N.txt", oldest first.
std::vector<int> HistoryNumbers(const std::string& treeDir) {
  static const std::regex name(R"(versions\.([0-9]{1,9})\.txt)");
  std::vector<int> numbers;
  std::error_code ec;
  for (fs::directory_iterator it(treeDir + kHistory, ec), end; !ec && it != end; it.increment(ec)) {
    std::smatch match;
    const std::string file = it->path().filename().string();
    if (std::regex_match(file, match, name)) numbers.push_back(std::stoi(match[1]));
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

std::string HistoryFile(const std::string& treeDir, int number) {
  return treeDir + kHistory + "versions." + std::to_string(number) + ".txt";
}

std::string PatchFile(const std::string& treeDir, const PublishedFile& file, int from) {
  return treeDir + file.name + "." + std::to_string(from) + "-" + std::to_string(file.version) +
         ".patch";
}

// The other versions of `name` that the history lists, newest first.
std::vector<int> BaseVersions(const std::vector<VersionInfos>& history, const PublishedFile& file) {
  std::set<int> versions;
  for (const VersionInfos& manifest : history) {
    VersionInfo info;
    if (manifest.GetInfo(file.name, info) && info.version != file.version) {
      versions.insert(info.version);
    }
  }
  return {versions.rbegin(), versions.rend()};
}

// The patch of `file` from `from`, made from the base's payload; none (and no error) when it
// would not fit the launcher's memory or save nothing on the full payload.
bool MakePatchFile(const std::string& treeDir, PublishedFile& file, int from, uint32_t threads,
                   std::string& error) {
  const std::string payload = treeDir + file.name + "." + std::to_string(from);
  const std::string path = PatchFile(treeDir, file, from);
  const std::string unpacked = path + ".base";
  std::string base, result, patch;
  const bool decoded = Decompressor().Decompress(payload, unpacked) && ReadText(unpacked, base);
  std::remove(unpacked.c_str());
  // A base whose payload is gone or damaged has no patch: its players get the full file.
  if (!decoded) return true;
  if (!ReadText(file.source, result)) {
    error = "cannot read " + file.source;
    return false;
  }
  if (!PatchFits(base.size(), result.size(), 0)) return true;
  if (!MakePatch(base, result, threads, patch, error)) return false;
  std::error_code ec;
  const auto fullPayload =
      fs::file_size(treeDir + file.name + "." + std::to_string(file.version), ec);
  if (ec || patch.size() >= fullPayload || !PatchFits(base.size(), result.size(), patch.size())) {
    return true;
  }
  if (!WriteReplacing(path, patch, error)) return false;
  file.patches.push_back(
      {from, file.version, patch.size(), HashBytes(base).sha256, HashBytes(result).sha256});
  return true;
}

// Patch files of the tree ("NAME.FROM-TO.patch") that `files` no longer offer.
bool DeleteStalePatches(const std::string& treeDir, const std::vector<PublishedFile>& files,
                        std::string& error) {
  static const std::regex name(R"(.*\.[0-9]+-[0-9]+\.patch)");
  std::set<std::string> offered;
  for (const PublishedFile& file : files) {
    for (const ContentPatch& patch : file.patches) {
      offered.insert(fs::path(PatchFile(treeDir, file, patch.from)).lexically_normal().string());
    }
  }
  std::error_code ec;
  std::vector<fs::path> stale;
  for (fs::recursive_directory_iterator it(treeDir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string path = it->path().lexically_normal().string();
    if (it->is_regular_file() && std::regex_match(it->path().filename().string(), name) &&
        !offered.count(path)) {
      stale.push_back(it->path());
    }
  }
  for (const fs::path& path : stale) fs::remove(path, ec);
  if (ec) error = treeDir + ": " + ec.message();
  return !ec;
}

}  // namespace

bool RecordHistory(const std::string& treeDirArg, int publishes, std::string& error) {
  const std::string treeDir = WithSlash(treeDirArg);
  std::error_code ec;
  if (!fs::exists(treeDir + kVersionsManifest)) return true;
  std::vector<int> numbers = HistoryNumbers(treeDir);
  const int next = numbers.empty() ? 1 : numbers.back() + 1;
  fs::create_directories(treeDir + kHistory, ec);
  fs::copy_file(treeDir + kVersionsManifest, HistoryFile(treeDir, next),
                fs::copy_options::overwrite_existing, ec);
  numbers.push_back(next);
  for (size_t i = 0; !ec && i + publishes < numbers.size(); ++i) {
    fs::remove(HistoryFile(treeDir, numbers[i]), ec);
  }
  if (ec) error = treeDir + kHistory + ": " + ec.message();
  return !ec;
}

bool PublishPatches(const std::string& treeDirArg, std::vector<PublishedFile>& files,
                    uint32_t threads, std::string& error) {
  const std::string treeDir = WithSlash(treeDirArg);
  std::vector<VersionInfos> history;
  for (int number : HistoryNumbers(treeDir)) {
    history.emplace_back();
    GetVersionInfo(HistoryFile(treeDir, number), history.back());
  }
  // The list of the publish before this one, not yet replaced: the patches it gives are made.
  ContentList previous;
  std::string text, unread;
  if (ReadText(treeDir + "contentlist.txt", text)) ParseContentList(text, previous, unread);
  for (PublishedFile& file : files) {
    for (int from : BaseVersions(history, file)) {
      const ContentPatch* made = FindPatch(previous, file.name, from, file.version);
      std::error_code ec;
      if (made && fs::file_size(PatchFile(treeDir, file, from), ec) == made->size && !ec) {
        file.patches.push_back(*made);
      } else if (!MakePatchFile(treeDir, file, from, threads, error)) {
        return false;
      }
    }
  }
  return DeleteStalePatches(treeDir, files, error);
}
