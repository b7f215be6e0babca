// SPDX-License-Identifier: MIT
// Bad range files through the whole flow: start-up loads them as the loader's rules say (or
// opens them to be searched in place, as the terminal command does) and never fails, and a
// query then prints the location and registry lines that the loaded table gives, with no line
// for a country byte that has no row.
#include "geo/LibOstrand.h"
#include "tests/hostile/QueryHarness.h"
#include "tests/support/WhoisServer.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>

// Found by argument-dependent lookup, so in the enum's namespace.
static void PrintTo(TRangeAccess Access, std::ostream* Out)
{
  *Out << (Access == TRangeAccess::Load ? "loaded" : "in place");
}

namespace {

namespace fs = std::filesystem;

std::string Record(std::uint32_t Start, std::uint8_t Country)
{
  std::string R(5, '\0');
  for (int I = 0; I < 4; ++I) R[static_cast<std::size_t>(I)] = static_cast<char>(Start >> (8 * I));
  R[4] = static_cast<char>(Country);
  return R;
}
constexpr std::uint32_t Ip(unsigned A, unsigned B, unsigned C, unsigned D) { return A << 24 | B << 16 | C << 8 | D; }
constexpr CountryIndex kUs = 225;

// A scratch working directory for one test, left and removed at the end.
class TScratchDir {
 public:
  TScratchDir() : m_Old(fs::current_path())
  {
    std::string Pattern = (fs::temp_directory_path() / "quorvex-hostile-XXXXXX").string();
    if (::mkdtemp(Pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    m_Path = Pattern;
    fs::current_path(m_Path);
  }
  ~TScratchDir()
  {
    std::error_code Ignored;
    fs::current_path(m_Old, Ignored);
    fs::permissions(m_Path / "Ostrand.dat", fs::perms::owner_all, Ignored);
    fs::remove_all(m_Path, Ignored);
  }
  const fs::path& Path() const { return m_Path; }

 private:
  fs::path m_Old, m_Path;
};

void WriteRangeFile(const std::string& Bytes) { std::ofstream("Ostrand.dat", std::ios::binary) << Bytes; }

struct TRangeCase {
  const char* Name;
  std::function<void()> Make;  // creates "Ostrand.dat" in the working directory
  std::size_t Entries;         // what start-up must have loaded
  // The pane's first lines for a query of 192.0.2.1; empty: any consistent answer.
  std::string Header;
};

std::string UsHeader()
{
  return "192.0.2.1 is based in " + std::string(CountryNames[kUs]) +
         "\r\n\r\nAddress is North American, querying ARIN..\r\n\r\n";
}
const std::string kGlobal = "Address is Global, querying ARIN..\r\n\r\n";

std::vector<TRangeCase> Cases()
{
  return {
      {"Empty", [] { WriteRangeFile(""); }, 0, kGlobal},
      {"FourBytes", [] { WriteRangeFile("\x01\x02\x03\x04"); }, 0, kGlobal},
      {"TruncatedLastRecord", [] { WriteRangeFile(Record(0, NoCountry) + Record(Ip(192, 0, 0, 0), kUs) + "\xC0\x01"); },
       2, UsHeader()},
      {"Unsorted",
       [] {
         WriteRangeFile(Record(Ip(200, 0, 0, 0), kUs) + Record(0, 54) + Record(Ip(100, 0, 0, 0), 72) +
                        Record(Ip(192, 0, 0, 0), 10) + Record(Ip(1, 0, 0, 0), NoCountry));
       },
       5, ""},
      {"All255",
       [] {
         std::string B;
         for (unsigned I = 0; I < 1000; ++I) B += Record(I << 22, NoCountry);
         WriteRangeFile(B);
       },
       1000, kGlobal},
      {"Bytes245To254",
       [] {
         std::string B;
         for (unsigned I = 0; I < 10; ++I) B += Record(I << 28, static_cast<std::uint8_t>(245 + I));
         WriteRangeFile(B);
       },
       10, kGlobal},
      {"Directory", [] { fs::create_directory("Ostrand.dat"); }, 0, kGlobal},
      {"Fifo", [] { ASSERT_EQ(::mkfifo("Ostrand.dat", 0600), 0); }, 0, kGlobal},
      {"DanglingSymlink", [] { fs::create_symlink("/nonexistent/Ostrand.dat", "Ostrand.dat"); }, 0, kGlobal},
      // Exists, is no directory, and no open succeeds, even for root.
      {"UnixSocket",
       [] {
         const int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un A{};
         A.sun_family = AF_UNIX;
         std::strcpy(A.sun_path, "Ostrand.dat");
         ASSERT_EQ(::bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A), 0);
         ::close(Fd);
       },
       0, kGlobal},
      {"Unreadable",
       [] {
         WriteRangeFile(Record(0, kUs));
         fs::permissions("Ostrand.dat", fs::perms::none);
       },
       0, kGlobal},
  };
}

void PrintTo(const TRangeCase& C, std::ostream* Out) { *Out << C.Name; }

class HostileRangeFile : public ::testing::TestWithParam<std::tuple<TRangeCase, TRangeAccess>> {};

TEST_P(HostileRangeFile, StartUpAndQueryFollowTheLoaderRules)
{
  const auto& [C, Access] = GetParam();
  if (std::string(C.Name) == "Unreadable" && ::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  TScratchDir Dir;
  C.Make();
  LibOstrandStartup(Access);  // never throws, never blocks
  EXPECT_EQ(RangeTable.size(), Access == TRangeAccess::Load ? C.Entries : 0);

  TWhoisServer Server({});
  TQueryHarness H;
  H.PointAt(Server.Port());
  // Repeated: the randomised search over an unsorted table may answer differently each time,
  // but every answer must be a consistent pane.
  for (int Round = 0; Round < 5; ++Round) {
    ASSERT_TRUE(H.Query("192.0.2.1"));
    const std::string Pane = H.Pane();
    ASSERT_TRUE(EndsWith(Pane, "query: 192.0.2.1\r\n\r\nDone.")) << Pane;
    if (!C.Header.empty()) {
      EXPECT_EQ(Pane.substr(0, C.Header.size()), C.Header);
    } else {
      const auto Reg = Pane.find("Address is ");
      ASSERT_NE(Reg, std::string::npos) << Pane;
      EXPECT_TRUE(Reg == 0 || Pane.rfind("192.0.2.1 is based in ", 0) == 0) << Pane;
    }
    EXPECT_TRUE(H.Errors().empty());
  }
  LibOstrandShutdown();
}

INSTANTIATE_TEST_SUITE_P(Files, HostileRangeFile,
                         ::testing::Combine(::testing::ValuesIn(Cases()),
                                            ::testing::Values(TRangeAccess::Load, TRangeAccess::InPlace)),
                         [](const auto& Info) {
                           return std::string(std::get<0>(Info.param).Name) +
                                  (std::get<1>(Info.param) == TRangeAccess::Load ? "Loaded" : "InPlace");
                         });

}  // namespace
