#include "update/TransferQueue.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

constexpr uint64_t kPause = 1000;

// The queue as a job of one host drives it: each failure judged by MirrorChoice, three
// attempts a pass.
class Queue : public TransferQueue {
 public:
  explicit Queue(size_t nSections) : TransferQueue(nSections), m_choice(nSections, 1, {kPause}) {}
  void Failed(size_t section, uint64_t now) {
    TransferQueue::Failed(section, now, m_choice.Failed(section, FailedAttempt()));
  }

 private:
  MirrorChoice m_choice;
};

TEST(TransferQueueTest, NewSectionsInOrderThenRetriesOnlyAfterTheirPause) {
  Queue queue(3);
  EXPECT_EQ(queue.Next(0), 0u);
  EXPECT_EQ(queue.Next(0), 1u);
  queue.Failed(0, 10);
  queue.Failed(1, 20);
  EXPECT_EQ(queue.Next(500), 2u) << "a section never tried goes before a pausing one";
  EXPECT_EQ(queue.Next(500), std::nullopt);
  EXPECT_EQ(queue.WaitMs(500, 100), 100u);
  EXPECT_EQ(queue.WaitMs(990, 100), 20u);
  EXPECT_EQ(queue.Next(1020), 0u) << "the earliest failure first";
  EXPECT_EQ(queue.Next(1020), 1u);
  EXPECT_EQ(queue.Next(5000), std::nullopt);
  EXPECT_FALSE(queue.Ended(0));
  for (size_t i = 0; i < 3; ++i) queue.Succeeded(i);
  EXPECT_FALSE(queue.Ended(1));
  EXPECT_TRUE(queue.Ended(0));
  EXPECT_TRUE(queue.AllSucceeded());
}

// A failed pass stops new starts; its box comes after its pause and only once nothing runs,
// and the next pass starts as soon as it is confirmed.
TEST(TransferQueueTest, AFailedPassWaitsForTheOthersThenItsBoxThenStartsAgain) {
  Queue queue(4);
  uint64_t now = 0;
  ASSERT_EQ(queue.Next(now), 0u);
  ASSERT_EQ(queue.Next(now), 1u);
  for (int attempt = 0; attempt < 3; ++attempt) {
    queue.Failed(0, now);
    now += kPause;
    if (attempt < 2) {
      ASSERT_EQ(queue.Next(now), 0u);
    }
  }
  EXPECT_EQ(queue.Next(now), std::nullopt) << "no new transfer while a box is due";
  EXPECT_EQ(queue.BoxDue(now, 1), std::nullopt) << "section 1 still runs";
  queue.Succeeded(1);
  EXPECT_EQ(queue.BoxDue(now - 1, 0), std::nullopt) << "its pause first";
  EXPECT_EQ(queue.BoxDue(now, 0), 0u);
  EXPECT_TRUE(queue.BoxConfirmed(0, now));
  EXPECT_EQ(queue.BoxDue(now, 0), std::nullopt);
  EXPECT_EQ(queue.Next(now), 0u) << "the second pass starts at once";
  EXPECT_EQ(queue.Next(now), 2u);
}

