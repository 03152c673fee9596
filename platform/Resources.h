// Resources compiled into the executable (resources/): pictures and icons by id and type,
// the string table, dialog templates (Dialog.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "Types.h"

namespace res {
struct Resource {
  const uint8_t* data = nullptr;
  size_t size = 0;
};
// Binary resource `id` of `type` ("png", "icon"); false when there is none.
bool FindResource(UINT id, const char* type, Resource* found);
// String `id` of the string table; null when there is none.
const char* FindString(UINT id);
}  // namespace res

// Copies string `id` into `buffer` (cut to fit, always terminated); returns its length, 0 when
// the string does not exist.
int LoadString(UINT id, char* buffer, int size);
// Icon resource `id`; null when there is none.
HICON LoadIconResource(UINT id);
