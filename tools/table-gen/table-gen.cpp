// SPDX-License-Identifier: MIT
// table-gen KIND LIST OUTPUT [COUNTRIES]: turns one of the program's data lists into the C++
// source of its constant table, for the build. KIND names the list's format:
//   countries     geo/data/countries.txt
//   continents    geo/data/continents.txt
//   registries    whois/data/registries.txt
//   former-codes  tools/ostrand-build/former-codes.txt, checked against the country list
//                 COUNTRIES
// Each list gives its rules at its top. A line that breaks them is reported on standard
// error as "LIST:LINE: message"; the tool then writes nothing and exits with status 1. The
// output's first line names the tool and the list as given on the command line.
#include "geo/LibOstrand.h"  // the sizes the tables must have
#include "text/AsciiText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// A file given by mistake (a binary, another list) would flood the build log.
constexpr int kMaxReported = 20;

// A line of a list that is neither blank nor a comment, cut at its "|" separators.
struct TLine {
  long Number;
  std::vector<std::string> Columns;
};

std::vector<std::string> Words(std::string_view S)
{
  std::vector<std::string> Result;
  std::istringstream In{std::string(S)};
  for (std::string W; In >> W;) Result.push_back(W);
  return Result;
}

class TList {
 public:
  explicit TList(std::string Name) : m_Name(std::move(Name)) {}

  const std::string& Name() const { return m_Name; }
  // The number of the last line, where a list that ends too early is reported.
  long EndLine() const { return std::max(m_LineCount, 1L); }

  // Reads the list's data lines; a byte outside printable ASCII on one (a tab counts as a
  // blank) is reported. False when the file cannot be read at all.
  bool Read(std::vector<TLine>& Lines)
  {
    std::error_code Ec;
    if (std::filesystem::is_directory(m_Name, Ec)) {
      std::fprintf(stderr, "table-gen: cannot read %s: %s\n", m_Name.c_str(), std::strerror(EISDIR));
      return false;
    }
    std::ifstream In(m_Name, std::ios::binary);
    if (!In) {
      std::fprintf(stderr, "table-gen: cannot read %s: %s\n", m_Name.c_str(), std::strerror(errno));
      return false;
    }
    std::string Text;
    while (std::getline(In, Text)) {
      ++m_LineCount;
      if (!Text.empty() && Text.back() == '\r') Text.pop_back();
      const std::string_view Line = TrimSpaceOrTab(Text);
      if (Line.empty() || Line.front() == '#') continue;
      // Still a row, so that the rows after it keep their numbers.
      for (unsigned char C : Line) {
        if ((C < ' ' && C != '\t') || C > '~') {
          char Hex[8];
          std::snprintf(Hex, sizeof Hex, "0x%02x", C);
          Error(m_LineCount, std::string("byte ") + Hex + " is no printable ASCII character");
          break;
        }
      }
      TLine L{m_LineCount, {}};
      for (std::size_t Start = 0;;) {
        const std::size_t Bar = Line.find('|', Start);
        L.Columns.emplace_back(TrimSpaceOrTab(Line.substr(Start, Bar == std::string_view::npos ? Bar : Bar - Start)));
        if (Bar == std::string_view::npos) break;
        Start = Bar + 1;
      }
      Lines.push_back(std::move(L));
    }
    if (In.bad()) {
      std::fprintf(stderr, "table-gen: cannot read %s: %s\n", m_Name.c_str(), std::strerror(errno));
      return false;
    }
    return true;
  }

  void Error(long Line, const std::string& Message)
  {
    if (m_Errors++ < kMaxReported) std::fprintf(stderr, "%s:%ld: %s\n", m_Name.c_str(), Line, Message.c_str());
  }

  // Whether the line has the list's columns; reported if not.
  bool HasColumns(const TLine& L, std::size_t Count, const char* Heading)
  {
    if (L.Columns.size() == Count) return true;
    Error(L.Number, std::to_string(L.Columns.size()) + " columns, expected " + std::to_string(Count) + ": " + Heading);
    return false;
  }

  // Ends the report; true when the list is sound.
  bool Finish()
  {
    if (m_Errors > kMaxReported)
      std::fprintf(stderr, "%s: %d more errors not shown\n", m_Name.c_str(), m_Errors - kMaxReported);
    return m_Errors == 0;
  }

 private:
  std::string m_Name;
  long m_LineCount = 0;
  int m_Errors = 0;
};

bool IsCode(std::string_view S) { return S.size() == 2 && S[0] >= 'a' && S[0] <= 'z' && S[1] >= 'a' && S[1] <= 'z'; }

