// SPDX-License-Identifier: MIT
// A copy of IANA's two bootstrap files for the tests of which copy is used: each file
// published at its time, with one service, https://HOST/, for its whole address space, and
// the modes the package installs them with.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

inline void PutBootstrapCopy(const std::filesystem::path& Folder, const std::string& Time4, const std::string& Time6,
                             const std::string& Host)
{
  namespace fs = std::filesystem;
  fs::create_directories(Folder);
  fs::permissions(Folder, fs::perms(0755));
  for (const bool V6 : {false, true}) {
    const fs::path File = Folder / (V6 ? "ipv6.json" : "ipv4.json");
    std::ofstream(File) << R"({"publication": ")" << (V6 ? Time6 : Time4) << R"(", "services": [[[")"
                        << (V6 ? "::/0" : "0.0.0.0/0") << R"("], ["https://)" << Host << R"(/"]]]})";
    fs::permissions(File, fs::perms(0644));
  }
}
