// The parameter string a program is started with, split into arguments as Windows splits it.
#include "FuzzSupport.h"
#include "platform/System.h"

namespace {

// One argument written so that the splitter gives it back: quoted, with the backslashes before
// a quote (or before the closing quote) doubled.
std::string Quote(const std::string& arg) {
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  return out.append(2 * slashes, '\\') + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string params = fuzz::Text(data, size);
  const std::vector<std::string> args = sys::SplitCommandLine(params);
  size_t total = 0;
  for (const std::string& arg : args) total += arg.size();
  FUZZ_CHECK(total <= params.size());
  // Written back as a command line, the arguments split into themselves.
  std::string line;
  for (const std::string& arg : args) line += Quote(arg) + " ";
  FUZZ_CHECK(sys::SplitCommandLine(line) == args);
  // The input's own arguments, quoted, come back as they are.
  std::string quoted;
  for (const std::string& piece : fuzz::Split(params, '\n')) quoted += Quote(piece) + "\t";
  FUZZ_CHECK(sys::SplitCommandLine(quoted) == fuzz::Split(params, '\n'));
  return 0;
}
