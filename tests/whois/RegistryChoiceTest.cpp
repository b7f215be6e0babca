// SPDX-License-Identifier: MIT
#include "whois/RegistryChoice.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

CountryIndex Row(std::string_view Code)
{
  for (std::size_t I = 0; I < CountryCount; ++I)
    if (CountryCodes[I] == Code) return static_cast<CountryIndex>(I);
  ADD_FAILURE() << "no row " << Code;
  return NoCountry;
}

std::string ForCode(std::string_view Code)
{
  const CountryIndex C = Row(Code);
  return ChooseRegistry(CountryContinents[C], C);
}

TEST(RegistryChoice, CountriesInAndOutOfTheLists)
{
  const std::pair<const char*, const char*> Cases[] = {
      {"tr", "RIPE"},   {"jp", "APNIC"},  {"mx", "LACNIC"}, {"ca", "ARIN"},  {"eg", "RIPE"},
      {"za", "ARIN"},   {"au", "APNIC"},  {"aq", "ARIN"},   {"ru", "RIPE"},  {"de", "RIPE"},
      {"br", "LACNIC"}, {"gs", "LACNIC"}, {"us", "ARIN"},   {"dj", "RIPE"},  {"py", "LACNIC"},
      {"an", "LACNIC"}, {"gb", "RIPE"},   {"uk", "RIPE"},   {"cy", "APNIC"}, {"vc", "ARIN"},
  };
  for (const auto& [Code, Registry] : Cases) EXPECT_EQ(ForCode(Code), Registry) << Code;
}

TEST(RegistryChoice, ContinentDecidesWhenNoCountryIsKnown)
{
  const std::pair<int, const char*> Cases[] = {
      {0, "ARIN"},  {1, "ARIN"},  {2, "LACNIC"}, {3, "RIPE"}, {4, "ARIN"},
      {5, "APNIC"}, {6, "APNIC"}, {7, "ARIN"},   {8, "ARIN"}, {255, "ARIN"},
  };
  for (const auto& [Continent, Registry] : Cases) {
    EXPECT_EQ(ChooseRegistry(static_cast<ContinentCode>(Continent), NoCountry), Registry) << Continent;
    // Bytes 245..254 from a range file have no row and must not index the code table.
    EXPECT_EQ(ChooseRegistry(static_cast<ContinentCode>(Continent), 245), Registry) << Continent;
    EXPECT_EQ(ChooseRegistry(static_cast<ContinentCode>(Continent), 254), Registry) << Continent;
  }
}

// The moves between registries as the lists describe them: 18 Asian and 35 African
// countries to RIPE, 11 North American ones to LACNIC.
TEST(RegistryChoice, CountsOverTheWholeCountryTable)
{
  std::map<std::string, int> Count;
  for (std::size_t I = 0; I < CountryCount; ++I)
    ++Count[ChooseRegistry(CountryContinents[I], static_cast<CountryIndex>(I))];
  EXPECT_EQ(Count["RIPE"], 52 + 18 + 35);
  EXPECT_EQ(Count["LACNIC"], 15 + 11);
  EXPECT_EQ(Count["APNIC"], 53 - 18 + 25);
  EXPECT_EQ(Count["ARIN"], 37 - 11 + 59 - 35 + 4);
}

TEST(RegistryChoice, ListTextsAndAdjectives)
{
  EXPECT_EQ(RipeCountryList.size(), 169u);
  EXPECT_EQ(LacnicCountryList.size(), 49u);
  EXPECT_EQ(RipeCountryList.substr(0, 4), " ru ");
  EXPECT_EQ(RipeCountryList.substr(165), " dj ");
  EXPECT_EQ(LacnicCountryList.substr(45), " py ");
  EXPECT_EQ(ContinentAdjectives[0], "Global");
  EXPECT_EQ(ContinentAdjectives[1], "North American");
  EXPECT_EQ(ContinentAdjectives[7], "Antarctican");
}

}  // namespace
