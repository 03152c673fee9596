// Patches of game files: one zstd frame compressed with the installed version's bytes as its
// prefix, so that it carries little more than what changed. The one place of the launcher that
// calls libzstd.
#pragma once

#include <cstdint>
#include <string>

#include "ContentList.h"

// The most memory applying one patch may take. The base, the patch and the result are each held
// whole: the result is decoded in one pass into a buffer of its known size, so the decoder keeps
// no window of its own and reaches back into the base and the result where they lie. A 256 MiB
// pack with a small patch fits; with the decoders of concurrent transfers (kDecoderMemBudget)
// this stays under 1.2 GiB, inside a 32-bit process's 2 GiB. A larger file gets its full payload.
inline constexpr uint64_t kPatchMemLimit = 640ull << 20;

// Whether a patch of `patchSize` bytes turning a `baseSize` file into a `resultSize` one may be
// applied within kPatchMemLimit.
constexpr bool PatchFits(uint64_t baseSize, uint64_t resultSize, uint64_t patchSize) {
  return baseSize <= kPatchMemLimit && resultSize <= kPatchMemLimit - baseSize &&
         patchSize <= kPatchMemLimit - baseSize - resultSize;
}

// Whether the file at `basePath` exists and PatchFits with the result and patch sizes.
bool PatchFitsBase(const std::string& basePath, uint64_t resultSize, uint64_t patchSize);

// Applies the patch in `patchFile` to `baseFile` into `outFile`, which must come out as
// `resultSize` bytes; `written` gets its digest. False, with `why` for the log, when the base
// does not hash to `baseSha256`, a file cannot be read or written (`bDiskFull` when the disk is
// full), memory runs short, or the patch does not decode into exactly `resultSize` bytes. The
// caller compares `written` with the digest the result must have.
bool ApplyPatch(const std::string& baseFile, const std::string& baseSha256,
                const std::string& patchFile, uint64_t resultSize, const std::string& outFile,
                ContentDigest& written, bool& bDiskFull, std::string& why);
