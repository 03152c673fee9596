// The harness's own bounds: a command that never ends fails its test instead of holding the run.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>

#include "XvfbEnvironment.h"

namespace {

TEST(HarnessTest, CommandThatNeverEndsIsEndedAndFailsItsTest) {
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  // The background child keeps the output open after the shell is gone.
  EXPECT_NONFATAL_FAILURE(status = RunWhileLooping("sleep 600 & sleep 600", nullptr, 300),
                          "\"sleep 600 & sleep 600\" still running after 300 ms");
  EXPECT_EQ(status, -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  std::string out;
  EXPECT_EQ(RunWhileLooping("echo done; exit 3", &out), 3);
  EXPECT_EQ(out, "done\n");
}

}  // namespace
