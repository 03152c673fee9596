#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>

#include "TempDir.h"
#include "platform/headless/FakeSystem.h"
#include "update/AppConfig.h"
#include "update/ContentList.h"
#include "update/FileUtil.h"
#include "update/Resume.h"
#include "update/Signature.h"
#include "update/SignedTree.h"
#include "update/UpdatePlan.h"

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
  EXPECT_EQ(PatchUrl("http://h/", "my dir\\c d.txt", 2, 13),
            "http://h/my%20dir/c%20d.txt.2-13.patch");
}

TEST(UpdateRulesTest, LocalNames) {
  EXPECT_EQ(LocalFileName("standalone/launcher/b.dll", 4), "launcher/b.dll");
  EXPECT_EQ(LocalFileName("x/standalone/y/standalone/z", 4), "x/y/z");
  EXPECT_EQ(LocalFileName("resourcelib/a.dat", 3), "Cached/resourcelib/a.dat.3");
  EXPECT_EQ(LocalFileName("standalone/resourcelib/a", 3), "Cached/resourcelib/a.3");
  EXPECT_EQ(LocalFileName("x/resourcelib/a", 3), "Cached/x/resourcelib/a.3");
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
  // A tree listing `names` (one a line) after the entry "ok", every one at version 1.
  void ListEntries(const std::string& names) {
    std::string versions = "clientVersion\t1\t0\nok\t1\t0\n";
    for (size_t at = 0, end; (end = names.find('\n', at)) != std::string::npos; at = end + 1) {
      versions += names.substr(at, end - at) + "\t1\t0\n";
    }
    Manifests(versions, "ok\n" + names);
  }
  // Plans the tree of `names` and expects it to stop with `line` before anything is planned.
  void ExpectStop(const std::string& names, const std::string& line) {
    ListEntries(names);
    int nAdded = -1;
    EXPECT_FALSE(Plan(nAdded)) << names;
    EXPECT_TRUE(Logged(line)) << line;
    EXPECT_TRUE(Planned().empty()) << names;
    EXPECT_EQ(nAdded, 0) << names;
  }
  void Install(const std::string& local, const std::string& marker) {
    WriteFile(m_dir / local, "content");
    if (!marker.empty()) WriteFile(m_dir / local + ".version", marker);
  }
  bool Plan(int& nAdded, std::vector<std::string>* pFound = nullptr) {
    return PlanGameUpdate(VersionsFilePath(m_dir.path()), GameFilesPath(m_dir.path()), m_config,
                          m_downloader, nAdded, pFound);
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

TEST_F(UpdatePlanTest, CutOffManifestsStopWithTheirCheckLines) {
  const std::string longName(260, 'n');
  int nAdded = -1;
  Manifests("clientVersion\t1\t0\na\t1\t0\n" + longName + "\t1\t0\nb\t1\t0\n", "a\nb\n");
  EXPECT_FALSE(Plan(nAdded));
  EXPECT_TRUE(Logged("UpgradeDlg(325) : GetVersionInfo(m_VersionsFileName, versionInfos)"));

  Manifests("clientVersion\t1\t0\na\t1\t0\nb\t1\t0\n", "a\n" + longName + "\nb\n");
  Install("a", "1");
  EXPECT_FALSE(Plan(nAdded));
  EXPECT_TRUE(Logged("UpgradeDlg(326) : GetGameFiles(m_GameFilesName, filelist)"));
  EXPECT_TRUE(Planned().empty());
}

TEST_F(UpdatePlanTest, DeletedFileWithAMatchingMarkerIsPlannedAgain) {
  Manifests("clientVersion\t1\t0\na\t3\t0\n", "a\n");
  WriteFile(m_dir / "a.version", "3");
  int nAdded = -1;
  ASSERT_TRUE(Plan(nAdded));
  EXPECT_EQ(Planned(), (PlannedList{{"http://host/data/a.3", m_dir / "a"}}));
}

// A killed job leaves its temporary files; the entry's next check removes them, whether or not
// the file is downloaded again.
TEST_F(UpdatePlanTest, StaleTemporaryFilesOfCheckedEntriesAreRemoved) {
  Manifests("clientVersion\t1\t0\ncurrent\t1\t0\nold\t2\t0\nresourcelib/r\t1\t0\n",
            "current\nold\nresourcelib/r\n");
  Install("current", "1");
  Install("old", "1");
  std::filesystem::create_directories(m_dir / "Cached/resourcelib");
  Install("Cached/resourcelib/r.1", "1");
  const std::vector<std::string> stale = {"current.tmp",
                                          "current.tmp2",
                                          "old.tmp",
                                          "old.tmp2",
                                          "old.version.tmp",
                                          "old.tmp.range",
                                          "Cached/resourcelib/r.1.tmp"};
  for (const std::string& name : stale) WriteFile(m_dir / name, "partial");
  WriteFile(m_dir / "unlisted.tmp", "not an entry's");
  int nAdded = -1;
  ASSERT_TRUE(Plan(nAdded));
  EXPECT_EQ(nAdded, 1);
  for (const std::string& name : stale) EXPECT_FALSE(IsPathExist(m_dir / name)) << name;
  EXPECT_TRUE(IsPathExist(m_dir / "unlisted.tmp"));
  EXPECT_EQ(ReadFile(m_dir / "current"), "content");
}

// A body cut short stays for its download to continue, but not once the entry's version changed:
// the bytes of another version are never continued.
TEST_F(UpdatePlanTest, APartialBodyStaysForItsVersionOnly) {
  for (const int version : {2, 3}) {
    Manifests("clientVersion\t1\t0\na\t" + std::to_string(version) + "\t0\n", "a\n");
    if (version == 2) {
      WriteFile(m_dir / "a.tmp", "part");
      WriteFile(m_dir / "a.tmp2", "decoded part");
      ASSERT_TRUE(WriteResumeRecord(m_dir / "a", {"http://host/data/a.2", "\"v1\"", ""}));
    }
    int nAdded = -1;
    ASSERT_TRUE(Plan(nAdded));
    EXPECT_EQ(IsPathExist(m_dir / "a.tmp"), version == 2);
    EXPECT_EQ(IsPathExist(ResumeRecordName(m_dir / "a")), version == 2);
    EXPECT_FALSE(IsPathExist(m_dir / "a.tmp2"));
  }
}

// With the list's sizes, an update the work folder's drive cannot hold at its peak stops before
// anything is planned, with a box after which the drive is asked again; without them it goes on.
TEST_F(UpdatePlanTest, AnUpdateTheDiskCannotHoldStopsBeforeItsFirstByte) {
  Manifests("clientVersion\t1\t0\na\t1\t0\nb\t1\t0\n", "a\nb\n");
  ContentList list;
  list.sequence = 1;
  list.files["a"] = {1, {1000, HashBytes("a").sha256}};
  list.files["b"] = {1, {3000, HashBytes("b").sha256}};
  const std::string listFile = GameTreeListFiles(m_dir.path()).list;
  WriteFile(listFile, FormatContentList(list));
  m_system.drives = {{m_dir.path(), 100}};
  int nAdded = -1;
  EXPECT_TRUE(Plan(nAdded)) << "no payload sizes: each transfer is weighed as it starts";
  list.payloads["a"] = {1, 400};
  list.payloads["b"] = {1, 1000};
  WriteFile(listFile, FormatContentList(list));
  // Both files, then b's payload and decoded file in flight beside them.
  m_system.drives = {{m_dir.path(), 7999}};
  m_downloader.Reset();
  EXPECT_FALSE(Plan(nAdded));
  EXPECT_TRUE(Planned().empty());
  EXPECT_TRUE(Logged("disk " + m_dir.path() +
                     ": the update needs 8000 bytes, 7999 are free, 1 more are needed"));
  const auto boxes = m_system.MessageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text,
            "磁盘空间不足，无法写入" + m_dir.path() + "，请清理磁盘后点击确定重试！");
  m_system.onMessageBox = [&](const sys::FakeSystem::MessageBoxCall&) {
    m_system.drives[0].freeBytes = 8000;
  };
  EXPECT_TRUE(Plan(nAdded));
  EXPECT_EQ(nAdded, 2);
  EXPECT_EQ(m_system.MessageBoxes().size(), 4u);
}

// Two entries that would be one file on disk (on either system the tree serves) install the
// wrong content and then report it current; the launcher's own files are not game files.
TEST_F(UpdatePlanTest, EntriesSharingALocalFileOrHittingTheLaunchersFilesStopEverything) {
  struct Case {
    std::string names, line;
  } cases[] = {
      {"a\nstandalone/a\n",
       "file standalone/a would be written to the same file as a, update stopped"},
      {"Data/Map.pak\ndata\\map.pak\n",
       "file data\\map.pak would be written to the same file as Data/Map.pak, update stopped"},
      {"x//y\n./x/y.\n", "file ./x/y. would be written to the same file as x//y, update stopped"},
      {"resourcelib/r\nstandalone/resourcelib/r\n",
       "file standalone/resourcelib/r would be written to the same file as resourcelib/r, update "
       "stopped"},
  };
  for (const Case& c : cases) ExpectStop(c.names, c.line);
  for (const char* name :
       {"standalone/versions.txt", "gamefiles.txt", "standalone/Log.txt", "launcherversion.txt",
        "launcher.EXE", "Cached/versions.txt", "a.version", "b.tmp", "sub/c.TMP2", "d.tmp.Range"}) {
    ExpectStop(
        std::string(name) + "\n",
        "file " + std::string(name) + " would replace a file of the launcher, update stopped");
  }
  // The same entry listed twice is one file, downloaded once: two transfers at once would write
  // one temporary file.
  Manifests("clientVersion\t1\t0\na\t1\t0\n", "a\na\n");
  int nAdded = -1;
  EXPECT_TRUE(Plan(nAdded));
  EXPECT_EQ(nAdded, 1);
  EXPECT_EQ(Planned().size(), 1u);
  EXPECT_TRUE(Logged("file a is listed again, downloaded once"));
}

// A name that is one entry's file (or its marker or temporary file) and another's folder: only
// one of them could be put in place, whichever came first, and the other would fail every attempt.
TEST_F(UpdatePlanTest, AFileWhereAnotherEntryNeedsAFolderStopsEverything) {
  ExpectStop("a\na/b\n", "file a/b would need a folder where a has a file, update stopped");
  ExpectStop("a/b/c\na/b\n",
             "file a/b would put a file where a/b/c needs a folder, update stopped");
  ExpectStop("Data\ndata\\x\n",
             "file data\\x would need a folder where Data has a file, update stopped");
  ExpectStop("x/a.\nstandalone/x/A/b\n",
             "file standalone/x/A/b would need a folder where x/a. has a file, update stopped");
  ExpectStop("a\na.version/b\n",
             "file a.version/b would need a folder where a has a file, update stopped");
  ExpectStop("a.tmp2/b\na\n",
             "file a would put a file where a.tmp2/b needs a folder, update stopped");
  ExpectStop("a.version.tmp/b\na\n",
             "file a would put a file where a.version.tmp/b needs a folder, update stopped");
  ExpectStop("Cached\nresourcelib/r\n",
             "file resourcelib/r would need a folder where Cached has a file, update stopped");
  // The launcher's own files are no folders for game files either.
  for (const char* name : {"log.txt/x", "standalone/Launcher.exe/x", "versions.txt\\x"}) {
    ExpectStop(
        std::string(name) + "\n",
        "file " + std::string(name) + " would replace a file of the launcher, update stopped");
  }

  // Trees that install as before: folders shared, names that only begin alike, a folder named
  // like a marker of no entry, an entry listed twice.
  ListEntries("d/b\nd/c\ndb\nd.b/c\nfonts.version/f\nd/b\n");
  int nAdded = -1;
  EXPECT_TRUE(Plan(nAdded));
  EXPECT_EQ(nAdded, 6);
}

TEST_F(UpdatePlanTest, EntryMissingFromTheVersionsStopsEverything) {
  Manifests("clientVersion\t1\t0\na\t1\t0\nc\t1\t0\n", "a\nb\nc\n");
  int nAdded = -1;
  EXPECT_FALSE(Plan(nAdded));
  EXPECT_TRUE(Logged("UpgradeDlg(344) : versionInfos.GetInfo(filename, info)"));
  EXPECT_TRUE(Planned().empty());
  EXPECT_EQ(nAdded, 0);
}

// Names Windows takes for something else: a device (the payload goes to it and the entry is
// reported current), one file for two names of other case, or a short name that may be another
// file's, the launcher's own included. A file that is one of the launcher's by its identity (a
// link; a short name the rules could not see) is never replaced either.
TEST_F(UpdatePlanTest, NamesWindowsTakesForSomethingElseStopEverything) {
  auto device = [](const std::string& name) {
    return "file " + name + " names a device on Windows, update stopped";
  };
  auto shortName = [](const std::string& name) {
    return "file " + name + " may be the short name of another file on Windows, update stopped";
  };
  auto oneFile = [](const std::string& first, const std::string& second) {
    return "file " + second + " would be written to the same file as " + first + ", update stopped";
  };
  struct Case {
    std::string names, line;
  } cases[] = {
      {"CON\n", device("CON")},
      {"nul.txt\n", device("nul.txt")},
      {"aux\n", device("aux")},
      {"com1.dat\n", device("com1.dat")},
      {"LPT1\n", device("LPT1")},
      {"sub\\PRN.txt\n", device("sub\\PRN.txt")},
      {"CONIN$\n", device("CONIN$")},
      {"conout$.log\n", device("conout$.log")},
      {"Com9.a.b\n", device("Com9.a.b")},
      {"COM¹\n", device("COM¹")},
      {"lpt³.txt\n", device("lpt³.txt")},
      {"Con .txt\n", device("Con .txt")},
      {"nul. .\n", device("nul. .")},
      {"data/AUX/x.pak\n", device("data/AUX/x.pak")},
      {"Ａ.txt\nａ.txt\n", oneFile("Ａ.txt", "ａ.txt")},
      {"Σ.txt\nσ.txt\n", oneFile("Σ.txt", "σ.txt")},
      {"Д.txt\nд.txt\n", oneFile("Д.txt", "д.txt")},
      {"ＤＡＴＡ/x\nｄａｔａ/x\n", oneFile("ＤＡＴＡ/x", "ｄａｔａ/x")},
      {"GAMEFI~1.TXT\n", shortName("GAMEFI~1.TXT")},
      {"launch~1.txt\n", shortName("launch~1.txt")},
      {"longfilename-1.dat\nLONGFI~1.DAT\n", shortName("LONGFI~1.DAT")},
      {"数据~12.pak\n", shortName("数据~12.pak")},
      {"DATA~1/x\n", shortName("DATA~1/x")},
  };
  for (const Case& c : cases) ExpectStop(c.names, c.line);

  // Another name of the log (a hard link) and of a manifest (a symbolic link).
  WriteFile(m_dir / "log.txt", "the log");
  std::filesystem::create_hard_link(m_dir / "log.txt", m_dir / "alias.dat");
  ExpectStop("alias.dat\n", "file alias.dat would replace a file of the launcher, update stopped");
  std::filesystem::create_symlink(m_dir / "versions.txt", m_dir / "link.dat");
  ExpectStop("link.dat\n", "file link.dat would replace a file of the launcher, update stopped");
  EXPECT_EQ(ReadFile(m_dir / "log.txt"), "the log");

  // Names that only look like those install as before.
  ListEntries(
      "console.txt\ncom10\ncom0.txt\nlpt\nauxiliary/x\nnul_\na~b.txt\nname~1.long\n"
      "verylong~1.txt\nx~1.y.z\nß.txt\nss.txt\nＡ.dat\nA.dat\n");
  int nAdded = -1;
  EXPECT_TRUE(Plan(nAdded));
  EXPECT_EQ(nAdded, 15);
}

TEST_F(UpdatePlanTest, EntryLeavingTheWorkFolderStopsEverything) {
  Manifests("clientVersion\t1\t0\na\t1\t0\n..\\escape\t1\t0\n", "a\n..\\escape\n");
  int nAdded = -1;
  EXPECT_FALSE(Plan(nAdded));
  EXPECT_TRUE(Logged("file ..\\escape would be written outside the work folder, update stopped"));
  EXPECT_TRUE(Planned().empty());
}

// A signed tree in the work folder as the manifests job leaves it: the manifests, the content
// list of `contents` (name -> installed bytes, every file at version 1 unless given) and its
// signature by m_key.
class SignedUpdatePlanTest : public UpdatePlanTest {
 protected:
  SignedUpdatePlanTest() {
    EXPECT_TRUE(MakeKeyPair(m_key));
    m_config.strUpdatePublicKey = m_key.publicKey;
  }
  void SignedTree(const std::map<std::string, std::string>& contents, uint64_t sequence = 1,
                  const std::string& secretKey = "") {
    std::string versions = "clientVersion\t3\t0\n", files;
    ContentList list;
    list.sequence = sequence;
    list.tree = m_listTree;
    list.expires = m_listExpires;
    for (const auto& [name, bytes] : contents) {
      versions += name + "\t1\t0\n";
      files += name + "\n";
      list.files[name] = {1, HashBytes(bytes)};
    }
    Manifests(versions, files);
    list.manifests[kVersionsManifest] = HashBytes(ReadFile(VersionsFilePath(m_dir.path())));
    list.manifests[kGameFilesManifest] = HashBytes(ReadFile(GameFilesPath(m_dir.path())));
    Sign(FormatContentList(list), secretKey.empty() ? m_key.secretKey : secretKey);
  }
  void Sign(const std::string& text, const std::string& secretKey) {
    std::string signature;
    ASSERT_TRUE(SignMessage(text, secretKey, signature));
    WriteFile(GameTreeListFiles(m_dir.path()).list, text);
    WriteFile(GameTreeListFiles(m_dir.path()).signature, signature);
  }
  // local path -> expected digest of the planned job.
  std::map<std::string, std::optional<ContentDigest>> Expected() {
    std::map<std::string, std::optional<ContentDigest>> result;
    for (const auto& s : m_downloader.GetRequest()->m_sections) result[s->filename] = s->expected;
    return result;
  }
  bool Stops(const std::string& line) {
    m_downloader.Reset();  // a job of an earlier plan is no job of this one
    int nAdded = -1;
    const bool planned = Plan(nAdded);
    EXPECT_TRUE(Planned().empty());
    return !planned && Logged(line);
  }

  KeyPair m_key;
  std::string m_listTree;      // the tree the next SignedTree names
  uint64_t m_listExpires = 0;  // its expiry
};

TEST_F(SignedUpdatePlanTest, EveryDownloadCarriesItsSignedContent) {
  SignedTree({{"a", "alpha"}, {"resourcelib/r", "cached"}, {"b", "beta"}}, 7);
  Install("b", "1");
  int nAdded = -1;
  ASSERT_TRUE(Plan(nAdded));
  EXPECT_EQ(nAdded, 2);
  EXPECT_EQ(Expected(), (std::map<std::string, std::optional<ContentDigest>>{
                            {m_dir / "a", HashBytes("alpha")},
                            {m_dir / "Cached/resourcelib/r.1", HashBytes("cached")}}));
  EXPECT_EQ(ReadFileWord(m_dir / "contentlist.seq"), "7");
  EXPECT_EQ(m_config.strClientVersion, "3");

  // Without a key the list guards the downloads all the same (a tree may publish it unsigned);
  // without a readable list the folder is planned from the markers alone, nothing expected.
  m_config.strUpdatePublicKey.clear();
  const std::string list = GameTreeListFiles(m_dir.path()).list;
  const std::string text = ReadFile(list);
  const std::map<std::string, std::optional<ContentDigest>> unguarded = {
      {m_dir / "a", std::nullopt}, {m_dir / "Cached/resourcelib/r.1", std::nullopt}};
  for (const auto& [listText, expected] :
       std::vector<std::pair<std::string, std::map<std::string, std::optional<ContentDigest>>>>{
           {text,
            {{m_dir / "a", HashBytes("alpha")},
             {m_dir / "Cached/resourcelib/r.1", HashBytes("cached")}}},
           {std::regex_replace(text, std::regex("file\ta\t1"), "file\ta\t2"),
            {{m_dir / "a", std::nullopt}, {m_dir / "Cached/resourcelib/r.1", HashBytes("cached")}}},
           {"", unguarded},
           {"not a list\n", unguarded}}) {
    if (listText.empty()) {
      std::remove(list.c_str());
    } else {
      WriteFile(list, listText);
    }
    m_downloader.Reset();
    ASSERT_TRUE(Plan(nAdded));
    EXPECT_EQ(Expected(), expected) << listText;
  }
  EXPECT_TRUE(Logged("content list " + list +
                     " cannot be read, not used: line 1 is not a line of a content list"));
}

TEST_F(SignedUpdatePlanTest, UntrustedTreesStopBeforeAnythingIsPlanned) {
  EXPECT_TRUE(Stops(
      "UpgradeDlg(330) : ReadSignedList(m_ContentListName, m_SignatureName)"));  // no list at all

  KeyPair other;
  ASSERT_TRUE(MakeKeyPair(other));
  SignedTree({{"a", "alpha"}}, 1, other.secretKey);
  EXPECT_TRUE(Stops("UpgradeDlg(330) : ReadSignedList(m_ContentListName, m_SignatureName)"));

  m_config.strClientVersion = "1";
  SignedTree({{"a", "alpha"}});
  WriteFile(VersionsFilePath(m_dir.path()), "header\nclientVersion\t9\t0\na\t1\t0\n");
  EXPECT_TRUE(Stops("UpgradeDlg(331) : IsSignedManifest(contentList, m_VersionsFileName)"));
  EXPECT_EQ(m_config.strClientVersion, "1");

  SignedTree({{"a", "alpha"}});
  WriteFile(GameFilesPath(m_dir.path()), "a\nb\n");
  EXPECT_TRUE(Stops("UpgradeDlg(332) : IsSignedManifest(contentList, m_GameFilesName)"));

  // A list signed over the same bytes but unreadable is refused too.
  Sign("wan content list 1\n", m_key.secretKey);
  EXPECT_TRUE(Stops("UpgradeDlg(330) : ReadSignedList(m_ContentListName, m_SignatureName)"));
}

TEST_F(SignedUpdatePlanTest, OlderSignedTreeAfterANewerOneStops) {
  int nAdded = -1;
  SignedTree({{"a", "alpha 5"}}, 5);
  ASSERT_TRUE(Plan(nAdded));
  SignedTree({{"a", "alpha 4"}}, 4);
  EXPECT_TRUE(Stops("UpgradeDlg(333) : !IsRollback(contentList)"));
  EXPECT_TRUE(Logged("content list " + m_dir / "contentlist.txt" +
                     " has sequence 4, older than the accepted 5"));
  EXPECT_EQ(ReadFileWord(m_dir / "contentlist.seq"), "5");
  SignedTree({{"a", "alpha 5"}}, 5);  // the same tree again is no rollback
  EXPECT_TRUE(Plan(nAdded));
}

TEST_F(SignedUpdatePlanTest, EntriesTheListDoesNotSignStopEverything) {
  SignedTree({{"a", "alpha"}, {"b", "beta"}});
  ContentList list;
  std::string error;
  ASSERT_TRUE(ParseContentList(ReadFile(m_dir / "contentlist.txt"), list, error));
  list.files["b"].version = 2;  // the manifest says 1
  Sign(FormatContentList(list), m_key.secretKey);
  EXPECT_TRUE(Stops("UpgradeDlg(345) : SignedEntry(contentList, filename, version)"));
  list.files.erase("b");
  Sign(FormatContentList(list), m_key.secretKey);
  EXPECT_TRUE(Stops("UpgradeDlg(345) : SignedEntry(contentList, filename, version)"));

  SignedTree({{"a", "alpha"}, {"ContentList.txt", "a list of mine"}});
  EXPECT_TRUE(Stops("file ContentList.txt would replace the content list, update stopped"));
}

TEST_F(SignedUpdatePlanTest, ContentCheckFindsChangedAndMissingFiles) {
  SignedTree({{"a", "content"}, {"b", "content"}, {"c", "content"}, {"d", "content"}});
  Install("a", "1");
  Install("b", "1");
  Install("c", "1");
  WriteFile(m_dir / "b", "changed");
  std::filesystem::remove(m_dir / "c");  // its marker stays
  int nAdded = -1;
  ASSERT_TRUE(Plan(nAdded));
  EXPECT_EQ(nAdded, 2);  // c and d: the markers do not see b

  std::vector<std::string> found;
  m_config.bVerifyContent = true;
  ASSERT_TRUE(Plan(nAdded, &found));
  EXPECT_EQ(nAdded, 3);
  EXPECT_EQ(Expected().size(), 3u);
  EXPECT_EQ(Expected().count(m_dir / "a"), 0u);
  // d was never installed: nothing is wrong with it.
  EXPECT_EQ(found,
            (std::vector<std::string>{m_dir / "b has other content", m_dir / "c is missing"}));
  EXPECT_TRUE(Logged("content check: " + m_dir / "b has other content"));
}

// The rules a signed list meets beyond its signature, with the clock faked: it has not
// expired, it is of the tree the build (or else the page's data host) expects, and its sequence
// is no lower than the folder accepted or than the lowest the build takes.
TEST_F(SignedUpdatePlanTest, ExpiredListsOtherTreesAndSequencesBelowTheBuildsAreRefused) {
  const int64_t now = m_system.time;
  const uint64_t later = now + 1, earlier = now - 1;
  const std::string expired = "UpgradeDlg(335) : !IsExpired(contentList)";
  const std::string otherTree =
      "UpgradeDlg(336) : IsExpectedTree(contentList, m_config.GetUpdateTree())";
  const std::string rollback = "UpgradeDlg(333) : !IsRollback(contentList)";
  struct Case {
    std::string listTree;
    uint64_t expires, sequence;
    std::string builtTree, pageTree;
    uint64_t lowest, accepted;  // accepted 0: a fresh folder
    Refusal refusal;
    std::string line;
  } cases[] = {
      {"", 0, 1, "", "", 0, 0, Refusal::None, ""},  // an old tree, an old launcher
      {"", later, 1, "", "", 0, 0, Refusal::None, ""},
      {"", static_cast<uint64_t>(now), 1, "", "", 0, 0, Refusal::OutOfDate, expired},
      {"", earlier, 1, "", "", 0, 0, Refusal::OutOfDate, expired},
      {"prod", 0, 1, "prod", "", 0, 0, Refusal::None, ""},
      {"beta", 0, 9, "prod", "", 0, 0, Refusal::OtherTree, otherTree},
      {"", 0, 9, "prod", "", 0, 0, Refusal::OtherTree, otherTree},  // names no tree
      {"beta", 0, 1, "", "", 0, 0, Refusal::None, ""},  // a launcher expecting none takes any
      {"beta", 0, 1, "", "prod", 0, 0, Refusal::OtherTree, otherTree},
      {"prod", 0, 1, "", "prod", 0, 0, Refusal::None, ""},
      {"prod", 0, 1, "prod", "beta", 0, 0, Refusal::None, ""},  // the build's is not the page's
      {"beta", later, 2, "prod", "beta", 0, 0, Refusal::OtherTree, otherTree},
      {"", 0, 4, "", "", 5, 0, Refusal::OutOfDate, rollback},  // a fresh folder, an older tree
      {"", 0, 5, "", "", 5, 0, Refusal::None, ""},
      {"", 0, 5, "", "", 3, 6, Refusal::OutOfDate, rollback},  // the folder's is higher
      {"", 0, 7, "", "", 3, 6, Refusal::None, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listTree + " " + std::to_string(c.expires) + " " + std::to_string(c.sequence) +
                 " " + c.builtTree + " " + c.pageTree + " " + std::to_string(c.lowest));
    const size_t logged = m_system.DebugOutput().size();
    m_listTree = c.listTree;
    m_listExpires = c.expires;
    m_config.strUpdateTree = c.builtTree;
    m_config.strDataHostTree = c.pageTree;
    m_config.nLowestSequence = c.lowest;
    std::filesystem::remove(m_dir / "contentlist.seq");
    if (c.accepted) WriteFile(m_dir / "contentlist.seq", std::to_string(c.accepted));
    SignedTree({{"a", "alpha"}}, c.sequence);
    m_downloader.Reset();
    int nAdded = -1;
    EXPECT_EQ(Plan(nAdded), c.refusal == Refusal::None);
    EXPECT_EQ(m_downloader.GetRefusal().kind, c.refusal);
    const std::vector<std::string> log = m_system.DebugOutput();
    if (!c.line.empty()) {
      EXPECT_NE(std::find(log.begin() + logged, log.end(), c.line), log.end()) << c.line;
    }
  }
}

// Every refusal has a kind the caller shows and a reason wan-update prints; a refused tree
// leaves neither its manifests nor its list behind. Stops that are no refusal have none.
TEST_F(SignedUpdatePlanTest, RefusalsSayWhyAndLeaveNothingOfTheTree) {
  const SignedListFiles files = GameTreeListFiles(m_dir.path());
  KeyPair other;
  ASSERT_TRUE(MakeKeyPair(other));
  struct Case {
    std::string name;
    std::function<void()> make;
    Refusal refusal;
    std::string reason;
  } cases[] = {
      {"no list", [&] { std::filesystem::remove(files.list); }, Refusal::NotSigned,
       "the tree publishes no signed content list"},
      {"no signature", [&] { std::filesystem::remove(files.signature); }, Refusal::NotSigned,
       "the tree publishes no signed content list"},
      {"another key",
       [&] {
         SignedTree({{"a", "alpha"}}, 1, other.secretKey);
       },
       Refusal::NotGenuine, "the content list is not signed by the key"},
      {"changed manifest",
       [&] { WriteFile(VersionsFilePath(m_dir.path()), "header\nclientVersion\t9\t0\n"); },
       Refusal::NotGenuine, "a manifest is not the signed one"},
      {"unsigned entry",
       [&] {
         ContentList list;
         std::string error;
         ASSERT_TRUE(ParseContentList(ReadFile(files.list), list, error));
         list.files.erase("a");
         Sign(FormatContentList(list), m_key.secretKey);
       },
       Refusal::NotGenuine, "file a is not in the signed content list with version 1"},
      {"expired",
       [&] {
         m_listExpires = m_system.time;
         SignedTree({{"a", "alpha"}});
       },
       Refusal::OutOfDate,
       "the content list expired at " + std::to_string(m_system.time) +
           " (seconds since 1970): the server is out of date"},
      {"older", [&] { WriteFile(m_dir / "contentlist.seq", "2"); }, Refusal::OutOfDate,
       "the content list has sequence 1, older than this launcher takes"},
      {"other tree",
       [&] {
         m_config.strUpdateTree = "prod";
         m_listTree = "beta";
         SignedTree({{"a", "alpha"}});
       },
       Refusal::OtherTree, "the content list is of tree \"beta\", not \"prod\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_config.strUpdateTree.clear();
    m_listTree.clear();
    m_listExpires = 0;
    std::filesystem::remove(m_dir / "contentlist.seq");
    SignedTree({{"a", "alpha"}});
    c.make();
    m_downloader.Reset();
    int nAdded = -1;
    EXPECT_FALSE(Plan(nAdded));
    EXPECT_EQ(m_downloader.GetRefusal().kind, c.refusal);
    EXPECT_EQ(m_downloader.GetRefusal().reason, c.reason);
    EXPECT_TRUE(Logged("update refused: " + c.reason));
    for (const std::string& path : {VersionsFilePath(m_dir.path()), GameFilesPath(m_dir.path()),
                                    files.list, files.signature}) {
      EXPECT_FALSE(IsPathExist(path)) << path;
    }
  }
  // A tree the plan stops at for its names is no refusal: there is nothing to tell the player.
  m_config.strUpdateTree.clear();
  m_listTree.clear();
  SignedTree({{"a", "alpha"}, {"ContentList.txt", "a list of mine"}});
  EXPECT_TRUE(Stops("file ContentList.txt would replace the content list, update stopped"));
  EXPECT_EQ(m_downloader.GetRefusal().kind, Refusal::None);
}

// A patch is taken only from the version the installed file's marker names, to the content the
// list gives the file, while patches are on; anything else downloads the full payload.
TEST_F(UpdatePlanTest, APatchIsPlannedOnlyFromTheInstalledVersionToTheListedContent) {
  const std::string result(64, 'c'), other(64, 'd');
  struct Case {
    const char* what;
    const char* marker;  // of the installed "a.pak"; empty: none
    bool usePatches;
    std::string patchResult;
    const char* url;  // planned for "a.pak"
  };
  const Case cases[] = {
      {"from the marker's version", "2", true, result, "http://host/data/a.pak.2-3.patch"},
      {"from an older one", "1", true, result, "http://host/data/a.pak.1-3.patch"},
      {"no patch from it", "5", true, result, "http://host/data/a.pak.3"},
      {"no marker", "", true, result, "http://host/data/a.pak.3"},
      {"patches off", "2", false, result, "http://host/data/a.pak.3"},
      {"a patch to other content", "2", true, other, "http://host/data/a.pak.3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Manifests("clientVersion\t1\t0\na.pak\t3\t0\n", "a.pak\n");
    ContentList list;
    list.sequence = 1;
    list.files["a.pak"] = {3, {7, result}};
    list.patches["a.pak"] = {{2, 3, 40, std::string(64, 'a'), c.patchResult},
                             {1, 3, 50, std::string(64, 'b'), c.patchResult}};
    WriteFile(GameTreeListFiles(m_dir.path()).list, FormatContentList(list));
    std::filesystem::remove(m_dir / "a.pak.version");
    Install("a.pak", c.marker);
    m_config.bUsePatches = c.usePatches;
    int nAdded = 0;
    ASSERT_TRUE(Plan(nAdded));
    const Downloader::Request::Section& planned = *m_downloader.GetRequest()->m_sections[0];
    EXPECT_EQ(planned.patch ? planned.patch->url : planned.url, c.url);
    EXPECT_EQ(planned.url, "http://host/data/a.pak.3");
  }
}

}  // namespace
