// SPDX-License-Identifier: MIT
// ostrand-build [-6] [INPUT] [OUTPUT]: writes a range file from a list of address ranges with
// two-letter country codes to OUTPUT. Without -6: IPv4, lines FIRST,LAST,CC with decimal IP
// numbers (Debian's /usr/share/tor/geoip), written as Ostrand.dat's 5-byte records. With -6:
// IPv6, lines FIRST,LAST,CC with IPv6 address texts (/usr/share/tor/geoip6), written as
// Ostrand6.dat's 17-byte records. '#' starts a comment line. The output covers the whole
// address space in ascending order: gaps become NoCountry records, neighbours with the same
// country are merged. A code given out after the country table was drawn up takes the row of
// its former name (former-codes.txt).
#include "geo/LibOstrand.h"
#include "text/AsciiText.h"
#include "tools/ostrand-build/FormerCodes.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Wide enough for an address of either family.
using TAddress = unsigned __int128;

// What differs between the two range files.
struct TFamily {
  const char* DefaultInput;
  const char* DefaultOutput;
  TAddress Last;  // the highest address
  bool Ipv6;
};
constexpr TFamily kIpv4{"/usr/share/tor/geoip", "Ostrand.dat", 0xFFFFFFFFu, false};
constexpr TFamily kIpv6{"/usr/share/tor/geoip6", "Ostrand6.dat", ~TAddress{0}, true};

// A wrong input (say, the IPv6 list without -6) would flood the terminal; the count still tells.
constexpr int kMaxReportedLines = 20;

struct TInputRange {
  TAddress First;
  TAddress Last;
  CountryIndex Country;
  std::string Code;  // upper case, as read; empty for "??"
  bool FormerRow;    // the code's row is that of its former name
  long Line;
};

struct TRecord {
  TAddress Start;
  CountryIndex Country;
};

struct TReport {
  std::string FileName;
  int Printed = 0;
  long Suppressed = 0;

  void Line(long LineNo, const std::string& Message)
  {
    if (Printed < kMaxReportedLines) {
      std::fprintf(stderr, "%s:%ld: %s\n", FileName.c_str(), LineNo, Message.c_str());
      ++Printed;
    } else {
      ++Suppressed;
    }
  }
};

bool ParseIpNumber(std::string_view S, TAddress& Value)
{
  S = TrimBlankOrControl(S);
  std::uint64_t V = 0;
  auto [End, Err] = std::from_chars(S.data(), S.data() + S.size(), V);
  if (S.empty() || Err != std::errc() || End != S.data() + S.size() || V > 0xFFFFFFFFu) return false;
  Value = V;
  return true;
}

bool ParseIpv6(std::string_view S, TAddress& Value)
{
  const std::string Text(TrimBlankOrControl(S));
  unsigned char Bytes[16];
  if (Text.find('\0') != std::string::npos || ::inet_pton(AF_INET6, Text.c_str(), Bytes) != 1) return false;
  Value = 0;
  for (unsigned char B : Bytes) Value = Value << 8 | B;
  return true;
}

// The row of a code in the country table, or NoCountry.
CountryIndex RowOfCode(std::string_view Lower)
{
  for (std::size_t I = 0; I < CountryCount; ++I)
    if (CountryCodes[I] == Lower) return static_cast<CountryIndex>(I);
  return NoCountry;
}

