#include "PatchEncode.h"

#include <zstd.h>

#include <algorithm>

namespace {

// The smallest window that reaches from the end of the result back to the start of the base:
// any match of the new bytes in the old ones is then in reach.
int WindowLog(uint64_t reach) {
  const ZSTD_bounds bounds = ZSTD_cParam_getBounds(ZSTD_c_windowLog);
  int log = bounds.lowerBound;
  while (log < bounds.upperBound && (1ull << log) < reach) ++log;
  return log;
}

}  // namespace

bool MakePatch(const std::string& base, const std::string& result, uint32_t threads,
               std::string& patch, std::string& error) {
  ZSTD_CCtx* cctx = ZSTD_createCCtx();
  if (!cctx) {
    error = "no memory for the patch encoder";
    return false;
  }
  patch.resize(ZSTD_compressBound(result.size()));
  size_t rc = 0;
  auto set = [&](ZSTD_cParameter parameter, int value) {
    if (!ZSTD_isError(rc)) rc = ZSTD_CCtx_setParameter(cctx, parameter, value);
  };
  set(ZSTD_c_compressionLevel, kPatchLevel);
  set(ZSTD_c_windowLog, WindowLog(base.size() + result.size()));
  set(ZSTD_c_enableLongDistanceMatching, 1);
  set(ZSTD_c_nbWorkers, static_cast<int>(std::max(1u, threads)));
  if (!ZSTD_isError(rc)) rc = ZSTD_CCtx_refPrefix(cctx, base.data(), base.size());
  if (!ZSTD_isError(rc)) {
    rc = ZSTD_compress2(cctx, patch.data(), patch.size(), result.data(), result.size());
  }
  ZSTD_freeCCtx(cctx);
  if (ZSTD_isError(rc)) {
    error = std::string("cannot make a patch: ") + ZSTD_getErrorName(rc);
    return false;
  }
  patch.resize(rc);
  return true;
}
