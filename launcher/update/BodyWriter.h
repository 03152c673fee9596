// Takes one response body as it arrives. Every body goes to FILE.tmp as received, so that a cut
// transfer can continue from it (Resume.h); when unpacking, a body that opens with the .xz magic
// is also decoded on the fly into FILE.tmp2, the file to install. Memory is the decoder's state
// and two fixed buffers, whatever the size of the file, and the body is never read back from the
// disk, except the part an earlier attempt left, once, when a transfer resumes. Asked to, it
// also takes the digest of the bytes it writes to the file that will be installed, on a second
// thread for a large file.
#pragma once

#include <lzma.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ContentList.h"

class HashPipeline;

class BodyWriter {
 public:
  // `raw` is the open FILE.tmp (closed by its owner, after this object's Finish); `tmpName`
  // is its name. With `bHash`, Content() gives the installed bytes' digest after Finish. The
  // file this body fills (FILE.tmp2 for an .xz body, FILE.tmp for any other) may hold at most
  // `maxSize` bytes: one byte more ends the transfer, so a body that never ends, or a small .xz
  // that unpacks to gigabytes, takes no more disk than the file it claims to be.
  BodyWriter(FILE* raw, const std::string& tmpName, bool bDecompress, bool bHash = false,
             uint64_t maxSize = UINT64_MAX);
  ~BodyWriter();
  BodyWriter(const BodyWriter&) = delete;
  BodyWriter& operator=(const BodyWriter&) = delete;

  // The next bytes of the body; false when they cannot be kept (a write error, no FILE.tmp2,
  // more than `maxSize`, a stream needing more memory than kDecoderMemLimit), which ends the
  // transfer. A body that stops decoding for any other reason is read to its end and dropped, so
  // that its failure is judged, and logged, once the transfer is known to be whole.
  bool Write(const char* data, size_t size);
  // Takes the bytes FILE.tmp holds already (`raw` opened for update) as if they had just
  // arrived, without writing them again, and leaves the file at its end for the rest; `size`
  // gets their number. False when they cannot be part of a good body (a decoder error, more
  // than `maxSize`): the transfer must then start from its first byte.
  bool Replay(uint64_t& size);
  // The body has ended: with `bComplete` the decoder is run to the end of its input; FILE.tmp2
  // is closed either way. False when decoded bytes could not be written.
  bool Finish(bool bComplete);

  // The body opened with the .xz magic (and unpacking was asked for).
  bool IsXz() const { return m_state == State::Xz; }
  // An .xz body that decoded whole into FILE.tmp2.
  bool Decoded() const { return IsXz() && m_result == LZMA_STREAM_END; }
  // liblzma's verdict on the body, as the file decoder would give it for FILE.tmp.
  lzma_ret DecoderResult() const { return m_result; }
  // After Finish, when hashing was asked: the size and digest of what this body wrote to the
  // file it fills, FILE.tmp2 for an .xz body and FILE.tmp for any other. Only one of the two
  // ever receives bytes, so this is the content of whichever file gets installed.
  const std::optional<ContentDigest>& Content() const { return m_content; }
  // A write failed because the disk (or the file system's largest file) is full.
  bool DiskFull() const { return m_bDiskFull; }
  // The body passed `maxSize`, and so is not the file it claims to be.
  bool Oversized() const { return m_bOversized; }
  // The bytes of the file to install so far (FILE.tmp2 for an .xz body, else FILE.tmp).
  uint64_t Filled() const { return m_filled; }
  static bool IsDiskFullError(int error);
  // The memory this body's decoder may take: none while it waits for admission or for a plain
  // body, else the per-decoder limit until the body shows what its stream needs, then that
  // need (the decoder is held to it).
  uint64_t MemoryHeld() const;

  // Makes the body wait, before its first byte is taken, until `mayDecode` (asked then) or a
  // later Admit() lets it in: concurrent transfers send their requests at once, while only as
  // many decoders start as their memory budget holds.
  void SetAdmission(std::function<bool()> mayDecode);
  // Asked before each bytes are given: false while the body waits (its transfer pauses).
  bool MayTakeBytes();
  bool Waiting() const { return m_bWaiting; }
  void Admit();

 private:
  enum class State { Undecided, Plain, Xz };

  bool Decide();
  bool StartDecoder();
  bool Pass(const uint8_t* data, size_t size);
  bool PassHeld();
  bool WriteRaw(const uint8_t* data, size_t size);
  bool KeepRaw(const uint8_t* data, size_t size);
  bool Decode(const uint8_t* data, size_t size, lzma_action action);
  bool FlushDecoded();
  bool Fits(size_t size, const std::string& file);
  bool CompressedFits(size_t size);
  void HoldDecoderToItsNeed();
  void JudgePlainHead();

  FILE* m_raw;
  std::string m_rawName;
  std::string m_unpackedName;
  bool m_bDecompress;
  uint64_t m_maxSize;
  uint64_t m_filled = 0;    // bytes written to the file to install
  uint64_t m_received = 0;  // bytes of an .xz body, kept in FILE.tmp
  bool m_bOversized = false;
  bool m_bDiskFull = false;
  bool m_bDecoderHeld = false;
  std::function<bool()> m_mayDecode;  // empty once admitted
  bool m_bWaiting = false;
  bool m_bReplaying = false;  // the bytes are in FILE.tmp already
  State m_state = State::Undecided;
  // The first bytes of the body: enough for the magic, and for the verdict on a plain body.
  uint8_t m_head[LZMA_STREAM_HEADER_SIZE] = {};
  size_t m_headSize = 0;
  size_t m_heldSize = 0;    // head bytes not yet written or decoded while undecided
  size_t m_heldOnDisk = 0;  // of those, the ones replayed from FILE.tmp
  lzma_stream m_strm = LZMA_STREAM_INIT;
  lzma_ret m_result = LZMA_OK;
  FILE* m_unpacked = nullptr;
  std::unique_ptr<char[]> m_rawBuffer;
  std::unique_ptr<uint8_t[]> m_decoded;
  std::unique_ptr<HashPipeline> m_pHasher;  // only when hashing was asked
  std::optional<ContentDigest> m_content;
};
