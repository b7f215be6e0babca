// SPDX-License-Identifier: MIT
#include "geo/LibOstrand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

namespace {

// Puts a table in place for one test and empties it afterwards.
class RangeSearchTest : public testing::Test {
 protected:
  void SetTable(std::vector<RangeEntry> Table)
  {
    RangeTable = std::move(Table);
    RangeTable.shrink_to_fit();  // so ASan sees a read past the last entry
  }
  void TearDown() override { RangeTable.clear(); }
};

// The reference answer: the last entry whose Start is not above N, or the first entry when
// N lies below them all.
CountryIndex Reference(const std::vector<RangeEntry>& T, std::uint32_t N)
{
  if (N == 0 || T.empty()) return NoCountry;
  auto It = std::upper_bound(T.begin(), T.end(), N, [](std::uint32_t V, const RangeEntry& E) { return V < E.Start; });
  return It == T.begin() ? T.front().Country : std::prev(It)->Country;
}

struct TLookup {
  const char* Address;
  CountryIndex Expected;
};

TEST_F(RangeSearchTest, FiveRangeTableGivesTheSameAnswersForEverySeed)
{
  SetTable({{0x00000000, 255}, {0x03000000, 225}, {0x05000000, 255}, {0x3E000000, 54}, {0xE0000000, 255}});
  const TLookup Cases[] = {
      {"1.2.3.4", 255},        {"3.0.0.0", 225},   {"4.255.255.255", 225},   {"5.0.0.0", 255}, {"62.1.2.3", 54},
      {"223.255.255.255", 54}, {"224.0.0.0", 255}, {"255.255.255.255", 255}, {"0.0.0.1", 255}, {"2.255.255.255", 255},
      {"[3.0.0.1]", 225},      {"3.0.0.1.", 225},  {"whois.arin.net", 255},  {"", 255},
  };
  for (std::uint32_t Seed : {0u, 1u, 42u, 0x7FFFFFFFu, 0xFFFFFFFFu, 86399999u}) {
    RandSeed = Seed;
    for (int Repeat = 0; Repeat < 20; ++Repeat)
      for (const TLookup& C : Cases) EXPECT_EQ(IpToCountry(C.Address), C.Expected) << C.Address << " seed " << Seed;
  }
}

TEST_F(RangeSearchTest, NumbersBelowTheFirstStartTakeTheFirstEntry)
{
  SetTable({{0x01000000, 225}, {0x02000000, 54}});
  for (std::uint32_t Seed : {0u, 7u, 0xDEADBEEFu}) {
    RandSeed = Seed;
    EXPECT_EQ(IpToCountry("0.0.0.5"), 225);
    EXPECT_EQ(IpToCountry("1.255.255.255"), 225);
    EXPECT_EQ(IpToCountry("2.0.0.1"), 54);
  }
}

TEST_F(RangeSearchTest, SingleEntryAnswersEverythingAndDrawsOnce)
{
  SetTable({{0x08000000, 72}});
  RandSeed = 1000;
  EXPECT_EQ(IpToCountry("1.1.1.1"), 72);
  EXPECT_EQ(RandSeed, 1000u * 134775813u + 1);
  EXPECT_EQ(IpToCountry("200.1.1.1"), 72);
  EXPECT_EQ(IpToCountry("8.0.0.0"), 72);
}

TEST_F(RangeSearchTest, ZeroAndEmptyTableReadNothingAndDrawNothing)
{
  SetTable({{0x00000000, 10}, {0x80000000, 225}});
  RandSeed = 99;
  EXPECT_EQ(FindCountryIndex(0), NoCountry);
  EXPECT_EQ(RandSeed, 99u);

  SetTable({});
  for (std::uint32_t N : {0u, 1u, 0x01020304u, 0xFFFFFFFFu}) EXPECT_EQ(FindCountryIndex(N), NoCountry);
  EXPECT_EQ(IpToCountry("1.2.3.4"), NoCountry);
  EXPECT_EQ(RandSeed, 99u);
}

TEST_F(RangeSearchTest, CountryBytesWithoutARowComeBackUnchanged)
{
  SetTable({{0, 255}, {0x01000000, 245}, {0x02000000, 254}, {0x03000000, 0}});
  EXPECT_EQ(FindCountryIndex(0x01000001), 245);
  EXPECT_EQ(FindCountryIndex(0x02FFFFFF), 254);
  EXPECT_EQ(FindCountryIndex(0x03000000), 0);
  EXPECT_FALSE(IsKnownCountry(245));
  EXPECT_FALSE(IsKnownCountry(254));
  EXPECT_FALSE(IsKnownCountry(NoCountry));
  EXPECT_TRUE(IsKnownCountry(244));
}

TEST_F(RangeSearchTest, EqualStartsGiveTheLastOfThem)
{
  SetTable({{0, 255}, {0x0A000000, 1}, {0x0A000000, 2}, {0x0A000000, 3}, {0x0B000000, 4}});
  for (std::uint32_t Seed = 0; Seed < 200; ++Seed) {
    RandSeed = Seed * 2654435761u;
    ASSERT_EQ(FindCountryIndex(0x0A000000), 3);
    ASSERT_EQ(FindCountryIndex(0x0AFFFFFF), 3);
    ASSERT_EQ(FindCountryIndex(0x09FFFFFF), 255);
  }
}

// Random sorted tables, duplicates of Start included, against the upper_bound reference:
// at every Start, one below and one above it, at the ends of the space and at random.
TEST_F(RangeSearchTest, AgreesWithUpperBoundOnRandomTables)
{
  std::mt19937 Rng(20240611);
  for (int Round = 0; Round < 400; ++Round) {
    const std::size_t Size = 1 + Rng() % (Round < 200 ? 8 : 600);
    // Narrow spaces force many equal Starts; wide ones spread them out.
    const std::uint32_t Span = Round % 3 == 0 ? 16 : Round % 3 == 1 ? 5000 : 0xFFFFFFFF;
    std::vector<RangeEntry> T(Size);
    for (RangeEntry& E : T) {
      E.Start = static_cast<std::uint32_t>(Rng() % (std::uint64_t{Span} + 1));
      E.Country = static_cast<CountryIndex>(Rng() % 256);
    }
    std::sort(T.begin(), T.end(), [](const RangeEntry& A, const RangeEntry& B) { return A.Start < B.Start; });
    SetTable(T);
    RandSeed = static_cast<std::uint32_t>(Rng());

    std::vector<std::uint32_t> Probes = {0, 1, 0xFFFFFFFF, 0xFFFFFFFE};
    for (const RangeEntry& E : T) {
      Probes.push_back(E.Start);
      Probes.push_back(E.Start - 1);
      Probes.push_back(E.Start + 1);
    }
    for (int I = 0; I < 50; ++I) Probes.push_back(static_cast<std::uint32_t>(Rng() % (std::uint64_t{Span} + 2)));
    for (std::uint32_t N : Probes) ASSERT_EQ(FindCountryIndex(N), Reference(T, N)) << "round " << Round << " N " << N;
  }
}

TEST_F(RangeSearchTest, UnsortedTableStillEndsWithOneOfItsCountries)
{
  std::mt19937 Rng(7);
  std::vector<RangeEntry> T(300);
  std::set<CountryIndex> Countries;
  for (RangeEntry& E : T) {
    E.Start = static_cast<std::uint32_t>(Rng());
    E.Country = static_cast<CountryIndex>(Rng() % 200);
    Countries.insert(E.Country);
  }
  SetTable(T);
  for (int I = 0; I < 2000; ++I) {
    const CountryIndex C = FindCountryIndex(static_cast<std::uint32_t>(Rng()) | 1);
    ASSERT_TRUE(Countries.count(C)) << int(C);
  }
}

}  // namespace
