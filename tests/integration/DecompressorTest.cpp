#include <gtest/gtest.h>

#include "TempDir.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"
#include "update/Decompressor.h"
#include "update/FileUtil.h"

namespace {

class DecompressorTest : public ::testing::Test {
 protected:
  bool Decompress(const std::string& payload) {
    WriteFile(m_dir / "in.xz", payload);
    return m_decompressor.Decompress(m_dir / "in.xz", m_dir / "out");
  }
  std::string LastLog() {
    auto debug = m_system.DebugOutput();
    return debug.empty() ? "" : debug.back();
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
  Decompressor m_decompressor;
};

TEST_F(DecompressorTest, DecodesSmallAndMultiBufferContent) {
  for (const std::string& text : {std::string("x"), std::string(""), TestText(100000)}) {
    ASSERT_TRUE(Decompress(XzCompress(text)));
    EXPECT_EQ(ReadFile(m_dir / "out"), text);
  }
  EXPECT_EQ(ReadFile(m_dir / "in.xz"), XzCompress(TestText(100000)));
}

TEST_F(DecompressorTest, ConcatenatedStreamsDecodeToBothContents) {
  ASSERT_TRUE(Decompress(XzCompress("first part ") + XzCompress("second part")));
  EXPECT_EQ(ReadFile(m_dir / "out"), "first part second part");
}

TEST_F(DecompressorTest, PlainFileIsNotXz) {
  EXPECT_FALSE(Decompress("plain text, not compressed"));
  EXPECT_EQ(LastLog(),
            m_dir / "in.xz" + ": Decoder error: The input is not in the .xz format (error code 7)");
}

TEST_F(DecompressorTest, TruncatedFileFailsAndLeavesPartialOutput) {
  const std::string text = TestText(200000);
  const std::string xz = XzCompress(text);
  EXPECT_FALSE(Decompress(xz.substr(0, xz.size() / 2)));
  EXPECT_EQ(LastLog(), m_dir / "in.xz" +
                           ": Decoder error: Compressed file is truncated or otherwise corrupt "
                           "(error code 10)");
  // What was decoded before the cut is written, and nothing else.
  const std::string out = ReadFile(m_dir / "out");
  EXPECT_FALSE(out.empty());
  EXPECT_LT(out.size(), text.size());
  EXPECT_EQ(out, text.substr(0, out.size()));
}

TEST_F(DecompressorTest, ChecksumMismatchIsCorrupt) {
  std::string xz = XzCompress("some content whose check will not match");
  // The block's CRC64 sits just before the index, whose size the stream footer gives.
  size_t footer = xz.size() - 12;
  uint32_t backward = static_cast<uint8_t>(xz[footer + 4]) | static_cast<uint8_t>(xz[footer + 5])
                                                                 << 8;
  size_t check = footer - (backward + 1) * 4 - 8;
  xz[check] = static_cast<char>(xz[check] ^ 0xff);
  EXPECT_FALSE(Decompress(xz));
  EXPECT_EQ(LastLog(),
            m_dir / "in.xz" + ": Decoder error: Compressed file is corrupt (error code 9)");
}

TEST_F(DecompressorTest, MissingInputStillCreatesTheOutput) {
  EXPECT_FALSE(m_decompressor.Decompress(m_dir / "absent.xz", m_dir / "out"));
  EXPECT_EQ(LastLog(), "Open infile " + m_dir / "absent.xz" + " failed");
  EXPECT_TRUE(IsPathExist(m_dir / "out"));
  EXPECT_EQ(ReadFile(m_dir / "out"), "");
}

// 512 MiB of dictionary: more than any preset needs, refused before it is allocated.
TEST_F(DecompressorTest, StreamNeedingMoreThanTheMemoryLimitFails) {
  EXPECT_TRUE(Decompress(XzDeclaringDictionary("content", 26))) << "64 MiB is within the limit";
  EXPECT_FALSE(Decompress(XzDeclaringDictionary("content", 29)));
  EXPECT_EQ(LastLog(), m_dir / "in.xz" +
                           ": Decoder error: the stream needs 513 MiB of memory, more than the "
                           "limit of 128 MiB (error code 6)");
}

TEST_F(DecompressorTest, OutputInMissingFolderFails) {
  WriteFile(m_dir / "in.xz", XzCompress("x"));
  EXPECT_FALSE(m_decompressor.Decompress(m_dir / "in.xz", m_dir / "no/such/out"));
  EXPECT_EQ(LastLog(), "Open outFile " + m_dir / "no/such/out" + " failed");
}

}  // namespace
