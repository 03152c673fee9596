#include <gtest/gtest.h>

#include "LauncherSettings.h"
#include "SelfUpdate.h"
#include "TempDir.h"
#include "platform/headless/FakeSystem.h"
#include "platform/posix/VersionNote.h"

namespace {

class FileVersionTest : public ::testing::Test {
 protected:
  sys::FakeSystem m_system;  // reads files as the real system does
  TempDir m_dir;
  std::string m_launcher = ReadFile(LAUNCHER_EXE);
};

TEST_F(FileVersionTest, BuiltLauncherCarriesItsVersion) {
  EXPECT_EQ(GetFileVersionString(LAUNCHER_EXE), LAUNCHER_VERSION);
}

TEST_F(FileVersionTest, FilesWithoutVersionNoteGiveEmptyText) {
  WriteFile(m_dir / "text.exe", "1.0.0.1\n");
  WriteFile(m_dir / "header.exe", m_launcher.substr(0, 64));  // ELF header, nothing behind it
  EXPECT_EQ(GetFileVersionString(UNIT_TESTS_EXE), "");        // an executable without the note
  EXPECT_EQ(GetFileVersionString(m_dir / "text.exe"), "");
  EXPECT_EQ(GetFileVersionString(m_dir / "header.exe"), "");
  EXPECT_EQ(GetFileVersionString(m_dir / "missing.exe"), "");
}

TEST_F(FileVersionTest, DamagedNoteSizesAreRejected) {
  const std::string head("\x09\0\0\0\x08\0\0\0\x01\0\0\0Launcher", 20);
  size_t at = m_launcher.find(head);
  ASSERT_NE(at, std::string::npos);
  std::string damaged = m_launcher;
  damaged.replace(at, 4, "\xf0\xff\xff\xff");  // owner size far past the section's end
  WriteFile(m_dir / "damaged.exe", damaged);
  EXPECT_EQ(GetFileVersionString(m_dir / "damaged.exe"), "");
}

TEST(FileVersionTextTest, FourNumbersBelow65536) {
  EXPECT_TRUE(sys::IsFileVersionText("1.0.0.1"));
  EXPECT_TRUE(sys::IsFileVersionText("65535.0.10.200"));
  EXPECT_FALSE(sys::IsFileVersionText("1.0.0"));
  EXPECT_FALSE(sys::IsFileVersionText("1.0.0.1.2"));
  EXPECT_FALSE(sys::IsFileVersionText("1.0..1"));
  EXPECT_FALSE(sys::IsFileVersionText("1.0.0.65536"));
  EXPECT_FALSE(sys::IsFileVersionText("1.0.0.1b"));
  static_assert(sys::FileVersionField("3.14.15.926", 0) == 3);
  static_assert(sys::FileVersionField("3.14.15.926", 3) == 926);
}

}  // namespace
