// SPDX-License-Identifier: MIT
// Helpers of GUI tests, beside the wait-until helper of tests/support. QtTestApp.cpp gives a
// test program one QApplication, created before the first test and gone after the last.
#pragma once

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include "tests/support/WaitUntil.h"

#include <functional>
#include <utility>

// Runs posted events once, so that posted messages are handled.
inline void FlushEvents()
{
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

// Runs Step from the event loop, nested modal loops included, as soon as Ready() holds.
inline void When(std::function<bool()> Ready, std::function<void()> Step)
{
  auto* Poll = new QTimer;
  Poll->setInterval(5);
  QObject::connect(Poll, &QTimer::timeout, [Poll, Ready = std::move(Ready), Step = std::move(Step)] {
    if (!Ready()) return;
    Poll->stop();
    Poll->deleteLater();
    Step();
  });
  Poll->start();
}
