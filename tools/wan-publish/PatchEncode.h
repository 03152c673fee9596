// Makes the patch that turns one version of a file into the next: a zstd frame of the new bytes
// compressed with the old ones as its prefix, which the launcher's ApplyPatch (update/Patch.h)
// decodes in one pass.
#pragma once

#include <cstdint>
#include <string>

// The zstd level of every patch: with long-distance matching, higher levels made patches of
// game-like data barely smaller at many times the time.
inline constexpr int kPatchLevel = 9;

// The patch from `base` to `result` into `patch`, compressed by `threads` workers; false with
// `error` set.
bool MakePatch(const std::string& base, const std::string& result, uint32_t threads,
               std::string& patch, std::string& error);
