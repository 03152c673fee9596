// The launch parameters: "key=value,key=value" arguments from whoever starts the launcher. The
// input is one argument for ParseArgument, and the argument list (cut at zero bytes) for
// ParseCommandLine.
#include <algorithm>

#include "FuzzSupport.h"
#include "platform/headless/FakeSystem.h"
#include "update/AppConfig.h"

namespace {

std::vector<const std::string*> Values(const AppConfig& c) {
  return {&c.strAccount, &c.strToken, &c.strProcPara, &c.strPid,
          &c.strModelId, &c.strPfKey, &c.strPlatform, &c.strAdId};
}

bool SameValues(const AppConfig& a, const AppConfig& b) {
  const auto left = Values(a), right = Values(b);
  for (size_t i = 0; i < left.size(); ++i) {
    if (*left[i] != *right[i]) return false;
  }
  return a.bDev == b.bDev;
}

void CheckArgument(const std::string& arg) {
  AppConfig once;
  once.ParseArgument(arg);
  // A value ends at the comma after it, and comes from the argument itself.
  for (const std::string* value : Values(once)) FUZZ_CHECK(value->find(',') == std::string::npos);
  for (const std::string* value : {&once.strAccount, &once.strProcPara, &once.strPid,
                                   &once.strModelId, &once.strPfKey, &once.strAdId}) {
    FUZZ_CHECK(arg.find(*value) != std::string::npos);
  }
  // Pairs only assign: the same argument again changes nothing.
  AppConfig twice = once;
  twice.ParseArgument(arg);
  FUZZ_CHECK(SameValues(once, twice));
}

void CheckCommandLine(const std::vector<std::string>& args) {
  static const std::string start = std::filesystem::current_path();
  sys::FakeSystem system;  // one per run: it records every log line
  system.drives = {{fuzz::Scratch().Path(), 1 << 30, true}};
  AppConfig config;
  FUZZ_CHECK(config.ParseCommandLine(args));
  FUZZ_CHECK(config.strWorkPath.rfind(fuzz::Scratch().Path(), 0) == 0);
  bool killPid = false;
  for (const std::string& arg : args) killPid = killPid || arg == "-killpid";
  FUZZ_CHECK(config.bHandedOver == killPid);
  // Arguments are cut at 511 characters before they are read.
  for (const std::string* value : Values(config)) FUZZ_CHECK(value->size() <= 511);
  std::remove(config.strLogFile.c_str());
  // It enters the work folder; libFuzzer reads the corpus by paths relative to where it began.
  FUZZ_CHECK(chdir(start.c_str()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fuzz::Text(data, size);
  CheckArgument(text);
  // Every argument is a log line written to disk: a few keep the runs fast, and the single
  // argument above already meets all of the text.
  std::vector<std::string> args = fuzz::Split(text, '\0');
  args.resize(std::min<size_t>(args.size(), 8));
  CheckCommandLine(args);
  return 0;
}
