// SPDX-License-Identifier: MIT
// Which regional registry's WHOIS service answers for an address: by continent first, then
// fixed lists of country codes that move single countries to RIPE or LACNIC.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "geo/LibOstrand.h"

// "ARIN", "RIPE", "APNIC" or "LACNIC". A country byte without a row (NoCountry, or 245..254
// from a range file) leaves the continent's choice standing.
std::string ChooseRegistry(ContinentCode Continent, CountryIndex Country);

// One registry: its name, the continents it answers for (bit C for ContinentCode C), and the
// countries it answers for whatever their continent, each code preceded by one blank and the
// last followed by one, so that a search for a code finds whole codes only (empty for none).
struct TRegistryRow {
  std::string_view Name;
  std::uint8_t Continents;
  std::string_view Countries;
};
static_assert(ContinentCount <= 8, "a registry's continents are the bits of one byte");

// Made at build time from whois/data/registries.txt, in its order, whose head gives the
// rules: every continent code below ContinentCount stands in one row, a code above goes to
// the first row, and a later row's countries win over an earlier row's.
extern const std::span<const TRegistryRow> RegistryRows;

// Indexed by ContinentCode; entry 0, "Global", stands for no known country.
extern const TTableColumn<TContinentRow, std::string_view, ContinentCount> ContinentAdjectives;

// The countries of RIPE's and LACNIC's rows, codes that those registries serve although
// their continent points elsewhere.
extern const std::string_view RipeCountryList;
extern const std::string_view LacnicCountryList;
