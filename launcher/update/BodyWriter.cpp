#include "BodyWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "Decompressor.h"
#include "HashPipeline.h"
#include "Log.h"

namespace {

const uint8_t kXzMagic[6] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
// Disk writes in large blocks: one system call per block, not per 4 KiB.
constexpr size_t kFileBufferSize = 1 << 16;

}  // namespace

BodyWriter::BodyWriter(FILE* raw, const std::string& tmpName, bool bDecompress, bool bHash,
                       uint64_t maxSize)
    : m_raw(raw),
      m_rawName(tmpName),
      m_unpackedName(tmpName + "2"),
      m_bDecompress(bDecompress),
      m_maxSize(maxSize),
      m_rawBuffer(new char[kFileBufferSize]),
      m_pHasher(bHash ? std::make_unique<HashPipeline>() : nullptr) {
  std::setvbuf(m_raw, m_rawBuffer.get(), _IOFBF, kFileBufferSize);
  if (!m_bDecompress) m_state = State::Plain;
}

BodyWriter::~BodyWriter() {
  if (m_unpacked) std::fclose(m_unpacked);
  lzma_end(&m_strm);
}

void BodyWriter::SetAdmission(std::function<bool()> mayDecode) {
  // A body replayed from a kept part has its decoder already: it was counted as it started.
  if (m_bDecompress && m_state == State::Undecided) m_mayDecode = std::move(mayDecode);
}

void BodyWriter::Admit() {
  m_mayDecode = nullptr;
  m_bWaiting = false;
}

bool BodyWriter::MayTakeBytes() {
  if (!m_mayDecode) return true;
  if (!m_mayDecode()) {
    m_bWaiting = true;
    return false;
  }
  Admit();
  return true;
}

bool BodyWriter::Write(const char* data, size_t size) {
  auto* bytes = reinterpret_cast<const uint8_t*>(data);
  // The head is kept for the verdict on a plain body, and held back until the magic is known.
  const size_t copied = std::min(size, sizeof m_head - m_headSize);
  std::memcpy(m_head + m_headSize, bytes, copied);
  m_headSize += copied;
  if (m_state == State::Undecided) {
    m_heldSize += copied;
    if (m_bReplaying) m_heldOnDisk += copied;
    bytes += copied;
    size -= copied;
    if (!Decide()) return false;
  }
  return size == 0 || Pass(bytes, size);
}

bool BodyWriter::Pass(const uint8_t* data, size_t size) {
  if (m_state == State::Xz) {
    return CompressedFits(size) && KeepRaw(data, size) && Decode(data, size, LZMA_RUN);
  }
  return WriteRaw(data, size);
}

// The received bytes of an .xz body are kept, so they are bounded too, where the file it unpacks
// to is: by that size and what xz's framing adds to bytes that do not compress. A body that
// stops decoding (padded without end, or another stream's garbage) cannot fill the disk.
bool BodyWriter::CompressedFits(size_t size) {
  m_received += size;
  if (m_maxSize == UINT64_MAX) return true;
  const uint64_t most = m_maxSize + m_maxSize / 64 + (64 << 10);
  if (m_received <= most) return true;
  LogPrint("%s: more than %llu bytes, the most it may hold", m_rawName.c_str(),
           static_cast<unsigned long long>(most));
  m_bOversized = true;
  return false;
}

// The head bytes held while the body's kind was unknown, passed on once it is known; those that
// came from the file itself are not written to it again.
bool BodyWriter::PassHeld() {
  const size_t held = m_heldSize, onDisk = std::min(m_heldOnDisk, held);
  m_heldSize = m_heldOnDisk = 0;
  const bool replaying = std::exchange(m_bReplaying, true);
  const bool passed = Pass(m_head, onDisk);
  m_bReplaying = replaying;
  return passed && Pass(m_head + onDisk, held - onDisk);
}

bool BodyWriter::Replay(uint64_t& size) {
  size = 0;
  std::unique_ptr<char[]> block(new char[kFileBufferSize]);
  m_bReplaying = true;
  bool good = std::fseek(m_raw, 0, SEEK_SET) == 0;
  while (good) {
    const size_t got = std::fread(block.get(), 1, kFileBufferSize, m_raw);
    if (got == 0) break;
    size += got;
    good = Write(block.get(), got);
  }
  m_bReplaying = false;
  // A partial body that no longer decodes would fail whatever follows it.
  good = good && !std::ferror(m_raw) && m_result == LZMA_OK;
  // Reading gives way to writing only through a seek.
  return std::fseek(m_raw, 0, SEEK_END) == 0 && good;
}

// Settles the body's kind once its first bytes show or rule out the magic, and passes on the
// bytes held until then.
bool BodyWriter::Decide() {
  const size_t known = std::min(m_headSize, sizeof kXzMagic);
  if (std::memcmp(m_head, kXzMagic, known) != 0) {
    m_state = State::Plain;
  } else if (known == sizeof kXzMagic) {
    m_state = State::Xz;
    if (!StartDecoder()) return false;
  } else {
    return true;
  }
  return PassHeld();
}

bool BodyWriter::StartDecoder() {
  const lzma_ret ret = lzma_stream_decoder(&m_strm, kDecoderMemLimit, LZMA_CONCATENATED);
  if (ret != LZMA_OK) {
    LogDecoderInitError(ret);
    return false;
  }
  m_unpacked = std::fopen(m_unpackedName.c_str(), "wb");
  if (!m_unpacked) {
    LogPrint("Open outFile %s failed", m_unpackedName.c_str());
    return false;
  }
  // Decoded blocks go out whole from our own buffer: no second copy through stdio's.
  std::setvbuf(m_unpacked, nullptr, _IONBF, 0);
  m_decoded.reset(new uint8_t[kFileBufferSize]);
  m_strm.next_out = m_decoded.get();
  m_strm.avail_out = kFileBufferSize;
  return true;
}

