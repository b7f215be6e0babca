// SPDX-License-Identifier: MIT
// The program's top-level error box: what a user sees when an exception escapes a handler.
// GUI thread only.
#pragma once

#include <functional>
#include <string>

// Message with a full stop added when its last byte sorts after '.': "Failed" and "Why?"
// get one, "Done." and "Stop!" ('!' sorts before '.') stay as they are; empty stays empty.
std::string WithFullStop(std::string Message);

// Shows WithFullStop(Message) in a modal box: critical icon, OK, the application's display
// name as caption. Never throws.
void ShowApplicationError(const std::string& Message);

// When set, ShowApplicationError hands the (full-stopped) message here instead of showing a
// box; tests use it so that no modal loop blocks them.
extern std::function<void(const std::string&)> ApplicationErrorSink;
