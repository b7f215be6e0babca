// SPDX-License-Identifier: MIT
// The text rule of the program's error messages, shared by the error box of the tray
// program and the error lines of the terminal command. No state, any thread.
#pragma once

#include <string>

// Message with a full stop added when its last byte sorts after '.': "Failed" and "Why?"
// get one, "Done." and "Stop!" ('!' sorts before '.') stay as they are; empty stays empty.
std::string WithFullStop(std::string Message);
