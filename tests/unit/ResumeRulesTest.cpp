#include <gtest/gtest.h>

#include "TempDir.h"
#include "update/DiskSpace.h"
#include "update/Resume.h"

namespace {

// Only the rest of the very bytes kept is ever joined to them.
TEST(ResumeRulesTest, OnlyTheRestOfTheSameBytesContinues) {
  struct Case {
    const char* what;
    long code;
    uint64_t from;
    const char* contentRange;
    const char* validator;
    const char* keptValidator;
    RangeVerdict verdict;
  } cases[] = {
      {"a plain request's answer", 200, 0, "", "\"v1\"", "", RangeVerdict::Whole},
      {"a part for the whole", 206, 0, "bytes 0-9/10", "\"v1\"", "", RangeVerdict::Refuse},
      {"the rest", 206, 5, "bytes 5-9/10", "\"v1\"", "\"v1\"", RangeVerdict::Continue},
      {"the rest guarded by the digest alone", 206, 5, "bytes 5-9/10", "", "",
       RangeVerdict::Continue},
      {"Range ignored", 200, 5, "", "\"v1\"", "\"v1\"", RangeVerdict::Whole},
      {"a changed file, told by If-Range", 200, 5, "", "\"v2\"", "\"v1\"", RangeVerdict::Whole},
      {"an error", 503, 5, "", "", "\"v1\"", RangeVerdict::Keep},
      {"from elsewhere", 206, 5, "bytes 0-9/10", "\"v1\"", "\"v1\"", RangeVerdict::Refuse},
      {"no range said", 206, 5, "", "\"v1\"", "\"v1\"", RangeVerdict::Refuse},
      {"ending before it starts", 206, 5, "bytes 5-4/10", "\"v1\"", "\"v1\"", RangeVerdict::Refuse},
      {"a changed validator", 206, 5, "bytes 5-9/10", "\"v2\"", "\"v1\"", RangeVerdict::Refuse},
      {"nothing from there", 416, 5, "bytes */4", "", "\"v1\"", RangeVerdict::Refuse},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_EQ(JudgeRangeAnswer(c.code, c.from, c.contentRange, c.validator, c.keptValidator, why),
              c.verdict)
        << c.what;
    EXPECT_EQ(why.empty(), c.verdict != RangeVerdict::Refuse) << c.what;
  }
}

TEST(ResumeRulesTest, APartialContinuesOnlyWhenSomethingTellsOtherBytes) {
  EXPECT_EQ(AnswerValidator("\"e\"", "Mon, 07 Dec 2026 10:00:00 GMT"), "\"e\"");
  EXPECT_EQ(AnswerValidator("W/\"e\"", "Mon, 07 Dec 2026 10:00:00 GMT"),
            "Mon, 07 Dec 2026 10:00:00 GMT");
  EXPECT_EQ(AnswerValidator("\"e\x01\"", ""), "");
  EXPECT_EQ(AnswerValidator("", ""), "");
  const ResumeRecord kept = {"http://h/a.2", "\"e\"", ""};
  EXPECT_TRUE(MayResume(kept, "http://h/a.2", ""));
  EXPECT_FALSE(MayResume(kept, "http://h/a.3", ""));      // another version
  EXPECT_FALSE(MayResume(kept, "http://h/a.2", "abcd"));  // the list names other content
  EXPECT_FALSE(MayResume({"http://h/a.2", "", ""}, "http://h/a.2", ""));  // nothing tells
  EXPECT_TRUE(MayResume({"http://h/a.2", "", "abcd"}, "http://h/a.2", "abcd"));
}

TEST(ResumeRulesTest, ARecordCutShortIsNoRecord) {
  TempDir dir;
  const ResumeRecord record = {"http://h/a.2", "\"e\"", "abcd"};
  ASSERT_TRUE(WriteResumeRecord(dir / "a", record));
  ResumeRecord read;
  ASSERT_TRUE(ReadResumeRecord(dir / "a", read));
  EXPECT_EQ(read, record);
  const std::string whole = ReadFile(ResumeRecordName(dir / "a"));
  for (size_t size = 0; size < whole.size(); ++size) {
    WriteFile(ResumeRecordName(dir / "a"), whole.substr(0, size));
    EXPECT_FALSE(ReadResumeRecord(dir / "a", read)) << size;
  }
}

TEST(DiskSpaceTest, ThePeakIsEveryFilesGrowthAndTheLargestInFlight) {
  struct Case {
    const char* what;
    std::vector<FileSpace> files;
    int connections;
    uint64_t peak;
  } cases[] = {
      {"nothing", {}, 1, 0},
      {"one new file", {{100, 0, 40, 0}}, 1, 100 + 140},
      {"a file replaced by a smaller one", {{100, 300, 40, 0}}, 1, 140},
      {"half of the payload kept", {{100, 0, 40, 20}}, 1, 80 + 120},
      {"two new files, one at a time", {{100, 0, 40, 0}, {10, 0, 5, 0}}, 1, 110 + 140},
      {"two new files at once", {{100, 0, 40, 0}, {10, 0, 5, 0}}, 8, 110 + 140 + 15},
      {"a kept part larger than its payload", {{100, 0, 40, 60}}, 1, 40 + 100},
  };
  for (const Case& c : cases) EXPECT_EQ(PeakDiskNeed(c.files, c.connections), c.peak) << c.what;
}

}  // namespace
