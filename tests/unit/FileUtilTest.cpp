#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "platform/headless/FakeSystem.h"
#include "update/FileUtil.h"
#include "update/Log.h"

namespace {

constexpr uint64_t kGB = 1024ull * 1024 * 1024;

class FileUtilTest : public ::testing::Test {
 protected:
  std::string Drive(const std::string& name) {
    std::filesystem::create_directories(m_dir / name);
    return m_dir / (name + "/");
  }
  bool FolderIsEmpty(const std::string& path) { return std::filesystem::is_empty(path); }

  sys::FakeSystem m_system;
  TempDir m_dir;
};

TEST_F(FileUtilTest, MostFreeSpaceWinsAndProbeFileIsRemoved) {
  std::string c = Drive("c"), d = Drive("d");
  m_system.drives = {{c, 10 * kGB, true}, {d, 20 * kGB, true}};
  EXPECT_EQ(GetWritableRoot(), d);
  EXPECT_TRUE(FolderIsEmpty(c));
  EXPECT_TRUE(FolderIsEmpty(d));
}

TEST_F(FileUtilTest, DriveRefusingTheProbeIsSkipped) {
  std::string c = Drive("c"), d = Drive("d");
  m_system.drives = {{c, 10 * kGB, true}, {d, 20 * kGB, false}};
  EXPECT_EQ(GetWritableRoot(), c);
}

TEST_F(FileUtilTest, EqualFreeSpaceKeepsTheEarlierDrive) {
  std::string c = Drive("c"), d = Drive("d");
  m_system.drives = {{c, 5 * kGB, true}, {d, 5 * kGB, true}};
  EXPECT_EQ(GetWritableRoot(), c);
}

TEST_F(FileUtilTest, FullDriveIsNeverChosen) {
  m_system.drives = {{Drive("c"), 0, true}};
  m_system.folders[sys::Folder::AppData] = m_dir / "appdata";
  EXPECT_EQ(GetWritableRoot(), m_dir / "appdata/");
}

TEST_F(FileUtilTest, NoFixedDriveFallsBackToDataFolderAndSaysSo) {
  m_system.folders[sys::Folder::AppData] = m_dir / "appdata";
  EXPECT_EQ(GetWritableRoot(), m_dir / "appdata/");
  EXPECT_EQ(m_system.DebugOutput(),
            std::vector<std::string>{"no writeable disk, set path " + m_dir / "appdata/"});
}

TEST_F(FileUtilTest, NothingWritableGivesEmptyRoot) {
  EXPECT_EQ(GetWritableRoot(), "");
  EXPECT_EQ(m_system.DebugOutput(),
            std::vector<std::string>{"no writeable disk and get user app path failed"});
}

TEST_F(FileUtilTest, FindLastSeparatorTakesBothKindsButNeverTheFirstCharacter) {
  EXPECT_EQ(FindLastSeparator("a/b\\c"), 3u);
  EXPECT_EQ(FindLastSeparator("a\\b/c"), 3u);
  EXPECT_EQ(FindLastSeparator("/abc"), std::string::npos);
  EXPECT_EQ(FindLastSeparator("abc"), std::string::npos);
}

TEST_F(FileUtilTest, CreateParentDirectoryMakesEveryMissingLevel) {
  std::string file = m_dir / "one/two/three/file.txt";
  EXPECT_TRUE(CreateParentDirectory(file));
  EXPECT_TRUE(std::filesystem::is_directory(m_dir / "one/two/three"));
  EXPECT_FALSE(CreateParentDirectory("file.txt"));
  EXPECT_FALSE(CreateParentDirectory(""));
}

// However the folder is spelt, it is made with every level above it, and one already there is
// success.
TEST_F(FileUtilTest, CreateDirectoryRecursiveTakesEverySpelling) {
  struct Case {
    const char* path;
    const char* made;
  } cases[] = {
      {"x/y/z/", "x/y/z"}, {"a//b", "a/b"}, {"c/d//", "c/d"},
      {"x/y/z/", "x/y/z"}, {"x/y", "x/y"},  {"x//y/new/", "x/y/new"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(CreateDirectoryRecursive(m_dir / c.path)) << c.path;
    EXPECT_TRUE(std::filesystem::is_directory(m_dir / c.made)) << c.path;
  }
}

TEST_F(FileUtilTest, CreateDirectoryRecursiveLogsTheFailure) {
  WriteFile(m_dir / "blocker", "a file where a folder should be");
  SetLogFile(m_dir / "log.txt");
  EXPECT_FALSE(CreateDirectoryRecursive(m_dir / "blocker/sub"));
  SetLogFile("");
  EXPECT_NE(ReadFile(m_dir / "log.txt")
                .find("CreateDirectory(" + m_dir / "blocker/sub" + ") failed!(20)"),
            std::string::npos);
}

TEST_F(FileUtilTest, ReadFileWordTakesTheFirstWordOnly) {
  WriteFile(m_dir / "v.txt", "1.0.0.7\n");
  EXPECT_EQ(ReadFileWord(m_dir / "v.txt"), "1.0.0.7");
  WriteFile(m_dir / "v.txt", "  \n 2.0.0.1 1.0.0.1\n");
  EXPECT_EQ(ReadFileWord(m_dir / "v.txt"), "2.0.0.1");
  WriteFile(m_dir / "v.txt", "");
  EXPECT_EQ(ReadFileWord(m_dir / "v.txt"), "");
  EXPECT_EQ(ReadFileWord(m_dir / "missing.txt"), "");
  WriteFile(m_dir / "v.txt", std::string(259, 'w'));
  EXPECT_EQ(ReadFileWord(m_dir / "v.txt"), std::string(259, 'w'));
  WriteFile(m_dir / "v.txt", std::string(260, 'w'));
  EXPECT_EQ(ReadFileWord(m_dir / "v.txt"), "");
}

TEST_F(FileUtilTest, DeleteDirectoryTreeRemovesEverything) {
  WriteFile(m_dir / "tree/a.txt", "a");
  WriteFile(m_dir / "tree/sub/deeper/b.txt", "b");
  EXPECT_TRUE(DeleteDirectoryTree(m_dir / "tree"));
  EXPECT_FALSE(std::filesystem::exists(m_dir / "tree"));
}

TEST_F(FileUtilTest, DeleteDirectoryTreeKeepsGoingPastALockedFile) {
  WriteFile(m_dir / "tree/a.txt", "a");
  WriteFile(m_dir / "tree/sub/locked.txt", "b");
  WriteFile(m_dir / "tree/z.txt", "z");
  m_system.Lock(m_dir / "tree/sub/locked.txt");
  EXPECT_FALSE(DeleteDirectoryTree(m_dir / "tree/"));
  EXPECT_TRUE(std::filesystem::exists(m_dir / "tree/sub/locked.txt"));
  EXPECT_FALSE(std::filesystem::exists(m_dir / "tree/a.txt"));
  EXPECT_FALSE(std::filesystem::exists(m_dir / "tree/z.txt"));
}

TEST_F(FileUtilTest, DeleteDirectoryTreeRemovesALinkNotWhatItPointsAt) {
  WriteFile(m_dir / "outside/keep.txt", "keep");
  std::filesystem::create_directories(m_dir / "tree");
  std::filesystem::create_directory_symlink(m_dir / "outside", m_dir / "tree/link");
  EXPECT_TRUE(DeleteDirectoryTree(m_dir / "tree"));
  EXPECT_TRUE(std::filesystem::exists(m_dir / "outside/keep.txt"));
}

}  // namespace
