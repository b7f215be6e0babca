// SPDX-License-Identifier: MIT
// Gives a test program of the widget-free code one QCoreApplication, created before the first
// test and gone after the last. Linked as a source, so that its registration is not dropped.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class TCoreEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { m_App = std::make_unique<QCoreApplication>(m_Argc, m_Argv); }
  void TearDown() override { m_App.reset(); }

 private:
  int m_Argc = 1;
  char m_Name[16] = "quorvex-test";
  char* m_Argv[2] = {m_Name, nullptr};
  std::unique_ptr<QCoreApplication> m_App;
};

[[maybe_unused]] auto* const g_Environment = ::testing::AddGlobalTestEnvironment(new TCoreEnvironment);

}  // namespace
