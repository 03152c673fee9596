// The string table (Strings.inc, which the Windows build's resource script reads too).
#include "LauncherSettings.h"
#include "platform/Resources.h"

namespace res {
const char* FindString(UINT id) {
#define STRING(number, text) \
  case number:               \
    return text;
  switch (id) {
#include "Strings.inc"
    default:
      return nullptr;
  }
}
}  // namespace res
