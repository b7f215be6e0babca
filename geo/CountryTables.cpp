// SPDX-License-Identifier: MIT
// The columns of the country and continent tables. The rows themselves are generated from
// geo/data/countries.txt and geo/data/continents.txt.
#include "geo/LibOstrand.h"

constinit const TTableColumn<TCountryRow, std::string_view, CountryCount> CountryCodes{CountryRows, &TCountryRow::Code};
constinit const TTableColumn<TCountryRow, std::string_view, CountryCount> CountryNames{CountryRows, &TCountryRow::Name};
constinit const TTableColumn<TCountryRow, ContinentCode, CountryCount> CountryContinents{CountryRows,
                                                                                         &TCountryRow::Continent};
constinit const TTableColumn<TContinentRow, std::string_view, ContinentCount> ContinentNames{ContinentRows,
                                                                                             &TContinentRow::Name};
