// A test with the fake system, the headless window system and a log in its own folder.
#pragma once

#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/headless/FakeSystem.h"
#include "platform/headless/HeadlessBackend.h"
#include "update/Log.h"

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLogFile(m_dir / "log.txt"); }
  void TearDown() override { SetLogFile(""); }
  std::string Log() { return ReadFile(m_dir / "log.txt"); }

  sys::FakeSystem m_system;
  TempDir m_dir;
  headless::HeadlessBackend m_backend;  // before any window, gone after them
};
