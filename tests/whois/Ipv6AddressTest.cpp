// SPDX-License-Identifier: MIT
// Pasted text -> CleanAddress -> ParseIpv6Address, as the query flow sees it.
#include "whois/Ipv6Address.h"

#include <string>

#include <gtest/gtest.h>

#include "whois/AddressCleanup.h"

namespace {

TEST(Ipv6AddressTest, PastedFormsGiveTheCanonicalAddress)
{
  struct TCase {
    const char* Pasted;
    const char* Canonical;
    const char* Mapped = "";
  };
  const TCase Cases[] = {
      {"2001:DB8::1", "2001:db8::1"},
      {"http://[2001:db8::1]:8080/x", "2001:db8::1"},
      {"user@[IPv6:2001:db8::1]", "2001:db8::1"},
      {"<postmaster@[ipv6:2001:DB8::25]>", "2001:db8::25"},
      {"[2001:db8::1]:65535", "2001:db8::1"},
      {"fe80::1%eth0", "fe80::1"},
      {"http://[fe80::1%25eth0]:80/", "fe80::1"},
      {"2001:0db8:0000:0000:0000:0000:0000:0001", "2001:db8::1"},
      {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},  // the first of two equal runs
      {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1"},        // the longer run
      {"1:2:3:4:5:6:1.2.3.4", "1:2:3:4:5:6:102:304"},
      {"::", "::"},
      {"::ffff:193.0.6.139", "::ffff:193.0.6.139", "193.0.6.139"},
      {"::FFFF:C100:068B", "::ffff:193.0.6.139", "193.0.6.139"},
      {"[IPv6:::ffff:10.0.0.1]:25", "::ffff:10.0.0.1", "10.0.0.1"},
      // A web log line and a prefix: the clean-up keeps the first word, before any "/".
      {"2001:db8::5 - - [09/Dec/2026:10:00:00 +0000] \"GET / HTTP/1.1\" 200", "2001:db8::5"},
      {"2001:db8::/32", "2001:db8::"},
  };
  for (const TCase& C : Cases) {
    const auto A = ParseIpv6Address(CleanAddress(C.Pasted));
    ASSERT_TRUE(A.has_value()) << C.Pasted;
    EXPECT_EQ(A->Text, C.Canonical) << C.Pasted;
    EXPECT_EQ(A->MappedIpv4, C.Mapped) << C.Pasted;
  }
}

TEST(Ipv6AddressTest, EverythingElseIsNoIpv6Address)
{
  const std::string Texts[] = {
      "1:2:3:4:5:6:7:8:9",
      ":::",
      "1::2::3",
      "[::1",
      "[::1]]",
      "[[::1]]",
      "::1%",
      "[::1%]",
      "fe80::1%" + std::string(kMaxIpv6Zone + 1, 'e'),
      "fe80::1%eth/0",
      "[::1]%eth0",
      "[IPv6:1.2.3.4]",
      "[junk]",
      "[]",
      "[::1]:",
      "[::1]:65536",
      "[::1]:80x",
      "IPv6:[::1]",
      "02001:db8::1",
      "::01.2.3.4",
      "192.0.2.1",
      "[192.0.2.1]",
      "example.org:8080",
      "",
      std::string(1 << 20, ':'),
      "[" + std::string(1 << 20, '1') + "]",
  };
  for (const std::string& Text : Texts) EXPECT_FALSE(ParseIpv6Address(Text).has_value()) << Text.substr(0, 60);
  EXPECT_TRUE(ParseIpv6Address("fe80::1%" + std::string(kMaxIpv6Zone, 'e')).has_value());
}

}  // namespace
