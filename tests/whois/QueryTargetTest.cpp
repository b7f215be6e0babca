// SPDX-License-Identifier: MIT
// AS numbers and CIDR prefixes as the terminal command reads them.
#include "whois/QueryTarget.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(QueryTargetTest, AsNumbers)
{
  const struct {
    const char* Text;
    const char* Canonical;  // empty: not an AS number
  } Rows[] = {
      {"AS15169", "AS15169"},
      {"as15169", "AS15169"},
      {"aS15169", "AS15169"},
      {"AS 15169", "AS15169"},
      {" \tAS3333\n", "AS3333"},
      {"AS1", "AS1"},
      {"AS4294967295", "AS4294967295"},
      {"AS1.10", "AS65546"},
      {"AS0.10", "AS10"},
      {"AS65535.65535", "AS4294967295"},
      {"AS0", ""},
      {"AS0.0", ""},
      {"AS4294967296", ""},
      {"AS99999999999", ""},
      {"AS015169", ""},
      {"AS", ""},
      {"AS ", ""},
      {"AS  15169", ""},
      {"AS-1", ""},
      {"AS+1", ""},
      {"AS15169x", ""},
      {"ASN15169", ""},
      {"15169", ""},
      {"AS1.65536", ""},
      {"AS65536.0", ""},
      {"AS1.", ""},
      {"AS.1", ""},
      {"AS1.2.3", ""},
      {"AS1.01", ""},
      {"", ""},
  };
  for (const auto& R : Rows) {
    const auto As = ParseAsNumber(R.Text);
    EXPECT_EQ(As ? As->Text : "", R.Canonical) << R.Text;
  }
  EXPECT_EQ(ParseAsNumber("AS1.10")->Number, 65546u);
}

TEST(QueryTargetTest, Prefixes)
{
  const struct {
    const char* Text;
    const char* Canonical;  // empty: not a prefix
    const char* Address = "";
    bool HostBits = false;
  } Rows[] = {
      {"193.0.0.0/21", "193.0.0.0/21", "193.0.0.0", false},
      {"193.0.6.139/21", "193.0.0.0/21", "193.0.0.0", true},
      {" 10.1.2.3/8 ", "10.0.0.0/8", "10.0.0.0", true},
      {"192.0.2.1/32", "192.0.2.1/32", "192.0.2.1", false},
      {"192.0.2.1/0", "0.0.0.0/0", "0.0.0.0", true},
      {"2001:67c:2e8::/48", "2001:67c:2e8::/48", "2001:67c:2e8::", false},
      {"2001:067C:02E8:0022::c100:68b/48", "2001:67c:2e8::/48", "2001:67c:2e8::", true},
      {"2001:db8::1/128", "2001:db8::1/128", "2001:db8::1", false},
      {"2001:db8:ffff::/31", "2001:db8::/31", "2001:db8::", true},
      {"::/0", "::/0", "::", false},
      {"::ffff:193.0.6.139/117", "193.0.0.0/21", "193.0.0.0", true},
      {"::ffff:0:0/96", "0.0.0.0/0", "0.0.0.0", false},
      {"::ffff:0:0/95", "::fffe:0:0/95", "::fffe:0:0", true},
      {"193.0.0.0/33", ""},
      {"2001:db8::/129", ""},
      {"193.0.0.0/021", ""},
      {"193.0.0.0/", ""},
      {"193.0.0.0", ""},
      {"/21", ""},
      {"193.0.0/21", ""},
      {"193.0.0.0.0/21", ""},
      {"193.000.0.0/21", ""},
      {"193.0.0.0/21/8", ""},
      {"193.0.0.0/2x", ""},
      {"193.0.0.0/-1", ""},
      {"193.0.0.0 /21", ""},
      {"[2001:db8::]/32", ""},
      {"fe80::%eth0/64", ""},
      {"example.com/24", ""},
      {"256.0.0.0/8", ""},
      {"2001:db8::/4294967328", ""},
      {"", ""},
  };
  for (const auto& R : Rows) {
    const auto Prefix = ParseQueryPrefix(R.Text);
    EXPECT_EQ(Prefix ? Prefix->Text : "", R.Canonical) << R.Text;
    if (!Prefix || !*R.Canonical) continue;
    EXPECT_EQ(Prefix->Address, R.Address) << R.Text;
    EXPECT_EQ(Prefix->HostBitsSet, R.HostBits) << R.Text;
    EXPECT_EQ(Prefix->Ipv6, Prefix->Address.find(':') != std::string::npos) << R.Text;
  }
  const auto Ripe = ParseQueryPrefix("193.0.6.139/21");
  EXPECT_EQ(Ripe->Ipv4, 193u << 24);
  EXPECT_EQ(Ripe->Length, 21u);
  EXPECT_FALSE(ParseStrictIpv4("1.2.3.4 ").has_value());
  EXPECT_EQ(ParseStrictIpv4("255.255.255.255"), 0xFFFFFFFFu);
}

}  // namespace
