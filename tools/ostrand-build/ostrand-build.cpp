// SPDX-License-Identifier: MIT
// ostrand-build [INPUT] [OUTPUT]: writes a range file from a list of IPv4 ranges with
// two-letter country codes (Debian's /usr/share/tor/geoip by default) to OUTPUT
// (Ostrand.dat by default). Input lines are FIRST,LAST,CC with decimal IP numbers; '#'
// starts a comment line. The output covers the whole address space in ascending order:
// gaps become NoCountry records, neighbours with the same country are merged.
#include "geo/LibOstrand.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kDefaultInput = "/usr/share/tor/geoip";
constexpr const char* kDefaultOutput = "Ostrand.dat";
// A wrong input (say, the IPv6 list) would flood the terminal; the count still tells.
constexpr int kMaxReportedLines = 20;

struct TInputRange {
  std::uint32_t First;
  std::uint32_t Last;
  CountryIndex Country;
  std::string Code;  // upper case, as read; empty for "??"
  long Line;
};

struct TReport {
  std::string FileName;
  int Printed = 0;
  long Suppressed = 0;

  void Line(long LineNo, const std::string& Message) {
    if (Printed < kMaxReportedLines) {
      std::fprintf(stderr, "%s:%ld: %s\n", FileName.c_str(), LineNo, Message.c_str());
      ++Printed;
    } else {
      ++Suppressed;
    }
  }
};

std::string_view Trim(std::string_view S) {
  while (!S.empty() && static_cast<unsigned char>(S.front()) <= ' ') S.remove_prefix(1);
  while (!S.empty() && static_cast<unsigned char>(S.back()) <= ' ') S.remove_suffix(1);
  return S;
}

bool ParseIpNumber(std::string_view S, std::uint32_t& Value) {
  S = Trim(S);
  std::uint64_t V = 0;
  auto [End, Err] = std::from_chars(S.data(), S.data() + S.size(), V);
  if (S.empty() || Err != std::errc() || End != S.data() + S.size() || V > 0xFFFFFFFFu) return false;
  Value = static_cast<std::uint32_t>(V);
  return true;
}

// The row of a code in the country table, or NoCountry.
CountryIndex RowOfCode(std::string_view Lower) {
  for (std::size_t I = 0; I < CountryCount; ++I)
    if (CountryCodes[I] == Lower) return static_cast<CountryIndex>(I);
  return NoCountry;
}

// Parses one non-comment line; an empty return means success.
std::string ParseLine(std::string_view Text, TInputRange& R) {
  const std::size_t C1 = Text.find(',');
  const std::size_t C2 = C1 == std::string_view::npos ? C1 : Text.find(',', C1 + 1);
  if (C2 == std::string_view::npos || Text.find(',', C2 + 1) != std::string_view::npos)
    return "expected FIRST,LAST,CC";
  const std::string_view FirstText = Text.substr(0, C1);
  const std::string_view LastText = Text.substr(C1 + 1, C2 - C1 - 1);
  const std::string_view CodeText = Trim(Text.substr(C2 + 1));
  if (!ParseIpNumber(FirstText, R.First))
    return "bad address number '" + std::string(Trim(FirstText)) + "'";
  if (!ParseIpNumber(LastText, R.Last))
    return "bad address number '" + std::string(Trim(LastText)) + "'";
  if (R.First > R.Last) return "range ends before it starts";
  if (CodeText == "??") {
    R.Code.clear();
    R.Country = NoCountry;
    return {};
  }
  if (CodeText.size() != 2 || !std::isalpha(static_cast<unsigned char>(CodeText[0])) ||
      !std::isalpha(static_cast<unsigned char>(CodeText[1])))
    return "bad country code '" + std::string(CodeText) + "'";
  std::string Upper(CodeText), Lower(CodeText);
  for (char& C : Upper) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  for (char& C : Lower) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  R.Code = Upper;
  R.Country = RowOfCode(Lower);
  return {};
}

