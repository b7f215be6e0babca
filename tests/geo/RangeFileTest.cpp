// SPDX-License-Identifier: MIT
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Record(std::uint32_t Start, std::uint8_t Country)
{
  std::string R;
  for (int Shift = 0; Shift < 32; Shift += 8) R += static_cast<char>(Start >> Shift & 0xFF);
  R += static_cast<char>(Country);
  return R;
}

std::string Message(const std::string& FileName)
{
  try {
    LoadRangeFile(FileName);
  } catch (const ERangeFileError& E) {
    return E.what();
  }
  return "(no error)";
}

class RangeFileTest : public testing::Test {
 protected:
  void TearDown() override { RangeTable.clear(); }
  TTempDir Dir;
};

TEST_F(RangeFileTest, SizesBelowOneRecordGiveAnEmptyTable)
{
  for (std::size_t Size = 0; Size <= 4; ++Size) {
    RangeTable = {{1, 1}};
    LoadRangeFile(Dir.Write("short.dat", std::string(Size, '\x7F')));
    EXPECT_TRUE(RangeTable.empty()) << Size << " bytes";
  }
}

TEST_F(RangeFileTest, DecodesLittleEndianRecordsAndIgnoresTheTail)
{
  LoadRangeFile(Dir.Write(
      "twelve.dat", std::string("\x00\x03\x02\x01\xE1", 5) + std::string("\x00\x00\x00\x80\x0A", 5) + "\xFF\xFF"));
  ASSERT_EQ(RangeTable.size(), 2u);
  EXPECT_EQ(RangeTable[0].Start, 0x01020300u);
  EXPECT_EQ(RangeTable[0].Country, 225);
  EXPECT_EQ(RangeTable[1].Start, 0x80000000u);
  EXPECT_EQ(RangeTable[1].Country, 10);
}

TEST_F(RangeFileTest, KeepsFileOrderAndCountryBytesWithoutARow)
{
  LoadRangeFile(
      Dir.Write("odd.dat", Record(0x50000000, 245) + Record(0x10000000, 254) + Record(0xFFFFFFFF, 255) + Record(0, 0)));
  ASSERT_EQ(RangeTable.size(), 4u);
  EXPECT_EQ(RangeTable[0].Start, 0x50000000u);
  EXPECT_EQ(RangeTable[0].Country, 245);
  EXPECT_EQ(RangeTable[1].Country, 254);
  EXPECT_EQ(RangeTable[2].Start, 0xFFFFFFFFu);
  EXPECT_EQ(RangeTable[3].Country, 0);
}

// Records that straddle the loader's block boundaries must come out whole.
TEST_F(RangeFileTest, LargeFileLoadsEveryRecord)
{
  std::string Bytes;
  const std::uint32_t Count = 200003;
  for (std::uint32_t I = 0; I < Count; ++I) Bytes += Record(I * 21467u + 3, static_cast<std::uint8_t>(I % 251));
  Bytes += "\x01\x02\x03";
  LoadRangeFile(Dir.Write("large.dat", Bytes));
  ASSERT_EQ(RangeTable.size(), Count);
  for (std::uint32_t I = 0; I < Count; ++I) {
    ASSERT_EQ(RangeTable[I].Start, I * 21467u + 3) << I;
    ASSERT_EQ(RangeTable[I].Country, I % 251) << I;
  }
}

TEST_F(RangeFileTest, SecondLoadReplacesTheTable)
{
  LoadRangeFile(Dir.Write("a.dat", Record(0, 1) + Record(100, 2) + Record(200, 3)));
  LoadRangeFile(Dir.Write("b.dat", Record(7, 9)));
  ASSERT_EQ(RangeTable.size(), 1u);
  EXPECT_EQ(RangeTable[0].Start, 7u);
  EXPECT_EQ(RangeTable[0].Country, 9);
}

TEST_F(RangeFileTest, MissingFileOrDirectoryIsReportedUnwrapped)
{
  const std::string Missing = Dir.File("missing.dat");
  std::filesystem::create_directory(Dir.File("Ostrand.dat"));
  std::filesystem::create_symlink(Dir.File("nowhere"), Dir.File("dangling.dat"));
  const std::string Names[] = {Missing, Dir.File("Ostrand.dat"), Dir.File("dangling.dat"), "", "relative/missing.dat"};
  for (const std::string& Name : Names) {
    RangeTable = {{1, 1}};
    EXPECT_EQ(Message(Name), "Specified cache file " + Name + " does not exist");
    EXPECT_TRUE(RangeTable.empty());
  }
  // "a" exists here, but a name with a NUL in it is not the name "a".
  Dir.Write("a", Record(1, 1));
  TWorkingDir Cwd(Dir.Path());
  EXPECT_THROW(LoadRangeFile(std::string("a\0b", 3)), ERangeFileError);
  EXPECT_TRUE(RangeTable.empty());
}

