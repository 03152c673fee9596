#include "TransferQueue.h"

#include <algorithm>

TransferQueue::TransferQueue(size_t nSections, uint64_t pauseMs)
    : m_sections(nSections), m_pauseMs(pauseMs) {}

bool TransferQueue::BoxPending() const {
  return std::any_of(m_sections.begin(), m_sections.end(),
                     [](const Section& s) { return s.boxDue; });
}

std::optional<size_t> TransferQueue::Next(uint64_t now) {
  if (m_bGaveUp || BoxPending()) return std::nullopt;
  std::optional<size_t> retry;
  for (size_t i = 0; i < m_sections.size(); ++i) {
    const Section& s = m_sections[i];
    if (s.waiting && !s.boxDue && s.dueAt <= now && (!retry || s.dueAt < m_sections[*retry].dueAt))
      retry = i;
  }
  if (retry) {
    m_sections[*retry].waiting = false;
    return retry;
  }
  if (m_nextNew < m_sections.size()) return m_nextNew++;
  return std::nullopt;
}

void TransferQueue::Succeeded(size_t section) {
  ++m_succeeded;
  m_sections[section].waiting = false;
}

void TransferQueue::Failed(size_t section, uint64_t now) {
  Section& s = m_sections[section];
  ++s.failed;
  s.waiting = true;
  s.dueAt = now + m_pauseMs;
  s.boxDue = s.failed % kAttemptsPerPass == 0;
}

std::optional<size_t> TransferQueue::BoxDue(uint64_t now, int running) const {
  if (running > 0 || m_bGaveUp) return std::nullopt;
  for (size_t i = 0; i < m_sections.size(); ++i) {
    const Section& s = m_sections[i];
    if (s.boxDue && s.dueAt <= now) return i;
  }
  return std::nullopt;
}

bool TransferQueue::BoxConfirmed(size_t section, uint64_t now) {
  Section& s = m_sections[section];
  if (s.failed >= kPasses * kAttemptsPerPass) {
    m_bGaveUp = true;
    return false;
  }
  // The next pass starts at once: its pause was sat out before the box.
  s.boxDue = false;
  s.dueAt = now;
  return true;
}

bool TransferQueue::Ended(int running) const {
  if (running > 0) return false;
  return m_bGaveUp || m_succeeded == m_sections.size();
}

uint64_t TransferQueue::WaitMs(uint64_t now, uint64_t longest) const {
  uint64_t wait = longest;
  for (const Section& s : m_sections) {
    if (s.waiting) wait = std::min(wait, s.dueAt > now ? s.dueAt - now : 0);
  }
  return wait;
}
