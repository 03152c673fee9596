// The version note reader: it is pointed at whatever file sits at an executable's path.
#include <cstring>

#include "FuzzSupport.h"
#include "platform/posix/VersionNote.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::InputFile(data, size);
  uint32_t high = 0, low = 0;
  if (!sys::ReadVersionNote(path, high, low)) return 0;
  // A version only comes from a note in the file: its owner followed by the two halves.
  const std::string text = fuzz::Text(data, size);
  const std::string owner(sys::kVersionNoteOwner, sizeof sys::kVersionNoteOwner);
  char halves[8];
  std::memcpy(halves, &high, 4);
  std::memcpy(halves + 4, &low, 4);
  bool found = false;
  for (size_t at = text.find(owner); at != std::string::npos && !found;
       at = text.find(owner, at + 1)) {
    found = at >= 12 && text.compare(at + 12, 8, halves, 8) == 0;  // the owner is padded to 12
  }
  FUZZ_CHECK(found);
  return 0;
}
