#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "TempDir.h"
#include "platform/posix/PosixSystem.h"

namespace {

// Waits for a file another process renames into place (bounded; that process is detached).
std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 500 && !std::filesystem::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ReadFile(path);
}

TEST(PosixSystemTest, StartsProgramInWorkFolderWithSplitParameters) {
  TempDir dir;
  std::string work = dir / "work";
  std::filesystem::create_directories(work);
  // A program that lost its execute bit on the way is made executable before it starts.
  WriteFile(work + "/game.exe",
            "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; } > out.tmp\n"
            "mv out.tmp out.txt\n");
  chmod((work + "/game.exe").c_str(), 0644);

  sys::PosixSystem system;
  sys::Process process;
  ASSERT_TRUE(system.StartProcess("game.exe", "-killpid 42 \"two words\"", work, &process));
  EXPECT_GT(process.id, 0u);
  std::string canonical = std::filesystem::canonical(work).string();
  EXPECT_EQ(WaitForFile(work + "/out.txt"), canonical + "\n[-killpid]\n[42]\n[two words]\n");
}

// The game is nobody's child here, so once it ends there is nothing of it to reap: it never stays
// a zombie for the launcher's whole life, though nothing waits for it. Its end can still be
// seen. Given back, the process record is empty.
TEST(PosixSystemTest, AStartedProgramIsNotTheLaunchersChildAndItsEndIsSeen) {
  TempDir dir;
  sys::PosixSystem system;
  WriteFile(dir / "game.exe", "#!/bin/sh\nwhile [ ! -e stop ]; do sleep 0.05; done\n");
  sys::Process process;
  ASSERT_TRUE(system.StartProcess("game.exe", "", dir.path(), &process));
  ASSERT_GT(process.id, 0u);
  EXPECT_EQ(waitpid(static_cast<pid_t>(process.id), nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  EXPECT_FALSE(system.HasProcessEnded(process));
  WriteFile(dir / "stop", "");
  for (int i = 0; i < 1000 && !system.HasProcessEnded(process); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(system.HasProcessEnded(process));
  system.CloseProcess(process);
  EXPECT_EQ(process.id, 0u);
  EXPECT_EQ(process.handle, 0u);
}

TEST(PosixSystemTest, MissingProgramFailsWithReason) {
  TempDir dir;
  sys::PosixSystem system;
  EXPECT_FALSE(system.StartProcess("no-such-program.exe", "", dir.path(), nullptr));
  EXPECT_EQ(system.GetLastError(), ENOENT);
}

// Only programs start: a file that is neither ELF nor "#!" is not handed to a shell, and a bare
// name is the working folder's, never one found in PATH.
TEST(PosixSystemTest, OnlyProgramsInTheWorkFolderStart) {
  TempDir dir;
  std::string work = dir / "work";
  std::filesystem::create_directories(work);
  sys::PosixSystem system;
  WriteFile(work + "/page.exe", "touch PWNED\n");
  chmod((work + "/page.exe").c_str(), 0644);
  EXPECT_FALSE(system.StartProcess("page.exe", "", work, nullptr));
  EXPECT_EQ(system.GetLastError(), ENOEXEC);
  EXPECT_EQ(std::filesystem::status(work + "/page.exe").permissions(),
            std::filesystem::perms(0644));  // not made executable either

  WriteFile(dir / "bin/onpath.exe", "#!/bin/sh\ntouch PWNED\n");
  chmod((dir / "bin/onpath.exe").c_str(), 0755);
  const std::string path = std::getenv("PATH");
  setenv("PATH", (dir / "bin:" + path).c_str(), 1);
  const bool startedFromPath = system.StartProcess("onpath.exe", "", work, nullptr);
  setenv("PATH", path.c_str(), 1);
  EXPECT_FALSE(startedFromPath);
  EXPECT_EQ(system.GetLastError(), ENOENT);

  // An ELF program (with its execute bit lost) does start.
  ASSERT_TRUE(system.CopyFile("/usr/bin/touch", work + "/game.exe"));
  chmod((work + "/game.exe").c_str(), 0644);
  EXPECT_TRUE(system.StartProcess("game.exe", "started", work, nullptr));
  WaitForFile(work + "/started");
  EXPECT_TRUE(std::filesystem::exists(work + "/started"));
}

// gio marks a shortcut trusted where it is installed: looked for in the absolute folders of PATH
// only (a relative one would run the current folder's files), run without a shell, and killed
// when it hangs. A machine without it has nothing to mark.
TEST(PosixSystemTest, ShortcutsAreMarkedTrustedByTheGioOnThePathWithinABound) {
  struct Case {
    const char* ending;  // of the stand-in gio; null: none
    const char* path;    // PATH, with DIR for the test's folder
    bool result;
  };
  const Case cases[] = {
      {"exit 0", "DIR/bin", true},
      {"exit 3", "DIR/bin", false},
      {"exec /bin/sleep 60", "DIR/bin", false},
      {nullptr, "DIR/bin", true},
      {"exit 3", "bin", true},
  };
  const std::string savedPath = std::getenv("PATH");
  const std::string savedFolder = std::filesystem::current_path();
  for (const Case& c : cases) {
    const std::string label = std::string(c.ending ? c.ending : "no gio") + " on " + c.path;
    TempDir dir;
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::current_path(dir.path());
    if (c.ending) {
      WriteFile(dir / "bin/gio", "#!/bin/sh\nprintf '%s|' \"$@\" > " + dir / "ran\n" + c.ending);
      chmod((dir / "bin/gio").c_str(), 0755);
    }
    std::string path = c.path;
    if (path.rfind("DIR/", 0) == 0) path = dir / path.substr(4);
    setenv("PATH", path.c_str(), 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sys::PosixSystem().TrustShortcut(dir / "Desktop", "WanVellmark"), c.result) << label;
    const auto took = std::chrono::steady_clock::now() - start;
    setenv("PATH", savedPath.c_str(), 1);
    std::filesystem::current_path(savedFolder);
    EXPECT_LT(took, std::chrono::seconds(10)) << label;
    const bool ran = c.ending && c.path[0] == 'D';
    EXPECT_EQ(std::filesystem::exists(dir / "ran"), ran) << label;
    if (ran) {
      EXPECT_EQ(ReadFile(dir / "ran"),
                "set|" + dir / "Desktop/WanVellmark.desktop|metadata::trusted|true|");
    }
  }
}

TEST(PosixSystemTest, DriveWhoseFreeSpaceCannotBeReadIsReportedOnStandardOutput) {
  TempDir dir;
  std::filesystem::create_directories(dir / "c");
  setenv("LAUNCHER_FIXED_DRIVES", (dir / "missing:" + dir / "c").c_str(), 1);
  testing::internal::CaptureStdout();
  std::vector<sys::Drive> drives = sys::PosixSystem().GetFixedDrives();
  std::string out = testing::internal::GetCapturedStdout();
  unsetenv("LAUNCHER_FIXED_DRIVES");
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].root, dir / "c/");
  EXPECT_EQ(out, "Failed to retrieve drive information\n");
}

// The desktop folder as the desktop names it, and the program menu of locally installed
// programs (the first data folder), with the environment of the test's own folder.
class SpecialFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      m_saved.emplace_back(value ? value : "", value != nullptr);
    }
    setenv("HOME", (m_dir / "home").c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DESKTOP_DIR");
  }
  void TearDown() override {
    for (size_t i = 0; i < std::size(kNames); ++i) {
      if (m_saved[i].second)
        setenv(kNames[i], m_saved[i].first.c_str(), 1);
      else
        unsetenv(kNames[i]);
    }
  }
  std::string Folder(sys::Folder folder) {
    std::string path;
    EXPECT_TRUE(m_system.GetSpecialFolder(folder, path));
    return path;
  }

  static constexpr const char* kNames[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR",
                                           "XDG_DATA_DIRS"};
  std::vector<std::pair<std::string, bool>> m_saved;
  TempDir m_dir;
  sys::PosixSystem m_system;
};

