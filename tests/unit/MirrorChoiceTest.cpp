#include "update/MirrorChoice.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using Step = AfterFailure::Step;
constexpr RetryRules kRules{.pauseMs = 1000, .longestWaitMs = 60000};

TEST(MirrorChoiceTest, AFailureIsARetryAWaitAMoveOrTheBox) {
  struct Case {
    const char* what;
    long status;
    long long retryAfter;
    int attemptsOnHost;
    bool hostLeft;
    Step step;
    uint64_t pauseMs;
    bool otherContent = false;
  };
  const Case cases[] = {
      {"no answer, attempts left", 0, 0, 1, true, Step::kRetry, 1000},
      {"404, the host's third", 404, 0, 3, false, Step::kBox, 1000},
      {"500, the host's third, a host left", 500, 0, 3, true, Step::kNextHost, 1000},
      {"503 asking for 5 s", 503, 5, 1, true, Step::kWait, 5000},
      {"429 asking for the longest wait", 429, 60, 2, false, Step::kWait, 60000},
      {"503 asking for longer, a host left", 503, 61, 1, true, Step::kNextHost, 1000},
      {"503 asking for longer, no host left", 503, 61, 1, false, Step::kRetry, 1000},
      {"503 asking for no wait, a host left", 503, 0, 1, true, Step::kNextHost, 1000},
      {"503 asking for no wait, the host's third", 503, 0, 3, false, Step::kBox, 1000},
      {"503 asking for a date past", 503, -20, 1, true, Step::kNextHost, 1000},
      {"503 asking for a wait after the host's third", 503, 5, 3, true, Step::kNextHost, 1000},
      {"503 asking for the most a number holds", 503, LLONG_MAX, 1, false, Step::kRetry, 1000},
      {"500 with a Retry-After is no busy answer", 500, 5, 1, true, Step::kRetry, 1000},
      {"other content, a host left", 200, 0, 1, true, Step::kNextHost, 1000, true},
      {"other content, no host left", 200, 0, 1, false, Step::kRetry, 1000, true},
  };
  for (const Case& c : cases) {
    const AfterFailure after = JudgeFailure({.status = c.status,
                                             .retryAfterSeconds = c.retryAfter,
                                             .otherContent = c.otherContent,
                                             .contentWhy = {}},
                                            c.attemptsOnHost, c.hostLeft, kRules);
    EXPECT_EQ(after.step, c.step) << c.what;
    EXPECT_EQ(after.pauseMs, c.pauseMs) << c.what;
  }
}

// Three hosts: a file that had to leave two of them makes the third the one later files start
// on, and a pass ends in its box only after every host, from that one round to the others.
TEST(MirrorChoiceTest, PassesGoRoundEveryHostFromTheOneThatLastWorked) {
  MirrorChoice choice(3, 3, kRules);
  auto failHost = [&](size_t section) {
    AfterFailure after;
    for (int attempt = 0; attempt < MirrorChoice::kAttemptsPerPass; ++attempt) {
      choice.Start(section);
      after = choice.Failed(section, FailedAttempt());
    }
    return after.step;
  };
  EXPECT_EQ(choice.Start(2), 0u) << "the data host first";
  EXPECT_EQ(choice.Start(0), 0u);
  EXPECT_EQ(failHost(0), Step::kNextHost);
  EXPECT_EQ(choice.Host(0), 1u);
  EXPECT_EQ(failHost(0), Step::kNextHost);
  EXPECT_EQ(choice.Start(0), 2u);
  choice.Succeeded(0);
  EXPECT_EQ(choice.Host(2), 0u) << "a file keeps its host for its pass";
  EXPECT_EQ(choice.Start(1), 2u) << "later files start where the last one worked";
  EXPECT_EQ(failHost(1), Step::kNextHost);
  EXPECT_EQ(choice.Host(1), 0u) << "round to the data host";
  EXPECT_EQ(failHost(1), Step::kNextHost);
  EXPECT_EQ(failHost(1), Step::kBox) << "every host failed the pass";
  EXPECT_EQ(choice.Start(1), 2u) << "the next pass starts again where files last worked";
  choice.Succeeded(1);
  EXPECT_EQ(choice.Start(2), 0u) << "success where a pass started moves nothing";
}

}  // namespace
