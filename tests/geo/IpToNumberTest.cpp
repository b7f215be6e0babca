// SPDX-License-Identifier: MIT
#include "geo/LibOstrand.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TCase {
  const char* Text;
  std::uint32_t Expected;
};

class IpToNumberTest : public testing::TestWithParam<TCase> {};

TEST_P(IpToNumberTest, Converts)
{
  EXPECT_EQ(IpToNumber(GetParam().Text), GetParam().Expected) << '"' << GetParam().Text << '"';
}

INSTANTIATE_TEST_SUITE_P(Shapes, IpToNumberTest,
                         testing::Values(TCase{"1.2.3.4", 0x01020304}, TCase{"[192.168.0.1]", 0xC0A80001},
                                         TCase{"192.168.0.1.", 0xC0A80001}, TCase{"01.002.3.4", 0x01020304},
                                         TCase{"010.0.0.1", 0x0A000001},  // leading zeros keep base ten
                                         TCase{"255.255.255.255", 0xFFFFFFFF}, TCase{"0.0.0.1", 1},
                                         TCase{"10.0.0.256", 0x0A000000},  // octets keep their low 8 bits
                                         TCase{"10.0.0.300", 0x0A00002C},
                                         TCase{"2147483647.0.0.1", 0xFF000001},  // the largest part still converts
                                         TCase{"16909060", 0x01020304}, TCase{"2147483647", 0x7FFFFFFF},
                                         TCase{"0002147483647", 0x7FFFFFFF}, TCase{"[16909060]", 0x01020304}));

INSTANTIATE_TEST_SUITE_P(NoAddress, IpToNumberTest,
                         testing::Values(TCase{"0.0.0.0", 0}, TCase{"999999999999.1.1.1", 0},
                                         TCase{"2147483648.0.0.1", 0}, TCase{"2147483648", 0}, TCase{"3232235521", 0},
                                         TCase{"99999999999999999999999", 0},  // would wrap a careless accumulator
                                         TCase{"4294967297", 0},               // 2^32 + 1: wraps to 1 if unchecked
                                         TCase{"1.2.3", 0}, TCase{"1.2.3.4.5", 0}, TCase{"1.2.3.", 0},
                                         TCase{"1..3.4", 0}, TCase{".1.2.3", 0}, TCase{"1.2.3.4..", 0},
                                         TCase{"1.2.3..", 0}, TCase{".", 0}, TCase{"5.", 0}, TCase{" 1.2.3.4", 0},
                                         TCase{"1.2.3.4 ", 0}, TCase{"-1.2.3.4", 0}, TCase{"+1.2.3.4", 0},
                                         TCase{"1.2.3.x", 0}, TCase{"[1.2.3.4", 0}, TCase{"1.2.3.4]", 0},
                                         TCase{"[[1.2.3.4]]", 0},  // only one pair of brackets goes
                                         TCase{"::1", 0}, TCase{"", 0}, TCase{"[]", 0}, TCase{"[", 0}, TCase{"]", 0}));

TEST(IpToNumber, ControlAndHighBytesAreNoAddress)
{
  EXPECT_EQ(IpToNumber(std::string("1.2.3.4\0", 8)), 0u);
  EXPECT_EQ(IpToNumber(std::string("1.2\0.3.4", 8)), 0u);
  EXPECT_EQ(IpToNumber("1.2.3.\xB4"), 0u);
  EXPECT_EQ(IpToNumber("1.2.3.4\r\n"), 0u);
}

TEST(IpToNumber, EveryOctetLandsInItsByte)
{
  for (int I = 0; I < 256; I += 17) {
    const std::string S = std::to_string(I);
    EXPECT_EQ(IpToNumber(S + ".0.0.0"), static_cast<std::uint32_t>(I) << 24);
    EXPECT_EQ(IpToNumber("0." + S + ".0.0"), static_cast<std::uint32_t>(I) << 16);
    EXPECT_EQ(IpToNumber("0.0." + S + ".0"), static_cast<std::uint32_t>(I) << 8);
    EXPECT_EQ(IpToNumber("0.0.0." + S), static_cast<std::uint32_t>(I));
  }
}

}  // namespace
