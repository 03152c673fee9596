// Unpacks a downloaded .xz file (one or several concatenated streams) into another file.
#pragma once

#include <cstdint>
#include <string>

// The most memory one .xz decoder may take. The largest preset (xz -9, -9e) needs 65 MiB to
// decode, so every tree a publisher makes decodes with room to spare; a stream that declares a
// larger dictionary (a hostile one can declare gigabytes, which a 32-bit process cannot even
// address) fails instead of being allocated.
inline constexpr uint64_t kDecoderMemLimit = 128ull << 20;
// The most the decoders of concurrent transfers may take together: four at the per-decoder
// limit, an eighth of a 32-bit process's address space.
inline constexpr uint64_t kDecoderMemBudget = 512ull << 20;

// Whether one more transfer may start while the running ones hold `held` bytes for their
// decoders: until its body shows what it needs, a new one may need the per-decoder limit.
constexpr bool DecoderMemoryAllows(uint64_t held) {
  return held + kDecoderMemLimit <= kDecoderMemBudget;
}

class Decompressor {
 public:
  virtual ~Decompressor() = default;

  // True exactly when the whole input was valid .xz and every decoded byte reached `outFile`.
  // The input is never changed; on false `outFile` may be left empty or partly written.
  bool Decompress(const std::string& inFile, const std::string& outFile);
};

// The log lines of a decoder that could not start or stopped, worded by liblzma's return code;
// every decoder of the launcher words them alike.
void LogDecoderInitError(unsigned code);
void LogDecoderError(const std::string& inFile, unsigned code);
// The line of a stream that needs more than kDecoderMemLimit: `need` is what it asked for.
void LogDecoderMemoryNeed(const std::string& inFile, uint64_t need);
