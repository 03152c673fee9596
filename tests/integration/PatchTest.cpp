// Patches against hostile and damaged trees: whatever the patch, the installed file ends as the
// listed content, from the patch only when it was the patch of the installed file.
#include <gtest/gtest.h>

#include "FaultyServer.h"
#include "TempDir.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"
#include "tools/wan-publish/PatchEncode.h"
#include "update/AppConfig.h"
#include "update/Log.h"
#include "update/Signature.h"
#include "update/SignedTree.h"
#include "update/UpdatePlan.h"

namespace {

using Fault = FaultyServer::Fault;

std::string Patch(const std::string& base, const std::string& result) {
  std::string patch, error;
  EXPECT_TRUE(MakePatch(base, result, 1, patch, error)) << error;
  return patch;
}

TEST(PatchTest, OnlyThePatchOfTheInstalledFileIsInstalledAndAnyOtherFallsBackToThePayload) {
  const std::string base = TestText(200000) + "version 1";
  std::string result = base;
  result.replace(100000, 5, "EDIT!");
  result += "version 2";
  std::string other = result;  // the same size: only its digest tells it apart
  other[0] ^= 1;
  std::string damaged = Patch(base, result);
  damaged.replace(damaged.size() / 2, 8, "damaged!");
  struct Case {
    const char* what;
    std::string installed;  // the local file, marked as version 1
    std::string patch;      // served as "a.pak.1-2.patch"
    Fault fault;
    const char* why;  // the log's reason for not using the patch; empty: the patch is used
  };
  const Case cases[] = {
      {"the patch of the installed file", base, Patch(base, result), Fault::kNone, ""},
      {"a patch to other content", base, Patch(base, other), Fault::kNone, "the patched file has"},
      {"an installed file that is not the base", base + "changed", Patch(base, result),
       Fault::kNone, "the installed file is not the patch's base"},
      {"a damaged patch", base, damaged, Fault::kNone, "the patch is damaged"},
      {"a missing patch", base, Patch(base, result), Fault::kNotFound,
       "it could not be downloaded"},
  };
  for (const Case& c : cases) {
    for (int connections : {1, 8}) {
      SCOPED_TRACE(std::string(c.what) + ", connections " + std::to_string(connections));
      sys::FakeSystem system;
      TempDir work;
      SetLogFile(work / "log.txt");
      FaultyServer server;
      server.Serve("a.pak.2", XzCompress(result));
      server.Serve("a.pak.1-2.patch", c.patch, c.fault);
      WriteFile(VersionsFilePath(work.path()), "h\nclientVersion\t1\t0\na.pak\t2\t0\n");
      WriteFile(GameFilesPath(work.path()), "a.pak\n");
      ContentList list;
      list.sequence = 1;
      list.files["a.pak"] = {2, HashBytes(result)};
      list.patches["a.pak"] = {
          {1, 2, c.patch.size(), HashBytes(base).sha256, HashBytes(result).sha256}};
      WriteFile(GameTreeListFiles(work.path()).list, FormatContentList(list));
      WriteFile(work / "a.pak", c.installed);
      WriteFile(work / "a.pak.version", "1");
      AppConfig config;
      config.strWorkPath = work.path();
      config.strDataHost = server.Url("/");
      Downloader downloader(Downloader::Timing{.lowSpeedSeconds = 1, .retryPauseMs = 0});
      downloader.SetConnections(connections);
      int nAdded = 0;
      ASSERT_TRUE(PlanGameUpdate(VersionsFilePath(work.path()), GameFilesPath(work.path()), config,
                                 downloader, nAdded));
      EXPECT_TRUE(downloader.Excute(true, true));
      SetLogFile("");
      EXPECT_EQ(ReadFile(work / "a.pak"), result);
      EXPECT_EQ(ReadFile(work / "a.pak.version"), "2");
      EXPECT_EQ(server.RequestCount("a.pak.1-2.patch"), 1u);
      EXPECT_EQ(server.RequestCount("a.pak.2"), *c.why ? 1u : 0u);
      const std::string log = ReadFile(work / "log.txt");
      const std::string line = work / "a.pak" + ": patch not used (" + c.why;
      EXPECT_EQ(log.find(*c.why ? line : ": patch not used") != std::string::npos, *c.why != 0)
          << log;
      EXPECT_TRUE(system.MessageBoxes().empty());
    }
  }
}

}  // namespace
