// SPDX-License-Identifier: MIT
// IPv6 address text against the C library: the canonical text is what inet_ntop writes (but
// for ::/96, where inet_ntop writes a dotted tail) and reads back, and the reading agrees with
// inet_pton on valid texts of every shape and on their near-misses.
#include "net/WSocketAddress6.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace {

TEST(WSocketAddress6Test, AgreesWithTheCLibrary)
{
  std::mt19937 Gen(7);
  const std::string Edits = "0123456789abcdefABCDEFg:.:%";
  int Valid = 0;
  for (int Round = 0; Round < 300000; ++Round) {
    TIpv6Bytes B{};
    for (auto& Byte : B)  // zeros often, so that runs of zero groups form
      Byte = Gen() % 3 == 0 ? 0 : static_cast<std::uint8_t>(Gen());
    if (Round % 4 == 0) std::memset(B.data(), 0, 10 + Gen() % 3);
    const std::string Canonical = WSocketFormatAddress6(B);
    char Ntop[INET6_ADDRSTRLEN];
    ASSERT_NE(inet_ntop(AF_INET6, B.data(), Ntop, sizeof Ntop), nullptr);
    const bool UnderCompatible = std::memcmp(B.data(), std::string(12, '\0').data(), 12) == 0;
    ASSERT_TRUE(UnderCompatible || Canonical == Ntop) << Canonical << " " << Ntop;

    // The canonical text, eight upper-case groups with leading zeros, or six groups and a
    // dotted tail; then up to two characters put in, taken out or changed.
    std::string Text = Canonical;
    if (Round % 3 != 0) {
      char Full[64];
      int N = 0;
      for (int G = 0; G < (Round % 3 == 1 ? 8 : 6); ++G)
        N += std::snprintf(Full + N, sizeof Full - static_cast<std::size_t>(N), G ? ":%04X" : "%04X",
                           B[static_cast<std::size_t>(2 * G)] << 8 | B[static_cast<std::size_t>(2 * G + 1)]);
      if (Round % 3 == 2)
        std::snprintf(Full + N, sizeof Full - static_cast<std::size_t>(N), ":%u.%u.%u.%u", B[12], B[13], B[14], B[15]);
      Text = Full;
    }
    for (unsigned Count = Gen() % 3; Count > 0; --Count) {
      const std::size_t At = Gen() % Text.size();
      const char C = Edits[Gen() % Edits.size()];
      const unsigned Kind = Gen() % 3;
      Kind == 0 ? void(Text.insert(At, 1, C)) : Kind == 1 ? void(Text.erase(At, 1)) : void(Text[At] = C);
    }
    TIpv6Bytes Ours{};
    in6_addr Theirs{};
    const bool Read = WSocketParseAddress6(Text, Ours);
    ASSERT_EQ(Read, inet_pton(AF_INET6, Text.c_str(), &Theirs) == 1) << Text;
    if (Read) {
      ++Valid;
      ASSERT_EQ(0, std::memcmp(Ours.data(), &Theirs, 16)) << Text;
    }
    ASSERT_TRUE(Text != Canonical || Ours == B) << Text;
  }
  EXPECT_GT(Valid, 100000);  // both sides of the line are reached
  EXPECT_LT(Valid, 250000);
}

TEST(WSocketAddress6Test, CompatibleFormStaysHexadecimalAndTextsWithNulAreRefused)
{
  struct TRow {
    TIpv6Bytes Bytes;
    const char* Text;
  };
  const TRow Rows[] = {
      {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}, "::102:304"},
      {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0, 0}, "::102:0"},
      {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}, "::100"},
      {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0}, "::ffff:0.0.0.0"},
      {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 3, 4}, "::1:102:304"},
  };
  for (const TRow& R : Rows) EXPECT_EQ(WSocketFormatAddress6(R.Bytes), R.Text);

  TIpv6Bytes Kept{};
  Kept[0] = 0xAB;
  EXPECT_FALSE(WSocketParseAddress6(std::string_view("::1\0", 4), Kept));
  EXPECT_FALSE(WSocketParseAddress6(std::string(46, '0'), Kept));
  EXPECT_EQ(Kept[0], 0xAB);
}

TEST(WSocketAddress6Test, DottedReadingRefusesLeadingZerosAndPadding)
{
  struct TRow {
    std::string_view Text;
    bool Read;
    std::uint32_t Value;
  };
  using namespace std::string_view_literals;
  const TRow Rows[] = {
      {"1.2.3.4"sv, true, 0x01020304},
      {"0.0.0.0"sv, true, 0},
      {"255.255.255.255"sv, true, 0xFFFFFFFF},
      {"01.2.3.4"sv, false, 0},
      {"1.2.3.00"sv, false, 0},
      {"256.1.1.1"sv, false, 0},
      {"1.2.3"sv, false, 0},
      {"1.2.3.4."sv, false, 0},
      {" 1.2.3.4"sv, false, 0},
      {"1.2.3.4\0"sv, false, 0},
      {"1.2.3.4\0"
       "5"sv,
       false, 0},
      {""sv, false, 0},
  };
  for (const TRow& R : Rows) {
    std::uint32_t Value = 7;
    EXPECT_EQ(WSocketParseAddress4(R.Text, Value), R.Read) << R.Text;
    EXPECT_EQ(Value, R.Read ? R.Value : 7u) << R.Text;
  }
}

}  // namespace
