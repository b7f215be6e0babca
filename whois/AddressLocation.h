// SPDX-License-Identifier: MIT
// Where an address is and which registry answers for it, with the two pane lines that say
// so: "ADDRESS is based in COUNTRY" and "Address is CONTINENT, querying REGISTRY..". Shared
// by the query flow and the answer engine. GUI thread (it searches the range files).
#pragma once

#include <string>
#include <string_view>

#include "geo/LibOstrand.h"

struct TAddressLocation {
  CountryIndex Country = NoCountry;  // a row of the country tables, or NoCountry
  ContinentCode Continent = 0;       // 0: "Global"
  std::string Registry;              // "ARIN", "RIPE", "APNIC" or "LACNIC"
  std::string CountryName;           // empty without a country
  std::string LocationLine;          // "... is based in ...", empty without a country
  std::string RegistryLine;          // "Address is ..., querying ..."
};

// Address is a dotted address or the canonical text of an IPv6 one; Shown is the text the
// location line names (the address itself, or a prefix that starts there). Located only
// while the range file that start-up chose is there.
TAddressLocation LocateAddress(const std::string& Address, std::string_view Shown);
