// The stand-in game's reading of the parameter string the launcher (or anyone) starts it with.
#include "FuzzSupport.h"
#include "OrcaRules.h"
#include "platform/System.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string params = fuzz::Text(data, size);
  const std::vector<std::string> args = sys::SplitCommandLine(params);
  const std::vector<GameOption> options = ParseGameArgs(args);
  // Values are the words put back together: never more text than the words had.
  size_t words = 0, read = 0;
  for (const std::string& arg : args) words += arg.size() + 1;
  for (const GameOption& option : options) read += option.name.size() + option.value.size();
  FUZZ_CHECK(read <= words);
  FUZZ_CHECK(ArgsLogLine(args).size() == std::string("args:").size() + words);

  // A window number is accepted only as the launcher writes one.
  uint32_t window = 0;
  const std::string hwnd = GameOptionValue(options, "hwnd");
  if (ParseLauncherWindow(hwnd, &window)) FUZZ_CHECK(window != 0 && std::to_string(window) == hwnd);
  if (ParseLauncherWindow(params, &window)) FUZZ_CHECK(std::to_string(window) == params);

  const std::string popup = PopupCommand(GameOptionValue(options, "datahost"));
  FUZZ_CHECK(popup.size() <= 1023);
  FUZZ_CHECK(popup.empty() || popup.rfind("480,360,", 0) == 0);
  return 0;
}
