// SPDX-License-Identifier: MIT
// Runs one of the build's command-line tools as a shell would: its exit status and what it
// wrote to standard error, for the tests of the tools.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

struct TToolRun {
  int Status;  // the exit status; -1 when the tool did not exit (a signal)
  std::string Stderr;
};

// Program and each of Args go to the shell in single quotes, so none may hold one; ErrFile
// is a scratch file, removed again.
inline TToolRun RunTool(const std::string& Program, const std::vector<std::string>& Args, const std::string& ErrFile)
{
  std::string Command = "'" + Program + "'";
  for (const std::string& A : Args) Command += " '" + A + "'";
  Command += " 2>'" + ErrFile + "'";
  const int Raw = std::system(Command.c_str());
  std::ifstream In(ErrFile);
  std::stringstream Text;
  Text << In.rdbuf();
  std::filesystem::remove(ErrFile);
  return {WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1, Text.str()};
}
