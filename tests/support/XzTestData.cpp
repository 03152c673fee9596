#include "XzTestData.h"

#include <lzma.h>

#include <stdexcept>

std::string XzCompress(const std::string& data) {
  std::string out(lzma_stream_buffer_bound(data.size()), '\0');
  size_t outPos = 0;
  lzma_ret ret = lzma_easy_buffer_encode(
      1, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const uint8_t*>(data.data()), data.size(),
      reinterpret_cast<uint8_t*>(out.data()), &outPos, out.size());
  if (ret != LZMA_OK) throw std::runtime_error("lzma_easy_buffer_encode failed");
  out.resize(outPos);
  return out;
}

std::string TestText(size_t size) {
  std::string text;
  for (unsigned i = 0; text.size() < size; ++i) {
    text += "line " + std::to_string(i * 2654435761u % 100000) + " of the test text\n";
  }
  text.resize(size);
  return text;
}
