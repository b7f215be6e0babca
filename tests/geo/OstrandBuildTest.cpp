// SPDX-License-Identifier: MIT
// Runs the ostrand-build program on small lists and reads its output back with the loader.
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"
#include "tests/support/RunTool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <random>

#include <arpa/inet.h>
#include <sys/wait.h>

#include "whois/RegistryChoice.h"

namespace {

using testing::HasSubstr;
using testing::Not;

using TRun = TToolRun;

class OstrandBuildTest : public testing::Test {
 protected:
  void TearDown() override { RangeTable.clear(); }

  TRun Run(const std::vector<std::string>& Args) { return RunTool(OSTRAND_BUILD, Args, Dir.File("stderr.txt")); }

  // Builds from the given list and loads the result into RangeTable.
  TRun Build(const std::string& List)
  {
    TRun R = Run({Dir.Write("list.txt", List), Dir.File("out.dat")});
    if (R.Status == 0) LoadRangeFile(Dir.File("out.dat"));
    return R;
  }

  std::vector<std::pair<std::uint32_t, int>> Records() const
  {
    std::vector<std::pair<std::uint32_t, int>> V;
    for (const RangeEntry& E : RangeTable) V.emplace_back(E.Start, E.Country);
    return V;
  }

  TTempDir Dir;
};

using TRecords = std::vector<std::pair<std::uint32_t, int>>;

TEST_F(OstrandBuildTest, FillsGapsAndMapsCodesToRows)
{
  const TRun R = Build(
      "# a comment\n"
      "\n"
      "16777216,16777471,AU\r\n"
      "16777472,16778239,CN\n"
      "  16778240 , 16779263 , us  \n"
      "33554432,33554687,GB\n"
      "33554688,33554943,UK\n");
  ASSERT_EQ(R.Status, 0) << R.Stderr;
  EXPECT_EQ(Records(), (TRecords{{0, 255},
                                 {0x01000000, 14},
                                 {0x01000100, 46},
                                 {0x01000400, 225},
                                 {0x01000800, 255},
                                 {0x02000000, 244},
                                 {0x02000100, 223},
                                 {0x02000200, 255}}));
  EXPECT_THAT(R.Stderr, HasSubstr("8 records written"));
}

TEST_F(OstrandBuildTest, MergesNeighboursWithTheSameCountry)
{
  const TRun R = Build(
      "256,511,DE\n512,1023,DE\n1024,2047,??\n2048,4095,AP\n"
      "4096,8191,FR\n8192,8447,XK\n");
  ASSERT_EQ(R.Status, 0) << R.Stderr;
  // "??" and the codes without a row run together with the gap before 256 and after 8447.
  EXPECT_EQ(Records(), (TRecords{{0, 255}, {256, 54}, {1024, 255}, {4096, 72}, {8192, 255}}));
  EXPECT_THAT(R.Stderr, HasSubstr("2 codes without a row, 2304 addresses"));
  EXPECT_THAT(R.Stderr, HasSubstr("AP (2048)"));
  EXPECT_THAT(R.Stderr, HasSubstr("XK (256)"));
  for (std::uint32_t N : {256u, 1023u}) EXPECT_EQ(FindCountryIndex(N), 54);
  EXPECT_EQ(FindCountryIndex(8191), 72);
  EXPECT_EQ(FindCountryIndex(8192), 255);
}

TEST_F(OstrandBuildTest, WholeSpaceNeedsNoGapRecords)
{
  ASSERT_EQ(Build("0,4294967295,JP\n").Status, 0);
  EXPECT_EQ(Records(), (TRecords{{0, 110}}));
  ASSERT_EQ(Build("4294967040,4294967295,JP\n").Status, 0);
  EXPECT_EQ(Records(), (TRecords{{0, 255}, {0xFFFFFF00, 110}}));
}

TEST_F(OstrandBuildTest, ReportsBadLinesByNumberAndSkipsThem)
{
  const TRun R = Build(
      "256,511,DE\n"
      "512,1023\n"
      "1024,x,FR\n"
      "2048,1024,FR\n"
      "4096,8191,F\n"
      "4294967296,4294967297,FR\n"
      "-1,5,FR\n"
      "8192,8447,F1\n"
      "1,2,3,4\n"
      "9000,9100,NL\n");
  ASSERT_EQ(R.Status, 0) << R.Stderr;
  const std::string List = Dir.File("list.txt");
  for (int Line = 2; Line <= 9; ++Line)
    EXPECT_THAT(R.Stderr, HasSubstr(List + ":" + std::to_string(Line) + ": ")) << Line;
  EXPECT_THAT(R.Stderr, Not(HasSubstr(List + ":1:")));
  EXPECT_THAT(R.Stderr, Not(HasSubstr(List + ":10:")));
  EXPECT_THAT(R.Stderr, HasSubstr("8 bad lines skipped"));
  EXPECT_EQ(Records(), (TRecords{{0, 255}, {256, 54}, {512, 255}, {9000, 160}, {9101, 255}}));
}

TEST_F(OstrandBuildTest, SortsInputAndTrimsOverlaps)
{
  const TRun R = Build(
      "5000,5999,FR\n"
      "1000,1999,DE\n"
      "1500,2499,NL\n"    // overlaps DE: only 2000..2499 stays
      "1200,1300,IT\n");  // inside DE: dropped
  ASSERT_EQ(R.Status, 0) << R.Stderr;
  EXPECT_EQ(Records(), (TRecords{{0, 255}, {1000, 54}, {2000, 160}, {2500, 255}, {5000, 72}, {6000, 255}}));
  const std::string List = Dir.File("list.txt");
  EXPECT_THAT(R.Stderr, HasSubstr(List + ":3: range overlaps the one from line 2"));
  EXPECT_THAT(R.Stderr, HasSubstr(List + ":4: range overlaps the one from line 2"));
  EXPECT_THAT(R.Stderr, HasSubstr("2 overlapping ranges trimmed"));
}

TEST_F(OstrandBuildTest, FailsWithoutInputOrValidLineAndKeepsTheOldOutput)
{
  const std::string Out = Dir.Write("out.dat", "keep!");
  const std::string Cases[] = {Dir.File("missing.txt"), Dir.Path().string(), Dir.Write("empty.txt", ""),
                               Dir.Write("junk.txt", "# only\nnot a line\n")};
  for (const std::string& Input : Cases) {
    const TRun R = Run({Input, Out});
    EXPECT_NE(R.Status, 0) << Input;
    EXPECT_THAT(R.Stderr, HasSubstr(Input)) << Input;
    std::ifstream In(Out);
    std::string Kept;
    std::getline(In, Kept);
    EXPECT_EQ(Kept, "keep!") << Input;
  }
}

TEST_F(OstrandBuildTest, UnwritableOutputFailsAndLeavesNoTemporaryFile)
{
  const std::string List = Dir.Write("list.txt", "256,511,DE\n");
  const TRun R = Run({List, Dir.File("no/such/dir/out.dat")});
  EXPECT_NE(R.Status, 0);
  EXPECT_THAT(R.Stderr, HasSubstr("no/such/dir/out.dat"));

  ASSERT_EQ(Run({List, Dir.File("out.dat")}).Status, 0);
  std::vector<std::string> Names;
  for (const auto& E : std::filesystem::directory_iterator(Dir.Path())) Names.push_back(E.path().filename());
  std::sort(Names.begin(), Names.end());
  EXPECT_EQ(Names, (std::vector<std::string>{"list.txt", "out.dat"}));
}

TEST_F(OstrandBuildTest, TooManyArgumentsPrintUsage)
{
  const TRun R = Run({"a", "b", "c"});
  EXPECT_NE(R.Status, 0);
  EXPECT_THAT(R.Stderr, HasSubstr("usage: ostrand-build"));
}

// Codes given out after the country table was drawn up, and the rows of their former names.
const std::map<std::string, std::string> kLaterCodes = {{"RS", "yu"}, {"ME", "yu"}, {"CS", "yu"}, {"TL", "tp"},
                                                        {"CW", "an"}, {"SX", "an"}, {"BQ", "an"}, {"BL", "gp"},
                                                        {"MF", "gp"}, {"AX", "fi"}, {"SS", "sd"}};

// The row a list's (upper-case) code lands on.
CountryIndex ExpectedRow(const std::string& Code)
{
  std::string Row = kLaterCodes.count(Code) ? kLaterCodes.at(Code) : Code;
  for (char& C : Row) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  for (std::size_t I = 0; I < CountryCount; ++I)
    if (CountryCodes[I] == Row) return static_cast<CountryIndex>(I);
  return NoCountry;
}

// Both files: each later code on its former name's row, AP (a region) on none.
TEST_F(OstrandBuildTest, LaterCodesLandOnTheRowsOfTheirFormerNames)
{
  const char* Codes[] = {"RS", "ME", "CS", "TL", "CW", "SX", "BQ", "BL", "MF", "AX", "SS", "AP"};
  std::string List4, List6;
  for (std::uint32_t I = 1; I <= std::size(Codes); ++I) {
    char Line[96];
    std::snprintf(Line, sizeof Line, "%u,%u,%s\n", 256 * I, 256 * I + 255, Codes[I - 1]);
    List4 += Line;
    std::snprintf(Line, sizeof Line, "2001:%x::,2001:%x:ffff:ffff:ffff:ffff:ffff:ffff,%s\n", I, I, Codes[I - 1]);
    List6 += Line;
  }
  const TRun R = Build(List4);
  ASSERT_EQ(R.Status, 0) << R.Stderr;
  ASSERT_EQ(Run({"-6", Dir.Write("list6.txt", List6), Dir.File("out6.dat")}).Status, 0);
  LoadRangeFile6(Dir.File("out6.dat"));
  for (std::uint32_t I = 1; I <= std::size(Codes); ++I) {
    EXPECT_EQ(FindCountryIndex(256 * I + 7), ExpectedRow(Codes[I - 1])) << Codes[I - 1];
    EXPECT_EQ(FindCountryIndex6({0x20, 0x01, 0, static_cast<std::uint8_t>(I)}), ExpectedRow(Codes[I - 1]))
        << Codes[I - 1];
  }
  EXPECT_EQ(CountryCodes[FindCountryIndex(256 + 7)], "yu");
  EXPECT_EQ(FindCountryIndex(12 * 256 + 7), NoCountry);
  EXPECT_THAT(R.Stderr, HasSubstr("1 codes without a row, 256 addresses as no country: AP (256)"));
  RangeTable6.clear();
}

// The file `make run` builds: ascending, starting at 0, no two neighbours alike, and every
// sampled range of the list answers with the row of its code (a later code with the row of
// its former name). Serbian and Montenegrin addresses go to RIPE.
TEST_F(OstrandBuildTest, DebianListGivesASoundRangeFile)
{
  const char* Geoip = "/usr/share/tor/geoip";
  if (!std::filesystem::exists(Geoip)) GTEST_SKIP() << Geoip << " is not installed";
  const TRun R = Run({Geoip, Dir.File("Ostrand.dat")});
  ASSERT_EQ(R.Status, 0) << R.Stderr;
  LoadRangeFile(Dir.File("Ostrand.dat"));
  ASSERT_GT(RangeTable.size(), 1000u);
  EXPECT_EQ(RangeTable.front().Start, 0u);
  for (std::size_t I = 1; I < RangeTable.size(); ++I) {
    ASSERT_LT(RangeTable[I - 1].Start, RangeTable[I].Start) << I;
    ASSERT_NE(RangeTable[I - 1].Country, RangeTable[I].Country) << I;
    ASSERT_TRUE(IsKnownCountry(RangeTable[I].Country) || RangeTable[I].Country == NoCountry) << I;
  }

  std::ifstream In(Geoip);
  std::string Line;
  int Checked = 0, Former = 0;
  for (long LineNo = 0; std::getline(In, Line); ++LineNo) {
    unsigned long First = 0, Last = 0;
    char Code[3] = {};
    if (Line.empty() || Line[0] == '#' || std::sscanf(Line.c_str(), "%lu,%lu,%2s", &First, &Last, Code) != 3) continue;
    const bool Later = kLaterCodes.count(Code) > 0;
    if (LineNo % 97 != 0 && !Later) continue;
    const CountryIndex Expected = ExpectedRow(Code);
    if (First > 0) {
      EXPECT_EQ(FindCountryIndex(static_cast<std::uint32_t>(First)), Expected) << Line;
    }
    EXPECT_EQ(FindCountryIndex(static_cast<std::uint32_t>(Last)), Expected) << Line;
    ++Checked;
    Former += Later;
  }
  EXPECT_GT(Checked, 100);
  EXPECT_GT(Former, 100);
  for (const char* Address : {"5.22.159.5", "5.62.61.33"}) {
    const CountryIndex Country = IpToCountry(Address);
    ASSERT_TRUE(IsKnownCountry(Country)) << Address;
    EXPECT_EQ(ChooseRegistry(CountryContinents[Country], Country), "RIPE") << Address;
  }
}

// The IPv6 twin: Ostrand6.dat from Debian's IPv6 list, sound in the same ways, and the
// first, the last and a random address of sampled ranges (every range of a later code)
// answer with its row.
TEST_F(OstrandBuildTest, DebianIpv6ListGivesASoundRangeFile)
{
  const char* Geoip6 = "/usr/share/tor/geoip6";
  if (!std::filesystem::exists(Geoip6)) GTEST_SKIP() << Geoip6 << " is not installed";
  const TRun R = Run({"-6", Geoip6, Dir.File("Ostrand6.dat")});
  ASSERT_EQ(R.Status, 0) << R.Stderr;
  LoadRangeFile6(Dir.File("Ostrand6.dat"));
  const TRangeTable6& T = RangeTable6;
  ASSERT_GT(T.size(), 1000u);
  EXPECT_EQ(T.High[0] | T.Low[0], 0u);
  for (std::size_t I = 1; I < T.size(); ++I) {
    ASSERT_TRUE(T.High[I - 1] < T.High[I] || (T.High[I - 1] == T.High[I] && T.Low[I - 1] < T.Low[I])) << I;
    ASSERT_NE(T.Country[I - 1], T.Country[I]) << I;
    ASSERT_TRUE(IsKnownCountry(T.Country[I]) || T.Country[I] == NoCountry) << I;
  }
  using TUint128 = unsigned __int128;
  auto Read = [](const std::string& Text, TUint128& V) {
    std::array<std::uint8_t, 16> B;
    if (::inet_pton(AF_INET6, Text.c_str(), B.data()) != 1) return false;
    V = 0;
    for (std::uint8_t Byte : B) V = V << 8 | Byte;
    return true;
  };
  std::mt19937_64 Gen(6);
  std::ifstream In(Geoip6);
  std::string Line;
  int Checked = 0, Former = 0;
  for (long LineNo = 0; std::getline(In, Line); ++LineNo) {
    const std::size_t C1 = Line.find(','), C2 = Line.rfind(',');
    TUint128 First = 0, Last = 0;
    if (Line.empty() || Line[0] == '#' || C1 == C2 || !Read(Line.substr(0, C1), First) ||
        !Read(Line.substr(C1 + 1, C2 - C1 - 1), Last))
      continue;
    const std::string Code = Line.substr(C2 + 1, 2);
    const bool Later = kLaterCodes.count(Code) > 0;
    if (LineNo % 97 != 0 && !Later) continue;
    const TUint128 Inside = First + ((TUint128{Gen()} << 64 | Gen()) % (Last - First + 1));
    for (TUint128 A : {First, Inside, Last}) {
      std::array<std::uint8_t, 16> B;
      for (int I = 15; I >= 0; --I, A >>= 8) B[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(A);
      if (B == std::array<std::uint8_t, 16>{}) continue;  // ::, no address
      EXPECT_EQ(FindCountryIndex6(B), ExpectedRow(Code)) << Line;
    }
    ++Checked;
    Former += Later;
  }
  EXPECT_GT(Checked, 100);
  EXPECT_GT(Former, 100);
}

}  // namespace
