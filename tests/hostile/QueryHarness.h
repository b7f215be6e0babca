// SPDX-License-Identifier: MIT
// Drives the real query window in-process against loopback servers: one QApplication for the
// test program, the form with its registry servers pointed at 127.0.0.1, error boxes answered
// as they show, and the measures the hostile suite checks (event-loop stalls, resident memory,
// open descriptors). The wait-until helper comes with it, from tests/support.
#pragma once

#include "tests/support/WaitUntil.h"
#include "whois/Query.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Resident set size of this process in KiB, from /proc/self/status.
long ResidentKiB();
// Number of open descriptors of this process.
int OpenDescriptors();

class TQueryHarness {
 public:
  TQueryHarness();
  ~TQueryHarness();

  TQueryForm& Form() { return *m_Form; }
  // Every registry's server becomes 127.0.0.1:Port.
  void PointAt(std::uint16_t Port);
  // Types Address into the box and clicks "Go!"; runs the loop until the query is over or
  // TimeoutMs pass. False on a time-out of the wait itself.
  bool Query(const std::string& Address, int TimeoutMs = 30000);
  std::string Pane() const { return m_Form->ResponseText(); }
  // Texts of the error boxes (and top-level errors) seen since the last Query.
  const std::vector<std::string>& Errors() const { return m_Errors; }
  // The longest stretch, in ms, during the last Query in which a 10 ms timer could not run.
  qint64 LongestStall() const { return m_LongestStall; }

 private:
  std::unique_ptr<TQueryForm> m_Form;
  std::unique_ptr<QObject> m_BoxAnswerer;
  std::vector<std::string> m_Errors;
  QTimer m_Heartbeat;
  QElapsedTimer m_SinceBeat;
  qint64 m_LongestStall = 0;
};

// Whether Text ends with Tail.
bool EndsWith(const std::string& Text, const std::string& Tail);
