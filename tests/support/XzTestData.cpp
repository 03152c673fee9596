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

std::string XzDeclaringDictionary(const std::string& data, unsigned dictLog2) {
  std::string xz = XzCompress(data);
  auto* bytes = reinterpret_cast<uint8_t*>(xz.data());
  // The block header follows the 12-byte stream header: its size, its flags, the sizes the
  // flags announce (variable-length integers), then the one filter, LZMA2: id, size of its
  // properties, and the property byte that encodes the dictionary (2^n for 2 * (n - 12)).
  const size_t header = LZMA_STREAM_HEADER_SIZE;
  const size_t headerSize = (bytes[header] + 1u) * 4;
  size_t at = header + 2;
  for (uint8_t sizeFlag : {0x40, 0x80}) {
    if (bytes[header + 1] & sizeFlag) {
      while (bytes[at++] & 0x80) {
      }
    }
  }
  if (bytes[at] != 0x21 || bytes[at + 1] != 1) throw std::runtime_error("not one LZMA2 filter");
  bytes[at + 2] = static_cast<uint8_t>(2 * (dictLog2 - 12));
  const uint32_t crc = lzma_crc32(bytes + header, headerSize - 4, 0);
  for (int i = 0; i < 4; ++i)
    bytes[header + headerSize - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
  return xz;
}

std::string TestText(size_t size) {
  std::string text;
  for (unsigned i = 0; text.size() < size; ++i) {
    text += "line " + std::to_string(i * 2654435761u % 100000) + " of the test text\n";
  }
  text.resize(size);
  return text;
}
