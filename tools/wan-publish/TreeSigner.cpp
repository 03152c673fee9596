#include "TreeSigner.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TreePaths.h"
#include "update/ContentList.h"
#include "update/FileUtil.h"
#include "update/Signature.h"
#include "update/SignedTree.h"

namespace fs = std::filesystem;

namespace {

const char* const kListName = "contentlist.txt";
const char* const kSignatureName = "contentlist.sig";

// The sequence of the list a folder holds now; 0 when it holds none that reads.
uint64_t PreviousSequence(const std::string& dir) {
  std::string text, error;
  ContentList previous;
  return ReadText(dir + kListName, text) && ParseContentList(text, previous, error)
             ? previous.sequence
             : 0;
}

bool AddDigest(const std::string& path, ContentDigest& digest, std::string& error) {
  if (HashFile(path, digest)) return true;
  error = "cannot read " + path;
  return false;
}

bool AddLauncher(const std::string& launcherDir, ContentList& list, std::string& error) {
  const std::string word = ReadFileWord(launcherDir + "launcherversion.txt");
  if (word.empty()) {
    error = launcherDir + "launcherversion.txt names no launcher version";
    return false;
  }
  list.launcherName = "Launcher.exe." + word;
  return AddDigest(launcherDir + list.launcherName, list.launcher, error);
}

// The list and its signature into one folder: the signature last, so a reader that finds a new
// signature finds the list it signs.
bool WriteSigned(const std::string& dir, const std::string& text, const std::string& signature,
                 std::string& error) {
  return WriteReplacing(dir + kListName, text, error) &&
         WriteReplacing(dir + kSignatureName, signature, error);
}

}  // namespace

bool WriteReplacing(const std::string& path, const std::string& text, std::string& error) {
  const std::string part = path + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
      error = "cannot write " + part;
      return false;
    }
  }
  std::error_code ec;
  fs::rename(part, path, ec);
  if (ec) error = path + ": " + ec.message();
  return !ec;
}

bool SignTree(const std::string& treeDirArg, const std::vector<PublishedFile>& files,
              const SignOptions& options, uint64_t& sequence, std::string& error) {
  const std::string treeDir = WithSlash(treeDirArg);
  const std::string launcherDir = options.launcherDir.empty() ? "" : WithSlash(options.launcherDir);
  ContentList list;
  list.tree = options.tree;
  list.expires = options.expires;
  for (const PublishedFile& file : files) {
    ContentEntry& entry = list.files[file.name];
    entry.version = file.version;
    if (!AddDigest(file.source, entry.content, error)) return false;
    // What a player downloads, so that an update knows the disk space it needs before it starts.
    list.payloads[file.name] = {file.version, file.payloadBytes};
    if (!file.patches.empty()) list.patches[file.name] = file.patches;
  }
  for (const char* manifest : {kVersionsManifest, kGameFilesManifest}) {
    if (!AddDigest(treeDir + manifest, list.manifests[manifest], error)) return false;
  }
  if (!launcherDir.empty() && !AddLauncher(launcherDir, list, error)) return false;
  list.mirrors = options.mirrors;
  list.sequence = 1 + std::max(PreviousSequence(treeDir),
                               launcherDir.empty() ? 0 : PreviousSequence(launcherDir));

  const std::string text = FormatContentList(list);
  std::string signatures;
  for (const std::string& keyFile : options.secretKeyFiles) {
    std::string secretKey, signature;
    if (!ReadText(keyFile, secretKey) || !SignMessage(text, secretKey, signature)) {
      error = keyFile + " is not a secret key of wan-publish --new-key";
      return false;
    }
    signatures += signature;
  }
  sequence = list.sequence;
  // An unsigned list: a signature of an earlier list would no longer match it.
  if (options.secretKeyFiles.empty()) {
    std::error_code ec;
    fs::remove(treeDir + kSignatureName, ec);
    return WriteReplacing(treeDir + kListName, text, error);
  }
  return WriteSigned(treeDir, text, signatures, error) &&
         (launcherDir.empty() || WriteSigned(launcherDir, text, signatures, error));
}

bool MakeKeys(const std::string& name, std::string& publicKey, std::string& error) {
  KeyPair pair;
  if (!MakeKeyPair(pair)) {
    error = "cannot make a key pair";
    return false;
  }
  const std::string secretFile = name + ".key", publicFile = name + ".pub";
  if (fs::exists(secretFile) || fs::exists(publicFile)) {
    error = secretFile + " or " + publicFile + " exists already; a key is never overwritten";
    return false;
  }
  // Created readable by its owner only, never widened after the fact.
  const int fd = open(secretFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  const std::string secretText = pair.secretKey + "\n";
  bool ok = fd >= 0 && write(fd, secretText.data(), secretText.size()) ==
                           static_cast<ssize_t>(secretText.size());
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (!ok) {
    if (fd >= 0) unlink(secretFile.c_str());
    error = "cannot write " + secretFile;
    return false;
  }
  publicKey = pair.publicKey;
  return WriteReplacing(publicFile, publicKey + "\n", error);
}

bool HasContentList(const std::string& treeDir) {
  return fs::exists(WithSlash(treeDir) + kListName);
}
