// SPDX-License-Identifier: MIT
// The IPv6 range file: its 17-byte big-endian records, the search against std::upper_bound,
// and start-up loading it beside Ostrand.dat.
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using TUint128 = unsigned __int128;

std::array<std::uint8_t, 16> Bytes(TUint128 V)
{
  std::array<std::uint8_t, 16> A{};
  for (int I = 15; I >= 0; --I, V >>= 8) A[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(V);
  return A;
}

TUint128 Number(std::uint64_t High, std::uint64_t Low) { return TUint128{High} << 64 | Low; }

std::string Record6(TUint128 Start, std::uint8_t Country)
{
  const auto A = Bytes(Start);
  return std::string(A.begin(), A.end()) + static_cast<char>(Country);
}

struct TEntry {
  TUint128 Start;
  CountryIndex Country;
};

class RangeFile6Test : public testing::Test {
 protected:
  void TearDown() override { LibOstrandShutdown(); }
  TTempDir Dir;
};

// Enough records to cross the loader's block boundaries, bytes differing in every position,
// then 16 bytes that are no record. Too short a file gives no entry, a missing one the
// IPv4 loader's message.
TEST_F(RangeFile6Test, LoadsBigEndianRecordsAndIgnoresTheTail)
{
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
  LoadRangeFile6(Dir.Write("short.dat", std::string(16, '\x7F')));
  EXPECT_TRUE(RangeTable6.empty());
  const std::string Missing = Dir.File("missing.dat");
  try {
    LoadRangeFile6(Missing);
    ADD_FAILURE() << "no error";
  } catch (const ERangeFileError& E) {
    EXPECT_EQ(E.what(), "Specified cache file " + Missing + " does not exist");
  }
}

// Random sorted tables with runs of equal upper halves and equal starts; addresses at, just
// below and just above the starts, and anywhere. Unsorted tables end in bounds.
TEST_F(RangeFile6Test, SearchIsTheLastEntryNotAboveTheAddress)
{
  std::mt19937_64 Gen(20261209);
  for (int Round = 0; Round < 300; ++Round) {
    std::vector<TEntry> T(Round < 3 ? Round : Gen() % 700);  // empty, one and two entries first
    for (TEntry& E : T)
      E = {Number(Gen() % 4 == 0 ? 0x2001 : Gen() >> (Gen() % 64), Gen() % 3 == 0 ? 0 : Gen() >> (Gen() % 64)),
           static_cast<CountryIndex>(Gen() % 256)};
    std::sort(T.begin(), T.end(), [](const TEntry& A, const TEntry& B) { return A.Start < B.Start; });
    for (int Sorted = 1; Sorted >= 0; --Sorted) {
      RangeTable6 = TRangeTable6{};
      for (const TEntry& E : T) {
        RangeTable6.High.push_back(static_cast<std::uint64_t>(E.Start >> 64));
        RangeTable6.Low.push_back(static_cast<std::uint64_t>(E.Start));
        RangeTable6.Country.push_back(E.Country);
      }
      RangeTable6.High.shrink_to_fit();  // so that ASan sees a read past the end
      for (int Probe = 0; Probe < 200; ++Probe) {
        TUint128 A = Number(Gen(), Gen());
        if (!T.empty() && Probe % 2 == 0) A = T[Gen() % T.size()].Start + (Gen() % 3) - 1;
        if (Probe == 0) A = 0;  // ::, no address
        const CountryIndex Got = FindCountryIndex6(Bytes(A));
        if (!Sorted) continue;
        const auto It =
            std::upper_bound(T.begin(), T.end(), A, [](TUint128 V, const TEntry& E) { return V < E.Start; });
        const CountryIndex Want = A == 0 || T.empty() ? NoCountry
                                  : It == T.begin()   ? T.front().Country
                                                      : std::prev(It)->Country;
        ASSERT_EQ(Got, Want) << "round " << Round << " probe " << Probe;
      }
      std::shuffle(T.begin(), T.end(), Gen);
    }
  }
}

TEST_F(RangeFile6Test, StartupLoadsBothFilesAndABadOneHarmsOnlyItself)
{
  TWorkingDir Cwd(Dir.Path());
  const std::string Good4 = std::string("\0\0\0\0\xFF\0\0\0\x03\xE1", 10);
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
    LibOstrandShutdown();
    EXPECT_TRUE(RangeTable.empty() && RangeTable6.empty());
  }
}

}  // namespace
