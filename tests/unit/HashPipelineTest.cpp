#include "update/HashPipeline.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr size_t kBlock = HashPipeline::kBlockSize;

// Bytes that differ from block to block, so a block hashed twice, skipped or out of order shows.
std::string Numbered(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / kBlock) % 251);
  return bytes;
}

}  // namespace

// Every size around a block's edges and past the blocks that wait at once, given in pieces that
// fit, straddle and exceed a block: the digest is always the whole's.
TEST(HashPipelineTest, DigestIsTheWholesInEveryPiecing) {
  const size_t ring = HashPipeline::kBlocks * kBlock;
  for (size_t size :
       {size_t{0}, size_t{1}, kBlock - 1, kBlock, kBlock + 1, ring, ring + 1, 3 * ring + 12345}) {
    const std::string bytes = Numbered(size);
    for (size_t piece : {size_t{4096}, kBlock, kBlock + 1, size_t{300000}}) {
      HashPipeline pipeline;
      for (size_t at = 0; at < size; at += piece) {
        pipeline.Update(bytes.data() + at, std::min(piece, size - at));
        pipeline.Update(bytes.data(), 0);
      }
      EXPECT_EQ(pipeline.Final(), HashBytes(bytes)) << size << " bytes in pieces of " << piece;
    }
  }
}

// A transfer that fails midway drops its pipeline with blocks still waiting: the hashing
// thread ends without them.
TEST(HashPipelineTest, ADroppedPipelineEndsItsThread) {
  const std::string bytes = Numbered(8 * kBlock);
  for (int round = 0; round < 20; ++round) {
    HashPipeline pipeline;
    pipeline.Update(bytes.data(), bytes.size());
  }
  HashPipeline after;
  after.Update(bytes.data(), bytes.size());
  EXPECT_EQ(after.Final(), HashBytes(bytes));
}
