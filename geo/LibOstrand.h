// SPDX-License-Identifier: MIT
// The IP location table: dotted address to number, the range files (IPv4 and IPv6) and their
// in-memory tables, where the files are looked for, the searches, and the constant country
// and continent tables. Everything here runs on the GUI thread; RangeTable, RangeTable6, the
// files open in place and RandSeed are unlocked process state.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "geo/TableColumn.h"

using CountryIndex = std::uint8_t;
constexpr CountryIndex NoCountry = 255;
using ContinentCode = std::uint8_t;
// The range file's country byte indexes a table of this many rows.
constexpr std::size_t CountryCount = 245;
// Continent codes run from 0 (no known country) to 7.
constexpr std::size_t ContinentCount = 8;

// A range file may carry bytes 245..254, which have no row. The loader and the search hand
// them on unchanged; every consumer asks this before indexing the country tables.
constexpr bool IsKnownCountry(CountryIndex C) { return C < CountryCount; }

struct RangeEntry {
  std::uint32_t Start;
  CountryIndex Country;
};

// The loaded range table, in file order. Written only by LoadRangeFile and shut-down. While
// start-up keeps Ostrand.dat open in place (TRangeAccess::InPlace), the searches read the file
// instead and this stays empty.
extern std::vector<RangeEntry> RangeTable;

// Raised by LoadRangeFile; what() is the user-facing message.
class ERangeFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Replaces RangeTable with the 5-byte records of the file (trailing 1..4 bytes ignored), and
// closes an Ostrand.dat that start-up opened in place, so that the searches read the table.
// Throws ERangeFileError "Specified cache file <name> does not exist" when no regular file of
// that name exists, or "Error loading cache <name>: <reason>" when opening or reading fails.
void LoadRangeFile(const std::string& FileName);

// How start-up makes the range files searchable.
enum class TRangeAccess {
  // Each file read whole into its table: the tray program, which answers many queries.
  Load,
  // Each file kept open and searched where it lies, a few reads per address; the tables stay
  // empty. For a command that answers a few queries and ends: the answers are the loaded
  // tables' (the same records, the same probes and draws), without the time and memory of
  // filling a table whose family may not even be asked about.
  InPlace,
};

// Seeds the generator from the UTC time of day in milliseconds, then takes "Ostrand.dat" and
// "Ostrand6.dat", each from the working directory where it exists there, else from
// RangeDataFolder where it exists there, and loads or opens each as Access says; never throws
// (a file that fails to load leaves its table as the loader left it, one that fails to open
// in place names no country, and nothing else changes).
void LibOstrandStartup(TRangeAccess Access = TRangeAccess::Load);
// Empties RangeTable and RangeTable6 and closes the files opened in place.
void LibOstrandShutdown();

// The folder the package installs the range files to (the install prefix's share/quorvex),
// fixed at build time.
extern const std::string_view RangeDataFolder;
// The range file that start-up chose: the name in the working directory, or its path in
// RangeDataFolder when only that existed. Before start-up, and when neither existed, the name
// in the working directory.
const std::string& RangeFilePath();
const std::string& RangeFile6Path();
// Whether a file (not a directory) exists at RangeFilePath() / RangeFile6Path() now: the
// query flow locates an address only while its range file is there.
bool RangeFileInUse();
bool RangeFile6InUse();
// One line for standard error when start-up found no range file at all, in neither place,
// else empty. Callers put their program's name in front.
std::string RangeFileNotice();

// The search's generator state; tests may set it.
extern std::uint32_t RandSeed;

// The IP number of an IPv4 address text; 0 for every text that is no address.
std::uint32_t IpToNumber(std::string_view Text);
// The Country byte of the last entry whose Start is not above N (the first entry's when N
// lies below all of them), in the table or in the file open in place. NoCountry for N == 0
// and for an empty table or file.
CountryIndex FindCountryIndex(std::uint32_t N);
// FindCountryIndex(IpToNumber(Text)).
CountryIndex IpToCountry(std::string_view Text);

// The IPv6 range file "Ostrand6.dat" is a flat sequence of 17-byte records with no header:
// bytes 0..15 the first address of the range in network (big-endian) order, byte 16 its
// CountryIndex, with the rows, NoCountry and the 245..254 rule of Ostrand.dat. Records stand
// in ascending order of address; a range runs up to the next record's start minus one, the
// last one up to ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff. The record count is the file size
// divided by 17; 1 to 16 trailing bytes are ignored. The loader checks neither the order nor
// the country bytes.
//
// The loaded table keeps the starts as two 64-bit halves in arrays of their own, so that a
// search touches 8 bytes per probe: entry I starts at High[I]:Low[I].
struct TRangeTable6 {
  std::vector<std::uint64_t> High;
  std::vector<std::uint64_t> Low;
  std::vector<CountryIndex> Country;

  // The entries the three arrays have in common.
  std::size_t size() const { return std::min({High.size(), Low.size(), Country.size()}); }
  bool empty() const { return size() == 0; }
  void clear();
};
extern TRangeTable6 RangeTable6;

// Replaces RangeTable6 with the file's records, with LoadRangeFile's errors and messages
// ("Specified cache file <name> does not exist", "Error loading cache <name>: <reason>"), its
// rules for what a failure leaves in the table, and its closing of the file opened in place.
void LoadRangeFile6(const std::string& FileName);

// The Country byte of the last entry whose start is not above the address (the first entry's
// when it lies below all of them), by binary search of the table or of the file open in
// place. NoCountry for the unspecified address :: and for an empty table or file.
CountryIndex FindCountryIndex6(const std::array<std::uint8_t, 16>& Address);

// One row of the country table, at its CountryIndex: two lower-case letters, the name as it
// follows " is based in ", and the continent (1 to 7; 0 is for no known country).
struct TCountryRow {
  std::string_view Code, Name;
  ContinentCode Continent;
};
// One row of the continent table, at its ContinentCode. Row 0, for no known country, has an
// empty name and the adjective "Global".
struct TContinentRow {
  std::string_view Name, Adjective;
};

// The tables, made at build time from geo/data/countries.txt and geo/data/continents.txt,
// whose heads give their rules. Fixed for the life of the process.
extern const std::span<const TCountryRow, CountryCount> CountryRows;
extern const std::span<const TContinentRow, ContinentCount> ContinentRows;

// Their columns, indexed by CountryIndex (below CountryCount) and by ContinentCode (below
// ContinentCount).
extern const TTableColumn<TCountryRow, std::string_view, CountryCount> CountryCodes;
extern const TTableColumn<TCountryRow, std::string_view, CountryCount> CountryNames;
extern const TTableColumn<TCountryRow, ContinentCode, CountryCount> CountryContinents;
extern const TTableColumn<TContinentRow, std::string_view, ContinentCount> ContinentNames;
