// Compresses one file into .xz with liblzma, streaming, with memory bounded by the preset.
#pragma once

#include <string>

// Writes `inFile` compressed to `outFile` (one stream, CRC64 check); false with `error` set.
bool XzCompressFile(const std::string& inFile, const std::string& outFile, std::string& error);
