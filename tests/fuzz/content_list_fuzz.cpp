// The content list of a signed tree as a server may send it: any bytes. The client parses it
// only after its signature verified, but a publisher's mistake or a key that leaked must still
// never make the parser misread it.
#include "FuzzSupport.h"
#include "update/ContentList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fuzz::Text(data, size);
  ContentList list;
  std::string error;
  if (!ParseContentList(text, list, error)) {
    // A refused list leaves nothing half read, and says why.
    FUZZ_CHECK(list == ContentList());
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  // A list that reads is the list its fields write: every value read is the one written.
  ContentList again;
  FUZZ_CHECK(ParseContentList(FormatContentList(list), again, error) && again == list);
  for (const auto& [name, entry] : list.files) {
    FUZZ_CHECK(!name.empty() && name.find_first_of("\t\n") == std::string::npos);
    FUZZ_CHECK(entry.content.sha256.size() == 64);
  }
  return 0;
}
