// SPDX-License-Identifier: MIT
// Starting without a display. Qt ends the process with a fatal message, an abort, when its
// platform plugin cannot start, and it finds that out inside QGuiApplication's constructor.
// A TNoDisplayGuard lives across that constructor: Qt's messages meanwhile are held back, and
// a fatal one becomes one plain line on standard error and exit status 1. With a display,
// Started() hands the held messages on to the handler installed before, so nothing changes.
// GUI thread only; one guard at a time.
#pragma once

#include <string>

class TNoDisplayGuard {
 public:
  TNoDisplayGuard();
  // Calls Started() if it has not been called.
  ~TNoDisplayGuard();
  TNoDisplayGuard(const TNoDisplayGuard&) = delete;
  TNoDisplayGuard& operator=(const TNoDisplayGuard&) = delete;

  // The application exists: the earlier handler is back and has the held messages.
  void Started();

 private:
  bool m_Active = true;
};

// "Quorvex: no display was found (...)": the line said instead of Qt's abort, naming the
// display settings of the environment.
std::string NoDisplayMessage();