// A decimal number of at most three digits, no sign.
bool ParseNumber(std::string_view S, unsigned& Value)
{
  if (S.empty() || S.size() > 3) return false;
  Value = 0;
  for (char C : S) {
    if (C < '0' || C > '9') return false;
    Value = Value * 10 + static_cast<unsigned>(C - '0');
  }
  return true;
}

// The index column: the row's number, counted from 0 over the list's data lines. Only the
// first wrong one is reported: a row left out or added puts all those after it out of step.
void CheckIndex(TList& List, const TLine& L, std::size_t Expected, bool& Reported)
{
  unsigned Index = 0;
  if (Reported || (ParseNumber(L.Columns[0], Index) && Index == Expected)) return;
  List.Error(L.Number, "index '" + L.Columns[0] + "', expected " + std::to_string(Expected) +
                           " (rows are numbered from 0, one more on each)");
  Reported = true;
}

void CheckText(TList& List, const TLine& L, const std::string& Text, const char* What)
{
  if (Text.find('\t') != std::string::npos) List.Error(L.Number, std::string("tab inside the ") + What);
}

// The rows' count is fixed by what indexes the table.
bool CheckRowCount(TList& List, const TLine& L, std::size_t Row, std::size_t Count, const char* What)
{
  if (Row < Count) return true;
  List.Error(L.Number, "row " + std::to_string(Row) + " is one too many: the table has " + std::to_string(Count) +
                           " rows, one for each " + What + " 0 to " + std::to_string(Count - 1));
  return false;
}

void CheckEnd(TList& List, std::size_t Rows, std::size_t Count, const char* What)
{
  if (Rows < Count)
    List.Error(List.EndLine(), "the list ends after " + std::to_string(Rows) + " rows: the table has " +
                                   std::to_string(Count) + ", one for each " + What + " 0 to " +
                                   std::to_string(Count - 1));
}

// A C++ string literal of a printable ASCII text.
std::string Literal(std::string_view S)
{
  std::string Out = "\"";
  for (char C : S) {
    if (C == '"' || C == '\\') Out += '\\';
    Out += C;
  }
  return Out + '"';
}

struct TCountry {
  std::string Code, Name;
  unsigned Continent;
  long Line;
};

bool ReadCountries(TList& List, std::vector<TCountry>& Rows)
{
  std::vector<TLine> Lines;
  if (!List.Read(Lines)) return false;
  std::map<std::string, long> Seen;
  bool IndexReported = false;
  for (const TLine& L : Lines) {
    if (!CheckRowCount(List, L, Rows.size(), CountryCount, "CountryIndex")) break;
    TCountry C{};
    C.Line = L.Number;
    if (List.HasColumns(L, 4, "index | code | name | continent")) {
      CheckIndex(List, L, Rows.size(), IndexReported);
      C.Code = L.Columns[1];
      C.Name = L.Columns[2];
      if (!IsCode(C.Code)) {
        List.Error(L.Number, "code '" + C.Code + "' is not two lower-case letters");
      } else if (const auto [It, New] = Seen.emplace(C.Code, L.Number); !New) {
        List.Error(L.Number, "code '" + C.Code + "' is already on line " + std::to_string(It->second));
      }
      if (C.Name.empty()) List.Error(L.Number, "the name is empty");
      CheckText(List, L, C.Name, "name");
      if (!ParseNumber(L.Columns[3], C.Continent) || C.Continent < 1 || C.Continent >= ContinentCount)
        List.Error(L.Number, "continent '" + L.Columns[3] + "' is not 1 to " + std::to_string(ContinentCount - 1));
    }
    Rows.push_back(std::move(C));
  }
  CheckEnd(List, Rows.size(), CountryCount, "CountryIndex");
  return List.Finish();
}

// What every output has: the stamp, the header that declares the row type and the table,
// the rows, and the table as a span over them.
struct TOutput {
  const char* Header;
  const char* RowType;
  const char* Table;
  const char* Extent;  // the span's fixed size, or nullptr
  std::vector<std::string> Rows;
  std::vector<std::string> Comments;  // one for each row, or none
};

