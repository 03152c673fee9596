#include "HashPipeline.h"

#include <algorithm>
#include <cstring>
#include <system_error>

HashPipeline::HashPipeline() : m_blocks(new unsigned char[kBlocks * kBlockSize]) {}

HashPipeline::~HashPipeline() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStop = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

unsigned char* HashPipeline::Block(uint64_t n) {
  return m_blocks.get() + (n % kBlocks) * kBlockSize;
}

void HashPipeline::Update(const void* data, size_t size) {
  auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    if (m_bInline) {
      m_hasher.Update(bytes, size);
      return;
    }
    if (m_fill == 0) WaitForFreeBlock();
    // Only this thread changes m_handed: reading it here needs no lock.
    const size_t copied = std::min(size, kBlockSize - m_fill);
    std::memcpy(Block(m_handed) + m_fill, bytes, copied);
    m_fill += copied;
    bytes += copied;
    size -= copied;
    if (m_fill == kBlockSize) HandOn();
  }
}

// The block about to be filled may still be waiting to be hashed. The hashing thread waits for
// nothing but blocks, so this wait lasts at most as long as hashing the oldest one.
void HashPipeline::WaitForFreeBlock() {
  if (!m_thread.joinable()) return;
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_handed - m_hashed < kBlocks; });
}

// A full block goes to the hashing thread, which starts with the first one.
void HashPipeline::HandOn() {
  if (!m_thread.joinable()) {
    try {
      m_thread = std::thread(&HashPipeline::HashBlocks, this);
    } catch (const std::system_error&) {
      // No thread to be had: the digest is taken here, as the bytes come.
      m_bInline = true;
      m_hasher.Update(Block(m_handed), m_fill);
      m_fill = 0;
      return;
    }
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_handed;
  }
  m_changed.notify_all();
  m_fill = 0;
}

ContentDigest HashPipeline::Final() {
  if (!m_thread.joinable()) {
    m_hasher.Update(Block(m_handed), m_fill);
    m_fill = 0;
    return m_hasher.Final();
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fill > 0) {
      m_lastSize = m_fill;
      ++m_handed;
    }
    m_bEnded = true;
  }
  m_changed.notify_all();
  m_thread.join();
  m_fill = 0;
  return m_hasher.Final();
}

void HashPipeline::HashBlocks() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (true) {
    m_changed.wait(lock, [this] { return m_bStop || m_bEnded || m_hashed < m_handed; });
    if (m_bStop || m_hashed == m_handed) return;
    const uint64_t n = m_hashed;
    // Only Final hands on a block that is not full, and it ends the input as it does.
    const size_t size = m_bEnded && n + 1 == m_handed ? m_lastSize : kBlockSize;
    lock.unlock();
    m_hasher.Update(Block(n), size);
    lock.lock();
    ++m_hashed;
    m_changed.notify_all();
  }
}
