// SPDX-License-Identifier: MIT
// The program's top-level error box: what a user sees when an exception escapes a handler.
// GUI thread only.
#pragma once

#include <functional>
#include <string>

#include "whois/ErrorText.h"

// Shows WithFullStop(Message) in a modal box: critical icon, OK, the application's display
// name as caption. Never throws.
void ShowApplicationError(const std::string& Message);

// When set, ShowApplicationError hands the (full-stopped) message here instead of showing a
// box; tests use it so that no modal loop blocks them.
extern std::function<void(const std::string&)> ApplicationErrorSink;
