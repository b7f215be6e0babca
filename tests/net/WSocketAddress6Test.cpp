// SPDX-License-Identifier: MIT
// IPv6 address text: the reading against inet_pton on near-misses of valid texts, and the
// canonical text against inet_ntop and read back.
#include "net/WSocketAddress6.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace {

TIpv6Bytes RandomAddress(std::mt19937& Gen)
{
    TIpv6Bytes B{};
    for (auto& Byte : B) // zeros often, so that runs of zero groups form
        Byte = Gen() % 3 == 0 ? 0 : static_cast<std::uint8_t>(Gen());
    if (Gen() % 4 == 0)
        std::memset(B.data(), 0, 10 + Gen() % 3);
    return B;
}

// A valid text of B in one of the shapes people write: canonical, eight plain groups, eight
// upper-case groups with leading zeros, or six groups and a dotted tail.
std::string Written(const TIpv6Bytes& B, unsigned Shape)
{
    if (Shape % 4 == 0)
        return WSocketFormatAddress6(B);
    char Text[64];
    int N = 0;
    for (int G = 0; G < (Shape % 4 == 3 ? 6 : 8); ++G)
        N += std::snprintf(Text + N, sizeof Text - static_cast<std::size_t>(N), Shape % 4 == 2 ? "%s%04X" : "%s%x",
                           G ? ":" : "", B[static_cast<std::size_t>(2 * G)] << 8 | B[static_cast<std::size_t>(2 * G + 1)]);
    if (Shape % 4 == 3)
        std::snprintf(Text + N, sizeof Text - static_cast<std::size_t>(N), ":%u.%u.%u.%u", B[12], B[13], B[14], B[15]);
    return Text;
}

// The reading agrees with inet_pton on valid texts and on their near-misses (a character
// put in, taken out or changed).
TEST(WSocketAddress6Test, ReadsWhatTheCLibraryReads)
{
    std::mt19937 Gen(7);
    const std::string Alphabet = "0123456789abcdefABCDEFg:.:%[";
    int Valid = 0;
    for (int Round = 0; Round < 300000; ++Round) {
        std::string Text = Written(RandomAddress(Gen), Gen());
        for (unsigned Edits = Gen() % 3; Edits > 0 && !Text.empty(); --Edits) {
            const std::size_t At = Gen() % Text.size();
            const char C = Alphabet[Gen() % Alphabet.size()];
            switch (Gen() % 3) {
            case 0: Text.insert(At, 1, C); break;
            case 1: Text.erase(At, 1); break;
            default: Text[At] = C; break;
            }
        }
        TIpv6Bytes Ours{};
        in6_addr Theirs{};
        const bool Parsed = WSocketParseAddress6(Text, Ours);
        ASSERT_EQ(Parsed, inet_pton(AF_INET6, Text.c_str(), &Theirs) == 1) << Text;
        if (Parsed) {
            ++Valid;
            ASSERT_EQ(0, std::memcmp(Ours.data(), &Theirs, 16)) << Text;
        }
    }
    EXPECT_GT(Valid, 100000) << "too few valid texts";
    EXPECT_LT(Valid, 250000);
}

// The canonical text reads back to the same bytes and is what inet_ntop writes, except under
// ::/96, where inet_ntop writes a dotted tail and the canonical text keeps groups.
TEST(WSocketAddress6Test, CanonicalTextReadsBackAndMatchesInetNtop)
{
    std::mt19937 Gen(11);
    for (int Round = 0; Round < 200000; ++Round) {
        const TIpv6Bytes B = RandomAddress(Gen);
        const std::string Text = WSocketFormatAddress6(B);
        TIpv6Bytes Back{};
        ASSERT_TRUE(WSocketParseAddress6(Text, Back)) << Text;
        ASSERT_EQ(Back, B) << Text;
        bool UnderCompatible = true;
        for (int I = 0; I < 12; ++I)
            UnderCompatible = UnderCompatible && B[static_cast<std::size_t>(I)] == 0;
        if (UnderCompatible)
            continue;
        char Buffer[INET6_ADDRSTRLEN];
        ASSERT_NE(inet_ntop(AF_INET6, B.data(), Buffer, sizeof Buffer), nullptr);
        ASSERT_EQ(Text, Buffer);
    }
}

} // namespace
