#include "SelfUpdate.h"

#include <cstdio>

#include "platform/System.h"

std::string GetFileVersionString(const std::string& path) {
  uint32_t high = 0, low = 0;
  if (!sys::Current().GetFileVersion(path, high, low)) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(high >> 16),
                static_cast<int>(high & 0xFFFF), static_cast<int>(low >> 16),
                static_cast<int>(low & 0xFFFF));
  return text;
}
