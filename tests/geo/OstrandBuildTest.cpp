// SPDX-License-Identifier: MIT
// Runs the ostrand-build program on small lists and reads its output back with the loader.
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace {

using testing::HasSubstr;
using testing::Not;

struct TRun {
  int Status;
  std::string Stderr;
};

class OstrandBuildTest : public testing::Test {
 protected:
  void TearDown() override { RangeTable.clear(); }

  TRun Run(const std::vector<std::string>& Args) {
    std::string Command = std::string("'") + OSTRAND_BUILD + "'";
    for (const std::string& A : Args) Command += " '" + A + "'";
    const std::string ErrFile = Dir.File("stderr.txt");
    Command += " 2>'" + ErrFile + "'";
    const int Raw = std::system(Command.c_str());
    std::ifstream In(ErrFile);
    std::stringstream Text;
    Text << In.rdbuf();
    std::filesystem::remove(ErrFile);
    return {WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1, Text.str()};
  }

  // Builds from the given list and loads the result into RangeTable.
  TRun Build(const std::string& List) {
    TRun R = Run({Dir.Write("list.txt", List), Dir.File("out.dat")});
    if (R.Status == 0) LoadRangeFile(Dir.File("out.dat"));
    return R;
  }

  std::vector<std::pair<std::uint32_t, int>> Records() const {
    std::vector<std::pair<std::uint32_t, int>> V;
    for (const RangeEntry& E : RangeTable) V.emplace_back(E.Start, E.Country);
    return V;
  }

  TTempDir Dir;
};

using TRecords = std::vector<std::pair<std::uint32_t, int>>;

TEST_F(OstrandBuildTest, FillsGapsAndMapsCodesToRows) {
  const TRun R = Build("# a comment\n"
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

TEST_F(OstrandBuildTest, MergesNeighboursWithTheSameCountry) {
  const TRun R = Build("256,511,DE\n512,1023,DE\n1024,2047,??\n2048,4095,AP\n"
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

TEST_F(OstrandBuildTest, WholeSpaceNeedsNoGapRecords) {
  ASSERT_EQ(Build("0,4294967295,JP\n").Status, 0);
  EXPECT_EQ(Records(), (TRecords{{0, 110}}));
  ASSERT_EQ(Build("4294967040,4294967295,JP\n").Status, 0);
  EXPECT_EQ(Records(), (TRecords{{0, 255}, {0xFFFFFF00, 110}}));
}

TEST_F(OstrandBuildTest, ReportsBadLinesByNumberAndSkipsThem) {
  const TRun R = Build("256,511,DE\n"
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

TEST_F(OstrandBuildTest, SortsInputAndTrimsOverlaps) {
  const TRun R = Build("5000,5999,FR\n"
                       "1000,1999,DE\n"
                       "1500,2499,NL\n"     // overlaps DE: only 2000..2499 stays
                       "1200,1300,IT\n");   // inside DE: dropped
  ASSERT_EQ(R.Status, 0) << R.Stderr;
  EXPECT_EQ(Records(), (TRecords{{0, 255}, {1000, 54}, {2000, 160}, {2500, 255}, {5000, 72}, {6000, 255}}));
  const std::string List = Dir.File("list.txt");
  EXPECT_THAT(R.Stderr, HasSubstr(List + ":3: range overlaps the one from line 2"));
  EXPECT_THAT(R.Stderr, HasSubstr(List + ":4: range overlaps the one from line 2"));
  EXPECT_THAT(R.Stderr, HasSubstr("2 overlapping ranges trimmed"));
}

TEST_F(OstrandBuildTest, FailsWithoutInputOrValidLineAndKeepsTheOldOutput) {
  const std::string Out = Dir.Write("out.dat", "keep!");
  const std::string Cases[] = {Dir.File("missing.txt"), Dir.Path().string(),
                               Dir.Write("empty.txt", ""), Dir.Write("junk.txt", "# only\nnot a line\n")};
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

TEST_F(OstrandBuildTest, UnwritableOutputFailsAndLeavesNoTemporaryFile) {
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

TEST_F(OstrandBuildTest, TooManyArgumentsPrintUsage) {
  const TRun R = Run({"a", "b", "c"});
  EXPECT_NE(R.Status, 0);
  EXPECT_THAT(R.Stderr, HasSubstr("usage: ostrand-build"));
}

// The file `make run` builds: ascending, starting at 0, no two neighbours alike, and every
// sampled range of the list answers with the row of its code.
TEST_F(OstrandBuildTest, DebianListGivesASoundRangeFile) {
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
  int Checked = 0;
  for (long LineNo = 0; std::getline(In, Line); ++LineNo) {
    if (LineNo % 97 != 0 || Line.empty() || Line[0] == '#') continue;
    unsigned long First = 0, Last = 0;
    char Code[3] = {};
    if (std::sscanf(Line.c_str(), "%lu,%lu,%2s", &First, &Last, Code) != 3) continue;
    std::string Lower = {static_cast<char>(std::tolower(Code[0])), static_cast<char>(std::tolower(Code[1]))};
    CountryIndex Expected = NoCountry;
    for (std::size_t I = 0; I < CountryCount; ++I)
      if (CountryCodes[I] == Lower) Expected = static_cast<CountryIndex>(I);
    if (First > 0) {
      EXPECT_EQ(FindCountryIndex(static_cast<std::uint32_t>(First)), Expected) << Line;
    }
    EXPECT_EQ(FindCountryIndex(static_cast<std::uint32_t>(Last)), Expected) << Line;
    ++Checked;
  }
  EXPECT_GT(Checked, 100);
}

}  // namespace