bool WriteAll(int Fd, const unsigned char* P, std::size_t Len) {
  while (Len > 0) {
    ssize_t N = ::write(Fd, P, Len);
    if (N < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    P += N;
    Len -= static_cast<std::size_t>(N);
  }
  return true;
}

// Writes to a temporary file beside the output and renames it into place, so that a reader
// never sees a half-written range file and a failure leaves the old one standing.
bool WriteAtomically(const std::string& FileName, const std::vector<RangeEntry>& Records,
                     std::string& Error) {
  std::vector<unsigned char> Bytes;
  Bytes.reserve(Records.size() * 5);
  for (const RangeEntry& E : Records) {
    for (int Shift = 0; Shift < 32; Shift += 8)
      Bytes.push_back(static_cast<unsigned char>(E.Start >> Shift));
    Bytes.push_back(E.Country);
  }
  std::string Temp = FileName + ".XXXXXX";
  int Fd = ::mkstemp(Temp.data());
  if (Fd < 0) {
    Error = "cannot create " + Temp + ": " + std::strerror(errno);
    return false;
  }
  const mode_t Mask = ::umask(0);
  ::umask(Mask);
  bool Ok = ::fchmod(Fd, 0666 & ~Mask) == 0 && WriteAll(Fd, Bytes.data(), Bytes.size()) &&
            ::fsync(Fd) == 0;
  int Err = errno;
  if (::close(Fd) != 0 && Ok) {
    Ok = false;
    Err = errno;
  }
  if (Ok && ::rename(Temp.c_str(), FileName.c_str()) != 0) {
    Ok = false;
    Err = errno;
  }
  if (!Ok) {
    ::unlink(Temp.c_str());
    Error = "cannot write " + FileName + ": " + std::strerror(Err);
  }
  return Ok;
}

int Usage() {
  std::fprintf(stderr,
               "usage: ostrand-build [INPUT] [OUTPUT]\n"
               "  INPUT   lines FIRST,LAST,CC (default %s)\n"
               "  OUTPUT  range file to write (default %s)\n",
               kDefaultInput, kDefaultOutput);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 3) return Usage();
  for (int I = 1; I < argc; ++I)
    if (std::strcmp(argv[I], "-h") == 0 || std::strcmp(argv[I], "--help") == 0) return Usage();
  const std::string InputName = argc > 1 ? argv[1] : kDefaultInput;
  const std::string OutputName = argc > 2 ? argv[2] : kDefaultOutput;

  struct stat St {};
  if (::stat(InputName.c_str(), &St) == 0 && S_ISDIR(St.st_mode)) {
    std::fprintf(stderr, "ostrand-build: cannot read %s: %s\n", InputName.c_str(), std::strerror(EISDIR));
    return 1;
  }
  std::ifstream In(InputName, std::ios::binary);
  if (!In) {
    std::fprintf(stderr, "ostrand-build: cannot read %s: %s\n", InputName.c_str(), std::strerror(errno));
    return 1;
  }

  TReport Report{InputName};
  std::vector<TInputRange> Ranges;
  long LineNo = 0;
  long BadLines = 0;
  std::string Text;
  while (std::getline(In, Text)) {
    ++LineNo;
    const std::string_view Line = Trim(Text);
    if (Line.empty() || Line.front() == '#') continue;
    TInputRange R{};
    R.Line = LineNo;
    const std::string Message = ParseLine(Line, R);
    if (!Message.empty()) {
      Report.Line(LineNo, Message);
      ++BadLines;
      continue;
    }
    Ranges.push_back(std::move(R));
  }
  if (In.bad()) {
    std::fprintf(stderr, "ostrand-build: cannot read %s: %s\n", InputName.c_str(), std::strerror(errno));
    return 1;
  }
  if (Ranges.empty()) {
    std::fprintf(stderr, "ostrand-build: %s holds no valid range line\n", InputName.c_str());
    return 1;
  }

  // The list is usually sorted already; a stable sort keeps the first of equal ranges first.
  std::stable_sort(Ranges.begin(), Ranges.end(), [](const TInputRange& A, const TInputRange& B) {
    return A.First < B.First;
  });

  // Walk the address space: NoCountry in the gaps, the earlier range wins where two overlap.
  std::vector<RangeEntry> Records;
  std::map<std::string, std::uint64_t> Unknown;  // code without a row -> addresses covered
  std::uint64_t Next = 0;      // first address not yet covered
  long Overlaps = 0;
  long PreviousLine = 0;
  for (const TInputRange& R : Ranges) {
    std::uint64_t First = R.First;
    if (First < Next) {
      ++Overlaps;
      Report.Line(R.Line, "range overlaps the one from line " + std::to_string(PreviousLine) +
                              "; the overlapping part is skipped");
      if (R.Last < Next) continue;
      First = Next;
    }
    if (First > Next) Records.push_back({static_cast<std::uint32_t>(Next), NoCountry});
    Records.push_back({static_cast<std::uint32_t>(First), R.Country});
    if (!R.Code.empty() && R.Country == NoCountry) Unknown[R.Code] += R.Last - First + 1;
    Next = std::uint64_t{R.Last} + 1;
    PreviousLine = R.Line;
  }
  if (Next <= 0xFFFFFFFFu) Records.push_back({static_cast<std::uint32_t>(Next), NoCountry});

  // A record with its predecessor's country adds nothing to any answer.
  std::vector<RangeEntry> Merged;
  Merged.reserve(Records.size());
  for (const RangeEntry& E : Records)
    if (Merged.empty() || Merged.back().Country != E.Country) Merged.push_back(E);

  std::string Error;
  if (!WriteAtomically(OutputName, Merged, Error)) {
    std::fprintf(stderr, "ostrand-build: %s\n", Error.c_str());
    return 1;
  }

  if (Report.Suppressed > 0)
    std::fprintf(stderr, "%s: %ld more messages not shown\n", InputName.c_str(), Report.Suppressed);
  std::fprintf(stderr, "ostrand-build: %zu records written to %s from %zu ranges of %s\n",
               Merged.size(), OutputName.c_str(), Ranges.size(), InputName.c_str());
  if (BadLines > 0) std::fprintf(stderr, "ostrand-build: %ld bad lines skipped\n", BadLines);
  if (Overlaps > 0) std::fprintf(stderr, "ostrand-build: %ld overlapping ranges trimmed\n", Overlaps);
  if (Unknown.empty()) {
    std::fprintf(stderr, "ostrand-build: every code has a row in the country table\n");
  } else {
    std::uint64_t Total = 0;
    std::string List;
    for (const auto& [Code, Count] : Unknown) {
      Total += Count;
      List += " " + Code + " (" + std::to_string(Count) + ")";
    }
    std::fprintf(stderr, "ostrand-build: %zu codes without a row, %llu addresses as no country:%s\n",
                 Unknown.size(), static_cast<unsigned long long>(Total), List.c_str());
  }
  return 0;
}
