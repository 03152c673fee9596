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

// The log lines of a decoder that could not start or stopped, worded by liblzma's return code;
// every decoder of the launcher words them alike.
void LogDecoderInitError(unsigned code);
void LogDecoderError(const std::string& inFile, unsigned code);
