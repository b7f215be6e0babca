// SPDX-License-Identifier: MIT
// Which regional registry's WHOIS service answers for an address: by continent first, then
// two fixed lists of country codes that move single countries to RIPE or LACNIC.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "geo/LibOstrand.h"

// "ARIN", "RIPE", "APNIC" or "LACNIC". A country byte without a row (NoCountry, or 245..254
// from a range file) leaves the continent's choice standing.
std::string ChooseRegistry(ContinentCode Continent, CountryIndex Country);

// Indexed by ContinentCode; entry 0, "Global", stands for no known country.
extern const std::array<std::string_view, 8> ContinentAdjectives;

// Codes that RIPE or LACNIC serve although their continent points elsewhere: each code is
// preceded by one blank and the last is followed by one, so a search finds whole codes only.
extern const std::string_view RipeCountryList;
extern const std::string_view LacnicCountryList;
