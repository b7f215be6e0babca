// SPDX-License-Identifier: MIT
// The range files searched where they lie (TRangeAccess::InPlace) against the same files
// loaded: the same answers and the same seed afterwards, address by address, for both files,
// sound or not.
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using TUint128 = unsigned __int128;
using TAddress6 = std::array<std::uint8_t, 16>;

std::string Record4(std::uint32_t Start, std::uint8_t Country) {
  std::string R;
  for (int Shift = 0; Shift < 32; Shift += 8) R += static_cast<char>(Start >> Shift & 0xFF);
  return R + static_cast<char>(Country);
}

TAddress6 Bytes6(TUint128 V) {
  TAddress6 A{};
  for (int I = 15; I >= 0; --I, V >>= 8) A[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(V);
  return A;
}

std::string Record6(TUint128 Start, std::uint8_t Country) {
  const TAddress6 A = Bytes6(Start);
  return std::string(A.begin(), A.end()) + static_cast<char>(Country);
}

// The two range files of one case, and the addresses asked: every start, its neighbours and
// random ones, with the ends of the address space.
struct TFiles {
  std::string Four, Six;
  std::vector<std::uint32_t> Ask4;
  std::vector<TAddress6> Ask6;
};

// Count records of each family, sorted or not; equal starts and equal upper halves of IPv6
// starts are frequent, as the searches treat them apart.
TFiles MakeFiles(std::mt19937_64& Gen, std::size_t Count, bool Sorted) {
  std::vector<std::uint32_t> Starts4(Count);
  std::vector<TUint128> Starts6(Count);
  for (std::size_t I = 0; I < Count; ++I) {
    Starts4[I] = Gen() % 5 == 0 && I > 0 ? Starts4[I - 1] : static_cast<std::uint32_t>(Gen());
    const std::uint64_t High = Gen() % 3 == 0 ? 0x2001'0db8'0000'0000u : Gen();
    Starts6[I] = TUint128{High} << 64 | (Gen() % 4 == 0 ? 0 : Gen());
  }
  if (Sorted) {
    std::sort(Starts4.begin(), Starts4.end());
    std::sort(Starts6.begin(), Starts6.end());
  }
  TFiles F;
  for (std::size_t I = 0; I < Count; ++I) {
    F.Four += Record4(Starts4[I], static_cast<std::uint8_t>(Gen()));
    F.Six += Record6(Starts6[I], static_cast<std::uint8_t>(Gen()));
    for (int D = -1; D <= 1; ++D) {
      F.Ask4.push_back(Starts4[I] + static_cast<std::uint32_t>(D));
      F.Ask6.push_back(Bytes6(Starts6[I] + static_cast<TUint128>(D)));
    }
  }
  for (int I = 0; I < 200; ++I) {
    F.Ask4.push_back(static_cast<std::uint32_t>(Gen()));
    F.Ask6.push_back(Bytes6(TUint128{Gen()} << 64 | Gen()));
  }
  F.Ask4.insert(F.Ask4.end(), {0u, 1u, 0xFFFFFFFFu});
  F.Ask6.insert(F.Ask6.end(), {Bytes6(0), Bytes6(1), Bytes6(~TUint128{0})});
  return F;
}

// Every answer, and the seed after each IPv4 search (the draws must match too).
struct TAnswers {
  std::vector<CountryIndex> Four, Six;
  std::vector<std::uint32_t> Seeds;
  bool operator==(const TAnswers&) const = default;
};

TAnswers Ask(const TFiles& F, TRangeAccess Access) {
  LibOstrandStartup(Access);
  RandSeed = 20261209;
  TAnswers A;
  for (std::uint32_t N : F.Ask4) {
    A.Four.push_back(FindCountryIndex(N));
    A.Seeds.push_back(RandSeed);
  }
  for (const TAddress6& Address : F.Ask6) A.Six.push_back(FindCountryIndex6(Address));
  return A;
}

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

class RangeInPlaceTest : public testing::Test {
 protected:
  void TearDown() override { LibOstrandShutdown(); }
  TTempDir Dir;
  TWorkingDir Cwd{Dir.Path()};
};

TEST_F(RangeInPlaceTest, AnswersAreTheLoadedTablesAnswers) {
  std::mt19937_64 Gen(18);
  const std::size_t Descriptors = OpenDescriptors();
  struct TCase {
    const char* What;
    TFiles Files;
  };
  std::vector<TCase> Cases = {
      {"sorted, several levels deep", MakeFiles(Gen, 6000, true)},
      {"unsorted: the same seed gives the same draws", MakeFiles(Gen, 3000, false)},
      {"one record", MakeFiles(Gen, 1, true)},
      {"no record", MakeFiles(Gen, 0, true)},
  };
  TFiles Cut = MakeFiles(Gen, 500, true);
  Cut.Four += "\x01\x02\x03\x04";  // a record cut short by the end of the file: ignored
  Cut.Six += std::string(16, '\x05');
  Cases.push_back({"last record cut short", Cut});
  TFiles Short = MakeFiles(Gen, 0, true);
  Short.Four = "\x01\x02\x03";
  Short.Six = std::string(16, '\x7F');
  Cases.push_back({"shorter than a record", Short});

  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    Dir.Write("Ostrand.dat", C.Files.Four);
    Dir.Write("Ostrand6.dat", C.Files.Six);
    const TAnswers Loaded = Ask(C.Files, TRangeAccess::Load);
    const TAnswers InPlace = Ask(C.Files, TRangeAccess::InPlace);
    EXPECT_TRUE(RangeTable.empty() && RangeTable6.empty()) << "in place fills no table";
    ASSERT_EQ(InPlace.Four, Loaded.Four);
    ASSERT_EQ(InPlace.Seeds, Loaded.Seeds);
    ASSERT_EQ(InPlace.Six, Loaded.Six);
  }
  // Files a loader cannot read name no country.
  std::filesystem::remove(Dir.File("Ostrand6.dat"));
  std::filesystem::create_directory(Dir.File("Ostrand6.dat"));
  Dir.Write("Ostrand.dat", "");
  const TAnswers Bad = Ask(Cases[0].Files, TRangeAccess::InPlace);
  EXPECT_EQ(std::count(Bad.Four.begin(), Bad.Four.end(), NoCountry), static_cast<std::ptrdiff_t>(Bad.Four.size()));
  EXPECT_EQ(std::count(Bad.Six.begin(), Bad.Six.end(), NoCountry), static_cast<std::ptrdiff_t>(Bad.Six.size()));
  // Start-up again and shut-down leave no descriptor behind.
  LibOstrandShutdown();
  EXPECT_EQ(OpenDescriptors(), Descriptors);
}

