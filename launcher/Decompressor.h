// Unpacks a downloaded .xz file (one or several concatenated streams) into another file.
#pragma once

#include <string>

class Decompressor {
 public:
  virtual ~Decompressor() = default;

  // True exactly when the whole input was valid .xz and every decoded byte reached `outFile`.
  // The input is never changed; on false `outFile` may be left empty or partly written.
  bool Decompress(const std::string& inFile, const std::string& outFile);
};

// Whether a file starts with the .xz stream header magic bytes.
bool HasXzMagic(const std::string& path);
