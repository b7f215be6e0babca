// SPDX-License-Identifier: MIT
// Reduces pasted text (a URL, an e-mail address, a mail header line, a host with a path)
// to the bare host name or dotted address that a WHOIS query needs. No state, any thread.
#pragma once

#include <string>
#include <string_view>

// Never fails. Linear in the length of Text, so megabytes of clipboard text are fine.
std::string CleanAddress(std::string_view Text);
