// SPDX-License-Identifier: MIT
// A range file whose reading fails part-way. This binary is linked with --wrap=read, so every
// read() of the loader passes through the wrapper below, which delivers the chosen file up
// to a given offset and then fails with EIO, as a bad disk block would.
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

extern "C" ssize_t __real_read(int Fd, void* Buf, size_t Len);

namespace {

struct TFailingFile {
  bool Armed = false;
  dev_t Dev = 0;
  ino_t Ino = 0;
  off_t FailAt = 0;
};
TFailingFile Failing;

}  // namespace

extern "C" ssize_t __wrap_read(int Fd, void* Buf, size_t Len)
{
  struct stat St {};
  if (Failing.Armed && ::fstat(Fd, &St) == 0 && St.st_dev == Failing.Dev && St.st_ino == Failing.Ino) {
    const off_t Pos = ::lseek(Fd, 0, SEEK_CUR);
    if (Pos >= Failing.FailAt) {
      errno = EIO;
      return -1;
    }
    Len = std::min(Len, static_cast<size_t>(Failing.FailAt - Pos));
  }
  return __real_read(Fd, Buf, Len);
}

namespace {

constexpr std::size_t kRecords = 120001;  // a little over two of the loader's blocks

std::uint32_t StartOf(std::size_t I) { return static_cast<std::uint32_t>(I * 35791u + 1); }
std::uint8_t CountryOf(std::size_t I) { return static_cast<std::uint8_t>(I % 250 + 1); }

std::string FileBytes()
{
  std::string Bytes;
  for (std::size_t I = 0; I < kRecords; ++I) {
    const std::uint32_t S = StartOf(I);
    for (int Shift = 0; Shift < 32; Shift += 8) Bytes += static_cast<char>(S >> Shift & 0xFF);
    Bytes += static_cast<char>(CountryOf(I));
  }
  return Bytes + "\x01\x02";  // a tail that is no record
}

// Every whole record read before the failure is kept; the table has the file's count and
// the entries not read (a record cut by the failure among them) are zero.
TEST(RangeFileReadError, KeepsEveryWholeRecordReadBeforeTheFailure)
{
  TTempDir Dir;
  const std::string Name = Dir.Write("failing.dat", FileBytes());
  struct stat St {};
  ASSERT_EQ(::stat(Name.c_str(), &St), 0);

  const off_t Block = 52428 * 5;  // the loader's read size
  const struct {
    const char* What;
    off_t FailAt;
  } Cases[] = {
      {"at the first byte", 0},
      {"inside the first block, inside a record", 1000 * 5 + 3},
      {"at a block boundary", Block},
      {"inside the second block, on a record boundary", Block + 7000 * 5},
      {"inside the third block, inside a record", 2 * Block + 12 * 5 + 1},
      {"in the last record", static_cast<off_t>((kRecords - 1) * 5 + 4)},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    RangeTable = {{9, 9}};
    Failing = {true, St.st_dev, St.st_ino, C.FailAt};
    std::string Message = "(no error)";
    try {
      LoadRangeFile(Name);
    } catch (const ERangeFileError& E) {
      Message = E.what();
    }
    Failing.Armed = false;
    EXPECT_EQ(Message, "Error loading cache " + Name + ": Read error: " + std::strerror(EIO));
    ASSERT_EQ(RangeTable.size(), kRecords);
    const std::size_t Read = static_cast<std::size_t>(C.FailAt) / 5;
    for (std::size_t I = 0; I < kRecords; ++I) {
      const RangeEntry Want = I < Read ? RangeEntry{StartOf(I), CountryOf(I)} : RangeEntry{0, 0};
      ASSERT_EQ(RangeTable[I].Start, Want.Start) << "entry " << I << " of " << Read << " read";
      ASSERT_EQ(RangeTable[I].Country, Want.Country) << "entry " << I << " of " << Read << " read";
    }
  }
  RangeTable.clear();
}

// The IPv6 loader keeps to the same rule; here the failure cuts a record of its second block.
TEST(RangeFileReadError, Ipv6LoaderKeepsEveryWholeRecordReadBeforeTheFailure)
{
  TTempDir Dir;
  constexpr std::size_t kCount = 40000, kSize = 17, kRead = 15420 + 5000;  // a block is 15420 records
  auto Byte = [](std::size_t Record, std::size_t At) { return static_cast<char>(Record * 31 + At * 7 + 1); };
  std::string Bytes;
  for (std::size_t I = 0; I < kCount * kSize; ++I) Bytes += Byte(I / kSize, I % kSize);
  const std::string Name = Dir.Write("failing6.dat", Bytes);
  struct stat St {};
  ASSERT_EQ(::stat(Name.c_str(), &St), 0);
  Failing = {true, St.st_dev, St.st_ino, static_cast<off_t>(kRead * kSize + 9)};
  EXPECT_THROW(LoadRangeFile6(Name), ERangeFileError);
  Failing.Armed = false;
  ASSERT_EQ(RangeTable6.size(), kCount);
  for (std::size_t I = 0; I < kCount; ++I) {
    ASSERT_EQ(RangeTable6.Country[I], I < kRead ? static_cast<std::uint8_t>(Byte(I, 16)) : 0) << I;
    ASSERT_EQ(RangeTable6.High[I] >> 56, I < kRead ? static_cast<std::uint8_t>(Byte(I, 0)) : 0u) << I;
  }
  RangeTable6.clear();
}

// The wrapper itself: without a failure the file loads whole.
TEST(RangeFileReadError, WithoutAFailureTheFileLoadsWhole)
{
  TTempDir Dir;
  LoadRangeFile(Dir.Write("whole.dat", FileBytes()));
  ASSERT_EQ(RangeTable.size(), kRecords);
  EXPECT_EQ(RangeTable.back().Start, StartOf(kRecords - 1));
  EXPECT_EQ(RangeTable.back().Country, CountryOf(kRecords - 1));
  RangeTable.clear();
}

}  // namespace