std::string Source(const TList& List, const TOutput& O)
{
  std::string S = "// generated by table-gen from " + List.Name() + "; do not edit\n";
  S += std::string("#include \"") + O.Header + "\"\n\n";
  const std::string Span =
      std::string("std::span<const ") + O.RowType + (O.Extent ? std::string(", ") + O.Extent : "") + ">";
  if (O.Rows.empty()) return S + "constinit const " + Span + " " + O.Table + "{};\n";
  S += "namespace {\n\nconstexpr " + std::string(O.RowType) + " kRows[] = {\n";
  for (std::size_t I = 0; I < O.Rows.size(); ++I)
    S += "    {" + O.Rows[I] + "}," + (I < O.Comments.size() ? "  // " + O.Comments[I] : "") + "\n";
  S += "};\n";
  if (O.Extent) S += std::string("static_assert(std::size(kRows) == ") + O.Extent + ", \"the list's row count\");\n";
  return S + "\n}  // namespace\n\nconstinit const " + Span + " " + O.Table + "{kRows};\n";
}

bool Countries(TList& List, std::string& Out)
{
  std::vector<TCountry> Rows;
  if (!ReadCountries(List, Rows)) return false;
  TOutput O{"geo/LibOstrand.h", "TCountryRow", "CountryRows", "CountryCount", {}, {}};
  for (std::size_t I = 0; I < Rows.size(); ++I) {
    O.Rows.push_back(Literal(Rows[I].Code) + ", " + Literal(Rows[I].Name) + ", " + std::to_string(Rows[I].Continent));
    O.Comments.push_back(std::to_string(I));
  }
  Out = Source(List, O);
  return true;
}

bool Continents(TList& List, std::string& Out)
{
  std::vector<TLine> Lines;
  if (!List.Read(Lines)) return false;
  TOutput O{"geo/LibOstrand.h", "TContinentRow", "ContinentRows", "ContinentCount", {}, {}};
  bool IndexReported = false;
  for (const TLine& L : Lines) {
    const std::size_t Row = O.Rows.size();
    if (!CheckRowCount(List, L, Row, ContinentCount, "ContinentCode")) break;
    if (List.HasColumns(L, 3, "index | name | adjective")) {
      CheckIndex(List, L, Row, IndexReported);
      const std::string& Name = L.Columns[1];
      const std::string& Adjective = L.Columns[2];
      if (Row == 0 && !Name.empty()) List.Error(L.Number, "row 0, no known country, has no name");
      if (Row > 0 && Name.empty()) List.Error(L.Number, "the name is empty");
      if (Adjective.empty()) List.Error(L.Number, "the adjective is empty");
      CheckText(List, L, Name, "name");
      CheckText(List, L, Adjective, "adjective");
      O.Rows.push_back(Literal(Name) + ", " + Literal(Adjective));
    } else {
      O.Rows.emplace_back();
    }
    O.Comments.push_back(std::to_string(Row));
  }
  CheckEnd(List, O.Rows.size(), ContinentCount, "ContinentCode");
  if (!List.Finish()) return false;
  Out = Source(List, O);
  return true;
}

bool Registries(TList& List, std::string& Out)
{
  std::vector<TLine> Lines;
  if (!List.Read(Lines)) return false;
  TOutput O{"whois/RegistryChoice.h", "TRegistryRow", "RegistryRows", nullptr, {}, {}};
  std::map<std::string, long> Names, Codes;
  std::map<unsigned, long> Continents;
  bool AllRead = true;  // no line whose continents are unknown
  for (const TLine& L : Lines) {
    if (!List.HasColumns(L, 3, "registry | continents | countries")) {
      AllRead = false;
      continue;
    }
    const std::string& Name = L.Columns[0];
    bool Upper = !Name.empty();
    for (char C : Name) Upper = Upper && C >= 'A' && C <= 'Z';
    if (!Upper) {
      List.Error(L.Number, "registry '" + Name + "' is not upper-case letters");
    } else if (const auto [It, New] = Names.emplace(Name, L.Number); !New) {
      List.Error(L.Number, "registry '" + Name + "' is already on line " + std::to_string(It->second));
    }
    unsigned Mask = 0;
    std::string Taken;
    for (const std::string& W : Words(L.Columns[1])) {
      unsigned C = 0;
      if (!ParseNumber(W, C) || C >= ContinentCount) {
        List.Error(L.Number, "continent '" + W + "' is not 0 to " + std::to_string(ContinentCount - 1));
      } else if (const auto [It, New] = Continents.emplace(C, L.Number); !New) {
        List.Error(L.Number, "continent " + W + " is already on line " + std::to_string(It->second));
      } else {
        Mask |= 1u << C;
        Taken += " " + W;
      }
    }
    // The text the program searches: each code after one blank, one more after the last.
    std::string Countries;
    for (const std::string& W : Words(L.Columns[2])) {
      if (!IsCode(W)) {
        List.Error(L.Number, "code '" + W + "' is not two lower-case letters");
      } else if (const auto [It, New] = Codes.emplace(W, L.Number); !New) {
        List.Error(L.Number, "code '" + W + "' is already on line " + std::to_string(It->second));
      } else {
        Countries += " " + W;
      }
    }
    if (!Countries.empty()) Countries += " ";
    std::string Bits = "0b";
    for (std::size_t B = ContinentCount; B-- > 0;) Bits += (Mask >> B & 1) ? '1' : '0';
    O.Rows.push_back(Literal(Name) + ", " + Bits + ", " + Literal(Countries));
    O.Comments.push_back(Taken.empty() ? "no continent" : "continents" + Taken);
  }
  for (unsigned C = 0; C < ContinentCount && AllRead; ++C)
    if (!Continents.count(C)) List.Error(List.EndLine(), "continent " + std::to_string(C) + " is on no line");
  if (!List.Finish()) return false;
  Out = Source(List, O);
  return true;
}

