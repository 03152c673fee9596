// One tree, one server fault at a time, fetched with one connection and with eight: the same
// files and markers, the same boxes and the same outcome. The faulty file is last in the list,
// where one connection reaches it too.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "AppConfig.h"
#include "FaultyServer.h"
#include "Log.h"
#include "TempDir.h"
#include "UpdatePlan.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"

namespace {

namespace fs = std::filesystem;
using Fault = FaultyServer::Fault;

struct Outcome {
  bool current = false;
  std::map<std::string, std::string> files;  // every file of the work folder but the log
  std::vector<std::string> boxes;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  out << (o.current ? "current" : "failed") << ", " << o.boxes.size() << " boxes:";
  for (const auto& [name, content] : o.files) out << " " << name << "=" << content.size();
  return out;
}

struct Case {
  const char* what;
  const char* faulty;  // the entries that misbehave
  Fault fault;
  int times;
  const char* list = "a.pak\nb.pak\nc.pak\n";
};

class FaultMatrixTest : public ::testing::Test {
 protected:
  // The tree: three files at version 1, served as .xz.
  void Publish(FaultyServer& server, const Case& c) {
    for (const char* name : {"a.pak", "b.pak", "c.pak"}) {
      const bool faulty = std::string(c.faulty).find(name[0]) != std::string::npos;
      server.Serve(std::string(name) + ".1", XzCompress(TestText(40000) + name),
                   faulty ? c.fault : Fault::kNone, c.times);
    }
  }

  Outcome Update(const Case& c, int connections) {
    sys::FakeSystem system;
    TempDir work;
    SetLogFile(work / "log.txt");
    FaultyServer server;
    Publish(server, c);
    WriteFile(VersionsFilePath(work.path()),
              "name\tversion\textra\nclientVersion\t1\t0\na.pak\t1\t0\nb.pak\t1\t0\nc.pak\t1\t0\n");
    WriteFile(GameFilesPath(work.path()), c.list);
    AppConfig config;
    config.strWorkPath = work.path();
    config.strDataHost = server.Url("/");
    Downloader downloader(Downloader::Timing{1000, 0});
    downloader.SetConnections(connections);
    int nAdded = 0;
    Outcome o;
    EXPECT_TRUE(PlanGameUpdate(VersionsFilePath(work.path()), GameFilesPath(work.path()), config,
                               downloader, nAdded));
    o.current = downloader.Excute(true, true);
    SetLogFile("");
    // Each run has a server of its own: its address is left out.
    for (const auto& box : system.MessageBoxes()) {
      o.boxes.push_back(box.text);
      o.boxes.back().replace(box.text.find(server.Url()), server.Url().size(), "SERVER");
    }
    for (const auto& entry : fs::recursive_directory_iterator(work.path())) {
      const std::string name = fs::relative(entry.path(), work.path());
      if (entry.is_regular_file() && name != "log.txt") o.files[name] = ReadFile(entry.path());
    }
    return o;
  }
};

TEST_F(FaultMatrixTest, EightConnectionsEndAsOneDoes) {
  const Case cases[] = {
      {"healthy", "", Fault::kNone, 0},
      {"not found once", "c", Fault::kNotFound, 1},
      {"server error for ever", "c", Fault::kServerError, INT_MAX},
      {"two files failing for good", "b c", Fault::kServerError, INT_MAX},
      {"body cut four times", "c", Fault::kCutBody, 4},
      {"damaged xz three times", "c", Fault::kBadXz, 3},
      {"stalled once", "c", Fault::kStall, 1},
      {"listed twice", "", Fault::kNone, 0, "a.pak\nb.pak\nc.pak\nb.pak\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome one = Update(c, 1), eight = Update(c, 8);
    EXPECT_EQ(eight, one);
    const bool forEver = c.times == INT_MAX;
    EXPECT_EQ(one.current, !forEver);
    EXPECT_EQ(one.boxes.size(), forEver ? 3u : static_cast<size_t>(c.times / 3));
    EXPECT_EQ(one.files.count("c.pak.version"), forEver ? 0u : 1u);
  }
}

}  // namespace
