// SPDX-License-Identifier: MIT
#include "tests/tray/QtTestApp.h"

#include <QApplication>

#include "tests/support/TestAppEnvironment.h"

namespace {
[[maybe_unused]] auto* const g_Environment = AddTestApp<QApplication>();
}  // namespace
