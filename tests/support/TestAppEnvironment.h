// SPDX-License-Identifier: MIT
// One application object of type TApp for a whole test program, created before the first test
// (then handed to Configure, where given) and gone after the last. A test program registers it
// from a source file linked in, so that the registration is not dropped:
//   [[maybe_unused]] auto* const g_Environment = AddTestApp<QCoreApplication>();
#pragma once

#include <gtest/gtest.h>

#include <memory>

template <class TApp>
class TTestAppEnvironment : public ::testing::Environment {
 public:
  using TConfigure = void (*)(TApp&);
  explicit TTestAppEnvironment(TConfigure Configure) : m_Configure(Configure) {}
  void SetUp() override
  {
    m_App = std::make_unique<TApp>(m_Argc, m_Argv);
    if (m_Configure) m_Configure(*m_App);
  }
  void TearDown() override { m_App.reset(); }

 private:
  TConfigure m_Configure;
  int m_Argc = 1;
  char m_Name[16] = "quorvex-test";
  char* m_Argv[2] = {m_Name, nullptr};
  std::unique_ptr<TApp> m_App;
};

template <class TApp>
::testing::Environment* AddTestApp(typename TTestAppEnvironment<TApp>::TConfigure Configure = nullptr)
{
  return ::testing::AddGlobalTestEnvironment(new TTestAppEnvironment<TApp>(Configure));
}
