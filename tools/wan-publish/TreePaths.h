// What every part of the publisher does with the folders and files it is given.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

// A folder as the start of its files' paths: with one "/" at its end.
inline std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// The file's bytes; false when it cannot be read whole.
inline bool ReadText(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  text = bytes.str();
  return static_cast<bool>(in);
}
