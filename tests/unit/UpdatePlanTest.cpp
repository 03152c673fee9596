#include <gtest/gtest.h>

#include "AppConfig.h"
#include "FileUtil.h"
#include "TempDir.h"
#include "UpdatePlan.h"
#include "platform/headless/FakeSystem.h"

namespace {

TEST(UpdateRulesTest, ManifestUrlsUseTheDataHostAsGiven) {
  EXPECT_EQ(VersionsUrl("http://h/d", 1796598460u), "http://h/d/versions.txt?t=1796598460");
  EXPECT_EQ(VersionsUrl("http://h/d/", 5), "http://h/d//versions.txt?t=5");
  EXPECT_EQ(GameFilesUrl("http://h/d/", 5), "http://h/d/standalone/launcher/gamefiles.txt?t=5");
  EXPECT_EQ(VersionsFilePath("/w/"), "/w/versions.txt");
  EXPECT_EQ(GameFilesPath("/w/"), "/w/gamefiles.txt");
}

TEST(UpdateRulesTest, GameFileUrlRewritesBackslashesAndBlanksOnly) {
  EXPECT_EQ(GameFileUrl("http://h/", "my dir\\c d.txt", 2), "http://h/my%20dir/c%20d.txt.2");
  EXPECT_EQ(GameFileUrl("http://h/", "resourcelib/a.dat", 3), "http://h/resourcelib/a.dat.3");
  EXPECT_EQ(GameFileUrl("http://h/", "数据/地图 1.pak", -1), "http://h/数据/地图%201.pak.-1");
  EXPECT_EQ(GameFileUrl("http://h/", "a%b?c", 1), "http://h/a%b?c.1");
}

TEST(UpdateRulesTest, LocalNames) {
  EXPECT_EQ(LocalFileName("standalone/launcher/b.dll", 4), "launcher/b.dll");
  EXPECT_EQ(LocalFileName("x/standalone/y/standalone/z", 4), "x/y/z");
  EXPECT_EQ(LocalFileName("resourcelib/a.dat", 3), "Cached/resourcelib/a.dat.3");
  EXPECT_EQ(LocalFileName("standalone/resourcelib/a", 3), "Cached/resourcelib/a.3");
  EXPECT_EQ(LocalFileName("my dir\\c d.txt", 2), "my dir\\c d.txt");
  EXPECT_EQ(LocalFilePath("/w/", "my dir\\c d.txt"), "/w/my dir/c d.txt");
}

TEST(UpdateRulesTest, NamesThatWouldLeaveTheWorkFolderAreRefused) {
  for (const char* name : {"/etc/passwd", "\\x", "C:evil", "c:\\evil", "..", "../x", "a/../../x",
                           "a\\..\\x", "a/..", ". ./x", "...\\x"}) {
    EXPECT_FALSE(IsInsideWorkFolder(name)) << name;
  }
  for (const char* name :
       {"a", "a/b.c", "a..b", "..a/b", "a/.x", "./a", "my dir\\c d.txt", "数据/地图.pak", "1:x"}) {
    EXPECT_TRUE(IsInsideWorkFolder(name)) << name;
  }
}

class UpdatePlanTest : public ::testing::Test {
 protected:
  UpdatePlanTest() {
    m_config.strWorkPath = m_dir.path();
    m_config.strDataHost = "http://host/data/";
  }
  void Manifests(const std::string& versions, const std::string& files) {
    WriteFile(VersionsFilePath(m_dir.path()), "header\n" + versions);
    WriteFile(GameFilesPath(m_dir.path()), files);
  }
  void Install(const std::string& local, const std::string& marker) {
    WriteFile(m_dir / local, "content");
    if (!marker.empty()) WriteFile(m_dir / local + ".version", marker);
  }
  bool Plan(int& nAdded) {
    return PlanGameUpdate(VersionsFilePath(m_dir.path()), GameFilesPath(m_dir.path()), m_config,
                          m_downloader, nAdded);
  }
  // url -> local path of the planned job.
  std::vector<std::pair<std::string, std::string>> Planned() {
    std::vector<std::pair<std::string, std::string>> result;
    if (const Downloader::Request* request = m_downloader.GetRequest()) {
      for (const auto& s : request->m_sections) result.emplace_back(s->url, s->filename);
    }
    return result;
  }
  bool Logged(const std::string& line) {
    for (const std::string& l : m_system.DebugOutput()) {
      if (l == line) return true;
    }
    return false;
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
  AppConfig m_config;
  Downloader m_downloader;
};

using PlannedList = std::vector<std::pair<std::string, std::string>>;

TEST_F(UpdatePlanTest, OnlyMissingOrDifferingFilesArePlanned) {
  Manifests(
      "clientVersion\t1024\t0\ncurrent.pak\t7\t0\nold.pak\t7\t0\nnewer.pak\t3\t0\n"
      "absent.pak\t1\t0\nnomarker.pak\t0\t0\nresourcelib/a.dat\t3\t0\n"
      "standalone/launcher/b.dll\t4\t0\nmy dir\\c d.txt\t2\t0\n",
      "current.pak\nold.pak\nnewer.pak\nabsent.pak\nnomarker.pak\nresourcelib/a.dat\n"
      "standalone/launcher/b.dll\nmy dir\\c d.txt\n");
  Install("current.pak", "7");
  Install("old.pak", "6");
  Install("newer.pak", "4");  // a lower server version is downloaded too
  Install("nomarker.pak", "");
  int nAdded = -1;
  ASSERT_TRUE(Plan(nAdded));
  EXPECT_EQ(m_config.strClientVersion, "1024");
  EXPECT_TRUE(Logged("set client version 1024"));
  const std::string w = m_dir.path();
  EXPECT_EQ(Planned(),
            (PlannedList{
                {"http://host/data/old.pak.7", w + "old.pak"},
                {"http://host/data/newer.pak.3", w + "newer.pak"},
                {"http://host/data/absent.pak.1", w + "absent.pak"},
                {"http://host/data/resourcelib/a.dat.3", w + "Cached/resourcelib/a.dat.3"},
                {"http://host/data/standalone/launcher/b.dll.4", w + "launcher/b.dll"},
                {"http://host/data/my%20dir/c%20d.txt.2", w + "my dir/c d.txt"},
            }));
  EXPECT_EQ(nAdded, 6);
}

TEST_F(UpdatePlanTest, CurrentFolderPlansNothing) {
  Manifests("clientVersion\t5\t0\na\t1\t0\n", "a\n");
  Install("a", "1");
  int nAdded = -1;
  ASSERT_TRUE(Plan(nAdded));
  EXPECT_EQ(nAdded, 0);
  EXPECT_TRUE(Planned().empty());

  Manifests("clientVersion\t6\t0\n", "");
  ASSERT_TRUE(Plan(nAdded));
  EXPECT_EQ(nAdded, 0);
  EXPECT_EQ(m_config.strClientVersion, "6");
}

TEST_F(UpdatePlanTest, StopsWithTheirCheckLines) {
  int nAdded = -1;
  m_config.strClientVersion = "9";
  EXPECT_FALSE(Plan(nAdded));
  EXPECT_TRUE(Logged("UpgradeDlg(325) : GetVersionInfo(m_VersionsFileName, versionInfos)"));

  WriteFile(VersionsFilePath(m_dir.path()), "h\nclientVersion\t1\t0\n");
  EXPECT_FALSE(Plan(nAdded));
  EXPECT_TRUE(Logged("UpgradeDlg(326) : GetGameFiles(m_GameFilesName, filelist)"));

  Manifests("a\t1\t0\n", "a\n");
  EXPECT_FALSE(Plan(nAdded));
  EXPECT_TRUE(Logged("UpgradeDlg(328) : versionInfos.GetInfo(\"clientVersion\", info)"));
  EXPECT_EQ(m_config.strClientVersion, "9");
}

TEST_F(UpdatePlanTest, EntryMissingFromTheVersionsStopsEverything) {
  Manifests("clientVersion\t1\t0\na\t1\t0\nc\t1\t0\n", "a\nb\nc\n");
  int nAdded = -1;
  EXPECT_FALSE(Plan(nAdded));
  EXPECT_TRUE(Logged("UpgradeDlg(344) : versionInfos.GetInfo(filename, info)"));
  EXPECT_TRUE(Planned().empty());
  EXPECT_EQ(nAdded, 0);
}

TEST_F(UpdatePlanTest, EntryLeavingTheWorkFolderStopsEverything) {
  Manifests("clientVersion\t1\t0\na\t1\t0\n..\\escape\t1\t0\n", "a\n..\\escape\n");
  int nAdded = -1;
  EXPECT_FALSE(Plan(nAdded));
  EXPECT_TRUE(Logged("file ..\\escape would be written outside the work folder, update stopped"));
  EXPECT_TRUE(Planned().empty());
}

}  // namespace
