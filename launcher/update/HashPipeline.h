// A ContentHasher that hashes on a thread of its own, so that the digest of a download costs its
// writer a copy into a fixed block rather than the hashing itself: on a machine with a core to
// spare, hashing overlaps decoding and the signed update takes no longer than the unsigned one.
// Bytes wait in a few fixed blocks; a writer that fills them all waits for the hashing thread,
// which never waits on anything but them, so memory stays flat whatever the file's size.
//
// The first block's worth of bytes is hashed on the caller's thread as it comes, without a copy:
// most game files end within it, and a thread for each would cost more than hashing them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "ContentList.h"
#include "Signature.h"

class HashPipeline {
 public:
  static constexpr size_t kBlockSize = 1 << 16;
  static constexpr size_t kBlocks = 16;

  HashPipeline() = default;
  // Ends the hashing thread, if any, after the block it is on; the digest is dropped.
  ~HashPipeline();
  HashPipeline(const HashPipeline&) = delete;
  HashPipeline& operator=(const HashPipeline&) = delete;

  void Update(const void* data, size_t size);
  // The digest of every byte given so far; no more bytes may follow.
  ContentDigest Final();

 private:
  bool StartThread();
  unsigned char* Block(uint64_t n);
  void Queue(const unsigned char* bytes, size_t size);
  void WaitForFreeBlock();
  void HandOn(bool bLast);
  void HashBlocks();

  // Fed on the caller's thread until the hashing thread starts, then only by that thread.
  ContentHasher m_hasher;
  size_t m_directLeft = kBlockSize;  // bytes still to be hashed on the caller's thread
  std::unique_ptr<unsigned char[]> m_blocks;
  size_t m_fill = 0;  // bytes in the block being filled

  std::thread m_thread;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  // Under m_mutex: blocks handed on and blocks hashed, counted from the start, so that block
  // n lives at n % kBlocks; the size of the last one handed on (all before it are full); no
  // more will come; the hashing is to stop at once.
  uint64_t m_handed = 0;
  uint64_t m_hashed = 0;
  size_t m_lastSize = kBlockSize;
  bool m_bEnded = false;
  bool m_bStop = false;
};