// A file that shrinks after start-up opened it: what it no longer holds reads as zero bytes,
// as the loader leaves the records of a file that shrank while it read; nothing is read past
// the count taken at start-up.
TEST_F(RangeInPlaceTest, AFileThatShrinksReadsAsZeroPastItsEnd) {
  std::mt19937_64 Gen(1812);
  const TFiles F = MakeFiles(Gen, 4000, true);
  Dir.Write("Ostrand.dat", F.Four);
  Dir.Write("Ostrand6.dat", F.Six);
  LibOstrandStartup(TRangeAccess::InPlace);
  const std::size_t Keep4 = 1000 * 5 + 2, Keep6 = 1000 * 17 + 9;  // each cuts a record
  std::filesystem::resize_file(Dir.File("Ostrand.dat"), Keep4);
  std::filesystem::resize_file(Dir.File("Ostrand6.dat"), Keep6);
  TAnswers InPlace;
  RandSeed = 7;
  for (std::uint32_t N : F.Ask4) InPlace.Four.push_back(FindCountryIndex(N));
  for (const TAddress6& A : F.Ask6) InPlace.Six.push_back(FindCountryIndex6(A));

  TFiles Zeroed = F;
  std::fill(Zeroed.Four.begin() + Keep4, Zeroed.Four.end(), '\0');
  std::fill(Zeroed.Six.begin() + Keep6, Zeroed.Six.end(), '\0');
  LoadRangeFile(Dir.Write("zeroed4.dat", Zeroed.Four));
  LoadRangeFile6(Dir.Write("zeroed6.dat", Zeroed.Six));
  TAnswers Loaded;
  RandSeed = 7;
  for (std::uint32_t N : F.Ask4) Loaded.Four.push_back(FindCountryIndex(N));
  for (const TAddress6& A : F.Ask6) Loaded.Six.push_back(FindCountryIndex6(A));
  EXPECT_EQ(InPlace.Four, Loaded.Four);
  EXPECT_EQ(InPlace.Six, Loaded.Six);
}

}  // namespace
