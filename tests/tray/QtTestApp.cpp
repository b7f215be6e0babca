// SPDX-License-Identifier: MIT
#include "tests/tray/QtTestApp.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class TQtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { m_App = std::make_unique<QApplication>(m_Argc, m_Argv); }
  void TearDown() override { m_App.reset(); }

 private:
  int m_Argc = 1;
  char m_Name[16] = "quorvex-test";
  char* m_Argv[2] = {m_Name, nullptr};
  std::unique_ptr<QApplication> m_App;
};

[[maybe_unused]] auto* const g_Environment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

} // namespace
