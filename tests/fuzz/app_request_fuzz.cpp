// "app:" requests: addresses a web page navigates to, so any text.
#include "AppRequest.h"
#include "FuzzSupport.h"
#include "update/ContentList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string url = fuzz::Text(data, size);
  std::string request;
  if (!FindAppRequest(url, request)) return 0;
  // The request is the tail of the address, and found again when it is asked for directly.
  FUZZ_CHECK(request.size() + 4 <= url.size());
  FUZZ_CHECK(url.compare(url.size() - request.size(), request.size(), request) == 0);
  if (request.find('?') == std::string::npos) {
    std::string again;
    FUZZ_CHECK(FindAppRequest("APP:" + request, again) && again == request);
  }

  // The fields joined by "|" are the request again, empty fields included.
  const std::vector<std::string> fields = SplitAppRequest(request);
  FUZZ_CHECK(fields.empty() == request.empty());
  std::string joined;
  for (size_t i = 0; i < fields.size(); ++i) {
    FUZZ_CHECK(fields[i].find('|') == std::string::npos);
    joined += (i ? "|" : "") + fields[i];
  }
  FUZZ_CHECK(joined == request);

  AppConfig config;
  const AppConfig before = config;
  ApplyStartGame(config, fields);
  if (fields.size() < 9) {
    FUZZ_CHECK(config.strAccount == before.strAccount && config.strToken == before.strToken);
  } else {
    FUZZ_CHECK(config.strAccount == fields[1] && config.strPf == fields[8]);
    FUZZ_CHECK(config.strArg == (fields.size() >= 11 ? fields[10] : ""));
    // The tree the page names never reaches a URL, and is a tree id or nothing.
    FUZZ_CHECK(config.strDataHost.find("#tree=") == std::string::npos);
    FUZZ_CHECK(config.strDataHostTree.empty() || IsTreeId(config.strDataHostTree));
  }
  return 0;
}
