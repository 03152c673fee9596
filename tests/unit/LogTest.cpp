#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "TempDir.h"
#include "platform/headless/FakeSystem.h"
#include "update/Log.h"

namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLogFile(m_logFile); }
  void TearDown() override { SetLogFile(""); }

  sys::FakeSystem m_system;
  TempDir m_dir;
  std::string m_logFile = m_dir / "log.txt";
};

TEST(LogLineTest, LineHasTimeHeadAndBlankBeforeLineFeed) {
  EXPECT_EQ(FormatLogLine({2026, 12, 6, 23, 7, 40}, "hello"), "261206-230740: hello \n");
  EXPECT_EQ(FormatLogLine({2001, 1, 2, 3, 4, 5}, ""), "010102-030405:  \n");
}

TEST_F(LogTest, WritesTimedLineToFileAndMessageToDebugger) {
  LogPrint("set work path %s", "/d/wan_tarn/");
  EXPECT_EQ(ReadFile(m_logFile), "261206-230740: set work path /d/wan_tarn/ \n");
  EXPECT_EQ(m_system.DebugOutput(), std::vector<std::string>{"set work path /d/wan_tarn/"});
}

TEST_F(LogTest, LongMessageIsCutAt1023Characters) {
  std::string message(2000, 'x');
  LogPrint("%s", message.c_str());
  EXPECT_EQ(ReadFile(m_logFile), "261206-230740: " + std::string(1023, 'x') + " \n");
}

TEST_F(LogTest, WithoutLogFileOnlyDebuggerSeesTheLine) {
  SetLogFile("");
  LogPrint("no writeable disk, set path %s", "/home/u/");
  EXPECT_FALSE(std::ifstream(m_logFile).good());
  EXPECT_EQ(m_system.DebugOutput().size(), 1u);
}

TEST_F(LogTest, UnopenableLogFileLosesOnlyTheFileLine) {
  SetLogFile(m_dir / "missing/log.txt");
  LogPrint("lost");
  EXPECT_EQ(m_system.DebugOutput(), std::vector<std::string>{"lost"});
}

TEST_F(LogTest, FailedCheckWritesUnitLineAndExpression) {
  EXPECT_TRUE(Check(true, "Downloader", 362, "m_pRequest"));
  EXPECT_FALSE(Check(false, "Downloader", 362, "m_pRequest"));
  EXPECT_EQ(ReadFile(m_logFile), "261206-230740: Downloader(362) : m_pRequest \n");
}

}  // namespace