TEST_F(SpecialFolderTest, DesktopComesFromUserDirsThenTheEnvironmentThenHome) {
  EXPECT_EQ(Folder(sys::Folder::Desktop), m_dir / "home/Desktop");
  setenv("XDG_DESKTOP_DIR", (m_dir / "env-desktop").c_str(), 1);
  EXPECT_EQ(Folder(sys::Folder::Desktop), m_dir / "env-desktop");
  WriteFile(m_dir / "home/.config/user-dirs.dirs",
            "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/下载\"\n"
            "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
  EXPECT_EQ(Folder(sys::Folder::Desktop), m_dir / "home/桌面");
  setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
  WriteFile(m_dir / "config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"" + m_dir / "elsewhere\"\n");
  EXPECT_EQ(Folder(sys::Folder::Desktop), m_dir / "elsewhere");
}

TEST_F(SpecialFolderTest, AllUsersProgramMenuIsTheFirstDataFolders) {
  unsetenv("XDG_DATA_DIRS");
  EXPECT_EQ(Folder(sys::Folder::CommonPrograms), "/usr/local/share/applications");
  setenv("XDG_DATA_DIRS", (m_dir / "share:/usr/local/share:/usr/share").c_str(), 1);
  EXPECT_EQ(Folder(sys::Folder::CommonPrograms), m_dir / "share/applications");
}

TEST(PosixSystemTest, StandInDrivesComeFromTheEnvironmentInOrder) {
  TempDir dir;
  std::filesystem::create_directories(dir / "c");
  std::filesystem::create_directories(dir / "d");
  setenv("LAUNCHER_FIXED_DRIVES", (dir / "c:" + dir / "d/").c_str(), 1);
  std::vector<sys::Drive> drives = sys::PosixSystem().GetFixedDrives();
  unsetenv("LAUNCHER_FIXED_DRIVES");
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].root, dir / "c/");
  EXPECT_EQ(drives[1].root, dir / "d/");
  EXPECT_GT(drives[0].freeBytes, 0u);
}

