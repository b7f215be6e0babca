// SPDX-License-Identifier: MIT
// The IPv6 range file: its 17-byte big-endian records, the loader's errors, the search against
// std::upper_bound, and start-up loading it beside Ostrand.dat.
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using TAddress = std::array<std::uint8_t, 16>;
using TUint128 = unsigned __int128;

TAddress Bytes(TUint128 V) {
  TAddress A{};
  for (int I = 15; I >= 0; --I, V >>= 8) A[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(V);
  return A;
}

TUint128 Number(std::uint64_t High, std::uint64_t Low) { return TUint128{High} << 64 | Low; }

std::string Record6(TUint128 Start, std::uint8_t Country) {
  const TAddress A = Bytes(Start);
  return std::string(A.begin(), A.end()) + static_cast<char>(Country);
}

std::string Record4(std::uint32_t Start, std::uint8_t Country) {
  std::string R;
  for (int Shift = 0; Shift < 32; Shift += 8) R += static_cast<char>(Start >> Shift & 0xFF);
  return R + static_cast<char>(Country);
}

std::string Message6(const std::string& FileName) {
  try {
    LoadRangeFile6(FileName);
  } catch (const ERangeFileError& E) {
    return E.what();
  }
  return "(no error)";
}

struct TEntry {
  TUint128 Start;
  CountryIndex Country;
};

void SetTable(const std::vector<TEntry>& Entries) {
  RangeTable6 = TRangeTable6{};
  for (const TEntry& E : Entries) {
    RangeTable6.High.push_back(static_cast<std::uint64_t>(E.Start >> 64));
    RangeTable6.Low.push_back(static_cast<std::uint64_t>(E.Start));
    RangeTable6.Country.push_back(E.Country);
  }
}

// The last entry whose start is not above A, or the first when A lies below them all.
CountryIndex Reference(const std::vector<TEntry>& T, TUint128 A) {
  if (A == 0 || T.empty()) return NoCountry;
  const auto It = std::upper_bound(T.begin(), T.end(), A, [](TUint128 V, const TEntry& E) { return V < E.Start; });
  return It == T.begin() ? T.front().Country : std::prev(It)->Country;
}

class RangeFile6Test : public testing::Test {
 protected:
  void TearDown() override {
    RangeTable.clear();
    RangeTable6.clear();
  }
  TTempDir Dir;
};

// Enough records to cross the loader's block boundaries, each with bytes that differ in
// every position, then a tail of 16 bytes that is no record.
TEST_F(RangeFile6Test, DecodesBigEndianRecordsAcrossBlocksAndIgnoresTheTail) {
  for (std::size_t Size = 0; Size <= 16; ++Size) {
    RangeTable6.Country = {1};
    LoadRangeFile6(Dir.Write("short.dat", std::string(Size, '\x7F')));
    EXPECT_TRUE(RangeTable6.empty()) << Size << " bytes";
  }
  const std::size_t Count = 40001;
  auto StartOf = [](std::size_t I) { return Number(0x2001000000000000u + I * 0x10001u, ~I * 0x9E3779B97F4A7C15u); };
  std::string File;
  for (std::size_t I = 0; I < Count; ++I) File += Record6(StartOf(I), static_cast<std::uint8_t>(I % 256));
  LoadRangeFile6(Dir.Write("large.dat", File + std::string(16, '\xEE')));
  ASSERT_EQ(RangeTable6.size(), Count);
  for (std::size_t I = 0; I < Count; ++I) {
    ASSERT_EQ(Number(RangeTable6.High[I], RangeTable6.Low[I]), StartOf(I)) << I;
    ASSERT_EQ(RangeTable6.Country[I], I % 256) << I;  // 245..255 kept as they are
  }
  LoadRangeFile6(Dir.Write("one.dat", Record6(7, 9)));
  ASSERT_EQ(RangeTable6.size(), 1u);  // replaced, not appended
  EXPECT_EQ(RangeTable6.Low[0], 7u);
}

TEST_F(RangeFile6Test, FailuresAreReportedLikeTheIpv4Loader) {
  const std::string Missing = Dir.File("missing.dat");
  const std::string Folder = Dir.File("folder.dat");
  const std::string Fifo = Dir.File("fifo.dat");
  std::filesystem::create_directory(Folder);
  ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
  const std::pair<std::string, std::string> Cases[] = {
      {Missing, "Specified cache file " + Missing + " does not exist"},
      {Folder, "Specified cache file " + Folder + " does not exist"},
      {Fifo, "Error loading cache " + Fifo + ": Cannot open file " + Fifo},
  };
  for (const auto& [Name, Expected] : Cases) {
    RangeTable6.Country = {1};
    RangeTable6.High = RangeTable6.Low = {1};
    EXPECT_EQ(Message6(Name), Expected);
    EXPECT_TRUE(RangeTable6.High.empty() && RangeTable6.Low.empty() && RangeTable6.Country.empty()) << Name;
  }
}

TEST_F(RangeFile6Test, SearchGivesTheLastEntryNotAboveTheAddress) {
  const TUint128 Doc = Number(0x20010db800000000u, 0);
  SetTable({{0, 255}, {Doc, 72}, {Doc + 0x100, 250}, {Number(0x20010db800000001u, 0), 54},
            {Number(0x20010db800000001u, 5), 14}, {Number(0xfe00000000000000u, 0), 255}});
  const std::pair<TUint128, CountryIndex> Cases[] = {
      {1, 255},
      {Doc - 1, 255},
      {Doc, 72},
      {Doc + 0xFF, 72},
      {Doc + 0x100, 250},  // a byte without a row, handed on
      {Number(0x20010db800000000u, ~0ull), 250},
      {Number(0x20010db800000001u, 4), 54},  // equal upper halves: the lower half decides
      {Number(0x20010db800000001u, 5), 14},
      {Number(0xfdffffffffffffffu, ~0ull), 14},
      {Number(~0ull, ~0ull), 255},
      {0, NoCountry},  // ::, no address
  };
  for (const auto& [Address, Expected] : Cases)
    EXPECT_EQ(FindCountryIndex6(Bytes(Address)), Expected)
        << std::hex << static_cast<std::uint64_t>(Address >> 64) << ":" << static_cast<std::uint64_t>(Address);

  SetTable({{Doc, 72}});
  EXPECT_EQ(FindCountryIndex6(Bytes(1)), 72);  // below the only entry: its country
  SetTable({});
  EXPECT_EQ(FindCountryIndex6(Bytes(Doc)), NoCountry);
}

// Random sorted tables with runs of equal upper halves and equal starts; addresses at, just
// below and just above the starts and anywhere. Unsorted tables end in bounds.
TEST_F(RangeFile6Test, SearchAgreesWithUpperBound) {
  std::mt19937_64 Gen(20261209);
  for (int Round = 0; Round < 300; ++Round) {
    std::vector<TEntry> T(Gen() % 700);
    for (TEntry& E : T) {
      const std::uint64_t High = Gen() % 4 == 0 ? 0x2001 : Gen() >> (Gen() % 64);
      E = {Number(High, Gen() % 3 == 0 ? 0 : Gen() >> (Gen() % 64)), static_cast<CountryIndex>(Gen() % 256)};
    }
    std::sort(T.begin(), T.end(), [](const TEntry& A, const TEntry& B) { return A.Start < B.Start; });
    SetTable(T);
    RangeTable6.High.shrink_to_fit();  // so that ASan sees a read past the end
    for (int Probe = 0; Probe < 200; ++Probe) {
      TUint128 A = Number(Gen(), Gen());
      if (!T.empty() && Probe % 2 == 0) A = T[Gen() % T.size()].Start + (Gen() % 3) - 1;
      ASSERT_EQ(FindCountryIndex6(Bytes(A)), Reference(T, A)) << "round " << Round << " probe " << Probe;
    }
    std::shuffle(T.begin(), T.end(), Gen);
    SetTable(T);
    for (int Probe = 0; Probe < 20; ++Probe) FindCountryIndex6(Bytes(Number(Gen(), Gen())));
  }
}

TEST_F(RangeFile6Test, StartupLoadsBothFilesAndABadOneHarmsOnlyItself) {
  TWorkingDir Cwd(Dir.Path());
  const std::string Good4 = Record4(0, 255) + Record4(0x03000000, 225);
  const std::string Good6 = Record6(0, 255) + Record6(Number(0x2001000000000000u, 0), 225);
  const struct {
    std::string Four, Six;
    std::size_t Entries4, Entries6;
  } Cases[] = {{Good4, Good6, 2, 2}, {Good4, "bad", 2, 0}, {"bad", Good6, 0, 2}};
  for (const auto& C : Cases) {
    Dir.Write("Ostrand.dat", C.Four);
    Dir.Write("Ostrand6.dat", C.Six);
    LibOstrandStartup();
    EXPECT_EQ(RangeTable.size(), C.Entries4);
    EXPECT_EQ(RangeTable6.size(), C.Entries6);
    EXPECT_TRUE(RangeFileInUse() && RangeFile6InUse());
    LibOstrandShutdown();
    EXPECT_TRUE(RangeTable.empty() && RangeTable6.empty());
  }
  EXPECT_EQ(FindCountryIndex6(Bytes(Number(0x2001000000000000u, 0))), NoCountry);
}

}  // namespace
