// SPDX-License-Identifier: MIT
// The program's two windows, made as at start-up, with a recording notification shell in place
// of the desktop's: the fixture of the main window's and the start-up tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "app/Application.h"
#include "tray/NotifyShell.h"
#include "whois/Query.h"

class TFormsTest : public ::testing::Test {
 protected:
  void SetUp() override
  {
    SetDefaultNotifyShell(&Shell);
    Forms = std::make_unique<TForms>();
  }
  void TearDown() override
  {
    Forms.reset();
    SetDefaultNotifyShell(nullptr);
  }

  // The shell messages sent so far, in order.
  std::vector<std::uint32_t> Messages() const
  {
    std::vector<std::uint32_t> Out;
    for (const auto& C : Shell.Calls) Out.push_back(C.Message);
    return Out;
  }
  static bool QueryOpen() { return QueryForm && QueryForm->isVisible(); }

  TRecordingShell Shell;
  std::unique_ptr<TForms> Forms;
};
