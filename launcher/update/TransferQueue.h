// The order of a job's sections when several transfers run at once. New sections start in list
// order; a failed one starts again after its pause, or ends its pass, as MirrorChoice judged the
// failure (three attempts a pass on each host); a pass that failed is put to the player in a box,
// but only when no transfer runs, so that no transfer stalls (and times out) behind a box, and the
// next pass begins when it is confirmed. After the third pass's box the job gives up: nothing new
// starts, and the job ends when nothing runs. The boxes are those one connection would show: a
// section's box waits until every section before it in the list has succeeded (one of those may
// still fail for good, and one connection would then never have reached it), and meanwhile only
// those earlier sections start again. Times are milliseconds of a monotonic clock. The driver asks
// several times per transfer, so a question costs in the failed sections, not in all of them (a
// game has tens of thousands).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "MirrorChoice.h"

class TransferQueue {
 public:
  static constexpr int kPasses = 3;

  explicit TransferQueue(size_t nSections);

  // The section to start at `now`: a retry whose pause is over (the earliest failed first),
  // else the next section never tried; while a box waits, only retries of sections before it;
  // none after giving up.
  std::optional<size_t> Next(uint64_t now);
  void Succeeded(size_t section);
  // The section failed at `now`; it starts again after the pause `after` names, or its box
  // comes then.
  void Failed(size_t section, uint64_t now, const AfterFailure& after);
  // The section starts again at once, no failure counted: its patch failed, and the full file
  // is fetched instead.
  void Again(size_t section, uint64_t now);

  // The section whose failed pass is to be shown now: the first in the list with one, once its
  // pause is over, every section before it has succeeded and no transfer runs.
  std::optional<size_t> BoxDue(uint64_t now, int running) const;
  // The player confirmed the box of `section`: false when that was its last pass (the job
  // gives up), else its next pass may start.
  bool BoxConfirmed(size_t section, uint64_t now);

  // Every section succeeded or the job gave up, and `running` is 0.
  bool Ended(int running) const;
  bool AllSucceeded() const { return m_succeeded == m_sections.size(); }
  // How long the driver may wait for its transfers before something here falls due.
  uint64_t WaitMs(uint64_t now, uint64_t longest) const;

 private:
  struct Section {
    int passesFailed = 0;
    uint64_t dueAt = 0;  // when the pause after its last failure ends
    bool succeeded = false;
  };
  // The waiting section that may start first (before `limit` in the list), if any.
  std::optional<std::pair<uint64_t, size_t>> FirstWaiting(size_t limit) const;
  // The first section with a box, or the number of sections.
  size_t FirstBox() const { return m_boxes.empty() ? m_sections.size() : *m_boxes.begin(); }

  std::vector<Section> m_sections;
  // The failed sections waiting to start again, as (dueAt, section): the earliest first.
  std::set<std::pair<uint64_t, size_t>> m_waiting;
  // The waiting sections whose pass failed: a box comes before their next attempt.
  std::set<size_t> m_boxes;
  size_t m_nextNew = 0;
  size_t m_succeeded = 0;
  size_t m_firstUnsucceeded = 0;  // every section before it has succeeded
  bool m_bGaveUp = false;
};
