// SPDX-License-Identifier: MIT
// Runs table-gen on small lists: each malformed line is named by file and line number and
// nothing is written; sound lists give the tables' sources.
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"
#include "tests/support/RunTool.h"

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
using testing::StartsWith;

using TRun = TToolRun;

std::string Join(const std::vector<std::string>& Lines)
{
  std::string S;
  for (const std::string& L : Lines) S += L + "\n";
  return S;
}

// A sound country list: a comment on line 1, then row R on line R + 2, coded "aa", "ab", ...
std::vector<std::string> CountryLines()
{
  std::vector<std::string> Lines{"# index | code | name | continent"};
  for (std::size_t R = 0; R < CountryCount; ++R) {
    const std::string Code{static_cast<char>('a' + R / 26), static_cast<char>('a' + R % 26)};
    Lines.push_back(std::to_string(R) + " | " + Code + " | Land " + Code + " | " + std::to_string(1 + R % 7));
  }
  return Lines;
}

const std::vector<std::string> kContinentLines = {"# index | name | adjective",
                                                  "0 | | Global",
                                                  "1 | North America | North American",
                                                  "2 | South America | South American",
                                                  "3 | Europe | European",
                                                  "4 | Africa | African",
                                                  "5 | Asia | Asian",
                                                  "6 | Oceania | Oceanic",
                                                  "7 | Antarctica | Antarctican"};

const std::vector<std::string> kRegistryLines = {"# registry | continents | countries", "ARIN | 0 1 4 7 |",
                                                 "RIPE | 3 | ru ge", "APNIC | 5 6 |", "LACNIC | 2 | mx hn"};

// Lines with line number Line (from 1) replaced by Text, or dropped for an empty Text.
std::string With(std::vector<std::string> Lines, std::size_t Line, const std::string& Text)
{
  if (Text.empty())
    Lines.erase(Lines.begin() + static_cast<std::ptrdiff_t>(Line - 1));
  else if (Line > Lines.size())
    Lines.push_back(Text);
  else
    Lines[Line - 1] = Text;
  return Join(Lines);
}

class TableGenTest : public testing::Test {
 protected:
  TRun Run(const std::vector<std::string>& Args) { return RunTool(TABLE_GEN, Args, Dir.File("stderr.txt")); }

  // Generates from List (a sound country list beside it for former codes).
  TRun Generate(const std::string& Kind, const std::string& List)
  {
    std::vector<std::string> Args{Kind, Dir.Write("list.txt", List), Out()};
    if (Kind == "former-codes") Args.push_back(Dir.Write("countries.txt", Join(CountryLines())));
    return Run(Args);
  }

  std::string Out() const { return Dir.File("out.cpp"); }
  std::string Output() const
  {
    std::ifstream In(Out());
    std::stringstream Text;
    Text << In.rdbuf();
    return Text.str();
  }

  TTempDir Dir;
};

