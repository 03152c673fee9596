#include "TransferQueue.h"

#include <algorithm>

TransferQueue::TransferQueue(size_t nSections, uint64_t pauseMs)
    : m_sections(nSections), m_pauseMs(pauseMs) {}

std::optional<size_t> TransferQueue::Next(uint64_t now) {
  if (m_bGaveUp || !m_boxes.empty()) return std::nullopt;
  // With no box due, every waiting section is a retry; ties go to the first in the list.
  if (!m_waiting.empty() && m_waiting.begin()->first <= now) {
    const size_t retry = m_waiting.begin()->second;
    m_waiting.erase(m_waiting.begin());
    return retry;
  }
  if (m_nextNew < m_sections.size()) return m_nextNew++;
  return std::nullopt;
}

void TransferQueue::Succeeded(size_t section) {
  ++m_succeeded;
  m_waiting.erase({m_sections[section].dueAt, section});
}

void TransferQueue::Failed(size_t section, uint64_t now) {
  Section& s = m_sections[section];
  m_waiting.erase({s.dueAt, section});
  ++s.failed;
  s.dueAt = now + m_pauseMs;
  m_waiting.emplace(s.dueAt, section);
  if (s.failed % kAttemptsPerPass == 0) m_boxes.insert(section);
}

std::optional<size_t> TransferQueue::BoxDue(uint64_t now, int running) const {
  if (running > 0 || m_bGaveUp) return std::nullopt;
  for (size_t section : m_boxes) {
    if (m_sections[section].dueAt <= now) return section;
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
  if (m_waiting.empty()) return longest;
  const uint64_t dueAt = m_waiting.begin()->first;
  return std::min(longest, dueAt > now ? dueAt - now : 0);
}
