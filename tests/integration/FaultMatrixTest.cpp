// One tree, one server fault at a time, fetched with one connection and with eight: the same
// files and markers, the same boxes and the same outcome. The faulty file is last in the list,
// where one connection reaches it too. With a mirror, the data host fails in each way while a
// second server holds the same tree.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <optional>

#include "FaultyServer.h"
#include "TempDir.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"
#include "update/AppConfig.h"
#include "update/Log.h"
#include "update/Signature.h"
#include "update/SignedTree.h"
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
  // The Retry-After of busy answers: seconds, or "DATE+N" for an HTTP date N seconds ahead.
  const char* retryAfter = "";
  // The fault of a mirror's faulty entries, for ever; none: the tree names no mirror.
  std::optional<Fault> mirror = std::nullopt;
  const char* logs = "";    // a text the log holds, with "DATA/" and "MIRROR/" for the hosts
  size_t dataRequests = 0;  // the data host's for the files, with one connection; 0: any
};

std::string Payload(const char* name) {
  return TestText(40000) + name;
}

std::string RetryAfter(const std::string& value) {
  if (value.rfind("DATE+", 0) != 0) return value;
  const std::time_t at = std::time(nullptr) + std::stoi(value.substr(5));
  std::tm tm{};
  gmtime_r(&at, &tm);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return text;
}

// The tree's unsigned list: every file's digest, and the mirror.
std::string TreeList(const std::string& mirror) {
  ContentList list;
  list.sequence = 1;
  for (const char* name : {"a.pak", "b.pak", "c.pak"})
    list.files[name] = {1, HashBytes(Payload(name))};
  list.mirrors = {mirror};
  return FormatContentList(list);
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
}

class FaultMatrixTest : public ::testing::Test {
 protected:
  // The tree: three files at version 1, served as .xz.
  void Publish(FaultyServer& server, const Case& c, Fault fault, int times) {
    for (const char* name : {"a.pak", "b.pak", "c.pak"}) {
      const bool faulty = std::string(c.faulty).find(name[0]) != std::string::npos;
      server.Serve(std::string(name) + ".1", XzCompress(Payload(name)),
                   faulty ? fault : Fault::kNone, times);
    }
  }

  Outcome Update(const Case& c, int connections) {
    sys::FakeSystem system;
    TempDir work;
    SetLogFile(work / "log.txt");
    FaultyServer server, mirror;
    Publish(server, c, c.fault, c.times);
    Publish(mirror, c, c.mirror.value_or(Fault::kNone), INT_MAX);
    for (FaultyServer* host : {&server, &mirror}) host->SetRetryAfter(RetryAfter(c.retryAfter));
    WriteFile(VersionsFilePath(work.path()),
              "name\tversion\textra\nclientVersion\t1\t0\na.pak\t1\t0\nb.pak\t1\t0\nc.pak\t1\t0\n");
    WriteFile(GameFilesPath(work.path()), c.list);
    if (c.mirror) WriteFile(GameTreeListFiles(work.path()).list, TreeList(mirror.Url("/")));
    AppConfig config;
    config.strWorkPath = work.path();
    config.strDataHost = server.Url("/");
    server.SetLinkRate(c.linkRate);
    // A transfer that moves nothing for a second fails; the pauses are not waited for, nor (with
    // one connection, whose pauses are the fake system's) a Retry-After of up to 5 s.
    Downloader downloader(
        Downloader::Timing{.lowSpeedSeconds = 1, .retryPauseMs = 0, .longestRetryAfterMs = 5000});
    downloader.SetConnections(connections);
    int nAdded = 0;
    Outcome o;
    EXPECT_TRUE(PlanGameUpdate(VersionsFilePath(work.path()), GameFilesPath(work.path()), config,
                               downloader, nAdded));
    o.current = downloader.Excute(true, true);
    SetLogFile("");
    m_log = ReadFile(work / "log.txt");
    ReplaceAll(m_log, server.Url("/"), "DATA/");
    ReplaceAll(m_log, mirror.Url("/"), "MIRROR/");
    m_dataRequests = m_mirrorRequests = 0;
    for (const char* name : {"a.pak.1", "b.pak.1", "c.pak.1"}) {
      m_dataRequests += server.RequestCount(name);
      m_mirrorRequests += mirror.RequestCount(name);
    }
    // Each run has a server of its own: its address is left out.
    for (const auto& box : system.MessageBoxes()) {
      o.boxes.push_back(box.text);
      o.boxes.back().replace(box.text.find(server.Url()), server.Url().size(), "SERVER");
    }
    for (const auto& entry : fs::recursive_directory_iterator(work.path())) {
      const std::string name = fs::relative(entry.path(), work.path());
      // The list names the mirror, whose address differs from run to run.
      if (entry.is_regular_file() && name != "log.txt" && name != "contentlist.txt") {
        o.files[name] = ReadFile(entry.path());
      }
    }
    return o;
  }

