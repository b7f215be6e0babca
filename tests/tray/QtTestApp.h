// SPDX-License-Identifier: MIT
// Helpers of GUI tests: the wait-until helper used instead of sleeps. QtTestApp.cpp gives a
// test program one QApplication, created before the first test and gone after the last.
#pragma once

#include <QCoreApplication>
#include <QTest>

#include <functional>

// Runs the event loop until Condition holds or TimeoutMs pass; returns Condition().
inline bool WaitUntil(const std::function<bool()>& Condition, int TimeoutMs = 5000)
{
  return QTest::qWaitFor(Condition, TimeoutMs);
}

// Runs posted events once, so that posted messages are handled.
inline void FlushEvents()
{
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}
