// The launcher's application and dialogs on the headless window system, with the fake system's
// drive in the test's folder and a loopback server for telemetry, update trees and launcher
// versions. The launcher runs from its work folder unless a test says otherwise.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "HeadlessFixture.h"
#include "SelfUpdate.h"
#include "Telemetry.h"
#include "TestHttpServer.h"

class LauncherTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    std::filesystem::create_directories(m_dir / "drive");
    std::filesystem::create_directories(m_dir / "tree/launcher");
    m_system.drives = {{m_dir / "drive/", 1ull << 40, true}};
    m_system.folders = {{sys::Folder::Desktop, m_dir / "Desktop"},
                        {sys::Folder::CommonPrograms, m_dir / "applications"},
                        {sys::Folder::AppData, m_dir / "share"}};
    std::filesystem::create_directories(m_work);
    std::filesystem::copy_file(LAUNCHER_EXE, m_work + "Launcher.exe");
    m_system.moduleFileName = m_work + "Launcher.exe";
    WriteFile(m_dir / "tree/launcher/launcherversion.txt",
              GetFileVersionString(LAUNCHER_EXE) + "\n");
    m_http.server().set_mount_point("/", m_dir / "tree");
    m_http.server().Post(R"(/receive/rest/(\w+))",
                         [](const httplib::Request&, httplib::Response& res) {
                           res.set_content("{\"ret\":0}", "application/json");
                         });
    m_http.Start();
    SetTelemetrySite(m_http.Url());
    setenv("LAUNCHER_SERVER", m_http.Url().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("LAUNCHER_SERVER");
    HeadlessTest::TearDown();
  }

  // Telemetry as "kind state" ("event wd_start", "startup", ...), in arrival order.
  std::vector<std::string> Events() {
    std::vector<std::string> events;
    for (const auto& r : m_http.Requests()) {
      if (r.method != "POST") continue;
      const std::string kind = r.path.substr(r.path.rfind('/') + 1);
      const auto body = nlohmann::json::parse(r.body, nullptr, false);
      const auto& context = body.is_object() ? body.value("context", nlohmann::json()) : nullptr;
      events.push_back(context.is_object() && context.contains("state")
                           ? kind + " " + context["state"].get<std::string>()
                           : kind);
    }
    return events;
  }

  // Runs the UI thread's queue until `done` holds; false after 20 s.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      m_backend.Pump();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  // The test's log and the work folder's, where the launcher writes once it has chosen it.
  bool LogHas(const std::string& text) {
    return (Log() + ReadFile(m_work + "log.txt")).find(text) != std::string::npos;
  }

  const std::string m_work = m_dir / "drive/wan_tarn/";
  TestHttpServer m_http;
};
