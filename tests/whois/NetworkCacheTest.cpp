// SPDX-License-Identifier: MIT
// The run's network cache: address keys of both families on one line, the most specific of
// nested and overlapping ranges, the ends of each range and of the address space.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "whois/NetworkCache.h"

namespace {

TAddressKey Key(const std::string& Text)
{
  const auto K = AddressKey(Text);
  EXPECT_TRUE(K) << Text;
  return K.value_or(0);
}

TEST(NetworkCache, AddressKeys)
{
  EXPECT_EQ(Key("0.0.0.0") + 1, Key("0.0.0.1"));
  EXPECT_EQ(Key("192.0.2.255") + 1, Key("192.0.3.0"));
  // IPv4 lies where its mapped IPv6 form does; both spellings are one key.
  EXPECT_EQ(Key("193.0.6.139"), Key("::ffff:193.0.6.139"));
  EXPECT_EQ(Key("2001:DB8::1"), Key("2001:db8:0:0:0:0:0:1"));
  for (const char* Bad : {"", "1.2.3", "1.2.3.4.5", "01.2.3.4", "256.1.1.1", "1.2.3.4 ", "example.org", "::g"})
    EXPECT_FALSE(AddressKey(Bad)) << Bad;
  EXPECT_TRUE(IsWholeSpace(Key("0.0.0.0"), Key("255.255.255.255")));
  EXPECT_TRUE(IsWholeSpace(Key("::"), Key("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff")));
  EXPECT_FALSE(IsWholeSpace(Key("0.0.0.0"), Key("127.255.255.255")));
}

struct TRange {
  const char* First;
  const char* Last;
};

// Ranges added in order (value = their place), then addresses with the value expected.
struct TCase {
  const char* Name;
  std::vector<TRange> Ranges;
  std::vector<std::pair<const char*, std::optional<std::size_t>>> Lookups;
};

TEST(NetworkCache, MostSpecificRangeWins)
{
  const TCase Cases[] = {
      {"disjoint, with the ends and the gap",
       {{"192.0.2.0", "192.0.2.255"}, {"198.51.100.0", "198.51.100.255"}},
       {{"192.0.2.0", 0},
        {"192.0.2.255", 0},
        {"192.0.1.255", std::nullopt},
        {"192.0.3.0", std::nullopt},
        {"198.51.100.0", 1},
        {"198.51.100.255", 1},
        {"198.51.101.0", std::nullopt}}},
      {"a smaller range added after a larger one",
       {{"193.0.0.0", "193.255.255.255"}, {"193.0.0.0", "193.0.7.255"}},
       {{"193.0.0.0", 1}, {"193.0.7.255", 1}, {"193.0.8.0", 0}, {"193.255.255.255", 0}}},
      {"a larger range added after a smaller one keeps out of it",
       {{"193.0.4.0", "193.0.7.255"}, {"193.0.0.0", "193.0.255.255"}},
       {{"193.0.3.255", 1}, {"193.0.4.0", 0}, {"193.0.7.255", 0}, {"193.0.8.0", 1}, {"193.1.0.0", std::nullopt}}},
      {"three levels and a sibling",
       {{"10.0.0.0", "10.255.255.255"},
        {"10.1.0.0", "10.1.255.255"},
        {"10.1.2.0", "10.1.2.255"},
        {"10.2.0.0", "10.2.255.255"}},
       {{"10.0.0.1", 0}, {"10.1.0.1", 1}, {"10.1.2.1", 2}, {"10.1.3.0", 1}, {"10.2.0.0", 3}, {"10.3.0.0", 0}}},
      {"overlapping ranges of different sizes",
       {{"20.0.0.0", "20.0.0.99"}, {"20.0.0.50", "20.0.0.79"}},
       {{"20.0.0.49", 0}, {"20.0.0.50", 1}, {"20.0.0.79", 1}, {"20.0.0.80", 0}, {"20.0.0.100", std::nullopt}}},
      {"equal ranges: the earlier stays", {{"30.0.0.0", "30.0.0.255"}, {"30.0.0.0", "30.0.0.255"}}, {{"30.0.0.7", 0}}},
      {"the top of the address space and both families",
       {{"ffff::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"}, {"0.0.0.0", "0.255.255.255"}, {"::", "::ffff"}},
       {{"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", 0},
        {"fffe::", std::nullopt},
        {"0.0.0.0", 1},
        {"::ffff:0.255.255.255", 1},
        {"::1", 2},
        {"::1:0", std::nullopt}}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TRangeMap Map;
    for (std::size_t I = 0; I < C.Ranges.size(); ++I) Map.Add(Key(C.Ranges[I].First), Key(C.Ranges[I].Last), I);
    for (const auto& [Address, Want] : C.Lookups) EXPECT_EQ(Map.Find(Key(Address)), Want) << Address;
    EXPECT_LE(Map.Pieces(), 2 * C.Ranges.size() + 1);
  }
}

}  // namespace
