// The kind-1 copy-data payload another process sends the main dialog: any bytes of any length.
// The first two bytes give the length the sender claims (cbData), at most the bytes that follow.
#include <algorithm>
#include <climits>

#include "CopyDataCommand.h"
#include "FuzzSupport.h"
#include "update/AppConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string payload = fuzz::Text(data + 2, size - 2);
  COPYDATASTRUCT copy;
  copy.dwData = kCopyDataOpenPopUp;
  copy.cbData = static_cast<DWORD>(std::min<size_t>(data[0] | data[1] << 8, payload.size()));
  copy.lpData = const_cast<char*>(payload.data());
  std::string text;
  const bool read = ReadCopyDataText(copy, text);
  FUZZ_CHECK(read == (copy.cbData < kCopyDataBufferSize));
  if (!read) return 0;
  FUZZ_CHECK(text.size() <= copy.cbData);
  FUZZ_CHECK(text.find('\0') == std::string::npos);
  FUZZ_CHECK(payload.compare(0, text.size(), text) == 0);

  const PopUpCommand command = SplitPopUpCommand(text);
  FUZZ_CHECK(!command.hasAddress || command.hasSize);
  FUZZ_CHECK(command.hasAddress == !command.address.empty());
  if (command.hasAddress) {  // all that follows the comma after the height
    const size_t at = text.size() - command.address.size();
    FUZZ_CHECK(at > 0 && text[at - 1] == ',' &&
               text.compare(at, std::string::npos, command.address) == 0);
    FUZZ_CHECK(text.substr(0, at - 1).find_last_not_of(',') != std::string::npos);
  }
  if (!command.hasSize) FUZZ_CHECK(command.height == 0);  // no height field at all
  for (int screen : {0, 1920, -5}) {
    const int width = ClampPopUpExtent(command.width, screen);
    FUZZ_CHECK(width >= 0 && width <= std::max(screen, 0));
  }
  return 0;
}
