// SPDX-License-Identifier: MIT
// The program's own application object for the whole test program, configured as main()
// configures it.
#include <gtest/gtest.h>

#include <memory>

#include "app/Application.h"

namespace {

class TAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override
  {
    m_App = std::make_unique<TApplication>(m_Argc, m_Argv);
    ConfigureApplication(*m_App);
  }
  void TearDown() override { m_App.reset(); }

 private:
  int m_Argc = 1;
  char m_Name[16] = "quorvex-test";
  char* m_Argv[2] = {m_Name, nullptr};
  std::unique_ptr<TApplication> m_App;
};

[[maybe_unused]] auto* const g_Environment =
    ::testing::AddGlobalTestEnvironment(new TAppEnvironment);

} // namespace
