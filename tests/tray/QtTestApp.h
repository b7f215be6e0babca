// SPDX-License-Identifier: MIT
// One QApplication for a whole test program (created before the first test, gone after the
// last), and the wait-until helper GUI tests use instead of sleeps.
#pragma once

#include <QTest>

#include <functional>

// Runs the event loop until Condition holds or TimeoutMs pass; returns Condition().
inline bool WaitUntil(const std::function<bool()>& Condition, int TimeoutMs = 5000)
{
  return QTest::qWaitFor(Condition, TimeoutMs);
}

// Runs posted events once, so that posted messages are handled.
void FlushEvents();