  // Of the last update: its log and the requests each host had for the files.
  std::string m_log;
  size_t m_dataRequests = 0, m_mirrorRequests = 0;
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
      {"busy for longer than is worth waiting", "c", Fault::kUnavailable, INT_MAX, 3, false,
       "a.pak\nb.pak\nc.pak\n", 0, "120"},
      {"busy once, for a second", "c", Fault::kTooManyRequests, 1, 0, true, "a.pak\nb.pak\nc.pak\n",
       0, "1"},
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

// The data host fails b.pak and c.pak in each way the rig knows while a mirror holds the tree:
// the files come from the mirror before any box; a busy host asking for a short wait keeps them.
TEST_F(FaultMatrixTest, AMirrorStandsInForAFailingDataHost) {
  const char* kMoved = ": DATA/ failed, next mirror MIRROR/";
  // `dataRequests`: the data host's for the files with one connection. Once b.pak had to leave
  // it (after three attempts, or one where it is not worth asking again), c.pak starts on the
  // mirror: a dead host is not asked again for each of thousands of files.
  auto mirrored = [](const char* what, Fault fault, Fault mirror, const char* logs,
                     size_t dataRequests, const char* retryAfter = "", int times = INT_MAX) {
    return Case{.what = what,
                .faulty = "bc",
                .fault = fault,
                .times = times,
                .boxes = 0,
                .current = true,
                .retryAfter = retryAfter,
                .mirror = mirror,
                .logs = logs,
                .dataRequests = dataRequests};
  };
  std::vector<Case> cases = {
      mirrored("not found", Fault::kNotFound, Fault::kNone, kMoved, 4),
      mirrored("server error", Fault::kServerError, Fault::kNone, kMoved, 4),
      mirrored("body cut", Fault::kCutBody, Fault::kNone, kMoved, 4),
      mirrored("stalled", Fault::kStall, Fault::kNone, kMoved, 4),
      // More than the list's size is other content too.
      mirrored("body without end", Fault::kEndless, Fault::kNone, kMoved, 2),
      mirrored("damaged xz", Fault::kBadXz, Fault::kNone, kMoved, 4),
      mirrored("other content, sent again as often as asked", Fault::kOtherContent, Fault::kNone,
               kMoved, 2),
      mirrored("trickled, which is slow, not failing", Fault::kTrickle, Fault::kNone, "", 3),
      mirrored("busy, no wait named", Fault::kUnavailable, Fault::kNone, kMoved, 2),
      mirrored("busy for longer than is worth waiting", Fault::kTooManyRequests, Fault::kNone,
               kMoved, 2, "120"),
      mirrored("busy for a date too far", Fault::kUnavailable, Fault::kNone, kMoved, 2, "DATE+600"),
      mirrored("busy once, for a second", Fault::kUnavailable, Fault::kNone,
               "b.pak: DATA/b.pak.1 is busy, next attempt in 1 s", 5, "1", 1),
      mirrored("busy once, until a date soon", Fault::kTooManyRequests, Fault::kNone,
               "is busy, next attempt in ", 5, "DATE+3", 1),
      mirrored("the mirror fails, the data host is sound", Fault::kNone, Fault::kServerError, "",
               3),
  };
  Case both =
      mirrored("both hosts fail for ever", Fault::kServerError, Fault::kServerError, kMoved, 10);
  both.boxes = 3;
  both.current = false;
  cases.push_back(both);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome one = Update(c, 1);
    const std::string oneLog = m_log;
    if (c.dataRequests > 0) {
      EXPECT_EQ(m_dataRequests, c.dataRequests);
    }
    const Outcome eight = Update(c, 8);
    EXPECT_EQ(eight, one);
    EXPECT_EQ(one.current, c.current);
    EXPECT_EQ(one.boxes.size(), c.boxes);
    const bool moves = std::string(c.logs) == kMoved;
    for (const std::string& log : {oneLog, m_log}) {
      EXPECT_NE(log.find(c.logs), std::string::npos) << log;
      EXPECT_EQ(log.find("next mirror") != std::string::npos, moves) << log;
    }
    EXPECT_EQ(m_mirrorRequests > 0, moves);
  }
}

}  // namespace