TEST_F(TableGenTest, NamesTheLineOfEachMalformedRowAndWritesNothing)
{
  const std::vector<std::string> C = CountryLines();
  struct TCase {
    const char* Kind;
    std::string List;
    long Line;
    const char* Message;
  };
  const TCase Cases[] = {
      {"countries", With(C, 5, "3 | ad | Land"), 5, "3 columns, expected 4: index | code | name | continent"},
      {"countries", With(C, 5, "3 | ad | Land | 1 | x"), 5, "5 columns, expected 4"},
      {"countries", With(C, 5, "3 | AD | Land | 1"), 5, "code 'AD' is not two lower-case letters"},
      {"countries", With(C, 5, "3 | a1 | Land | 1"), 5, "code 'a1' is not two lower-case letters"},
      {"countries", With(C, 5, "3 | abc | Land | 1"), 5, "code 'abc' is not two lower-case letters"},
      {"countries", With(C, 5, "3 | ab | Land | 1"), 5, "code 'ab' is already on line 3"},
      {"countries", With(C, 5, "3 | ad | Land | 0"), 5, "continent '0' is not 1 to 7"},
      {"countries", With(C, 5, "3 | ad | Land | 8"), 5, "continent '8' is not 1 to 7"},
      {"countries", With(C, 5, "3 | ad | Land | -1"), 5, "continent '-1' is not 1 to 7"},
      {"countries", With(C, 5, "3 | ad |  | 1"), 5, "the name is empty"},
      {"countries", With(C, 5, "3 | ad | Land\tad | 1"), 5, "tab inside the name"},
      {"countries",
       With(C, 5,
            "3 | ad | Cura\xc3\xa7"
            "ao | 1"),
       5, "byte 0xc3 is no printable ASCII character"},
      {"countries", With(C, 5, "4 | ad | Land | 1"), 5, "index '4', expected 3"},
      {"countries", With(C, 247, "245 | zz | One more | 1"), 247, "row 245 is one too many: the table has 245 rows"},
      // 244 rows end on line 245.
      {"countries", With(C, 246, ""), 245, "the list ends after 244 rows: the table has 245"},
      {"countries", "", 1, "the list ends after 0 rows"},
      {"continents", With(kContinentLines, 2, "0 | Nowhere | Global"), 2, "row 0, no known country, has no name"},
      {"continents", With(kContinentLines, 5, "3 |  | European"), 5, "the name is empty"},
      {"continents", With(kContinentLines, 5, "3 | Europe | "), 5, "the adjective is empty"},
      {"continents", With(kContinentLines, 5, "3 | Europe"), 5, "2 columns, expected 3: index | name | adjective"},
      {"continents", With(kContinentLines, 10, "8 | Atlantis | Atlantic"), 10, "row 8 is one too many"},
      {"continents", With(kContinentLines, 9, ""), 8, "the list ends after 7 rows: the table has 8"},
      {"registries", With(kRegistryLines, 2, "arin | 0 1 4 7 |"), 2, "registry 'arin' is not upper-case letters"},
      {"registries", With(kRegistryLines, 5, "RIPE | 2 | mx"), 5, "registry 'RIPE' is already on line 3"},
      {"registries", With(kRegistryLines, 4, "APNIC | 5 6 8 |"), 4, "continent '8' is not 0 to 7"},
      {"registries", With(kRegistryLines, 4, "APNIC | 5 6 x |"), 4, "continent 'x' is not 0 to 7"},
      {"registries", With(kRegistryLines, 4, "APNIC | 5 6 3 |"), 4, "continent 3 is already on line 3"},
      {"registries", With(kRegistryLines, 4, "APNIC | 5 |"), 5, "continent 6 is on no line"},
      {"registries", With(kRegistryLines, 5, "LACNIC | 2 | mx ru"), 5, "code 'ru' is already on line 3"},
      {"registries", With(kRegistryLines, 5, "LACNIC | 2 | mx mx"), 5, "code 'mx' is already on line 5"},
      {"registries", With(kRegistryLines, 5, "LACNIC | 2 | mx MX"), 5, "code 'MX' is not two lower-case letters"},
      {"registries", With(kRegistryLines, 5, "LACNIC | 2"), 5, "2 columns, expected 3"},
      {"former-codes", "zz | aa | ab\n", 1, "3 columns, expected 2: code | row"},
      {"former-codes", "# code | row\nzz | aa\nzz | ab\n", 3, "code 'zz' is already on line 2"},
      {"former-codes", "Zz | aa\n", 1, "code 'Zz' is not two lower-case letters"},
      {"former-codes", "zz | a\n", 1, "row 'a' is not two lower-case letters"},
      {"former-codes", "zz | zy\n", 1, "row 'zy' is no row of "},
      // Row 1 of the country list stands on its line 3.
      {"former-codes", "ab | aa\n", 1, "code 'ab' has a row of its own, on line 3 of "},
  };
  for (const TCase& Case : Cases) {
    std::filesystem::remove(Out());
    const TRun R = Generate(Case.Kind, Case.List);
    const std::string Where = Dir.File("list.txt") + ":" + std::to_string(Case.Line) + ": ";
    EXPECT_EQ(R.Status, 1) << Case.Message;
    EXPECT_THAT(R.Stderr, StartsWith(Where + Case.Message));
    // One fault, one message: the rows after it keep their numbers.
    EXPECT_EQ(std::count(R.Stderr.begin(), R.Stderr.end(), '\n'), 1) << R.Stderr;
    EXPECT_FALSE(std::filesystem::exists(Out())) << Case.Message;
  }
}

TEST_F(TableGenTest, ManyBadLinesAreCutShortAndAFailureKeepsTheOldOutput)
{
  std::vector<std::string> C = CountryLines();
  for (std::size_t Line = 2; Line < 40; ++Line) C[Line - 1] += " | x";
  Dir.Write("out.cpp", "old");
  const TRun R = Generate("countries", Join(C));
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(std::count(R.Stderr.begin(), R.Stderr.end(), '\n'), 21) << R.Stderr;
  EXPECT_THAT(R.Stderr, HasSubstr("list.txt: 18 more errors not shown"));
  EXPECT_EQ(Output(), "old");
}

TEST_F(TableGenTest, ARowLeftOutIsNamedWhereTheRowsFallOutOfStep)
{
  const TRun R = Generate("countries", With(CountryLines(), 50, ""));
  EXPECT_EQ(R.Status, 1);
  const std::string List = Dir.File("list.txt");
  EXPECT_EQ(R.Stderr, List + ":50: index '49', expected 48 (rows are numbered from 0, one more on each)\n" + List +
                          ":245: the list ends after 244 rows: the table has 245, one for each "
                          "CountryIndex 0 to 244\n");
}

