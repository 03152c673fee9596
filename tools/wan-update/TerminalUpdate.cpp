#include "TerminalUpdate.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "update/Log.h"
#include "update/UpdatePlan.h"

bool TerminalSystem::MessageBox(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "\n[%s] %s\n", caption.c_str(), text.c_str());
  return true;
}

TerminalUpdate::TerminalUpdate(AppConfig& config, int connections)
    : m_config(config),
      m_VersionsFileName(VersionsFilePath(config.GetWorkPath())),
      m_GameFilesName(GameFilesPath(config.GetWorkPath())),
      m_bShowProgress(isatty(STDERR_FILENO) != 0) {
  m_Downloader.SetConnections(connections);
}

int TerminalUpdate::Run() {
  m_nStep = 1;
  if (!StartManifestJob(m_Downloader, m_config, m_VersionsFileName, m_GameFilesName, this)) {
    return 1;
  }
  std::unique_lock lock(m_mutex);
  m_finished.wait(lock, [this] { return m_bFinished; });
  return m_exitCode;
}

bool TerminalUpdate::JobSucceeded() const {
  const DownloadProgress& progress = m_Downloader.GetProgress();
  return progress.completed == progress.total;
}

void TerminalUpdate::OnComplete() {
  m_received += m_Downloader.GetProgress().received;
  m_installed += m_Downloader.GetProgress().installed;
  if (m_nStep == 1) {
    m_bManifestsDownloaded = JobSucceeded();
    PlanDownloads();
  } else if (m_nStep == 2) {
    bool ok = JobSucceeded();
    m_nFilesDownloaded = m_Downloader.GetProgress().completed;
    if (!FinishRefused()) Finish(ok && m_bManifestsDownloaded ? 0 : 1);
  }
}

void TerminalUpdate::PlanDownloads() {
  int nAdded = 0;
  std::vector<std::string> found;  // what the content check found wrong
  const bool planned =
      PlanGameUpdate(m_VersionsFileName, m_GameFilesName, m_config, m_Downloader, nAdded, &found);
  for (const std::string& line : found) std::printf("wan-update: %s\n", line.c_str());
  if (m_config.bVerifyContent && planned) {
    std::printf("wan-update: content check: %zu files not as signed\n", found.size());
  }
  if (!planned && FinishRefused()) return;
  if (!planned) {
    std::fprintf(stderr, "wan-update: update stopped, see %slog.txt\n",
                 m_config.GetWorkPath().c_str());
    Finish(1);
    return;
  }
  m_bPlanned = true;
  if (nAdded == 0) {
    Finish(m_bManifestsDownloaded ? 0 : 1);
    return;
  }
  m_nStep = 2;
  if (!StartFilesJob(m_Downloader, this)) Finish(1);
}

bool TerminalUpdate::FinishRefused() {
  const UpdateRefusal& refusal = m_Downloader.GetRefusal();
  if (refusal.kind == Refusal::None) return false;
  if (m_bShowProgress && m_lastCompleted >= 0) std::fputc('\n', stderr);
  m_lastCompleted = -1;
  std::fprintf(stderr, "wan-update: update refused: %s\n", refusal.reason.c_str());
  Finish(kRefused);
  return true;
}

void TerminalUpdate::Finish(int exitCode) {
  if (m_bShowProgress && m_lastCompleted >= 0) std::fputc('\n', stderr);
  if (!m_bManifestsDownloaded) {
    std::fprintf(stderr, "wan-update: the manifests could not be downloaded\n");
  }
  // A tree refused before its plan took it has no client version to report.
  const std::string version =
      exitCode == kRefused && !m_bPlanned ? "" : ", client version " + m_config.strClientVersion;
  std::printf("wan-update: %d files downloaded, folder %s%s\n", m_nFilesDownloaded,
              exitCode == 0 ? "current" : "not current", version.c_str());
  std::printf("wan-update: %llu bytes over the wire, %llu bytes installed\n",
              static_cast<unsigned long long>(m_received),
              static_cast<unsigned long long>(m_installed));
  std::fflush(stdout);
  std::lock_guard lock(m_mutex);
  m_exitCode = exitCode;
  m_bFinished = true;
  m_finished.notify_all();
}

void TerminalUpdate::OnProgress() {
  if (!m_bShowProgress) return;
  const DownloadProgress& progress = m_Downloader.GetProgress();
  const auto now = std::chrono::steady_clock::now();
  if (progress.completed == m_lastCompleted && now - m_lastShown < std::chrono::milliseconds(100)) {
    return;
  }
  m_lastShown = now;
  m_lastCompleted = progress.completed;
  std::string current;
  const Downloader::Request* request = m_Downloader.GetRequest();
  // With several connections files end in any order: no one file is the current one.
  if (request && request->m_nConnections == 1 &&
      progress.completed < static_cast<int>(request->m_sections.size())) {
    current = request->m_sections[progress.completed]->filename;
    if (current.rfind(m_config.GetWorkPath(), 0) == 0) {
      current.erase(0, m_config.GetWorkPath().size());
    }
  }
  std::fprintf(stderr, "\r\033[K%s [%d/%d] %s %.0f/%.0f bytes",
               m_nStep == 1 ? "manifests" : "files", progress.completed, progress.total,
               current.c_str(), progress.dlNow, progress.dlTotal);
}