bool BodyWriter::WriteRaw(const uint8_t* data, size_t size) {
  if (!Fits(size, m_rawName)) return false;
  if (m_pHasher) m_pHasher->Update(data, size);
  return KeepRaw(data, size);
}

// The received bytes as they came, which a later attempt continues from.
bool BodyWriter::KeepRaw(const uint8_t* data, size_t size) {
  if (m_bReplaying || std::fwrite(data, 1, size, m_raw) == size) return true;
  m_bDiskFull = IsDiskFullError(errno);
  return false;
}

// Counts the bytes about to be written to the file to install; false (logged) past the most it
// may hold, before a byte too many reaches the disk.
bool BodyWriter::Fits(size_t size, const std::string& file) {
  if (size > m_maxSize - m_filled) {
    LogPrint("%s: more than %llu bytes, the most it may hold", file.c_str(),
             static_cast<unsigned long long>(m_maxSize));
    m_bOversized = true;
    return false;
  }
  m_filled += size;
  return true;
}

bool BodyWriter::IsDiskFullError(int error) {
  // EFBIG: the file system's largest file (4 GiB on FAT32) is as final as a full disk.
  return error == ENOSPC || error == EFBIG;
}

uint64_t BodyWriter::MemoryHeld() const {
  if (m_state == State::Plain || m_mayDecode) return 0;
  return m_bDecoderHeld ? lzma_memusage(&m_strm) : kDecoderMemLimit;
}

// Called once the first block has begun, when its dictionary is allocated: the decoder's limit
// becomes what it uses, so a later block that wants more fails instead of growing past what
// the transfer was counted for.
void BodyWriter::HoldDecoderToItsNeed() {
  lzma_memlimit_set(&m_strm, lzma_memusage(&m_strm));
  m_bDecoderHeld = true;
}

bool BodyWriter::Decode(const uint8_t* data, size_t size, lzma_action action) {
  // After a decoder error the rest of the body is read and dropped.
  if (m_result != LZMA_OK) return true;
  m_strm.next_in = data;
  m_strm.avail_in = size;
  while (true) {
    const lzma_ret ret = lzma_code(&m_strm, action);
    if (!m_bDecoderHeld && m_strm.total_out > 0) HoldDecoderToItsNeed();
    if ((m_strm.avail_out == 0 || ret == LZMA_STREAM_END) && !FlushDecoded()) return false;
    // Decided by the stream's headers alone: nothing later in the body changes it.
    if (ret == LZMA_MEMLIMIT_ERROR) {
      m_result = ret;
      LogDecoderMemoryNeed(m_rawName, lzma_memusage(&m_strm));
      return false;
    }
    if (ret != LZMA_OK) {
      m_result = ret;
      return true;
    }
    // Running, the decoder stops when the input is used up and the output has room; finishing,
    // it stops with LZMA_STREAM_END or an error (a cut body ends in LZMA_BUF_ERROR).
    if (action == LZMA_RUN && m_strm.avail_in == 0 && m_strm.avail_out != 0) return true;
  }
}

bool BodyWriter::FlushDecoded() {
  const size_t size = kFileBufferSize - m_strm.avail_out;
  if (!Fits(size, m_unpackedName)) return false;
  if (m_pHasher) m_pHasher->Update(m_decoded.get(), size);
  if (std::fwrite(m_decoded.get(), 1, size, m_unpacked) != size) {
    m_bDiskFull = IsDiskFullError(errno);
    LogPrint("Write error: %s", std::strerror(errno));
    return false;
  }
  m_strm.next_out = m_decoded.get();
  m_strm.avail_out = kFileBufferSize;
  return true;
}

bool BodyWriter::Finish(bool bComplete) {
  bool written = true;
  if (bComplete) {
    if (m_state == State::Undecided) {
      // Shorter than the magic: a plain body.
      m_state = State::Plain;
      written = PassHeld();
    }
    if (m_state == State::Xz) {
      written = Decode(nullptr, 0, LZMA_FINISH);
    } else if (m_bDecompress) {
      JudgePlainHead();
      // As when every body was unpacked from the disk, FILE.tmp2 is made (empty) for a plain
      // body too: one held open by another program stops the install with its box.
      if (FILE* unpacked = std::fopen(m_unpackedName.c_str(), "wb")) std::fclose(unpacked);
    }
  }
  if (m_unpacked) {
    // A failed close loses buffered output: the file is then incomplete.
    if (std::fclose(m_unpacked) != 0 && written) {
      m_bDiskFull = IsDiskFullError(errno);
      LogPrint("Write error: %s", std::strerror(errno));
      written = false;
    }
    m_unpacked = nullptr;
  }
  if (m_pHasher) m_content = m_pHasher->Final();
  return written;
}

// The file decoder would have read the plain body from its start: its verdict comes from the
// head alone (the stream header is the first 12 bytes, and a shorter body is cut short).
void BodyWriter::JudgePlainHead() {
  lzma_stream strm = LZMA_STREAM_INIT;
  m_result = lzma_stream_decoder(&strm, kDecoderMemLimit, LZMA_CONCATENATED);
  uint8_t out[64];
  strm.next_in = m_head;
  strm.avail_in = m_headSize;
  while (m_result == LZMA_OK) {
    strm.next_out = out;
    strm.avail_out = sizeof out;
    m_result = lzma_code(&strm, LZMA_FINISH);
  }
  lzma_end(&strm);
}