// Retries by the end of their pause, failures at the same moment in list order; a box keeps
// the driver's wait short while it is due, and its section then takes its place by the time it
// was confirmed.
TEST(TransferQueueTest, RetriesByTheirTimeTiesInListOrder) {
  Queue queue(6);
  for (size_t i = 0; i < 6; ++i) ASSERT_EQ(queue.Next(0), i);
  queue.Failed(4, 30);
  queue.Failed(1, 30);
  queue.Failed(3, 10);
  queue.Failed(1, 40);  // failed again before it was started: its latest failure counts
  EXPECT_EQ(queue.WaitMs(0, 5000), 1010u);
  EXPECT_EQ(queue.Next(1029), 3u);
  EXPECT_EQ(queue.Next(1029), std::nullopt);
  EXPECT_EQ(queue.Next(1040), 4u);
  EXPECT_EQ(queue.Next(1040), 1u);
  EXPECT_EQ(queue.Next(1040), std::nullopt);

  for (int attempt = 0; attempt < 3; ++attempt) queue.Failed(5, 2000);
  queue.Failed(2, 2500);
  EXPECT_EQ(queue.WaitMs(3000, 5000), 500u) << "the box waits for the sections before it";
  EXPECT_EQ(queue.Next(3500), 2u) << "a section before the box starts again";
  EXPECT_EQ(queue.BoxDue(4000, 0), std::nullopt);
  for (size_t i = 0; i < 5; ++i) queue.Succeeded(i);
  EXPECT_EQ(queue.WaitMs(4000, 5000), 0u);
  ASSERT_EQ(queue.BoxDue(4000, 0), 5u);
  EXPECT_TRUE(queue.BoxConfirmed(5, 4000));
  EXPECT_EQ(queue.Next(4000), 5u);
  EXPECT_EQ(queue.WaitMs(4000, 5000), 5000u);
}

// The boxes a job shows, in order, with up to `connections` transfers at once, when the k-th
// attempt (from 1) at section s succeeds exactly when `succeeds(s, k)`. Each round, the running
// transfers all end after a tick.
std::vector<size_t> Boxes(size_t sections, size_t connections,
                          const std::function<bool(size_t, int)>& succeeds) {
  Queue queue(sections);
  std::vector<int> attempts(sections);
  std::vector<size_t> boxes, running;
  uint64_t now = 0;
  for (int round = 0; round < 1000 && !queue.Ended(static_cast<int>(running.size())); ++round) {
    std::optional<size_t> next;
    while (running.size() < connections && (next = queue.Next(now))) running.push_back(*next);
    if (const auto box = queue.BoxDue(now, static_cast<int>(running.size()))) {
      boxes.push_back(*box);
      queue.BoxConfirmed(*box, now);
      continue;
    }
    ++now;
    for (size_t s : running) succeeds(s, ++attempts[s]) ? queue.Succeeded(s) : queue.Failed(s, now);
    running.clear();
    now += queue.WaitMs(now, kPause);
  }
  EXPECT_TRUE(queue.Ended(0));
  return boxes;
}

// Eight transfers at once show the boxes one connection shows: a later file's failures wait
// for the earlier files, and a file that fails for good ends the job after its third box.
TEST(TransferQueueTest, BoxesAreThoseOfOneConnection) {
  const std::vector<std::function<bool(size_t, int)>> cases = {
      [](size_t s, int) { return s != 1 && s != 4; },       // two files fail for good
      [](size_t s, int k) { return s != 1 || k > 4; },      // one fails a pass, then works
      [](size_t s, int k) { return s % 2 == 0 || k > 7; },  // half fail two passes
      [](size_t s, int k) { return s != 9 && (s != 3 || k > 2); },
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Boxes(10, 8, cases[i]), Boxes(10, 1, cases[i])) << "case " << i;
  }
  EXPECT_EQ(Boxes(10, 8, cases[0]), (std::vector<size_t>{1, 1, 1}));
}

TEST(TransferQueueTest, TheThirdPassBoxGivesUpAndNothingNewStarts) {
  Queue queue(3);
  uint64_t now = 0;
  ASSERT_EQ(queue.Next(now), 0u);
  for (int failure = 1; failure <= 9; ++failure) {
    queue.Failed(0, now);
    now += kPause;
    if (failure % 3 == 0) {
      ASSERT_EQ(queue.BoxDue(now, 0), 0u) << failure;
      EXPECT_EQ(queue.BoxConfirmed(0, now), failure < 9);
    }
    if (failure < 9) {
      ASSERT_EQ(queue.Next(now), 0u);
    }
  }
  EXPECT_EQ(queue.Next(now), std::nullopt);
  EXPECT_EQ(queue.BoxDue(now, 0), std::nullopt);
  EXPECT_FALSE(queue.Ended(1)) << "a running transfer ends first";
  EXPECT_TRUE(queue.Ended(0));
  EXPECT_FALSE(queue.AllSucceeded());
}

}  // namespace
