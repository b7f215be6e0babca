// SPDX-License-Identifier: MIT
// The range files searched where they lie (TRangeAccess::InPlace) against the same files
// loaded: the same answers, and the same seed after each IPv4 search, for both files.
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using TUint128 = unsigned __int128;
using TAddress6 = std::array<std::uint8_t, 16>;

TAddress6 Bytes6(TUint128 V)
{
  TAddress6 A{};
  for (int I = 15; I >= 0; --I, V >>= 8) A[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(V);
  return A;
}

// The two files of one case, and the addresses asked: each start and its neighbours, random
// ones, and the ends of the space.
struct TFiles {
  std::string Four, Six;
  std::vector<std::uint32_t> Ask4;
  std::vector<TAddress6> Ask6;
};

// Equal starts, and IPv6 starts with equal upper halves, are frequent: the searches treat
// them apart.
TFiles MakeFiles(std::mt19937_64& Gen, std::size_t Count, bool Sorted)
{
  std::vector<std::uint32_t> S4(Count);
  std::vector<TUint128> S6(Count);
  for (std::size_t I = 0; I < Count; ++I) {
    S4[I] = I > 0 && Gen() % 5 == 0 ? S4[I - 1] : static_cast<std::uint32_t>(Gen());
    S6[I] = TUint128{Gen() % 3 == 0 ? 0x20010db800000000u : Gen()} << 64 | (Gen() % 4 == 0 ? 0 : Gen());
  }
  if (Sorted) {
    std::sort(S4.begin(), S4.end());
    std::sort(S6.begin(), S6.end());
  }
  TFiles F;
  for (std::size_t I = 0; I < Count; ++I) {
    for (int Shift = 0; Shift < 32; Shift += 8) F.Four += static_cast<char>(S4[I] >> Shift);
    F.Four += static_cast<char>(Gen());
    const TAddress6 A = Bytes6(S6[I]);
    F.Six.append(A.begin(), A.end()) += static_cast<char>(Gen());
    for (int D = -1; D <= 1; ++D) {
      F.Ask4.push_back(S4[I] + static_cast<std::uint32_t>(D));
      F.Ask6.push_back(Bytes6(S6[I] + static_cast<TUint128>(D)));
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

// Every answer; an IPv4 one with the seed after its search, as the draws must match too.
std::vector<std::uint64_t> Answers(const TFiles& F)
{
  RandSeed = 20261209;
  std::vector<std::uint64_t> A;
  for (std::uint32_t N : F.Ask4) A.push_back(std::uint64_t{FindCountryIndex(N)} << 32 | RandSeed);
  for (const TAddress6& Address : F.Ask6) A.push_back(FindCountryIndex6(Address));
  return A;
}

std::size_t OpenDescriptors()
{
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

class RangeInPlaceTest : public testing::Test {
 protected:
  void TearDown() override { LibOstrandShutdown(); }
  TTempDir Dir;
  TWorkingDir Cwd{Dir.Path()};
};

TEST_F(RangeInPlaceTest, AnswersAreTheLoadedTablesAnswers)
{
  std::mt19937_64 Gen(18);
  const std::size_t Descriptors = OpenDescriptors();
  TFiles Cut = MakeFiles(Gen, 500, true), Short = MakeFiles(Gen, 0, true);
  Cut.Four += "\x01\x02\x03\x04";  // a record cut short by the end of the file: ignored
  Cut.Six += std::string(16, '\x05');
  Short.Four = "\x01\x02\x03";
  Short.Six = std::string(16, '\x7F');
  const std::pair<const char*, TFiles> Cases[] = {
      {"sorted, several levels deep", MakeFiles(Gen, 6000, true)},
      {"unsorted: the same seed gives the same draws", MakeFiles(Gen, 3000, false)},
      {"one record", MakeFiles(Gen, 1, true)},
      {"empty", MakeFiles(Gen, 0, true)},
      {"last record cut short", Cut},
      {"shorter than a record", Short},
  };
  for (const auto& [What, F] : Cases) {
    SCOPED_TRACE(What);
    Dir.Write("Ostrand.dat", F.Four);
    Dir.Write("Ostrand6.dat", F.Six);
    LibOstrandStartup(TRangeAccess::Load);
    const auto Loaded = Answers(F);
    LibOstrandStartup(TRangeAccess::InPlace);
    EXPECT_TRUE(RangeTable.empty() && RangeTable6.empty()) << "in place fills no table";
    ASSERT_EQ(Answers(F), Loaded);
  }
  LibOstrandShutdown();
  EXPECT_EQ(OpenDescriptors(), Descriptors) << "start-up again and shut-down close the files";
}

// A file that shrinks after start-up opened it reads as zero past its end, as the loader
// leaves the records of a file that shrank while it read; nothing is read past the count
// taken at start-up.
TEST_F(RangeInPlaceTest, AFileThatShrinksReadsAsZeroPastItsEnd)
{
  std::mt19937_64 Gen(1812);
  TFiles F = MakeFiles(Gen, 4000, true);
  Dir.Write("Ostrand.dat", F.Four);
  Dir.Write("Ostrand6.dat", F.Six);
  LibOstrandStartup(TRangeAccess::InPlace);
  // Past the middle, so that searches read records on both sides of the cut; each cuts a record.
  const std::size_t Keep4 = 3000 * 5 + 2, Keep6 = 3000 * 17 + 9;
  std::filesystem::resize_file(Dir.File("Ostrand.dat"), Keep4);
  std::filesystem::resize_file(Dir.File("Ostrand6.dat"), Keep6);
  const auto InPlace = Answers(F);
  std::fill(F.Four.begin() + Keep4, F.Four.end(), '\0');
  std::fill(F.Six.begin() + Keep6, F.Six.end(), '\0');
  LoadRangeFile(Dir.Write("zeroed4.dat", F.Four));
  LoadRangeFile6(Dir.Write("zeroed6.dat", F.Six));
  EXPECT_EQ(InPlace, Answers(F));
}

}  // namespace
