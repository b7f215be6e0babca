// SPDX-License-Identifier: MIT
// What quorvex-query prints for each answer: the pane's text for a terminal or a pipe, a few
// aligned lines (--summary), or one JSON object on one line (--json). The JSON is valid
// whatever bytes a reply held: text is read as UTF-8 where valid and Latin-1 elsewhere, and
// every control character comes out escaped. No state.
#pragma once

#include <string>

#include "whois/AnswerRun.h"

// The pane's text (CR LF line ends) as printed: CR LF becomes the line end; on a terminal,
// control characters other than tab and line ends become '?', so a hostile reply cannot drive
// it; into a pipe the bytes go unchanged. Ends in an empty line.
std::string ForOutput(const std::string& Pane, bool Terminal);

// One line of compact JSON without its line end. The fields are documented in the README.
std::string AnswerJson(const TAnswerOutcome& Outcome);

// The --summary lines of one answer, each ending in a line end, then an empty line. Control
// characters of the registry's text become '?'.
std::string AnswerSummary(const TAnswerOutcome& Outcome);
