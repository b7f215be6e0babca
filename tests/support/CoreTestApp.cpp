// SPDX-License-Identifier: MIT
// Gives a test program of the widget-free code one QCoreApplication.
#include <QCoreApplication>

#include "tests/support/TestAppEnvironment.h"

namespace {
[[maybe_unused]] auto* const g_Environment = AddTestApp<QCoreApplication>();
}  // namespace
