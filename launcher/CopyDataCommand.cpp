#include "CopyDataCommand.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "update/AppConfig.h"

namespace {
// The next run of characters other than commas, after skipping the commas before it.
std::string NextField(const std::string& text, size_t& at) {
  at = std::min(text.find_first_not_of(',', at), text.size());
  const size_t end = std::min(text.find(',', at), text.size());
  std::string field = text.substr(at, end - at);
  at = end;
  return field;
}

int ToInt(long value) {
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}
}  // namespace

bool ReadCopyDataText(const COPYDATASTRUCT& data, std::string& text) {
  if (data.cbData >= kCopyDataBufferSize) return false;
  const char* bytes = static_cast<const char*>(data.lpData);
  text.assign(bytes ? bytes : "", bytes ? strnlen(bytes, data.cbData) : 0);
  return true;
}

PopUpCommand SplitPopUpCommand(const std::string& text) {
  PopUpCommand command;
  size_t at = 0;
  const std::string width = NextField(text, at);
  const std::string height = NextField(text, at);
  command.hasSize = !width.empty() && !height.empty();
  command.width = ToInt(LeadingNumber(width));
  command.height = ToInt(LeadingNumber(height));
  if (command.hasSize && at + 1 < text.size()) {
    command.hasAddress = true;
    command.address = text.substr(at + 1);
  }
  return command;
}

int ClampPopUpExtent(int value, int screenExtent) {
  return std::clamp(value, 0, std::max(screenExtent, 0));
}
