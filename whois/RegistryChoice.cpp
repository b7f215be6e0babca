// SPDX-License-Identifier: MIT
#include "whois/RegistryChoice.h"

const std::array<std::string_view, 8> ContinentAdjectives = {{
    "Global", "North American", "South American", "European", "African", "Asian", "Oceanic",
    "Antarctican",
}};

// "gz" is no code of the country table and never matches; it stays as the list was issued.
const std::string_view RipeCountryList =
    " ru ge tr kz kg tj uz tm az am ir iq jo il gz sa om ye ae qa bh eh ma mr sn cv gm gw sl lr gq"
    " st bj tg gh gn ci bf ml dz tn ly eg ne ng cm ga cf td sd ug ke so et er dj ";
const std::string_view LacnicCountryList = " mx hn gs ht cu aw do ec pa tt sr sv gt gy an py ";

std::string ChooseRegistry(ContinentCode Continent, CountryIndex Country) {
  std::string Registry;
  switch (Continent) {
    case 2: Registry = "LACNIC"; break;
    case 3: Registry = "RIPE"; break;
    case 5:
    case 6: Registry = "APNIC"; break;
    default: Registry = "ARIN"; break;
  }
  if (!IsKnownCountry(Country)) return Registry;
  const std::string_view Code = CountryCodes[Country];
  if (RipeCountryList.find(Code) != std::string_view::npos) Registry = "RIPE";
  if (LacnicCountryList.find(Code) != std::string_view::npos) Registry = "LACNIC";
  return Registry;
}