TEST_F(RangeFileTest, FifoIsNoRangeFileAndDoesNotStallTheLoad)
{
  const std::string Fifo = Dir.File("fifo.dat");
  ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
  RangeTable = {{1, 1}};
  EXPECT_EQ(Message(Fifo), "Error loading cache " + Fifo + ": Cannot open file " + Fifo);
  EXPECT_TRUE(RangeTable.empty());
}

// Out of descriptors, the open fails for root as well as for anybody else.
TEST_F(RangeFileTest, OpenFailureIsWrappedAndLeavesTheTableEmpty)
{
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizers' runtime opens files of its own while it checks the call, and fails
  // when the descriptor limit leaves it none.
  GTEST_SKIP() << "the descriptor limit starves the sanitizer runtime";
#endif
  const std::string Name = Dir.Write("range.dat", Record(1, 1));
  const int LowestFree = ::dup(0);
  ASSERT_GE(LowestFree, 0);
  ::close(LowestFree);
  rlimit Old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &Old), 0);
  rlimit Low = Old;
  Low.rlim_cur = static_cast<rlim_t>(LowestFree);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &Low), 0);
  RangeTable = {{1, 1}};
  const std::string Got = Message(Name);
  ::setrlimit(RLIMIT_NOFILE, &Old);
  EXPECT_EQ(Got, "Error loading cache " + Name + ": Cannot open file " + Name);
  EXPECT_TRUE(RangeTable.empty());
}

TEST_F(RangeFileTest, FileWithoutReadPermissionIsWrapped)
{
  if (::geteuid() == 0) GTEST_SKIP() << "root opens a file without read permission";
  const std::string Locked = Dir.Write("locked.dat", Record(1, 1));
  ASSERT_EQ(::chmod(Locked.c_str(), 0), 0);
  EXPECT_EQ(Message(Locked), "Error loading cache " + Locked + ": Cannot open file " + Locked);
  EXPECT_TRUE(RangeTable.empty());
}

TEST_F(RangeFileTest, RelativeNameIsResolvedAgainstTheWorkingDirectory)
{
  Dir.Write("rel.dat", Record(0x01000000, 14));
  TWorkingDir Cwd(Dir.Path());
  LoadRangeFile("rel.dat");
  ASSERT_EQ(RangeTable.size(), 1u);
  EXPECT_EQ(Message("Ostrand.dat"), "Specified cache file Ostrand.dat does not exist");
}

TEST_F(RangeFileTest, StartupLoadsOstrandDatAndSwallowsEveryError)
{
  TWorkingDir Cwd(Dir.Path());
  RangeTable = {{1, 1}};
  EXPECT_NO_THROW(LibOstrandStartup());  // no file: the earlier table is not touched
  EXPECT_EQ(RangeTable.size(), 1u);
  RangeTable.clear();

  Dir.Write("Ostrand.dat", Record(0, 255) + Record(0x03000000, 225));
  LibOstrandStartup();
  ASSERT_EQ(RangeTable.size(), 2u);
  EXPECT_EQ(IpToCountry("3.1.1.1"), 225);
  LibOstrandShutdown();
  EXPECT_TRUE(RangeTable.empty());

  Dir.Write("Ostrand.dat", "abc");
  EXPECT_NO_THROW(LibOstrandStartup());
  EXPECT_TRUE(RangeTable.empty());

  std::filesystem::remove(Dir.File("Ostrand.dat"));
  std::filesystem::create_directory(Dir.File("Ostrand.dat"));
  EXPECT_NO_THROW(LibOstrandStartup());
  EXPECT_TRUE(RangeTable.empty());

  std::filesystem::remove(Dir.File("Ostrand.dat"));
  ASSERT_EQ(::mkfifo(Dir.File("Ostrand.dat").c_str(), 0600), 0);
  EXPECT_NO_THROW(LibOstrandStartup());
  EXPECT_TRUE(RangeTable.empty());
}

TEST_F(RangeFileTest, StartupSeedsFromTheUtcTimeOfDay)
{
  using namespace std::chrono;
  auto DayMs = [] {
    return static_cast<std::int64_t>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() %
                                     86400000);
  };
  TWorkingDir Cwd(Dir.Path());
  const std::int64_t Before = DayMs();
  LibOstrandStartup();
  const std::int64_t After = DayMs();
  const std::int64_t Seed = RandSeed;
  EXPECT_LT(Seed, 86400000);
  if (Before <= After) {  // not across midnight
    EXPECT_GE(Seed, Before);
    EXPECT_LE(Seed, After);
  }
}

}  // namespace
