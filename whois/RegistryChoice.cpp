// SPDX-License-Identifier: MIT
#include "whois/RegistryChoice.h"

namespace {

std::string_view CountriesOf(std::string_view Registry)
{
  for (const TRegistryRow& R : RegistryRows)
    if (R.Name == Registry) return R.Countries;
  return {};
}

}  // namespace

constinit const TTableColumn<TContinentRow, std::string_view, ContinentCount> ContinentAdjectives{
    ContinentRows, &TContinentRow::Adjective};

// Set before main from the rows, which are fixed at compile time; nothing reads the two
// while other files' globals are made.
const std::string_view RipeCountryList = CountriesOf("RIPE");
const std::string_view LacnicCountryList = CountriesOf("LACNIC");

std::string ChooseRegistry(ContinentCode Continent, CountryIndex Country)
{
  const TRegistryRow* Chosen = &RegistryRows.front();
  for (const TRegistryRow& R : RegistryRows)
    if (Continent < ContinentCount && (R.Continents >> Continent & 1) != 0) Chosen = &R;
  if (!IsKnownCountry(Country)) return std::string(Chosen->Name);
  const std::string_view Code = CountryCodes[Country];
  for (const TRegistryRow& R : RegistryRows)
    if (R.Countries.find(Code) != std::string_view::npos) Chosen = &R;
  return std::string(Chosen->Name);
}
