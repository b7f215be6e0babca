// SPDX-License-Identifier: MIT
// A dbus-daemon of the test program's own, started on first use and stopped after the last
// test: D-Bus tests never touch a session bus of the machine.
#pragma once

#include <QString>

// The private bus's address; empty where no dbus-daemon can be started.
QString PrivateBus();

#define REQUIRE_BUS()                                                                     \
  do {                                                                                    \
    if (PrivateBus().isEmpty()) GTEST_SKIP() << "no dbus-daemon to run a private bus on"; \
  } while (0)
