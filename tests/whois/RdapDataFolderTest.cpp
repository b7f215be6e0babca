// SPDX-License-Identifier: MIT
// The bootstrap in use comes from the installed data folder's iana-rdap/ or is the built-in
// one, never from the working directory. This binary is built with a data folder of its own
// (QUORVEX_DATA_DIR, a scratch install prefix in the build tree), which the test fills and
// empties; as the choice is made once in a process, each case makes it in a child of its own.
#include "geo/LibOstrand.h"
#include "whois/RdapBootstrap.h"

#include "tests/geo/TempDir.h"
#include "tests/whois/RdapBootstrapCopy.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// In the child: which copy, from where, and the services of an IPv4 and an IPv6 address;
// exits 0 when that is Want, else says what it got.
[[noreturn]] void ExpectInUse(const std::string& Want)
{
  const TRdapBootstrapSource& S = RdapBootstrapSource();
  const auto V4 = ShippedRdapBootstrap().ServiceFor("8.8.8.8"), V6 = ShippedRdapBootstrap().ServiceFor("2600::1");
  const std::string Got = std::string(S.Installed ? "installed " : "built-in ") + S.Folder + " " +
                          (V4 ? V4->Base : "-") + " " + (V6 ? V6->Base : "-") + " " + S.Publication4;
  if (Got == Want) std::exit(0);
  std::fprintf(stderr, "got  %s\nwant %s\nignored: %s\n", Got.c_str(), Want.c_str(), S.Ignored.c_str());
  std::exit(1);
}

TEST(RdapDataFolder, InstalledCopyWhenNoOlderNeverTheWorkingDirectory)
{
  GTEST_FLAG_SET(death_test_style, "fast");
  const std::string Folder = std::string(RangeDataFolder) + "/iana-rdap";
  // The test empties the folder: never one outside the build tree's scratch prefix.
  ASSERT_NE(Folder.find("/scratch-prefix/"), std::string::npos) << Folder;
  fs::remove_all(RangeDataFolder);
  TTempDir Dir;
  TWorkingDir Cwd(Dir.Path());
  // Copies newer still in the working directory, as the folder and as bare files.
  PutBootstrapCopy(Dir.Path() / "iana-rdap", "2030-01-01T00:00:00Z", "2030-01-01T00:00:00Z", "here.example");
  PutBootstrapCopy(Dir.Path(), "2030-01-01T00:00:00Z", "2030-01-01T00:00:00Z", "here.example");
  const std::string BuiltIn = "built-in " + Folder +
                              " https://rdap.arin.net/registry/ https://rdap.arin.net/registry/ " +
                              "2019-06-07T19:00:02Z";

  // No installed copy.
  EXPECT_EXIT(ExpectInUse(BuiltIn), testing::ExitedWithCode(0), "");
  // A newer one.
  PutBootstrapCopy(Folder, "2024-07-08T10:00:00Z", "2024-07-08T10:00:00Z", "installed.example");
  EXPECT_EXIT(ExpectInUse("installed " + Folder + " https://installed.example/ https://installed.example/ " +
                          "2024-07-08T10:00:00Z"),
              testing::ExitedWithCode(0), "");
  // An older one.
  PutBootstrapCopy(Folder, "2024-07-08T10:00:00Z", "2019-01-01T00:00:00Z", "installed.example");
  EXPECT_EXIT(ExpectInUse(BuiltIn), testing::ExitedWithCode(0), "");
  fs::remove_all(RangeDataFolder);
}

}  // namespace
