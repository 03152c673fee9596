// A transfer cut short continues with a Range request, at one connection and at eight, and
// every answer that is not the rest of the same bytes is refused, never joined. The faulty
// file is plain (not .xz) and has no digest, so that only the range checks stand between a
// hostile answer and the installed file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "FaultyServer.h"
#include "TempDir.h"
#include "XzTestData.h"
#include "platform/headless/FakeSystem.h"
#include "update/AppConfig.h"
#include "update/Log.h"
#include "update/Resume.h"
#include "update/Signature.h"
#include "update/UpdatePlan.h"

namespace {

namespace fs = std::filesystem;
using Fault = FaultyServer::Fault;

const std::string kBody = TestText(300000);
const std::string kHalf = "bytes=" + std::to_string(kBody.size() / 2) + "-";
// Bytes xz cannot shrink, so that its payload is long enough to be kept when cut.
const std::string kNoise = [] {
  std::mt19937 random(7);
  std::string bytes(300000, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}();
const std::string kNoiseXz = XzCompress(kNoise);
// A transfer that moves nothing for a second fails; the pauses are not waited for.
const Downloader::Timing kTiming{.lowSpeedSeconds = 1, .retryPauseMs = 0};

struct Case {
  const char* what;
  std::vector<Fault> faults;        // the answers to c.pak's first requests
  std::vector<std::string> ranges;  // what the client asks of c.pak, in order
  bool xz = false;                  // c.pak is served as .xz
};

struct Outcome {
  bool current = false;
  std::map<std::string, std::string> files;  // every file of the work folder but the log
  std::vector<std::string> ranges;
  size_t boxes = 0;
  bool operator==(const Outcome&) const = default;
};

Outcome Update(const Case& c, int connections) {
  sys::FakeSystem system;
  TempDir work;
  SetLogFile(work / "log.txt");
  FaultyServer server;
  server.Serve("a.pak.1", XzCompress(TestText(40000) + "a"));
  server.Serve("c.pak.1", c.xz ? kNoiseXz : kBody, c.faults);
  WriteFile(VersionsFilePath(work.path()),
            "name\tversion\textra\nclientVersion\t1\t0\na.pak\t1\t0\nc.pak\t1\t0\n");
  WriteFile(GameFilesPath(work.path()), "a.pak\nc.pak\n");
  AppConfig config;
  config.strWorkPath = work.path();
  config.strDataHost = server.Url("/");
  Downloader downloader(kTiming);
  downloader.SetConnections(connections);
  int nAdded = 0;
  Outcome o;
  EXPECT_TRUE(PlanGameUpdate(VersionsFilePath(work.path()), GameFilesPath(work.path()), config,
                             downloader, nAdded));
  o.current = downloader.Excute(true, true);
  SetLogFile("");
  o.boxes = system.MessageBoxes().size();
  o.ranges = server.RangesAsked("c.pak.1");
  for (const auto& entry : fs::recursive_directory_iterator(work.path())) {
    const std::string name = fs::relative(entry.path(), work.path());
    if (entry.is_regular_file() && name != "log.txt") o.files[name] = ReadFile(entry.path());
  }
  return o;
}

TEST(ResumeTest, ACutTransferContinuesAndOtherBytesAreNeverJoined) {
  const Case cases[] = {
      {"cut, then the rest", {Fault::kCutBody}, {"", kHalf}},
      {"cut .xz, then the rest", {Fault::kCutBody}, {"", "bytes=XZ-"}, true},
      {"cut, then the whole file again", {Fault::kCutBody, Fault::kIgnoreRange}, {"", kHalf}},
      {"cut, then a range from elsewhere",
       {Fault::kCutBody, Fault::kRangeElsewhere},
       {"", kHalf, ""}},
      {"cut, then the rest of a changed file",
       {Fault::kCutBody, Fault::kNewValidator},
       {"", kHalf, ""}},
      {"a part for the whole", {Fault::kPartToPlain}, {"", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome one = Update(c, 1), eight = Update(c, 8);
    EXPECT_EQ(eight, one);
    EXPECT_TRUE(one.current);
    EXPECT_EQ(one.boxes, 0u);
    EXPECT_EQ(one.files.at("c.pak"), c.xz ? kNoise : kBody);
    EXPECT_EQ(one.files.at("c.pak.version"), "1");
    ASSERT_EQ(one.ranges.size(), c.ranges.size());
    for (size_t i = 0; i < c.ranges.size(); ++i) {
      // An .xz body's half is where its compressed bytes were cut.
      const std::string expected = c.ranges[i] == "bytes=XZ-"
                                       ? "bytes=" + std::to_string(kNoiseXz.size() / 2) + "-"
                                       : c.ranges[i];
      EXPECT_EQ(one.ranges[i], expected) << "request " << i;
    }
  }
}

// A kept part whose file turns out other than the content list's is dropped and the file
// fetched whole at once: the attempt is not counted, no pause is sat out.
TEST(ResumeTest, AContinuedFileOfOtherContentStartsAgainAtOnce) {
  sys::FakeSystem system;
  TempDir work;
  FaultyServer server;
  server.Serve("c.pak.1", kBody);
  const std::string url = server.Url("/c.pak.1"), path = work / "c.pak";
  const ContentDigest digest = HashBytes(kBody);
  // A byte of the kept part was damaged on the disk.
  std::string kept = kBody.substr(0, kBody.size() / 2);
  kept[100] ^= 0x01;
  WriteFile(path + ".tmp", kept);
  ASSERT_TRUE(WriteResumeRecord(path, {url, FaultyServer::kETag, digest.sha256}));
  Downloader downloader(kTiming);
  downloader.Add(url, path, &digest);
  EXPECT_TRUE(downloader.Excute(true, true));
  EXPECT_EQ(ReadFile(path), kBody);
  EXPECT_EQ(server.RangesAsked("c.pak.1"),
            (std::vector<std::string>{"bytes=" + std::to_string(kept.size()) + "-", ""}));
  EXPECT_EQ(system.SleptMilliseconds(), 0u);
  EXPECT_FALSE(fs::exists(ResumeRecordName(path)));
}

}  // namespace
