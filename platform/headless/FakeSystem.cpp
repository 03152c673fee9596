#include "FakeSystem.h"

#include <cerrno>
#include <ctime>

namespace sys {

FakeSystem::FakeSystem() : m_previous(Install(this)) {}

FakeSystem::~FakeSystem() {
  Install(m_previous);
}

void FakeSystem::Lock(const std::string& path) {
  std::lock_guard lock(m_mutex);
  m_locked.insert(path);
}

void FakeSystem::Unlock(const std::string& path) {
  std::lock_guard lock(m_mutex);
  m_locked.erase(path);
}

std::vector<FakeSystem::MessageBoxCall> FakeSystem::MessageBoxes() {
  std::lock_guard lock(m_mutex);
  return m_messageBoxes;
}

std::vector<FakeSystem::StartCall> FakeSystem::Starts() {
  std::lock_guard lock(m_mutex);
  return m_starts;
}

size_t FakeSystem::OpenProcessHandles() {
  std::lock_guard lock(m_mutex);
  return m_openProcesses.size();
}

size_t FakeSystem::StrayProcessCloses() {
  std::lock_guard lock(m_mutex);
  return m_strayCloses;
}

std::vector<std::string> FakeSystem::OpenedUrls() {
  std::lock_guard lock(m_mutex);
  return m_urls;
}

std::vector<FakeSystem::VerbCall> FakeSystem::InvokedVerbs() {
  std::lock_guard lock(m_mutex);
  return m_verbs;
}

std::vector<std::string> FakeSystem::TrustedShortcuts() {
  std::lock_guard lock(m_mutex);
  return m_trusted;
}

std::vector<std::string> FakeSystem::DebugOutput() {
  std::lock_guard lock(m_mutex);
  return m_debug;
}

uint64_t FakeSystem::SleptMilliseconds() {
  std::lock_guard lock(m_mutex);
  return m_slept;
}

std::vector<Drive> FakeSystem::GetFixedDrives() {
  std::vector<Drive> result;
  for (const FakeDrive& d : drives) result.push_back({d.root, d.freeBytes});
  return result;
}

bool FakeSystem::FreeSpaceOf(const std::string& path, Drive& drive) {
  const FakeDrive* best = nullptr;
  for (const FakeDrive& d : drives) {
    if (path.rfind(d.root, 0) == 0 && (!best || d.root.size() > best->root.size())) best = &d;
  }
  if (!best) return PosixSystem::FreeSpaceOf(path, drive);
  drive = {best->root, best->freeBytes};
  return true;
}

bool FakeSystem::GetSpecialFolder(Folder folder, std::string& path) {
  auto it = folders.find(folder);
  if (it == folders.end()) return false;
  path = it->second;
  return true;
}

LocalTime FakeSystem::ToLocalTime(int64_t t) {
  time_t value = static_cast<time_t>(t);
  struct tm tm {};
  gmtime_r(&value, &tm);
  return sys::ToLocalTime(tm);
}

void FakeSystem::Sleep(uint32_t milliseconds) {
  std::lock_guard lock(m_mutex);
  m_slept += milliseconds;
}

bool FakeSystem::Pause(uint32_t milliseconds, const Signal& wake) {
  if (wake.IsSet()) return true;
  Sleep(milliseconds);
  return wake.IsSet();
}

void FakeSystem::OutputDebugString(const std::string& text) {
  std::lock_guard lock(m_mutex);
  m_debug.push_back(text);
}

bool FakeSystem::MessageBox(const std::string& text, const std::string& caption) {
  MessageBoxCall call{text, caption};
  {
    std::lock_guard lock(m_mutex);
    m_messageBoxes.push_back(call);
  }
  if (onMessageBox) onMessageBox(call);
  return true;
}

bool FakeSystem::IsLocked(const std::string& path) {
  std::lock_guard lock(m_mutex);
  if (m_locked.count(path)) {
    errno = EBUSY;
    return true;
  }
  return false;
}

bool FakeSystem::RefusedByDrive(const std::string& path) {
  for (const FakeDrive& d : drives) {
    if (!d.writable && path.rfind(d.root, 0) == 0) {
      errno = EACCES;
      return true;
    }
  }
  return false;
}

bool FakeSystem::DeleteFile(const std::string& path) {
  return !IsLocked(path) && PosixSystem::DeleteFile(path);
}

bool FakeSystem::CreateNewFile(const std::string& path) {
  return !IsLocked(path) && !RefusedByDrive(path) && PosixSystem::CreateNewFile(path);
}

bool FakeSystem::MoveFileReplace(const std::string& from, const std::string& to) {
  return !IsLocked(from) && !IsLocked(to) && PosixSystem::MoveFileReplace(from, to);
}

bool FakeSystem::CopyFile(const std::string& from, const std::string& to) {
  return !IsLocked(to) && PosixSystem::CopyFile(from, to);
}

bool FakeSystem::StartProcess(const std::string& file, const std::string& params,
                              const std::string& workDir, Process* started) {
  std::lock_guard lock(m_mutex);
  m_starts.push_back({file, params, workDir});
  if (!startSucceeds) {
    errno = ENOENT;
    return false;
  }
  const uint32_t id = processId + static_cast<uint32_t>(m_starts.size());
  if (started) {
    *started = {id, id};
    m_openProcesses.insert(id);
  }
  return true;
}

void FakeSystem::CloseProcess(Process& process) {
  if (process.handle) {
    std::lock_guard lock(m_mutex);
    if (!m_openProcesses.erase(process.handle)) ++m_strayCloses;
  }
  process = {};
}

void FakeSystem::EndProcess(uint32_t id) {
  std::lock_guard lock(m_mutex);
  m_endedProcesses.insert(id);
}

bool FakeSystem::HasProcessEnded(const Process& process) {
  std::lock_guard lock(m_mutex);
  return process.id == 0 || m_endedProcesses.count(process.id) > 0;
}

bool FakeSystem::OpenUrl(const std::string& url) {
  std::lock_guard lock(m_mutex);
  m_urls.push_back(url);
  return true;
}

bool FakeSystem::GetShellVerbs(const std::string&, const std::string&,
                               std::vector<std::string>& verbs) {
  verbs = shellVerbs;
  return !shellVerbs.empty();
}

bool FakeSystem::InvokeShellVerb(const std::string& folder, const std::string& item, size_t index) {
  if (index >= shellVerbs.size()) return false;
  std::lock_guard lock(m_mutex);
  m_verbs.push_back({folder, item, shellVerbs[index]});
  return true;
}

bool FakeSystem::TrustShortcut(const std::string& folder, const std::string& name) {
  std::lock_guard lock(m_mutex);
  m_trusted.push_back(folder + "/" + name);
  return true;
}

}  // namespace sys
