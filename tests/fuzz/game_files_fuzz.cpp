// The game file list ("gamefiles.txt") as the update server may send it: any bytes.
#include "FuzzSupport.h"
#include "update/VersionInfos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::InputFile(data, size);
  std::vector<std::string> files;
  const bool read = GetGameFiles(path, files);

  // The list is the file's lines, CR LF read as LF, with no empty line after the last newline;
  // a line over the limit makes the whole file unreadable.
  const std::string text = fuzz::ReplaceAll(fuzz::Text(data, size), "\r\n", "\n");
  std::vector<std::string> lines = fuzz::Split(text, '\n');
  if (lines.back().empty()) lines.pop_back();
  bool tooLong = false;
  for (const std::string& line : lines) tooLong = tooLong || line.size() > kMaxManifestField;
  FUZZ_CHECK(read == !tooLong);
  if (read) FUZZ_CHECK(files == lines);
  for (const std::string& file : files) FUZZ_CHECK(file.size() <= kMaxManifestField);
  return 0;
}
