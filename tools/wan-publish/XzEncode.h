// Compresses one file into .xz with liblzma, streaming, with memory bounded by the preset.
#pragma once

#include <cstdint>
#include <string>

// The xz preset of every payload; its dictionary shrinks to a smaller file.
inline constexpr uint32_t kXzPreset = 6;

// Writes `inFile` compressed to `outFile` (one stream, CRC64 check); false with `error` set.
bool XzCompressFile(const std::string& inFile, const std::string& outFile, std::string& error);
