// One tree, one server fault at a time, fetched with one connection and with eight: the same
// files and markers, the same boxes and the same outcome. The faulty file is last in the list,
// where one connection reaches it too.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "FaultyServer.h"
#include "TempDir.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"
#include "update/AppConfig.h"
#include "update/Log.h"
#include "update/UpdatePlan.h"

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
  const char* faulty;  // the first letters of the entries that misbehave
  Fault fault;
  int times;     // the faulty entries' first requests that misbehave
  size_t boxes;  // what one connection shows
  bool current;  // how the job ends
  const char* list = "a.pak\nb.pak\nc.pak\n";
  size_t linkRate = 0;  // bytes per second all connections share; 0: loopback's own
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
    server.SetLinkRate(c.linkRate);
    // A transfer that moves nothing for a second fails; the pauses are not waited for.
    Downloader downloader(Downloader::Timing{.lowSpeedSeconds = 1, .retryPauseMs = 0});
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
      {"healthy", "", Fault::kNone, 0, 0, true},
      {"not found once", "c", Fault::kNotFound, 1, 0, true},
      {"server error for ever", "c", Fault::kServerError, INT_MAX, 3, false},
      {"two files failing for good", "bc", Fault::kServerError, INT_MAX, 3, false},
      {"body cut four times", "c", Fault::kCutBody, 4, 1, true},
      {"damaged xz three times", "c", Fault::kBadXz, 3, 1, true},
      {"stalled once", "c", Fault::kStall, 1, 0, true},
      {"listed twice", "", Fault::kNone, 0, 0, true, "a.pak\nb.pak\nc.pak\nb.pak\n"},
      {"every body trickled through one slow link", "abc", Fault::kTrickle, INT_MAX, 0, true,
       "a.pak\nb.pak\nc.pak\n", 16384},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome one = Update(c, 1), eight = Update(c, 8);
    EXPECT_EQ(eight, one);
    EXPECT_EQ(one.current, c.current);
    EXPECT_EQ(one.boxes.size(), c.boxes);
    EXPECT_EQ(one.files.count("c.pak.version"), c.current ? 1u : 0u);
  }
}

}  // namespace