TEST(PosixSystemTest, OnlyLocalDiskFileSystemsAreFixedDrives) {
  EXPECT_TRUE(sys::IsFixedDiskMount("/dev/sda1", "ext4"));
  EXPECT_TRUE(sys::IsFixedDiskMount("/dev/nvme0n1p2", "btrfs"));
  EXPECT_FALSE(sys::IsFixedDiskMount("tmpfs", "tmpfs"));
  EXPECT_FALSE(sys::IsFixedDiskMount("proc", "proc"));
  EXPECT_FALSE(sys::IsFixedDiskMount("server:/export", "nfs"));
  EXPECT_FALSE(sys::IsFixedDiskMount("overlay", "overlay"));
  EXPECT_FALSE(sys::IsFixedDiskMount("/dev/sr0", "iso9660"));
}

TEST(PosixSystemTest, ReplacingMoveAndCopyKeepContent) {
  TempDir dir;
  sys::PosixSystem system;
  WriteFile(dir / "new", "new");
  WriteFile(dir / "old", "old");
  EXPECT_TRUE(system.MoveFileReplace(dir / "new", dir / "old"));
  EXPECT_EQ(ReadFile(dir / "old"), "new");
  EXPECT_FALSE(system.PathExists(dir / "new"));
  EXPECT_TRUE(system.CopyFile(dir / "old", dir / "copy"));
  EXPECT_EQ(ReadFile(dir / "copy"), "new");
  EXPECT_FALSE(system.CopyFile(dir / "missing", dir / "copy2"));
  EXPECT_EQ(system.GetLastError(), ENOENT);
}

// A marker replaces the old one whole, and a write that fails (here the rename, onto a folder)
// leaves no temporary file behind.
TEST(PosixSystemTest, HiddenFileReplacesWholeAndLeavesNoTemporaryFile) {
  TempDir dir;
  sys::PosixSystem system;
  WriteFile(dir / "a.version", "12");
  EXPECT_TRUE(system.WriteHiddenFile(dir / "a.version", "7"));
  EXPECT_EQ(ReadFile(dir / "a.version"), "7");
  std::filesystem::create_directory(dir / "folder");
  EXPECT_FALSE(system.WriteHiddenFile(dir / "folder", "7"));
  EXPECT_EQ(system.GetLastError(), EISDIR);
  EXPECT_FALSE(system.PathExists(dir / "a.version.tmp"));
  EXPECT_FALSE(system.PathExists(dir / "folder.tmp"));
}

TEST(PosixSystemTest, CopyReplacesARunningProgramAndLeavesNoTemporaryFile) {
  TempDir dir;
  sys::PosixSystem system;
  ASSERT_TRUE(system.CopyFile("/bin/sleep", dir / "Launcher.exe"));
  sys::Process running;
  ASSERT_TRUE(system.StartProcess(dir / "Launcher.exe", "30", dir.path(), &running));
  WriteFile(dir / "new.exe", "new build");
  EXPECT_TRUE(system.CopyFile(dir / "new.exe", dir / "Launcher.exe"));
  kill(static_cast<pid_t>(running.id), SIGKILL);
  EXPECT_EQ(ReadFile(dir / "Launcher.exe"), "new build");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            2);
}

}  // namespace
