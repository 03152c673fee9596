#include "ContentList.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace {

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
    fields.push_back(line.substr(start, tab - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

// Decimal digits (and a "-" for a signed number) in the one spelling FormatContentList writes.
template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && std::to_string(value) == text;
}

bool IsDigest(const std::string& text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool ParseDigest(const std::string& size, const std::string& sha256, ContentDigest& digest) {
  digest.sha256 = sha256;
  return ParseNumber(size, digest.size) && IsDigest(sha256);
}

std::string DigestFields(const ContentDigest& digest) {
  return std::to_string(digest.size) + "\t" + digest.sha256;
}

bool ParsePatch(const std::vector<std::string>& f, ContentList& list) {
  ContentPatch patch;
  patch.baseSha256 = f[5];
  patch.resultSha256 = f[6];
  if (!ParseNumber(f[2], patch.from) || !ParseNumber(f[3], patch.to) ||
      !ParseNumber(f[4], patch.size) || !IsDigest(f[5]) || !IsDigest(f[6])) {
    return false;
  }
  std::vector<ContentPatch>& patches = list.patches[f[1]];
  for (const ContentPatch& other : patches) {
    if (other.from == patch.from) return false;
  }
  patches.push_back(patch);
  return true;
}

// One line after the header; false when it is not one the list may hold.
bool ParseLine(const std::vector<std::string>& f, ContentList& list, bool& sequenced) {
  const std::string& keyword = f[0];
  if (keyword == "sequence" && f.size() == 2 && !sequenced) {
    return sequenced = ParseNumber(f[1], list.sequence);
  }
  if (keyword == "tree" && f.size() == 2 && list.tree.empty()) {
    list.tree = f[1];
    return IsTreeId(f[1]);
  }
  if (keyword == "expires" && f.size() == 2 && list.expires == 0) {
    return ParseNumber(f[1], list.expires) && list.expires > 0;
  }
  if (keyword == "manifest" && f.size() == 4 && !f[1].empty()) {
    ContentDigest digest;
    return ParseDigest(f[2], f[3], digest) && list.manifests.emplace(f[1], digest).second;
  }
  if (keyword == "launcher" && f.size() == 4 && !f[1].empty() && list.launcherName.empty()) {
    list.launcherName = f[1];
    return ParseDigest(f[2], f[3], list.launcher);
  }
  if (keyword == "mirror" && f.size() == 2 && IsMirrorUrl(f[1]) &&
      list.mirrors.size() < kMaxMirrors &&
      std::find(list.mirrors.begin(), list.mirrors.end(), f[1]) == list.mirrors.end()) {
    list.mirrors.push_back(f[1]);
    return true;
  }
  if (keyword == "file" && f.size() == 5 && !f[1].empty()) {
    ContentEntry entry;
    return ParseNumber(f[2], entry.version) && ParseDigest(f[3], f[4], entry.content) &&
           list.files.emplace(f[1], entry).second;
  }
  if (keyword == "payload" && f.size() == 4 && !f[1].empty()) {
    PayloadEntry payload;
    return ParseNumber(f[2], payload.version) && ParseNumber(f[3], payload.size) &&
           list.payloads.emplace(f[1], payload).second;
  }
  if (keyword == "patch" && f.size() == 7 && !f[1].empty()) return ParsePatch(f, list);
  return false;
}

}  // namespace

bool IsMirrorUrl(const std::string& url) {
  const size_t host = url.rfind("http://", 0) == 0 ? 7 : url.rfind("https://", 0) == 0 ? 8 : 0;
  const auto unsafe = [](unsigned char c) { return c <= ' ' || c >= 0x7f || c == '\\'; };
  return host > 0 && url.size() > host && url[host] != '/' && url.size() <= 1024 &&
         url.back() == '/' && std::none_of(url.begin(), url.end(), unsafe);
}

bool ParseContentList(const std::string& text, ContentList& list, std::string& error) {
  // Nothing of a list refused half-way is kept.
  list = ContentList();
  ContentList parsed;
  bool sequenced = false;
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      error = "line " + std::to_string(number) + " has no line end";
      return false;
    }
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const bool ok =
        number == 1 ? line == kContentListHeader : ParseLine(SplitFields(line), parsed, sequenced);
    if (!ok) {
      error = "line " + std::to_string(number) + " is not a line of a content list";
      return false;
    }
  }
  if (!sequenced) {
    error = text.empty() ? "the list is empty" : "the list has no sequence";
    return false;
  }
  list = std::move(parsed);
  return true;
}

std::string FormatContentList(const ContentList& list) {
  std::string text = std::string(kContentListHeader) + "\n";
  text += "sequence\t" + std::to_string(list.sequence) + "\n";
  for (const std::string& mirror : list.mirrors) text += "mirror\t" + mirror + "\n";
  if (!list.tree.empty()) text += "tree\t" + list.tree + "\n";
  if (list.expires != 0) text += "expires\t" + std::to_string(list.expires) + "\n";
  for (const auto& [name, digest] : list.manifests) {
    text += "manifest\t" + name + "\t" + DigestFields(digest) + "\n";
  }
  if (!list.launcherName.empty()) {
    text += "launcher\t" + list.launcherName + "\t" + DigestFields(list.launcher) + "\n";
  }
  for (const auto& [name, entry] : list.files) {
    text += "file\t" + name + "\t" + std::to_string(entry.version) + "\t" +
            DigestFields(entry.content) + "\n";
  }
  for (const auto& [name, payload] : list.payloads) {
    text += "payload\t" + name + "\t" + std::to_string(payload.version) + "\t" +
            std::to_string(payload.size) + "\n";
  }
  for (const auto& [name, patches] : list.patches) {
    for (const ContentPatch& p : patches) {
      text += "patch\t" + name + "\t" + std::to_string(p.from) + "\t" + std::to_string(p.to) +
              "\t" + std::to_string(p.size) + "\t" + p.baseSha256 + "\t" + p.resultSha256 + "\n";
    }
  }
  return text;
}

bool IsTreeId(const std::string& text) {
  return !text.empty() && text.size() <= 64 &&
         text.find_first_not_of(
             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") ==
             std::string::npos;
}

const ContentPatch* FindPatch(const ContentList& list, const std::string& name, int from, int to) {
  const auto found = list.patches.find(name);
  if (found == list.patches.end()) return nullptr;
  for (const ContentPatch& patch : found->second) {
    if (patch.from == from && patch.to == to) return &patch;
  }
  return nullptr;
}
