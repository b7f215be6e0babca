// SPDX-License-Identifier: MIT
// quorvex-query's command line: the options, their checks and messages, and the usage text.
#pragma once

#include <string>
#include <vector>

struct TQueryOptions {
  int TimeoutSeconds = 90;
  bool Follow = false;
  bool Summary = false;
  bool Json = false;
  bool Rdap = false;                   // answers from the registries' RDAP services
  int PaceMs = -1;                     // --pace; below 0: each registry's default
  std::vector<std::string> Files;      // --file, in the order given
  std::vector<std::string> Arguments;  // addresses, AS numbers, prefixes, "-" for standard input

  // Whether the run answers through the answer engine: --summary, --json, --rdap, or input
  // read from standard input or a file. Otherwise each argument runs the query window's flow.
  bool Answers() const;
};

// Parses the command line (the bytes of argv as they are); returns -1 to go on, otherwise
// the exit status, after printing the usage, the version or the error.
int ParseQueryOptions(int Argc, char** Argv, TQueryOptions& Options);
