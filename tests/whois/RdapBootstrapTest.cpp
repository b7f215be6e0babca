// SPDX-License-Identifier: MIT
#include "whois/RdapBootstrap.h"

#include <gtest/gtest.h>

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

}  // namespace