// Parses one non-comment line; an empty return means success.
std::string ParseLine(std::string_view Text, const TFamily& Family, TInputRange& R)
{
  const std::size_t C1 = Text.find(',');
  const std::size_t C2 = C1 == std::string_view::npos ? C1 : Text.find(',', C1 + 1);
  if (C2 == std::string_view::npos || Text.find(',', C2 + 1) != std::string_view::npos) return "expected FIRST,LAST,CC";
  const std::string_view FirstText = Text.substr(0, C1);
  const std::string_view LastText = Text.substr(C1 + 1, C2 - C1 - 1);
  const std::string_view CodeText = TrimBlankOrControl(Text.substr(C2 + 1));
  const auto Parse = Family.Ipv6 ? &ParseIpv6 : &ParseIpNumber;
  const char* What = Family.Ipv6 ? "bad IPv6 address '" : "bad address number '";
  if (!Parse(FirstText, R.First)) return What + std::string(TrimBlankOrControl(FirstText)) + "'";
  if (!Parse(LastText, R.Last)) return What + std::string(TrimBlankOrControl(LastText)) + "'";
  if (R.First > R.Last) return "range ends before it starts";
  if (CodeText == "??") {
    R.Code.clear();
    R.Country = NoCountry;
    return {};
  }
  if (CodeText.size() != 2 || !IsAsciiLetter(CodeText[0]) || !IsAsciiLetter(CodeText[1]))
    return "bad country code '" + std::string(CodeText) + "'";
  const std::string Lower = AsciiLowerCopy(CodeText);
  R.Code = AsciiUpperCopy(CodeText);
  R.Country = RowOfCode(Lower);
  R.FormerRow = false;
  for (const auto& [Code, Row] : FormerCodes) {
    if (R.Country == NoCountry && Lower == Code) {
      R.Country = RowOfCode(Row);
      R.FormerRow = true;
    }
  }
  return {};
}

