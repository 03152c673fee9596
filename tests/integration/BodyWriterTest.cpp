// The body of a download decoded as it arrives: whatever the pieces it comes in, an .xz body
// ends up unpacked or judged damaged exactly as the file decoder would judge it, and any other
// body is kept byte for byte; and the digest it takes is that of the file it fills.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "TempDir.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"
#include "update/BodyWriter.h"
#include "update/Decompressor.h"
#include "update/FileUtil.h"
#include "update/Signature.h"

namespace {

const std::string kMagic(
    "\xFD"
    "7zXZ\0",
    6);

class BodyWriterTest : public ::testing::Test {
 protected:
  struct Outcome {
    bool written, xz, decoded;
    lzma_ret result;
    std::string raw, unpacked;
    std::optional<ContentDigest> content;
  };

  // Feeds `body` in pieces of the given sizes (the last piece repeats) and ends it; with `kept`,
  // its first bytes are in the file already, as a cut transfer left them, and are replayed.
  Outcome Receive(const std::string& body, std::vector<size_t> pieces, bool bDecompress = true,
                  bool bHash = true, size_t kept = 0) {
    const std::string tmp = m_dir / "f.tmp";
    WriteFile(tmp, body.substr(0, kept));
    FILE* raw = std::fopen(tmp.c_str(), "r+b");
    Outcome outcome{};
    {
      BodyWriter writer(raw, tmp, bDecompress, bHash);
      uint64_t replayed = 0;
      outcome.written = writer.Replay(replayed);
      EXPECT_EQ(replayed, kept);
      for (size_t at = kept, i = 0; at < body.size() && outcome.written; ++i) {
        const size_t size = std::min(pieces[std::min(i, pieces.size() - 1)], body.size() - at);
        outcome.written = writer.Write(body.data() + at, size);
        at += size;
      }
      outcome.written = writer.Finish(true) && outcome.written;
      std::fclose(raw);
      outcome.xz = writer.IsXz();
      outcome.decoded = writer.Decoded();
      outcome.result = writer.DecoderResult();
      outcome.content = writer.Content();
    }
    outcome.raw = ReadFile(tmp);
    outcome.unpacked = IsPathExist(tmp + "2") ? ReadFile(tmp + "2") : "(none)";
    return outcome;
  }

