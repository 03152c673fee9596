#include "Decompressor.h"

#include <lzma.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Log.h"

namespace {

constexpr size_t kBufferSize = 512;
// The files' own buffers: the decoder works in 512-byte steps, the disk is read and written in
// large blocks (one system call per block, not per 4 KiB).
constexpr size_t kFileBufferSize = 1 << 16;

const char* InitErrorText(unsigned ret) {
  switch (ret) {
    case LZMA_MEM_ERROR:
      return "Memory allocation failed";
    case LZMA_OPTIONS_ERROR:
      return "Unsupported decompressor flags";
    default:
      return "Unknown error, possibly a bug";
  }
}

const char* DecodeErrorText(unsigned ret) {
  switch (ret) {
    case LZMA_MEM_ERROR:
      return "Memory allocation failed";
    case LZMA_FORMAT_ERROR:
      return "The input is not in the .xz format";
    case LZMA_OPTIONS_ERROR:
      return "Unsupported compression options";
    case LZMA_DATA_ERROR:
      return "Compressed file is corrupt";
    case LZMA_BUF_ERROR:
      return "Compressed file is truncated or otherwise corrupt";
    default:
      return "Unknown error, possibly a bug";
  }
}

// Runs the decoder over the two open files; every failure is logged here.
bool DecodeStream(lzma_stream& strm, FILE* in, FILE* out, const std::string& inFile) {
  uint8_t inbuf[kBufferSize];
  uint8_t outbuf[kBufferSize];
  lzma_action action = LZMA_RUN;
  strm.next_in = nullptr;
  strm.avail_in = 0;
  strm.next_out = outbuf;
  strm.avail_out = sizeof outbuf;
  while (true) {
    if (strm.avail_in == 0 && !std::feof(in)) {
      strm.next_in = inbuf;
      strm.avail_in = std::fread(inbuf, 1, sizeof inbuf, in);
      if (std::ferror(in)) {
        LogPrint("%s: Read error: %s", inFile.c_str(), std::strerror(errno));
        return false;
      }
      if (std::feof(in)) action = LZMA_FINISH;
    }
    lzma_ret ret = lzma_code(&strm, action);
    if (strm.avail_out == 0 || ret == LZMA_STREAM_END) {
      size_t size = sizeof outbuf - strm.avail_out;
      if (std::fwrite(outbuf, 1, size, out) != size) {
        LogPrint("Write error: %s", std::strerror(errno));
        return false;
      }
      strm.next_out = outbuf;
      strm.avail_out = sizeof outbuf;
    }
    if (ret == LZMA_OK) continue;
    if (ret == LZMA_STREAM_END) return true;
    if (ret == LZMA_MEMLIMIT_ERROR) {
      LogDecoderMemoryNeed(inFile, lzma_memusage(&strm));
    } else {
      LogDecoderError(inFile, ret);
    }
    return false;
  }
}

}  // namespace

bool Decompressor::Decompress(const std::string& inFile, const std::string& outFile) {
  lzma_stream strm = LZMA_STREAM_INIT;
  lzma_ret ret = lzma_stream_decoder(&strm, kDecoderMemLimit, LZMA_CONCATENATED);
  if (ret != LZMA_OK) {
    LogDecoderInitError(ret);
    return false;
  }
  // Both are opened before either is checked: the output exists even without an input.
  FILE* in = std::fopen(inFile.c_str(), "rb");
  FILE* out = std::fopen(outFile.c_str(), "wb");
  std::unique_ptr<char[]> inBuffer(new char[kFileBufferSize]);
  std::unique_ptr<char[]> outBuffer(new char[kFileBufferSize]);
  if (in) std::setvbuf(in, inBuffer.get(), _IOFBF, kFileBufferSize);
  if (out) std::setvbuf(out, outBuffer.get(), _IOFBF, kFileBufferSize);
  bool result = false;
  if (!in) {
    LogPrint("Open infile %s failed", inFile.c_str());
  } else if (!out) {
    LogPrint("Open outFile %s failed", outFile.c_str());
  } else {
    result = DecodeStream(strm, in, out, inFile);
  }
  if (in) std::fclose(in);
  // A failed close loses buffered output: the file is then incomplete.
  if (out && std::fclose(out) != 0 && result) {
    LogPrint("Write error: %s", std::strerror(errno));
    result = false;
  }
  lzma_end(&strm);
  return result;
}

void LogDecoderInitError(unsigned code) {
  LogPrint("Error initializing the decoder: %s (error code %u)", InitErrorText(code), code);
}

void LogDecoderError(const std::string& inFile, unsigned code) {
  LogPrint("%s: Decoder error: %s (error code %u)", inFile.c_str(), DecodeErrorText(code), code);
}

void LogDecoderMemoryNeed(const std::string& inFile, uint64_t need) {
  constexpr uint64_t kMiB = 1 << 20;
  LogPrint(
      "%s: Decoder error: the stream needs %llu MiB of memory, more than the limit of %llu "
      "MiB (error code %u)",
      inFile.c_str(), static_cast<unsigned long long>((need + kMiB - 1) / kMiB),
      static_cast<unsigned long long>(kDecoderMemLimit / kMiB), LZMA_MEMLIMIT_ERROR);
}