bool WriteAll(int Fd, const unsigned char* P, std::size_t Len)
{
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
// Ostrand.dat: the start little-endian in 4 bytes; Ostrand6.dat: big-endian in 16 bytes.
// Then the country byte.
bool WriteAtomically(const std::string& FileName, const TFamily& Family, const std::vector<TRecord>& Records,
                     std::string& Error)
{
  std::vector<unsigned char> Bytes;
  Bytes.reserve(Records.size() * (Family.Ipv6 ? 17 : 5));
  for (const TRecord& E : Records) {
    if (Family.Ipv6) {
      for (int Shift = 120; Shift >= 0; Shift -= 8) Bytes.push_back(static_cast<unsigned char>(E.Start >> Shift));
    } else {
      for (int Shift = 0; Shift < 32; Shift += 8) Bytes.push_back(static_cast<unsigned char>(E.Start >> Shift));
    }
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
  bool Ok = ::fchmod(Fd, 0666 & ~Mask) == 0 && WriteAll(Fd, Bytes.data(), Bytes.size()) && ::fsync(Fd) == 0;
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

int Usage()
{
  std::fprintf(stderr,
               "usage: ostrand-build [-6] [INPUT] [OUTPUT]\n"
               "  -6      IPv6: INPUT lists IPv6 addresses, OUTPUT is an Ostrand6.dat\n"
               "  INPUT   lines FIRST,LAST,CC (default %s, with -6 %s)\n"
               "  OUTPUT  range file to write (default %s, with -6 %s)\n",
               kIpv4.DefaultInput, kIpv6.DefaultInput, kIpv4.DefaultOutput, kIpv6.DefaultOutput);
  return 2;
}

}  // namespace

int main(int argc, char** argv)
{
  std::vector<std::string> Args(argv + 1, argv + argc);
  const bool Ipv6 = !Args.empty() && Args.front() == "-6";
  if (Ipv6) Args.erase(Args.begin());
  if (Args.size() > 2) return Usage();
  for (const std::string& A : Args)
    if (A == "-h" || A == "--help" || A == "-6") return Usage();
  const TFamily& Family = Ipv6 ? kIpv6 : kIpv4;
  const std::string InputName = Args.size() > 0 ? Args[0] : Family.DefaultInput;
  const std::string OutputName = Args.size() > 1 ? Args[1] : Family.DefaultOutput;

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
  long OtherFamilyLines = 0;  // lines that look like the other list's
  std::string Text;
  while (std::getline(In, Text)) {
    ++LineNo;
    const std::string_view Line = TrimBlankOrControl(Text);
    if (Line.empty() || Line.front() == '#') continue;
    TInputRange R{};
    R.Line = LineNo;
    const std::string Message = ParseLine(Line, Family, R);
    if (!Message.empty()) {
      Report.Line(LineNo, Message);
      ++BadLines;
      if ((Line.find(':') != std::string_view::npos) != Ipv6) ++OtherFamilyLines;
      continue;
    }
    Ranges.push_back(std::move(R));
  }
  if (In.bad()) {
    std::fprintf(stderr, "ostrand-build: cannot read %s: %s\n", InputName.c_str(), std::strerror(errno));
    return 1;
  }
  if (Ranges.empty()) {
    const char* Hint = OtherFamilyLines == 0 ? "" : Ipv6 ? " (an IPv4 list? leave out -6)" : " (an IPv6 list? add -6)";
    std::fprintf(stderr, "ostrand-build: %s holds no valid range line%s\n", InputName.c_str(), Hint);
    return 1;
  }

  // The list is usually sorted already; a stable sort keeps the first of equal ranges first.
  std::stable_sort(Ranges.begin(), Ranges.end(),
                   [](const TInputRange& A, const TInputRange& B) { return A.First < B.First; });

  // Walk the address space: NoCountry in the gaps, the earlier range wins where two overlap.
  std::vector<TRecord> Records;
  // Code without a row -> addresses (IPv4) or ranges (IPv6) left without a country.
  std::map<std::string, std::uint64_t> Unknown;
  std::map<std::string, long> Former;  // code put on its former name's row -> ranges
  TAddress Next = 0;                   // first address not yet covered
  bool Covered = false;                // up to the highest address
  long Overlaps = 0;
  long PreviousLine = 0;
  for (const TInputRange& R : Ranges) {
    TAddress First = R.First;
    if (Covered || First < Next) {
      ++Overlaps;
      Report.Line(R.Line, "range overlaps the one from line " + std::to_string(PreviousLine) +
                              "; the overlapping part is skipped");
      if (Covered || R.Last < Next) continue;
      First = Next;
    }
    if (First > Next) Records.push_back({Next, NoCountry});
    Records.push_back({First, R.Country});
    if (!R.Code.empty() && R.Country == NoCountry)
      Unknown[R.Code] += Ipv6 ? 1 : static_cast<std::uint64_t>(R.Last - First + 1);
    if (R.FormerRow) ++Former[R.Code];
    if (R.Last == Family.Last)
      Covered = true;
    else
      Next = R.Last + 1;
    PreviousLine = R.Line;
  }
  if (!Covered) Records.push_back({Next, NoCountry});

  // A record with its predecessor's country adds nothing to any answer.
  std::vector<TRecord> Merged;
  Merged.reserve(Records.size());
  for (const TRecord& E : Records)
    if (Merged.empty() || Merged.back().Country != E.Country) Merged.push_back(E);

  std::string Error;
  if (!WriteAtomically(OutputName, Family, Merged, Error)) {
    std::fprintf(stderr, "ostrand-build: %s\n", Error.c_str());
    return 1;
  }

  if (Report.Suppressed > 0)
    std::fprintf(stderr, "%s: %ld more messages not shown\n", InputName.c_str(), Report.Suppressed);
  std::fprintf(stderr, "ostrand-build: %zu records written to %s from %zu ranges of %s\n", Merged.size(),
               OutputName.c_str(), Ranges.size(), InputName.c_str());
  if (BadLines > 0) std::fprintf(stderr, "ostrand-build: %ld bad lines skipped\n", BadLines);
  if (Overlaps > 0) std::fprintf(stderr, "ostrand-build: %ld overlapping ranges trimmed\n", Overlaps);
  if (!Former.empty()) {
    std::string List;
    for (const auto& [Code, Count] : Former) {
      const std::string Lower = AsciiLowerCopy(Code);
      std::string_view Row;
      for (const auto& [From, To] : FormerCodes)
        if (From == Lower) Row = To;
      List += " " + Code + " -> " + std::string(Row) + " (" + std::to_string(Count) + ")";
    }
    std::fprintf(stderr, "ostrand-build: codes put on the rows of their former names:%s\n", List.c_str());
  }
  if (Unknown.empty()) {
    std::fprintf(stderr, "ostrand-build: every code has a row in the country table\n");
  } else {
    std::uint64_t Total = 0;
    std::string List;
    for (const auto& [Code, Count] : Unknown) {
      Total += Count;
      List += " " + Code + " (" + std::to_string(Count) + ")";
    }
    std::fprintf(stderr, "ostrand-build: %zu codes without a row, %llu %s as no country:%s\n", Unknown.size(),
                 static_cast<unsigned long long>(Total), Ipv6 ? "ranges" : "addresses", List.c_str());
  }
  return 0;
}
