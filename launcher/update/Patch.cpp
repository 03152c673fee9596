#include "Patch.h"

#include <zstd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "BodyWriter.h"
#include "Signature.h"

namespace {

struct Buffer {
  std::unique_ptr<char[]> bytes;
  size_t size = 0;
};

// The whole file, when it holds at most `most` bytes and memory allows; `why` says what failed.
bool ReadWhole(const std::string& path, uint64_t most, Buffer& buffer, std::string& why) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    why = "cannot open " + path;
    return false;
  }
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = size >= 0 && static_cast<uint64_t>(size) <= most && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    buffer.size = static_cast<size_t>(size);
    // One byte at least: an empty file still gets a buffer to point at.
    buffer.bytes.reset(new (std::nothrow) char[buffer.size + 1]);
    ok = buffer.bytes && std::fread(buffer.bytes.get(), 1, buffer.size, file) == buffer.size;
  }
  std::fclose(file);
  if (!ok) why = "cannot read " + path + " whole within the patch's memory";
  return ok;
}

bool WriteWhole(const std::string& path, const Buffer& buffer, bool& bDiskFull, std::string& why) {
  FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file && std::fwrite(buffer.bytes.get(), 1, buffer.size, file) == buffer.size;
  if (file && std::fclose(file) != 0) ok = false;
  if (!ok) {
    bDiskFull = BodyWriter::IsDiskFullError(errno);
    why = "cannot write " + path;
  }
  return ok;
}

ContentDigest Digest(const Buffer& buffer) {
  ContentHasher hasher;
  hasher.Update(buffer.bytes.get(), buffer.size);
  return hasher.Final();
}

// Decodes the patch in one pass into `result`, whose size is the one the result must have.
bool Decode(const Buffer& base, const Buffer& patch, Buffer& result, std::string& why) {
  ZSTD_DCtx* dctx = ZSTD_createDCtx();
  size_t decoded = dctx ? ZSTD_DCtx_refPrefix(dctx, base.bytes.get(), base.size) : 0;
  if (dctx && !ZSTD_isError(decoded)) {
    decoded =
        ZSTD_decompressDCtx(dctx, result.bytes.get(), result.size, patch.bytes.get(), patch.size);
  }
  ZSTD_freeDCtx(dctx);
  if (!dctx) {
    why = "no memory for the patch decoder";
  } else if (ZSTD_isError(decoded)) {
    why = std::string("the patch is damaged (") + ZSTD_getErrorName(decoded) + ")";
  } else if (decoded != result.size) {
    why =
        "the patch gives " + std::to_string(decoded) + " bytes, not " + std::to_string(result.size);
  }
  return dctx && !ZSTD_isError(decoded) && decoded == result.size;
}

}  // namespace

bool PatchFitsBase(const std::string& basePath, uint64_t resultSize, uint64_t patchSize) {
  FILE* file = std::fopen(basePath.c_str(), "rb");
  if (!file) return false;
  const long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
  std::fclose(file);
  return size >= 0 && PatchFits(static_cast<uint64_t>(size), resultSize, patchSize);
}

bool ApplyPatch(const std::string& baseFile, const std::string& baseSha256,
                const std::string& patchFile, uint64_t resultSize, const std::string& outFile,
                ContentDigest& written, bool& bDiskFull, std::string& why) {
  Buffer base, patch, result;
  if (!ReadWhole(baseFile, kPatchMemLimit, base, why)) return false;
  // The base is hashed as it will be used: a file changed since its marker was written, or
  // after the plan looked at it, is caught here.
  if (Digest(base).sha256 != baseSha256) {
    why = "the installed file is not the patch's base";
    return false;
  }
  if (!PatchFits(base.size, resultSize, 0) ||
      !ReadWhole(patchFile, kPatchMemLimit - base.size - resultSize, patch, why)) {
    if (why.empty()) why = "the patch needs more memory than it may take";
    return false;
  }
  result.size = static_cast<size_t>(resultSize);
  result.bytes.reset(new (std::nothrow) char[result.size + 1]);
  if (!result.bytes) {
    why = "no memory for the patched file";
    return false;
  }
  if (!Decode(base, patch, result, why)) return false;
  written = Digest(result);
  return WriteWhole(outFile, result, bDiskFull, why);
}
