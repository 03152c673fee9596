#include "TransferQueue.h"

#include <algorithm>

TransferQueue::TransferQueue(size_t nSections) : m_sections(nSections) {}

std::optional<std::pair<uint64_t, size_t>> TransferQueue::FirstWaiting(size_t limit) const {
  // Ties go to the first in the list. Sections after a box wait for it; they are few, since
  // nothing new starts meanwhile.
  for (const auto& waiting : m_waiting) {
    if (waiting.second < limit) return waiting;
  }
  return std::nullopt;
}

std::optional<size_t> TransferQueue::Next(uint64_t now) {
  if (m_bGaveUp) return std::nullopt;
  const size_t box = FirstBox();
  if (const auto retry = FirstWaiting(box); retry && retry->first <= now) {
    m_waiting.erase(*retry);
    return retry->second;
  }
  if (m_nextNew < box) return m_nextNew++;
  return std::nullopt;
}

void TransferQueue::Succeeded(size_t section) {
  ++m_succeeded;
  m_sections[section].succeeded = true;
  m_waiting.erase({m_sections[section].dueAt, section});
  while (m_firstUnsucceeded < m_sections.size() && m_sections[m_firstUnsucceeded].succeeded) {
    ++m_firstUnsucceeded;
  }
}

void TransferQueue::Failed(size_t section, uint64_t now, const AfterFailure& after) {
  Section& s = m_sections[section];
  m_waiting.erase({s.dueAt, section});
  s.dueAt = now + after.pauseMs;
  m_waiting.emplace(s.dueAt, section);
  if (after.step == AfterFailure::Step::kBox) {
    ++s.passesFailed;
    m_boxes.insert(section);
  }
}

void TransferQueue::Again(size_t section, uint64_t now) {
  Section& s = m_sections[section];
  m_waiting.erase({s.dueAt, section});
  s.dueAt = now;
  m_waiting.emplace(s.dueAt, section);
}

std::optional<size_t> TransferQueue::BoxDue(uint64_t now, int running) const {
  const size_t box = FirstBox();
  if (running > 0 || m_bGaveUp || box != m_firstUnsucceeded || box == m_sections.size() ||
      m_sections[box].dueAt > now) {
    return std::nullopt;
  }
  return box;
}

bool TransferQueue::BoxConfirmed(size_t section, uint64_t now) {
  Section& s = m_sections[section];
  if (s.passesFailed >= kPasses) {
    m_bGaveUp = true;
    return false;
  }
  // The next pass starts at once: its pause was sat out before the box.
  m_boxes.erase(section);
  m_waiting.erase({s.dueAt, section});
  s.dueAt = now;
  m_waiting.emplace(s.dueAt, section);
  return true;
}

bool TransferQueue::Ended(int running) const {
  if (running > 0) return false;
  return m_bGaveUp || m_succeeded == m_sections.size();
}

uint64_t TransferQueue::WaitMs(uint64_t now, uint64_t longest) const {
  const size_t box = FirstBox();
  std::optional<uint64_t> dueAt;
  if (const auto retry = FirstWaiting(box)) dueAt = retry->first;
  // A box that waits for earlier sections is woken by their ends, not by the clock.
  if (box < m_sections.size() && box == m_firstUnsucceeded) {
    dueAt = std::min(dueAt.value_or(UINT64_MAX), m_sections[box].dueAt);
  }
  if (!dueAt) return longest;
  return std::min(longest, *dueAt > now ? *dueAt - now : 0);
}
