#include "AppRequest.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/CodePage.h"
#include "update/ContentList.h"

namespace {

// ASCII letters only: "app:", "true" and the like.
bool EqualsIgnoringCase(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool FindAppRequest(const std::string& url, std::string& request) {
  size_t question = url.find('?');
  std::string candidate = question == std::string::npos ? url : url.substr(question + 1);
  if (candidate.size() < 4 || !EqualsIgnoringCase(candidate.substr(0, 4), "app:")) return false;
  request = candidate.substr(4);
  return true;
}

std::vector<std::string> SplitAppRequest(const std::string& request) {
  std::vector<std::string> fields;
  if (request.empty()) return fields;
  size_t start = 0;
  // "|" may be the second byte of a double-byte character: only a whole one separates.
  for (size_t bar; (bar = sys::FindChar(request, "|", start)) != std::string::npos;
       start = bar + 1) {
    fields.push_back(request.substr(start, bar - start));
  }
  fields.push_back(request.substr(start));
  return fields;
}

std::string SplitDataHostTree(const std::string& field, std::string& tree) {
  static const std::string kFragment = "#tree=";
  tree.clear();
  const size_t at = field.find(kFragment);
  if (at == std::string::npos) return field;
  const std::string id = field.substr(at + kFragment.size());
  if (IsTreeId(id)) tree = id;
  return field.substr(0, at);
}

void ApplyStartGame(AppConfig& config, const std::vector<std::string>& fields) {
  if (fields.size() < 9) return;
  std::string* const targets[] = {&config.strAccount,  &config.strToken, &config.strGroupId,
                                  &config.strHost,     &config.strPort,  &config.strDataHost,
                                  &config.strPlatform, &config.strPf};
  for (size_t i = 0; i < 8; ++i) *targets[i] = fields[i + 1];
  config.strDataHost = SplitDataHostTree(fields[6], config.strDataHostTree);
  if (fields.size() >= 10) config.bNewbie = EqualsIgnoringCase(fields[9], "true");
  if (fields.size() >= 11) config.strArg = fields[10];
}
