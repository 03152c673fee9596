// Which data host a game file's next attempt goes to, and what a failed attempt leads to. A tree
// may name mirrors, other hosts holding the same tree; each file then has every host, the data
// host first. A pass of a file tries the hosts in turn, three attempts each, starting from the
// host that last took a file over from a failing one (the data host until then), so a dead host
// is not asked again for each of thousands of files; the pass ends in its box only once every
// host has failed it. A busy answer (503 or 429) whose Retry-After is short enough is waited out
// on its host; one that names no wait, or a longer one, sends the file to the next host at once,
// and so does a body whose content is not the list's (the host would send the same bytes
// again); where no host is left either is a failure like any other. With one host and no
// Retry-After this is three attempts a pass and a box after each, as it always was. Pure: the
// driver owns the clock and the transfers; one connection and many ask alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the driver knows of a failed attempt.
struct FailedAttempt {
  long status = 0;                  // the HTTP status of the answer; 0: no answer came
  long long retryAfterSeconds = 0;  // its Retry-After, either form, as libcurl reads it; 0: none
  bool otherContent = false;        // the whole body came, not with the content the list gives
  std::string contentWhy;           // how it differs, when otherContent
};

// How a section goes on after a failed attempt.
struct AfterFailure {
  enum class Step {
    kRetry,     // the same host again, after the pause
    kWait,      // the same host again, after the wait its answer asked for
    kNextHost,  // the next host, after the pause
    kBox,       // every host failed this pass: its box, after the pause
  };
  Step step = Step::kRetry;
  uint64_t pauseMs = 0;  // before the section's next attempt, or its box
};

struct RetryRules {
  uint64_t pauseMs = 0;        // after a failed attempt
  uint64_t longestWaitMs = 0;  // the longest Retry-After waited out
};

// The one place where a failed attempt becomes a retry, a move to the next host or the end of
// its pass. `attemptsOnHost` counts this attempt; `hostLeft`: a host this pass has not tried yet.
AfterFailure JudgeFailure(const FailedAttempt& attempt, int attemptsOnHost, bool hostLeft,
                          const RetryRules& rules);

class MirrorChoice {
 public:
  static constexpr int kAttemptsPerPass = 3;  // on each host

  MirrorChoice(size_t nSections, size_t nHosts, const RetryRules& rules);

  // An attempt at the section starts: the host it goes to. A pass starts on the preferred host.
  size_t Start(size_t section);
  // The host of the section's current (or next) attempt.
  size_t Host(size_t section) const;
  // Judges the failed attempt and moves the section on: to its next host, or after a box to a
  // new pass.
  AfterFailure Failed(size_t section, const FailedAttempt& attempt);
  // A section that had to leave a host and then succeeded makes its host the one later passes
  // start on.
  void Succeeded(size_t section);

 private:
  struct Section {
    bool started = false;  // in a pass
    size_t first = 0;      // the host the pass started on
    size_t moves = 0;      // hosts left behind in this pass
    int attempts = 0;      // on the current host
  };
  std::vector<Section> m_sections;
  size_t m_nHosts;
  size_t m_preferred = 0;
  RetryRules m_rules;
};