bool FormerCodes(TList& List, TList& CountryList, std::string& Out)
{
  std::vector<TCountry> Countries;
  if (!ReadCountries(CountryList, Countries)) return false;
  std::map<std::string, long> Rows;
  for (const TCountry& C : Countries) Rows.emplace(C.Code, C.Line);

  std::vector<TLine> Lines;
  if (!List.Read(Lines)) return false;
  TOutput O{"tools/ostrand-build/FormerCodes.h", "TFormerCode", "FormerCodes", nullptr, {}, {}};
  std::map<std::string, long> Seen;
  for (const TLine& L : Lines) {
    if (!List.HasColumns(L, 2, "code | row")) continue;
    const std::string& Code = L.Columns[0];
    const std::string& Row = L.Columns[1];
    if (!IsCode(Code)) {
      List.Error(L.Number, "code '" + Code + "' is not two lower-case letters");
    } else if (const auto [It, New] = Seen.emplace(Code, L.Number); !New) {
      List.Error(L.Number, "code '" + Code + "' is already on line " + std::to_string(It->second));
    } else if (const auto Own = Rows.find(Code); Own != Rows.end()) {
      List.Error(L.Number, "code '" + Code + "' has a row of its own, on line " + std::to_string(Own->second) + " of " +
                               CountryList.Name());
    }
    if (!IsCode(Row)) {
      List.Error(L.Number, "row '" + Row + "' is not two lower-case letters");
    } else if (!Rows.count(Row)) {
      List.Error(L.Number, "row '" + Row + "' is no row of " + CountryList.Name());
    }
    O.Rows.push_back(Literal(Code) + ", " + Literal(Row));
  }
  if (!List.Finish()) return false;
  Out = Source(List, O);
  return true;
}

// Through a temporary file beside the output, so that a failed run leaves no half table that
// a later build would take for a finished one.
bool Write(const std::string& FileName, const std::string& Text)
{
  const std::string Temp = FileName + ".tmp";
  {
    std::ofstream Out(Temp, std::ios::binary | std::ios::trunc);
    Out << Text;
    Out.close();
    if (!Out) {
      std::fprintf(stderr, "table-gen: cannot write %s: %s\n", Temp.c_str(), std::strerror(errno));
      std::error_code Ignored;
      std::filesystem::remove(Temp, Ignored);
      return false;
    }
  }
  std::error_code Ec;
  std::filesystem::rename(Temp, FileName, Ec);
  if (Ec) {
    std::fprintf(stderr, "table-gen: cannot write %s: %s\n", FileName.c_str(), Ec.message().c_str());
    std::filesystem::remove(Temp, Ec);
    return false;
  }
  return true;
}

int Usage()
{
  std::fprintf(stderr,
               "usage: table-gen countries|continents|registries LIST OUTPUT\n"
               "       table-gen former-codes LIST OUTPUT COUNTRIES\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv)
{
  const std::vector<std::string> Args(argv + 1, argv + argc);
  if (Args.empty()) return Usage();
  const std::string& Kind = Args[0];
  const std::size_t Expected = Kind == "former-codes" ? 4 : 3;
  if (Args.size() != Expected) return Usage();
  TList List(Args[1]);
  std::string Text;
  bool Ok = false;
  if (Kind == "countries") {
    Ok = Countries(List, Text);
  } else if (Kind == "continents") {
    Ok = Continents(List, Text);
  } else if (Kind == "registries") {
    Ok = Registries(List, Text);
  } else if (Kind == "former-codes") {
    TList CountryList(Args[3]);
    Ok = FormerCodes(List, CountryList, Text);
  } else {
    return Usage();
  }
  if (!Ok) return 1;
  return Write(Args[2], Text) ? 0 : 1;
}
