// The game update run from a terminal: the same two jobs and the same decision step as the
// update dialog, with progress on standard error instead of a progress bar.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/NativeSystem.h"
#include "update/AppConfig.h"
#include "update/Downloader.h"

// Message boxes are printed with their caption and confirmed at once; debugger output is
// dropped, since the log file holds every line.
class TerminalSystem : public sys::NativeSystem {
 public:
  bool MessageBox(const std::string& text, const std::string& caption) override;
  void OutputDebugString(const std::string&) override {}
};

class TerminalUpdate : public Downloader::ICallback {
 public:
  TerminalUpdate(AppConfig& config, int connections);
  // The job's thread is joined while every member it may use still exists.
  ~TerminalUpdate() override { m_Downloader.Reset(); }

  // Runs the whole update; 0 when the folder is current, 1 when it stopped or a file failed,
  // kRefused when the server's tree or a file of it was refused (the reason is printed).
  int Run();
  static constexpr int kRefused = 3;

  void OnProgress() override;
  void OnComplete() override;

 private:
  void PlanDownloads();
  void Finish(int exitCode);
  // Prints why the update was refused and ends it; false when nothing was refused.
  bool FinishRefused();
  bool JobSucceeded() const;

  AppConfig& m_config;
  Downloader m_Downloader;
  int m_nStep = 0;
  std::string m_VersionsFileName;
  std::string m_GameFilesName;
  bool m_bManifestsDownloaded = false;
  bool m_bPlanned = false;  // the plan read the manifests and took the tree
  int m_nFilesDownloaded = 0;
  // Both jobs': body bytes received by every attempt, and bytes of the files installed.
  uint64_t m_received = 0;
  uint64_t m_installed = 0;

  bool m_bShowProgress;
  std::chrono::steady_clock::time_point m_lastShown;
  int m_lastCompleted = -1;

  std::mutex m_mutex;
  std::condition_variable m_finished;
  bool m_bFinished = false;
  int m_exitCode = 1;
};
