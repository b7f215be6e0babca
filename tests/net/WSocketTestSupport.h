// SPDX-License-Identifier: MIT
// Shared pieces of the TWSocket suites: an event recorder. The scripted loopback server
// (tests/support/WhoisServer.h, with SessionOptions and SessionIo for byte-level scripts)
// and the wait-until helper come from tests/support.
#pragma once

#include <string>
#include <vector>

#include "net/WSocket.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/WhoisServer.h"

// Records the socket's events as short texts, in order.
struct TEventLog {
  std::vector<std::string> Events;
  void Attach(TCustomWSocket& S);
  std::string Joined() const;
  bool Has(const std::string& E) const;
};
