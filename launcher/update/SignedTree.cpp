#include "SignedTree.h"

#include <charconv>
#include <cstdio>

#include "FileUtil.h"
#include "LauncherSettings.h"
#include "Log.h"
#include "Signature.h"
#include "UpdatePlan.h"
#include "platform/System.h"

namespace {

bool ReadWholeFile(const std::string& path, std::string& text) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  text.clear();
  char buffer[1 << 14];
  size_t read;
  while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0 &&
         text.size() + read <= kMaxContentListBytes) {
    text.append(buffer, read);
  }
  const bool ok = !std::ferror(file) && std::feof(file);
  std::fclose(file);
  return ok;
}

SignedListFiles ListFiles(const std::string& workPath, const std::string& stem) {
  return {workPath + stem + ".txt", workPath + stem + ".sig", workPath + stem + ".seq"};
}

uint64_t AcceptedSequence(const SignedListFiles& files) {
  const std::string word = ReadFileWord(files.accepted);
  uint64_t sequence = 0;
  std::from_chars(word.data(), word.data() + word.size(), sequence);
  return sequence;
}

}  // namespace

std::string UpdatePublicKey() {
  return LAUNCHER_UPDATE_PUBLIC_KEY;
}

std::string UpdateTree() {
  return LAUNCHER_UPDATE_TREE;
}

uint64_t LowestUpdateSequence() {
  return LAUNCHER_UPDATE_MIN_SEQUENCE;
}

std::string ContentListUrl(const std::string& folder, uint32_t time) {
  return folder + "contentlist.txt?t=" + std::to_string(time);
}

std::string SignatureUrl(const std::string& folder, uint32_t time) {
  return folder + "contentlist.sig?t=" + std::to_string(time);
}

SignedListFiles GameTreeListFiles(const std::string& workPath) {
  return ListFiles(workPath, "contentlist");
}

SignedListFiles LauncherListFiles(const std::string& workPath) {
  return ListFiles(workPath, "launcher-contentlist");
}

bool IsSignedListFile(const std::string& localName) {
  const std::string key = LocalNameKey(localName);
  for (const char* stem : {"contentlist", "launcher-contentlist"}) {
    for (const char* end : {".txt", ".sig", ".seq"}) {
      if (key == std::string(stem) + end) return true;
    }
  }
  return false;
}

bool ReadSignedList(const SignedListFiles& files, const std::string& publicKey, ContentList& list) {
  std::string text, signature, error;
  if (!ReadWholeFile(files.list, text) || !ReadWholeFile(files.signature, signature)) {
    LogPrint("content list %s or its signature cannot be read", files.list.c_str());
    return false;
  }
  // The signature first: nothing of an unsigned text is parsed.
  if (!VerifySignature(text, signature, publicKey)) {
    LogPrint("content list %s is not signed by the publisher's key", files.list.c_str());
    return false;
  }
  if (!ParseContentList(text, list, error)) {
    LogPrint("content list %s: %s", files.list.c_str(), error.c_str());
    return false;
  }
  return true;
}

bool ReadUnsignedList(const SignedListFiles& files, ContentList& list) {
  std::string text, error;
  if (!IsPathExist(files.list)) return false;
  if (!ReadWholeFile(files.list, text) || !ParseContentList(text, list, error)) {
    LogPrint("content list %s cannot be read, not used: %s", files.list.c_str(), error.c_str());
    list = ContentList();
    return false;
  }
  return true;
}

bool IsSignedManifest(const ContentList& list, const std::string& name, const std::string& path) {
  const auto signedManifest = list.manifests.find(name);
  std::string why = "is not in the content list";
  if (signedManifest != list.manifests.end() && FileHasContent(path, signedManifest->second, why)) {
    return true;
  }
  LogPrint("manifest %s is not the signed one: it %s", path.c_str(), why.c_str());
  return false;
}

bool IsRollback(const SignedListFiles& files, const ContentList& list, uint64_t lowest) {
  const uint64_t accepted = AcceptedSequence(files);
  if (list.sequence >= accepted && list.sequence >= lowest) return false;
  const bool byBuild = lowest > accepted;
  LogPrint("content list %s has sequence %llu, older than %s %llu", files.list.c_str(),
           static_cast<unsigned long long>(list.sequence),
           byBuild ? "the lowest this build takes," : "the accepted",
           static_cast<unsigned long long>(byBuild ? lowest : accepted));
  return true;
}

bool IsExpired(const SignedListFiles& files, const ContentList& list, int64_t now) {
  if (list.expires == 0 || now < 0 || static_cast<uint64_t>(now) < list.expires) return false;
  LogPrint("content list %s expired at %llu, the time is %lld", files.list.c_str(),
           static_cast<unsigned long long>(list.expires), static_cast<long long>(now));
  return true;
}

bool IsExpectedTree(const SignedListFiles& files, const ContentList& list,
                    const std::string& expected) {
  if (expected.empty() || list.tree == expected) return true;
  if (list.tree.empty()) {
    LogPrint("content list %s names no tree, not \"%s\"", files.list.c_str(), expected.c_str());
  } else {
    LogPrint("content list %s is of tree \"%s\", not \"%s\"", files.list.c_str(), list.tree.c_str(),
             expected.c_str());
  }
  return false;
}

bool AcceptSequence(const SignedListFiles& files, const ContentList& list) {
  if (list.sequence == AcceptedSequence(files)) return true;
  if (sys::Current().WriteHiddenFile(files.accepted, std::to_string(list.sequence))) return true;
  LogPrint("write %s failed!(%d)", files.accepted.c_str(), sys::Current().GetLastError());
  return false;
}

const ContentEntry* SignedEntry(const ContentList& list, const std::string& name, int version) {
  const auto entry = list.files.find(name);
  return entry != list.files.end() && entry->second.version == version ? &entry->second : nullptr;
}