  // The line the file decoder logs for `body` as a downloaded file.
  std::string FileDecoderLine(const std::string& body) {
    WriteFile(m_dir / "f.tmp", body);
    const size_t before = m_system.DebugOutput().size();
    Decompressor().Decompress(m_dir / "f.tmp", m_dir / "decoded");
    auto lines = m_system.DebugOutput();
    return lines.size() > before ? lines.back() : "";
  }
  std::string StreamLine(lzma_ret result) {
    LogDecoderError(m_dir / "f.tmp", result);
    return m_system.DebugOutput().back();
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
};

TEST_F(BodyWriterTest, XzBodyIsUnpackedWhateverPiecesItArrivesIn) {
  const std::string content = TestText(200000);
  const std::string body = XzCompress(content) + XzCompress("and a second stream");
  for (size_t first : {1, 2, 5, 6, 7, 11, 12, 13, 100}) {
    for (size_t rest : {1, 3, 16384}) {
      if (rest == 1 && first > 6) continue;  // byte by byte once is enough
      Outcome o = Receive(body, {first, rest});
      ASSERT_TRUE(o.written && o.xz && o.decoded) << first << "/" << rest;
      EXPECT_EQ(o.unpacked, content + "and a second stream");
      EXPECT_EQ(o.raw, body) << "the packed body is kept as received, to be continued";
      EXPECT_EQ(o.result, LZMA_STREAM_END);
      EXPECT_EQ(o.content, HashBytes(o.unpacked)) << first << "/" << rest;
    }
  }
}

TEST_F(BodyWriterTest, DamagedXzBodiesAreJudgedAsTheFileDecoderJudgesThem) {
  const std::string packed = XzCompress(TestText(300000));
  std::string cutInBlock = packed.substr(0, packed.size() / 2);
  std::string corruptBlock = packed;
  corruptBlock[packed.size() / 2] ^= 0x55;
  const std::string onlyMagic = kMagic + TestText(5000);
  const std::string trailingGarbage = XzCompress("whole") + "garbage after the stream";
  for (const std::string& body : {cutInBlock, corruptBlock, onlyMagic, trailingGarbage}) {
    Outcome o = Receive(body, {7, 4096});
    EXPECT_TRUE(o.written) << "a damaged body is read to its end, not cut off";
    EXPECT_TRUE(o.xz);
    EXPECT_FALSE(o.decoded);
    EXPECT_EQ(o.raw, body);
    EXPECT_EQ(StreamLine(o.result), FileDecoderLine(body));
  }
  EXPECT_EQ(Receive(cutInBlock, {4096}).result, LZMA_BUF_ERROR);
  EXPECT_EQ(Receive(corruptBlock, {4096}).result, LZMA_DATA_ERROR);
}

// A transfer that continues a kept part ends as if the body had come whole: the kept bytes are
// decoded and hashed again, not written again.
TEST_F(BodyWriterTest, ABodyContinuedFromItsKeptPartEndsAsAWholeOne) {
  const std::string content = TestText(200000);
  const std::string packed = XzCompress(content);
  for (size_t kept : {size_t{1}, size_t{5}, size_t{6}, size_t{100}, packed.size() / 2}) {
    const Outcome xz = Receive(packed, {4096}, true, true, kept);
    EXPECT_TRUE(xz.written && xz.decoded) << kept;
    EXPECT_EQ(xz.unpacked, content) << kept;
    EXPECT_EQ(xz.raw, packed) << kept;
    EXPECT_EQ(xz.content, HashBytes(content)) << kept;
    const Outcome plain = Receive(content, {4096}, true, true, kept);
    EXPECT_TRUE(plain.written && !plain.xz) << kept;
    EXPECT_EQ(plain.raw, content) << kept;
    EXPECT_EQ(plain.content, HashBytes(content)) << kept;
  }
  // A kept part that no longer decodes cannot be continued.
  std::string damaged = packed.substr(0, packed.size() / 2);
  damaged[20] ^= 0x55;
  const std::string tmp = m_dir / "f.tmp";
  WriteFile(tmp, damaged);
  FILE* raw = std::fopen(tmp.c_str(), "r+b");
  {
    BodyWriter writer(raw, tmp, true);
    uint64_t replayed = 0;
    EXPECT_FALSE(writer.Replay(replayed));
    writer.Finish(false);
  }
  std::fclose(raw);
}

TEST_F(BodyWriterTest, OtherBodiesAreKeptAsReceivedEvenWhenTheyOpenLikeXz) {
  const std::string bodies[] = {
      "plain text of a file published uncompressed",
      kMagic.substr(0, 4) + " then plain text",  // part of the magic
      kMagic.substr(0, 5) + "Y and more",        // all but the last byte of it
      kMagic.substr(0, 3),                       // shorter than the magic
      "short",
      "",
  };
  for (const std::string& body : bodies) {
    for (size_t piece : {1, 2, 4096}) {
      Outcome o = Receive(body, {piece});
      EXPECT_TRUE(o.written);
      EXPECT_FALSE(o.xz) << body;
      EXPECT_EQ(o.raw, body);
      EXPECT_EQ(o.unpacked, "") << "made empty, as the file decoder made it";
      EXPECT_EQ(o.content, HashBytes(body)) << body << " in pieces of " << piece;
      EXPECT_EQ(StreamLine(o.result), FileDecoderLine(body)) << body;
    }
  }
}

TEST_F(BodyWriterTest, WithoutUnpackingEveryBodyIsKeptAsReceived) {
  const std::string body = XzCompress("packed");
  Outcome o = Receive(body, {3}, false);
  EXPECT_FALSE(o.xz);
  EXPECT_EQ(o.raw, body);
  EXPECT_EQ(o.unpacked, "(none)");
  EXPECT_EQ(o.content, HashBytes(body)) << "the packed bytes are what gets installed";
}

TEST_F(BodyWriterTest, NoDigestUnlessAsked) {
  EXPECT_EQ(Receive(XzCompress("packed"), {4096}, true, false).content, std::nullopt);
  EXPECT_EQ(Receive("plain", {4096}, true, false).content, std::nullopt);
}

// A full disk ends the transfer as soon as a write fails, whichever file the body fills.
TEST_F(BodyWriterTest, AFullDiskEndsTheBodyAtOnce) {
  const std::string text = TestText(1 << 20);
  const std::string tmp = m_dir / "f.tmp";
  auto receive = [&](FILE* raw, const std::string& body) {
    BodyWriter writer(raw, tmp, true);
    size_t at = 0;
    while (at < body.size() &&
           writer.Write(body.data() + at, std::min<size_t>(16384, body.size() - at))) {
      at += 16384;
    }
    writer.Finish(false);
    std::fclose(raw);
    return at < body.size();
  };
  FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  EXPECT_TRUE(receive(full, text)) << "a plain body written to a full disk";

  std::filesystem::create_symlink("/dev/full", tmp + "2");
  EXPECT_TRUE(receive(std::fopen(tmp.c_str(), "wb"), XzCompress(text)))
      << "an .xz body decoded onto a full disk";
}

}  // namespace
