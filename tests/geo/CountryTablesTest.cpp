// SPDX-License-Identifier: MIT
#include "geo/LibOstrand.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

namespace {

TEST(CountryTables, RowsNamedAsExamples)
{
  struct TRow {
    std::size_t Index;
    const char* Code;
    const char* Name;
    ContinentCode Continent;
  };
  const TRow Rows[] = {
      {0, "ac", "Ascension Island", 4},
      {225, "us", "the United States", 1},
      {242, "zw", "Zimbabwe", 4},
      {243, "eu", "the European Community", 3},
      {244, "gb", "the United Kingdom", 3},
      {223, "uk", "the United Kingdom", 3},
      {224, "um", "a US Minor Outlying Island", 1},
      {229, "vc", "Saint Vincent and the Grenadines", 4},
      {216, "tr", "Turkey", 5},
      {75, "ge", "Georgia", 3},
  };
  for (const TRow& R : Rows) {
    EXPECT_EQ(CountryCodes[R.Index], R.Code) << R.Index;
    EXPECT_EQ(CountryNames[R.Index], R.Name) << R.Index;
    EXPECT_EQ(CountryContinents[R.Index], R.Continent) << R.Index;
  }
  EXPECT_EQ(ContinentNames[0], "");
  EXPECT_EQ(ContinentNames[1], "North America");
  EXPECT_EQ(ContinentNames[7], "Antarctica");
}

// The registry choice finds codes by substring search, and the range file stores row
// numbers: both rely on these shapes.
TEST(CountryTables, CodesAreUniqueLowerCasePairsSortedUpToZw)
{
  std::set<std::string_view> Seen;
  for (std::size_t I = 0; I < CountryCount; ++I) {
    const std::string_view C = CountryCodes[I];
    ASSERT_EQ(C.size(), 2u) << I;
    EXPECT_TRUE(C[0] >= 'a' && C[0] <= 'z' && C[1] >= 'a' && C[1] <= 'z') << I;
    EXPECT_TRUE(Seen.insert(C).second) << "duplicate " << C;
    if (I > 0 && I <= 242) {
      EXPECT_LT(CountryCodes[I - 1], C) << I;
    }
    EXPECT_FALSE(CountryNames[I].empty()) << I;
  }
}

TEST(CountryTables, ContinentAndArticleCounts)
{
  std::array<int, 8> PerContinent{};
  int The = 0, A = 0;
  for (std::size_t I = 0; I < CountryCount; ++I) {
    ASSERT_LT(CountryContinents[I], 8) << I;
    ++PerContinent[CountryContinents[I]];
    The += CountryNames[I].starts_with("the ");
    A += CountryNames[I].starts_with("a ");
  }
  EXPECT_EQ(PerContinent, (std::array<int, 8>{0, 37, 15, 52, 59, 53, 25, 4}));
  EXPECT_EQ(The, 42);
  EXPECT_EQ(A, 1);
}

}  // namespace
