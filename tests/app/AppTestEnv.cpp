// SPDX-License-Identifier: MIT
// The program's own application object for the whole test program, configured as main()
// configures it.
#include "app/Application.h"
#include "tests/support/TestAppEnvironment.h"

namespace {
[[maybe_unused]] auto* const g_Environment =
    AddTestApp<TApplication>([](TApplication& App) { ConfigureApplication(App); });
}  // namespace
