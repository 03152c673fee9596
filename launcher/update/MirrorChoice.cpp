#include "MirrorChoice.h"

namespace {

using Step = AfterFailure::Step;

bool IsBusy(long status) {
  return status == 503 || status == 429;
}

}  // namespace

AfterFailure JudgeFailure(const FailedAttempt& attempt, int attemptsOnHost, bool hostLeft,
                          const RetryRules& rules) {
  const bool busy = IsBusy(attempt.status);
  // A date in the past, or a wait of 0, reads as 0: no wait asked for.
  const bool waitable =
      busy && attempt.retryAfterSeconds > 0 &&
      static_cast<uint64_t>(attempt.retryAfterSeconds) <= rules.longestWaitMs / 1000;
  const bool attemptsLeft = attemptsOnHost < MirrorChoice::kAttemptsPerPass;
  if (waitable && attemptsLeft) {
    return {Step::kWait, static_cast<uint64_t>(attempt.retryAfterSeconds) * 1000};
  }
  // A busy host that names no wait worth waiting for, or one that sent other content, which it
  // would send again, is not asked the rest of its attempts.
  if (((busy && !waitable) || attempt.otherContent) && hostLeft) {
    return {Step::kNextHost, rules.pauseMs};
  }
  if (attemptsLeft) return {Step::kRetry, rules.pauseMs};
  return {hostLeft ? Step::kNextHost : Step::kBox, rules.pauseMs};
}

MirrorChoice::MirrorChoice(size_t nSections, size_t nHosts, const RetryRules& rules)
    : m_sections(nSections), m_nHosts(nHosts < 1 ? 1 : nHosts), m_rules(rules) {}

size_t MirrorChoice::Start(size_t section) {
  Section& s = m_sections[section];
  if (!s.started) {
    s.started = true;
    s.first = m_preferred;
  }
  return Host(section);
}

size_t MirrorChoice::Host(size_t section) const {
  const Section& s = m_sections[section];
  return ((s.started ? s.first : m_preferred) + s.moves) % m_nHosts;
}

AfterFailure MirrorChoice::Failed(size_t section, const FailedAttempt& attempt) {
  Section& s = m_sections[section];
  const AfterFailure after = JudgeFailure(attempt, ++s.attempts, s.moves + 1 < m_nHosts, m_rules);
  if (after.step == Step::kNextHost) {
    ++s.moves;
    s.attempts = 0;
  } else if (after.step == Step::kBox) {
    s = Section();
  }
  return after;
}

void MirrorChoice::Succeeded(size_t section) {
  Section& s = m_sections[section];
  if (s.moves > 0) m_preferred = Host(section);
  s = Section();
}
