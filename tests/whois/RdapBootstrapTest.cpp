// SPDX-License-Identifier: MIT
#include "whois/RdapBootstrap.h"

#include "tests/geo/TempDir.h"
#include "tests/whois/RdapBootstrapCopy.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

namespace {

std::string Service(const TRdapBootstrap& B, const char* Address)
{
  const auto S = B.ServiceFor(Address);
  return S ? S->Registry + " " + S->Base + " " + S->Prefix : "none";
}

TEST(RdapBootstrapTest, ShippedFiles)
{
  const TRdapBootstrap& B = ShippedRdapBootstrap();
  EXPECT_EQ(B.Publication4(), "2019-06-07T19:00:02Z");
  EXPECT_EQ(B.Publication6(), "2019-11-06T19:00:04Z");
  const char* const Cases[][2] = {
      {"8.8.8.8", "ARIN https://rdap.arin.net/registry/ 8.0.0.0/8"},
      {"193.0.6.139", "RIPE https://rdap.db.ripe.net/ 193.0.0.0/8"},
      {"1.1.1.1", "APNIC https://rdap.apnic.net/ 1.0.0.0/8"},
      {"200.160.2.3", "LACNIC https://rdap.lacnic.net/rdap/ 200.0.0.0/8"},
      // AFRINIC's entry lists an http:// URL as well; the https one is taken.
      {"41.58.1.1", "AFRINIC https://rdap.afrinic.net/rdap/ 41.0.0.0/8"},
      {"130.1.1.1", "ARIN https://rdap.arin.net/registry/ 130.0.0.0/8"},
      {"::ffff:193.0.6.139", "RIPE https://rdap.db.ripe.net/ 193.0.0.0/8"},
      {"2001:67c:2e8::1", "RIPE https://rdap.db.ripe.net/ 2001:600::/23"},
      {"2c0f:f000::1", "AFRINIC https://rdap.afrinic.net/rdap/ 2c00::/12"},
      {"2600::1", "ARIN https://rdap.arin.net/registry/ 2600::/12"},
      {"10.0.0.1", "none"},
      {"127.0.0.1", "none"},
      {"::1", "none"},
      {"fe80::1", "none"},
      {"AS15169", "none"},
      {"8.8.8", "none"},
  };
  for (const auto& C : Cases) EXPECT_EQ(Service(B, C[0]), C[1]) << C[0];
}

TEST(RdapBootstrapTest, LongestPrefixWins)
{
  const std::string V4 = R"({"publication": "p4", "services": [
      [["10.0.0.0/8", "192.0.2.128/25"], ["https://wide.example/rdap"]],
      [["10.1.0.0/16"], ["http://narrow.example/", "https://narrow.example/"]],
      [["10.1.2.0/24"], ["http://plain.example/"]],
      [["0.0.0.0/0"], ["https://rdap.arin.net/registry/"]]]})";
  const std::string V6 = R"({"publication": "p6", "services": [
      [["2001:db8::/32"], ["https://wide.example/"]],
      [["2001:db8:1::/48"], ["https://narrow.example/"]]]})";
  std::string Problem;
  const auto B = TRdapBootstrap::Read(V4, V6, &Problem);
  ASSERT_TRUE(B) << Problem;
  const char* const Cases[][2] = {
      {"10.0.0.1", "wide.example https://wide.example/rdap/ 10.0.0.0/8"},
      {"10.1.255.255", "narrow.example https://narrow.example/ 10.1.0.0/16"},
      {"10.2.0.0", "wide.example https://wide.example/rdap/ 10.0.0.0/8"},
      {"10.1.2.3", "  10.1.2.0/24"},  // only http: no base
      {"192.0.2.127", "ARIN https://rdap.arin.net/registry/ 0.0.0.0/0"},
      {"192.0.2.128", "wide.example https://wide.example/rdap/ 192.0.2.128/25"},
      {"2001:db8:1:ffff::1", "narrow.example https://narrow.example/ 2001:db8:1::/48"},
      {"2001:db8:2::1", "wide.example https://wide.example/ 2001:db8::/32"},
      {"2001:db9::1", "none"},
  };
  for (const auto& C : Cases) EXPECT_EQ(Service(*B, C[0]), C[1]) << C[0];
}

TEST(RdapBootstrapTest, BadFilesRefused)
{
  const std::string Good6 = R"({"services": []})";
  const char* const Cases[][2] = {
      {"not json", "ipv4.json: not a JSON object"},
      {R"({"services": 5})", "ipv4.json: no \"services\" list"},
      {R"({"services": [[["10.0.0.0/8"]]]})", "ipv4.json: a service is not a pair of lists"},
      {R"({"services": [[["10.0.0.0/33"], []]]})", "ipv4.json: bad prefix \"10.0.0.0/33\""},
      {R"({"services": [[["2001:db8::/32"], []]]})", "ipv4.json: bad prefix \"2001:db8::/32\""},
      {R"({"services": [[["10.0.0.0"], []]]})", "ipv4.json: bad prefix \"10.0.0.0\""},
      {R"({"services": [[[7], []]]})", "ipv4.json: bad prefix \"\""},
  };
  for (const auto& C : Cases) {
    std::string Problem;
    EXPECT_FALSE(TRdapBootstrap::Read(C[0], Good6, &Problem));
    EXPECT_EQ(Problem.substr(0, std::string(C[1]).size()), C[1]);
  }
}

