// SPDX-License-Identifier: MIT
// The wait-until helper of every suite, used instead of sleeps: runs the Qt event loop of the
// calling thread (deferred deletions included) until a condition holds or a time-out passes.
#pragma once

#include <functional>

#include <QTest>

// Runs the event loop until Condition holds or TimeoutMs pass; returns whether it held (the
// last look at Condition).
inline bool WaitUntil(const std::function<bool()>& Condition, int TimeoutMs = 10000)
{
  return QTest::qWaitFor(Condition, TimeoutMs);
}
