#include "HashPipeline.h"

#include <algorithm>
#include <cstring>
#include <system_error>

HashPipeline::~HashPipeline() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStop = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

void HashPipeline::Update(const void* data, size_t size) {
  auto* bytes = static_cast<const unsigned char*>(data);
  if (!m_thread.joinable()) {
    const size_t direct = std::min(size, m_directLeft);
    m_hasher.Update(bytes, direct);
    m_directLeft -= direct;
    bytes += direct;
    size -= direct;
    if (size == 0) return;
    if (!StartThread()) {
      m_hasher.Update(bytes, size);
      return;
    }
  }
  Queue(bytes, size);
}

bool HashPipeline::StartThread() {
  m_blocks.reset(new unsigned char[kBlocks * kBlockSize]);
  try {
    m_thread = std::thread(&HashPipeline::HashBlocks, this);
    return true;
  } catch (const std::system_error&) {
    // No thread to be had: every byte is hashed here, as it comes.
    m_directLeft = SIZE_MAX;
    return false;
  }
}

unsigned char* HashPipeline::Block(uint64_t n) {
  return m_blocks.get() + (n % kBlocks) * kBlockSize;
}

void HashPipeline::Queue(const unsigned char* bytes, size_t size) {
  while (size > 0) {
    if (m_fill == 0) WaitForFreeBlock();
    // Only this thread changes m_handed: reading it here needs no lock.
    const size_t copied = std::min(size, kBlockSize - m_fill);
    std::memcpy(Block(m_handed) + m_fill, bytes, copied);
    m_fill += copied;
    bytes += copied;
    size -= copied;
    if (m_fill == kBlockSize) HandOn(false);
  }
}

// The block about to be filled may still be waiting to be hashed. The hashing thread waits for
// nothing but blocks, so this wait lasts at most as long as hashing the oldest one.
void HashPipeline::WaitForFreeBlock() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_handed - m_hashed < kBlocks; });
}

// The block being filled goes to the hashing thread; `bLast` ends the input with it.
void HashPipeline::HandOn(bool bLast) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fill > 0) {
      m_lastSize = m_fill;
      ++m_handed;
    }
    m_bEnded = bLast;
  }
  m_changed.notify_all();
  m_fill = 0;
}

ContentDigest HashPipeline::Final() {
  if (m_thread.joinable()) {
    HandOn(true);
    m_thread.join();
  }
  return m_hasher.Final();
}

void HashPipeline::HashBlocks() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (true) {
    m_changed.wait(lock, [this] { return m_bStop || m_bEnded || m_hashed < m_handed; });
    if (m_bStop || m_hashed == m_handed) return;
    const uint64_t n = m_hashed;
    // Every block but the last handed on is full.
    const size_t size = n + 1 == m_handed ? m_lastSize : kBlockSize;
    lock.unlock();
    m_hasher.Update(Block(n), size);
    lock.lock();
    ++m_hashed;
    m_changed.notify_all();
  }
}
