// The versions manifest ("versions.txt") as the update server may send it: any bytes.
#include "FuzzSupport.h"
#include "update/VersionInfos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::InputFile(data, size);
  VersionInfos infos;
  const bool read = GetVersionInfo(path, infos);
  // A name is one field: within the limit and never holding the tab that ends it.
  for (const auto& [name, info] : infos.Entries()) {
    FUZZ_CHECK(name.size() <= kMaxManifestField);
    FUZZ_CHECK(name.find('\t') == std::string::npos);
    VersionInfo found;
    FUZZ_CHECK(infos.GetInfo(name, found) && found.version == info.version);
  }
  // Nothing can be over-long in a file shorter than the limit.
  if (size <= kMaxManifestField) FUZZ_CHECK(read);
  return 0;
}
