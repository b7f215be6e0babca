// SPDX-License-Identifier: MIT
#include "whois/RdapBootstrap.h"

#include "tests/geo/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>

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
      {"074.125.000.000", "74.125.0.0"}, {"8.8.8.8", "8.8.8.8"}, {"2001:DB8:0::1", "2001:db8::1"},
      {"256.0.0.0", ""}, {"1.2.3", ""}, {"1.2.3.4.", ""}, {"0001.2.3.4", ""}, {"1.2.3.4/8", ""}, {"", ""},
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

// A bootstrap file of one family, published at Publication, with one service for 8.0.0.0/8
// or 2000::/3.
std::string BootstrapFile(bool V6, const std::string& Publication, const std::string& Host)
{
  return R"({"publication": ")" + Publication + R"(", "services": [[[")" + (V6 ? "2000::/3" : "8.0.0.0/8") +
         R"("], ["https://)" + Host + R"(/"]]]})";
}

TEST(RdapBootstrapTest, InstalledCopyOnlyWhenSoundAndNoOlder)
{
  namespace fs = std::filesystem;
  const TRdapBootstrap BuiltIn = BuiltInRdapBootstrap();
  const std::string Old4 = BuiltIn.Publication4(), Old6 = BuiltIn.Publication6();
  ASSERT_EQ(Old4, "2019-06-07T19:00:02Z");
  const std::string New4 = BootstrapFile(false, "2024-07-08T10:00:00Z", "new4.example");
  const std::string New6 = BootstrapFile(true, "2024-07-08T10:00:00Z", "new6.example");
  using TPut = std::function<void(const fs::path&)>;
  auto Files = [](std::string V4, std::string V6) -> TPut {
    return [V4, V6](const fs::path& F) {
      // As installed, whatever the umask.
      fs::create_directory(F);
      fs::permissions(F, fs::perms(0755));
      for (const auto& [Name, Text] : {std::pair{"ipv4.json", V4}, std::pair{"ipv6.json", V6}}) {
        std::ofstream(F / Name) << Text;
        fs::permissions(F / Name, fs::perms(0644));
      }
    };
  };
  auto Then = [](TPut First, std::function<void(const fs::path&)> Change) -> TPut {
    return [First, Change](const fs::path& F) { First(F); Change(F); };
  };
  struct TCase {
    const char* What;
    TPut Put;
    std::string Ignored;  // empty: the installed copy is taken
  };
  const TCase Cases[] = {
      {"both newer", Files(New4, New6), ""},
      {"the built-in copy's own times", Files(BootstrapFile(false, Old4, "new4.example"), BootstrapFile(true, Old6, "new6.example")), ""},
      {"the same time written with an offset", Files(BootstrapFile(false, "2019-06-07T20:00:02+01:00", "new4.example"), New6), ""},
      {"fractional seconds", Files(BootstrapFile(false, "2024-07-08T10:00:00.250Z", "new4.example"), New6), ""},
      {"symbolic links to sound files", Then(Files(New4, New6), [](const fs::path& F) {
         fs::rename(F / "ipv4.json", F.parent_path() / "real4.json");
         fs::create_symlink("../real4.json", F / "ipv4.json");
       }), ""},
      // Later as text, a second earlier in UTC.
      {"older, written with an offset", Files(BootstrapFile(false, "2019-06-07T21:00:01+02:00", "new4.example"), New6),
       "<F>/ipv4.json (2019-06-07T21:00:01+02:00) is older than the built-in copy (2019-06-07T19:00:02Z)"},
      {"ipv6.json older", Files(New4, BootstrapFile(true, "2019-11-06T19:00:03Z", "new6.example")),
       "<F>/ipv6.json (2019-11-06T19:00:03Z) is older than the built-in copy (2019-11-06T19:00:04Z)"},
      {"no time zone", Files(BootstrapFile(false, "2024-07-08T10:00:00", "new4.example"), New6),
       "<F>/ipv4.json: its publication \"2024-07-08T10:00:00\" is not a time"},
      {"a date alone", Files(New4, BootstrapFile(true, "2024-07-08", "new6.example")),
       "<F>/ipv6.json: its publication \"2024-07-08\" is not a time"},
      {"no publication", Files(R"({"services": []})", New6), "<F>/ipv4.json: its publication \"\" is not a time"},
      {"ipv4.json not JSON", Files("{\"publication\": \"2024-07-08T10:00:00Z\", \"serv", New6), "<F>/ipv4.json: not a JSON object"},
      {"a bad prefix in ipv6.json", Files(New4, R"({"publication": "2024-07-08T10:00:00Z", "services": [[["8.0.0.0/8"], []]]})"),
       "<F>/ipv6.json: bad prefix \"8.0.0.0/8\""},
      {"ipv6.json missing", Then(Files(New4, New6), [](const fs::path& F) { fs::remove(F / "ipv6.json"); }),
       "no <F>/ipv6.json"},
      {"no folder", [](const fs::path&) {}, "no <F>"},
      {"the folder a file", [&](const fs::path& F) { std::ofstream(F) << New4; }, "<F> is not a folder"},
      {"ipv4.json a folder", Then(Files(New4, New6), [](const fs::path& F) {
         fs::remove(F / "ipv4.json");
         fs::create_directory(F / "ipv4.json");
       }), "<F>/ipv4.json is not a regular file"},
      // Opened without blocking: no writer ever comes.
      {"ipv4.json a FIFO", Then(Files(New4, New6), [](const fs::path& F) {
         fs::remove(F / "ipv4.json");
         ASSERT_EQ(::mkfifo((F / "ipv4.json").c_str(), 0644), 0);
       }), "<F>/ipv4.json is not a regular file"},
      {"ipv6.json past 1 MiB", Files(New4, New6 + std::string(1 << 20, ' ')), "<F>/ipv6.json is larger than 1 MiB"},
      {"ipv4.json writable by anyone", Then(Files(New4, New6), [](const fs::path& F) {
         fs::permissions(F / "ipv4.json", fs::perms::others_write, fs::perm_options::add);
       }), "<F>/ipv4.json may be written by others than its owner"},
      {"the folder writable by its group", Then(Files(New4, New6), [](const fs::path& F) {
         fs::permissions(F, fs::perms::group_write, fs::perm_options::add);
       }), "<F> may be written by others than its owner"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    TTempDir Dir;
    const fs::path Folder = Dir.Path() / "iana-rdap";
    C.Put(Folder);
    std::string Ignored = C.Ignored;
    for (std::size_t At; (At = Ignored.find("<F>")) != std::string::npos;) Ignored.replace(At, 3, Folder.string());
    TRdapBootstrapSource Source;
    Source.Ignored = "left from before";
    const TRdapBootstrap B = ChooseRdapBootstrap(Folder.string(), BuiltIn, &Source);
    EXPECT_EQ(Source.Folder, Folder.string());
    EXPECT_EQ(Source.BuiltIn4, Old4);
    EXPECT_EQ(Source.BuiltIn6, Old6);
    EXPECT_EQ(Source.Publication4, B.Publication4());
    EXPECT_EQ(Source.Publication6, B.Publication6());
    if (Ignored.empty()) {
      EXPECT_TRUE(Source.Installed);
      EXPECT_EQ(Source.Ignored, "");
      EXPECT_EQ(Service(B, "8.8.8.8"), "new4.example https://new4.example/ 8.0.0.0/8");
      EXPECT_EQ(Service(B, "2600::1"), "new6.example https://new6.example/ 2000::/3");
      EXPECT_EQ(Service(B, "193.0.6.139"), "none");
    } else {
      EXPECT_FALSE(Source.Installed);
      EXPECT_EQ(Source.Ignored.substr(0, Ignored.size()), Ignored);
      EXPECT_EQ(Source.Publication4, Old4);
      EXPECT_EQ(Service(B, "8.8.8.8"), "ARIN https://rdap.arin.net/registry/ 8.0.0.0/8");
      EXPECT_EQ(Service(B, "193.0.6.139"), "RIPE https://rdap.db.ripe.net/ 193.0.0.0/8");
    }
  }

  // A folder named relative to the working directory is never read, whatever it holds.
  TTempDir Dir;
  Files(New4, New6)(Dir.Path() / "iana-rdap");
  TWorkingDir Cwd(Dir.Path());
  TRdapBootstrapSource Source;
  const TRdapBootstrap B = ChooseRdapBootstrap("iana-rdap", BuiltIn, &Source);
  EXPECT_FALSE(Source.Installed);
  EXPECT_EQ(Source.Ignored, "the data folder \"iana-rdap\" is not an absolute path");
  EXPECT_EQ(Service(B, "8.8.8.8"), "ARIN https://rdap.arin.net/registry/ 8.0.0.0/8");
  ChooseRdapBootstrap("", BuiltIn, &Source);
  EXPECT_EQ(Source.Ignored, "the data folder \"\" is not an absolute path");
}

}  // namespace
