// SPDX-License-Identifier: MIT
// The IP location table: dotted address to number, the range file and its in-memory table,
// the randomised bisection over it, and the constant country and continent tables.
// Everything here runs on the GUI thread; RangeTable and RandSeed are unlocked process state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using CountryIndex = std::uint8_t;
constexpr CountryIndex NoCountry = 255;
using ContinentCode = std::uint8_t;
constexpr std::size_t CountryCount = 245;

// A range file may carry bytes 245..254, which have no row. The loader and the search hand
// them on unchanged; every consumer asks this before indexing the country tables.
constexpr bool IsKnownCountry(CountryIndex C) { return C < CountryCount; }

struct RangeEntry {
  std::uint32_t Start;
  CountryIndex Country;
};

// The loaded range table, in file order. Written only by LoadRangeFile and shut-down.
extern std::vector<RangeEntry> RangeTable;

// Raised by LoadRangeFile; what() is the user-facing message.
class ERangeFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Replaces RangeTable with the 5-byte records of the file (trailing 1..4 bytes ignored).
// Throws ERangeFileError "Specified cache file <name> does not exist" when no regular file of
// that name exists, or "Error loading cache <name>: <reason>" when opening or reading fails.
void LoadRangeFile(const std::string& FileName);

// Seeds the generator from the UTC time of day in milliseconds and loads "Ostrand.dat"
// from the working directory if it exists; never throws.
void LibOstrandStartup();
// Empties RangeTable.
void LibOstrandShutdown();

// The search's generator state; tests may set it.
extern std::uint32_t RandSeed;

// The IP number of an IPv4 address text; 0 for every text that is no address.
std::uint32_t IpToNumber(std::string_view Text);
// The Country byte of the last entry whose Start is not above N (the first entry's when N
// lies below all of them). NoCountry for N == 0 and for an empty table.
CountryIndex FindCountryIndex(std::uint32_t N);
// FindCountryIndex(IpToNumber(Text)).
CountryIndex IpToCountry(std::string_view Text);

extern const std::array<std::string_view, CountryCount> CountryCodes;
extern const std::array<std::string_view, CountryCount> CountryNames;
extern const std::array<ContinentCode, CountryCount> CountryContinents;
extern const std::array<std::string_view, 8> ContinentNames;