TEST_F(TableGenTest, SoundListsGiveTheirTables)
{
  std::vector<std::string> C = CountryLines();
  C[2] = "  1 |ab|   Say \"hi\" \\ there |2\r";  // row 1, blanks and a CR around its columns
  C.insert(C.begin() + 3, {"", "   # a comment", "\t"});
  const std::string CountryList = Join(C);
  ASSERT_EQ(Generate("countries", CountryList).Status, 0);
  const std::string Countries = Output();
  EXPECT_THAT(Countries, StartsWith("// generated by table-gen from " + Dir.File("list.txt") + "; do not edit\n"));
  EXPECT_THAT(Countries, HasSubstr("    {\"aa\", \"Land aa\", 1},  // 0\n"
                                   "    {\"ab\", \"Say \\\"hi\\\" \\\\ there\", 2},  // 1\n"));
  EXPECT_THAT(Countries, HasSubstr("    {\"jk\", \"Land jk\", 7},  // 244\n};\n"));
  EXPECT_THAT(Countries, HasSubstr("constinit const std::span<const TCountryRow, CountryCount> CountryRows{kRows};"));

  ASSERT_EQ(Generate("continents", Join(kContinentLines)).Status, 0);
  EXPECT_THAT(Output(), HasSubstr("    {\"\", \"Global\"},  // 0\n"
                                  "    {\"North America\", \"North American\"},  // 1\n"));

  // Each list text: every code after one blank, one more after the last, whatever the
  // blanks in the list; no codes, no text.
  ASSERT_EQ(Generate("registries", With(kRegistryLines, 3, "RIPE | 3 |  ru \t gz ")).Status, 0);
  const std::string Registries = Output();
  EXPECT_THAT(Registries, HasSubstr("    {\"ARIN\", 0b10010011, \"\"},  // continents 0 1 4 7\n"
                                    "    {\"RIPE\", 0b00001000, \" ru gz \"},  // continents 3\n"));
  EXPECT_THAT(Registries, HasSubstr("    {\"LACNIC\", 0b00000100, \" mx hn \"},  // continents 2\n"));
  EXPECT_THAT(Registries, HasSubstr("constinit const std::span<const TRegistryRow> RegistryRows{kRows};"));

  ASSERT_EQ(Generate("former-codes", "zz | aa\nzy | jk\n").Status, 0);
  EXPECT_THAT(Output(), HasSubstr("    {\"zz\", \"aa\"},\n    {\"zy\", \"jk\"},\n};\n"));
  ASSERT_EQ(Generate("former-codes", "# nothing yet\n").Status, 0);
  EXPECT_THAT(Output(), HasSubstr("constinit const std::span<const TFormerCode> FormerCodes{};"));
}

TEST_F(TableGenTest, FormerCodesNameTheFaultsOfTheirCountryList)
{
  const std::string Countries = Dir.Write("countries.txt", With(CountryLines(), 4, "2 | AC | Land | 3"));
  const TRun R = Run({"former-codes", Dir.Write("list.txt", "zz | aa\n"), Out(), Countries});
  EXPECT_EQ(R.Status, 1);
  EXPECT_THAT(R.Stderr, StartsWith(Countries + ":4: code 'AC' is not two lower-case letters"));
  EXPECT_FALSE(std::filesystem::exists(Out()));
}

TEST_F(TableGenTest, UnreadableListsAndWrongArguments)
{
  for (const std::string& List : {Dir.File("missing.txt"), Dir.Path().string()}) {
    const TRun R = Run({"countries", List, Out()});
    EXPECT_EQ(R.Status, 1) << List;
    EXPECT_THAT(R.Stderr, HasSubstr("cannot read " + List)) << List;
  }
  const std::string List = Dir.Write("list.txt", Join(kContinentLines));
  const TRun Unwritable = Run({"continents", List, Dir.File("no/such/dir/out.cpp")});
  EXPECT_EQ(Unwritable.Status, 1);
  EXPECT_THAT(Unwritable.Stderr, HasSubstr("no/such/dir/out.cpp"));
  for (const std::vector<std::string>& Args :
       {std::vector<std::string>{}, {"states", List, Out()}, {"continents", List}, {"former-codes", List, Out()}}) {
    const TRun R = Run(Args);
    EXPECT_EQ(R.Status, 2);
    EXPECT_THAT(R.Stderr, HasSubstr("usage: table-gen"));
  }
}

}  // namespace
