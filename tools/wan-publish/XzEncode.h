// Compresses one file into .xz with liblzma, streaming, with memory bounded by the preset.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The xz preset of every payload; its dictionary shrinks to a smaller file.
inline constexpr uint32_t kXzPreset = 6;

struct XzEncoding {
  // A file larger than this is cut into blocks of a quarter of it, which `threads` encode at
  // once; smaller files are one block, one thread each. The cut depends on this size alone, so
  // a payload is the same bytes whatever the thread count. The default, 64 MiB, is about half a
  // minute of one core at this preset: a smaller file does not hold the others up, and blocks of
  // 16 MiB (twice the dictionary) make a large file's payload only about 1% larger.
  uint64_t largeFile = 64ull << 20;
  uint32_t threads = 1;
};

// Whether a file of `size` bytes is cut into blocks that every thread works on.
constexpr bool IsLargeFile(uint64_t size, const XzEncoding& encoding) {
  return size > encoding.largeFile;
}

// Writes `inFile` compressed to `outFile` (one stream, CRC64 check), adding the bytes it reads
// to `bytesRead` as it goes; false with `error` set.
bool XzCompressFile(const std::string& inFile, const std::string& outFile,
                    const XzEncoding& encoding, std::atomic<uint64_t>& bytesRead,
                    std::string& error);