TEST(RdapBootstrapTest, Addresses)
{
  const char* const Cases[][2] = {
      {"074.125.000.000", "74.125.0.0"},
      {"8.8.8.8", "8.8.8.8"},
      {"2001:DB8:0::1", "2001:db8::1"},
      {"256.0.0.0", ""},
      {"1.2.3", ""},
      {"1.2.3.4.", ""},
      {"0001.2.3.4", ""},
      {"1.2.3.4/8", ""},
      {"", ""},
  };
  for (const auto& C : Cases) {
    const auto A = ParseRdapAddress(C[0]);
    EXPECT_EQ(A ? RdapAddressText(*A) : "", C[1]) << C[0];
  }
  EXPECT_EQ(RdapRegistryOfHost("WHOIS.RIPE.NET.")->Name, "RIPE");
  EXPECT_EQ(RdapRegistryOfUrl("https://rdap.db.ripe.net/ip/1.2.3.4")->Name, "RIPE");
  EXPECT_EQ(RdapRegistryOfUrl("https://user@rdap.db.ripe.net/"), nullptr);
  EXPECT_EQ(RdapRegistryOfUrl("https://whois.ripe.net/"), nullptr);
  EXPECT_EQ(RdapRegistryOfUrl("https://rdap.db.ripe.net.evil.example/"), nullptr);
}

TEST(RdapBootstrapTest, InstalledCopyOnlyWhenSoundAndNoOlder)
{
  namespace fs = std::filesystem;
  const TRdapBootstrap BuiltIn = BuiltInRdapBootstrap();
  ASSERT_EQ(BuiltIn.Publication4() + " " + BuiltIn.Publication6(), "2019-06-07T19:00:02Z 2019-11-06T19:00:04Z");
  const std::string New = "2024-07-08T10:00:00Z";
  using TSpoil = std::function<void(const fs::path&)>;
  const TSpoil Nothing = [](const fs::path&) {};
  const struct {
    const char* What;
    std::string Time4, Time6;
    TSpoil Spoil;
    std::string Ignored;  // empty: the installed copy is used
  } Cases[] = {
      {"both newer", New, New, Nothing, ""},
      {"the built-in times, one written with an offset", "2019-06-07T20:00:02+01:00", "2019-11-06T19:00:04Z", Nothing,
       ""},
      // Later as text, a second earlier in UTC.
      {"older, written with an offset", "2019-06-07T21:00:01+02:00", New, Nothing,
       "<F>/ipv4.json (2019-06-07T21:00:01+02:00) is older than the built-in copy (2019-06-07T19:00:02Z)"},
      {"ipv6.json older", New, "2019-11-06T19:00:03Z", Nothing,
       "<F>/ipv6.json (2019-11-06T19:00:03Z) is older than the built-in copy (2019-11-06T19:00:04Z)"},
      {"no time zone", "2024-07-08T10:00:00", New, Nothing,
       "<F>/ipv4.json: its publication \"2024-07-08T10:00:00\" is not a time"},
      {"ipv4.json cut short", New, New, [](const fs::path& F) { fs::resize_file(F / "ipv4.json", 40); },
       "<F>/ipv4.json: not a JSON object"},
      {"ipv6.json missing", New, New, [](const fs::path& F) { fs::remove(F / "ipv6.json"); }, "no <F>/ipv6.json"},
      // Opened without blocking: no writer ever comes.
      {"ipv4.json a FIFO", New, New,
       [](const fs::path& F) {
         fs::remove(F / "ipv4.json");
         ASSERT_EQ(::mkfifo((F / "ipv4.json").c_str(), 0644), 0);
       },
       "<F>/ipv4.json is not a regular file"},
      {"ipv4.json writable by anyone", New, New,
       [](const fs::path& F) { fs::permissions(F / "ipv4.json", fs::perms::others_write, fs::perm_options::add); },
       "<F>/ipv4.json may be written by others than its owner"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    TTempDir Dir;
    const fs::path Folder = Dir.Path() / "iana-rdap";
    PutBootstrapCopy(Folder, C.Time4, C.Time6, "new.example");
    C.Spoil(Folder);
    std::string Ignored = C.Ignored;
    if (const std::size_t At = Ignored.find("<F>"); At != std::string::npos) Ignored.replace(At, 3, Folder.string());
    TRdapBootstrapSource Source;
    const TRdapBootstrap B = ChooseRdapBootstrap(Folder.string(), BuiltIn, &Source);
    EXPECT_EQ(Source.Installed, Ignored.empty());
    EXPECT_EQ(Source.Ignored.substr(0, Ignored.empty() ? std::string::npos : Ignored.size()), Ignored);
    EXPECT_EQ(Source.Publication4 + Source.BuiltIn6, B.Publication4() + BuiltIn.Publication6());
    EXPECT_EQ(Service(B, "8.8.8.8"), Ignored.empty() ? "new.example https://new.example/ 0.0.0.0/0"
                                                     : "ARIN https://rdap.arin.net/registry/ 8.0.0.0/8");
  }

  // A folder named relative to the working directory is never read, whatever it holds.
  TTempDir Dir;
  PutBootstrapCopy(Dir.Path() / "iana-rdap", New, New, "new.example");
  TWorkingDir Cwd(Dir.Path());
  TRdapBootstrapSource Source;
  EXPECT_EQ(Service(ChooseRdapBootstrap("iana-rdap", BuiltIn, &Source), "8.8.8.8"),
            "ARIN https://rdap.arin.net/registry/ 8.0.0.0/8");
  EXPECT_EQ(Source.Ignored, "the data folder \"iana-rdap\" is not an absolute path");
}

}  // namespace
