#include "XzEncode.h"

#include <lzma.h>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

constexpr uint32_t kMinDictionary = 4096;

// The preset's dictionary, shrunk to what one block holds: a small file needs no 8 MiB
// dictionary, and the encoder's memory and set-up time follow the dictionary. A large file goes
// to the block-cutting encoder even with one thread, so that its payload is the same bytes with
// any number of threads.
lzma_ret InitEncoder(lzma_stream& strm, uint64_t fileSize, const XzEncoding& encoding) {
  const bool large = IsLargeFile(fileSize, encoding);
  const uint64_t blockSize = large ? encoding.largeFile / 4 : fileSize;
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, kXzPreset)) return LZMA_OPTIONS_ERROR;
  if (blockSize < options.dict_size) {
    options.dict_size =
        blockSize < kMinDictionary ? kMinDictionary : static_cast<uint32_t>(blockSize);
  }
  lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (!large) return lzma_stream_encoder(&strm, filters, LZMA_CHECK_CRC64);
  lzma_mt mt = {};
  mt.threads = encoding.threads;
  mt.block_size = blockSize;
  mt.filters = filters;
  mt.check = LZMA_CHECK_CRC64;
  return lzma_stream_encoder_mt(&strm, &mt);
}

}  // namespace

bool XzCompressFile(const std::string& inFile, const std::string& outFile,
                    const XzEncoding& encoding, std::atomic<uint64_t>& bytesRead,
                    std::string& error) {
  std::error_code ec;
  const uint64_t size = std::filesystem::file_size(inFile, ec);
  if (ec) {
    error = inFile + ": " + ec.message();
    return false;
  }
  lzma_stream strm = LZMA_STREAM_INIT;
  if (InitEncoder(strm, size, encoding) != LZMA_OK) {
    error = "cannot start the xz encoder";
    return false;
  }
  FILE* in = std::fopen(inFile.c_str(), "rb");
  FILE* out = in ? std::fopen(outFile.c_str(), "wb") : nullptr;
  bool ok = in && out;
  if (!ok) error = std::string("cannot open ") + (in ? outFile : inFile);
  std::vector<uint8_t> inbuf(1 << 16), outbuf(1 << 16);
  lzma_action action = LZMA_RUN;
  strm.next_out = outbuf.data();
  strm.avail_out = outbuf.size();
  while (ok) {
    if (strm.avail_in == 0 && action == LZMA_RUN) {
      strm.next_in = inbuf.data();
      strm.avail_in = std::fread(inbuf.data(), 1, inbuf.size(), in);
      if (std::ferror(in)) {
        error = "read error in " + inFile;
        ok = false;
        break;
      }
      bytesRead += strm.avail_in;
      if (std::feof(in)) action = LZMA_FINISH;
    }
    lzma_ret ret = lzma_code(&strm, action);
    if (strm.avail_out == 0 || ret == LZMA_STREAM_END) {
      size_t n = outbuf.size() - strm.avail_out;
      if (std::fwrite(outbuf.data(), 1, n, out) != n) {
        error = "write error in " + outFile;
        ok = false;
      }
      strm.next_out = outbuf.data();
      strm.avail_out = outbuf.size();
    }
    if (ret == LZMA_STREAM_END) break;
    if (ret != LZMA_OK) {
      error = "xz encoder error " + std::to_string(ret);
      ok = false;
    }
  }
  if (in) std::fclose(in);
  if (out && std::fclose(out) != 0 && ok) {
    error = "write error in " + outFile;
    ok = false;
  }
  lzma_end(&strm);
  return ok;
}
