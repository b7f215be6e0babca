// SPDX-License-Identifier: MIT
// The range-table unit: address text to IP number, loading of the range file, and the
// randomised bisection over the loaded table.
#include "geo/LibOstrand.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::vector<RangeEntry> RangeTable;
std::uint32_t RandSeed = 0;

namespace {

constexpr std::size_t kRecordSize = 5;
// A multiple of the record size, so that a block always ends on a record boundary.
constexpr std::size_t kBlockSize = 13107 * kRecordSize;  // 65535 bytes
constexpr std::uint32_t kMaxDecimal = 0x7FFFFFFF;

// Decimal digits only (the caller has checked the characters); fails on the empty text and
// on values above 0x7FFFFFFF, as the octets and bare numbers allow no more.
bool ParseDecimal(std::string_view Digits, std::uint32_t& Value) {
  if (Digits.empty()) return false;
  std::uint64_t V = 0;
  for (char C : Digits) {
    V = V * 10 + static_cast<std::uint64_t>(C - '0');
    if (V > kMaxDecimal) return false;  // checked per digit, so V never wraps
  }
  Value = static_cast<std::uint32_t>(V);
  return true;
}

// Whether a file (not a directory) of that name exists. A name with an embedded NUL would
// name a different file at the system call, so it names none.
bool FileExists(const std::string& FileName) {
  if (FileName.find('\0') != std::string::npos) return false;
  struct stat St {};
  if (::stat(FileName.c_str(), &St) != 0) return false;
  return !S_ISDIR(St.st_mode);
}

// Owns the descriptor so that every way out of the load closes the file.
class TFileHandle {
 public:
  explicit TFileHandle(int Fd) : m_Fd(Fd) {}
  ~TFileHandle() {
    if (m_Fd >= 0) ::close(m_Fd);
  }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  int Fd() const { return m_Fd; }

 private:
  int m_Fd;
};

std::string ErrnoText(int Err) { return std::strerror(Err); }

// Reads as much of [Buf, Buf+Len) as the file still delivers; fewer bytes at the end of the
// file are no error, the rest of the block stays zero.
std::size_t ReadBlock(int Fd, unsigned char* Buf, std::size_t Len) {
  std::size_t Got = 0;
  while (Got < Len) {
    ssize_t N = ::read(Fd, Buf + Got, Len - Got);
    if (N < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("Read error: " + ErrnoText(errno));
    }
    if (N == 0) break;
    Got += static_cast<std::size_t>(N);
  }
  return Got;
}

void LoadOpenFile(const std::string& FileName) {
  // Windows opens the file without sharing; Linux has no mandatory locks, so the file is
  // simply opened read-only. O_NONBLOCK keeps a FIFO of that name from stalling the open.
  int Fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (Fd < 0) throw std::runtime_error("Cannot open file " + FileName);
  TFileHandle File(Fd);

  struct stat St {};
  if (::fstat(File.Fd(), &St) != 0) throw std::runtime_error(ErrnoText(errno));
  // Only a regular file has a size worth trusting; a FIFO or a device is no range file.
  if (!S_ISREG(St.st_mode)) throw std::runtime_error("Cannot open file " + FileName);

  const std::uint64_t Size = static_cast<std::uint64_t>(St.st_size);
  const std::uint64_t Count = Size / kRecordSize;
  if (Count > RangeTable.max_size()) throw std::bad_alloc();
  RangeTable.resize(static_cast<std::size_t>(Count), RangeEntry{0, 0});

  std::vector<unsigned char> Block(kBlockSize);
  std::size_t Index = 0;
  while (Index < RangeTable.size()) {
    const std::size_t Want = std::min<std::size_t>(kBlockSize, (RangeTable.size() - Index) * kRecordSize);
    const std::size_t Got = ReadBlock(File.Fd(), Block.data(), Want);
    // A file that shrank while being read leaves its missing records zero.
    std::memset(Block.data() + Got, 0, Want - Got);
    const unsigned char* P = Block.data();
    for (std::size_t I = 0; I < Want / kRecordSize; ++I, P += kRecordSize) {
      RangeEntry& E = RangeTable[Index++];
      E.Start = static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 |
                static_cast<std::uint32_t>(P[2]) << 16 | static_cast<std::uint32_t>(P[3]) << 24;
      E.Country = P[4];
    }
    if (Got < Want) break;
  }
}

// The draw of the search: an integer from 0 to K-1, the upper half of K x Seed.
// K above 2^32 is split so that the product cannot overflow 64 bits.
inline std::uint64_t Draw(std::uint64_t K, std::uint32_t Seed) {
  return (K >> 32) * Seed + (((K & 0xFFFFFFFFu) * Seed) >> 32);
}

}  // namespace

std::uint32_t IpToNumber(std::string_view Text) {
  if (!Text.empty() && Text.front() == '[' && Text.back() == ']')
    Text = Text.substr(1, Text.size() - 2);
  for (char C : Text)
    if ((C < '0' || C > '9') && C != '.') return 0;

  std::uint32_t Value = 0;
  if (Text.find('.') == std::string_view::npos) return ParseDecimal(Text, Value) ? Value : 0;

  if (Text.back() == '.') Text.remove_suffix(1);
  std::uint32_t Result = 0;
  int Parts = 0;
  for (;;) {
    const std::size_t Dot = Text.find('.');
    if (++Parts > 4) return 0;
    if (!ParseDecimal(Text.substr(0, Dot), Value)) return 0;
    // Only the low 8 bits of each part make its octet: 256 gives 0, 300 gives 44.
    Result = Result << 8 | (Value & 0xFF);
    if (Dot == std::string_view::npos) break;
    Text.remove_prefix(Dot + 1);
  }
  return Parts == 4 ? Result : 0;
}

void LoadRangeFile(const std::string& FileName) {
  RangeTable.clear();
  if (!FileExists(FileName))
    throw ERangeFileError("Specified cache file " + FileName + " does not exist");
  try {
    LoadOpenFile(FileName);
  } catch (const std::exception& E) {
    throw ERangeFileError("Error loading cache " + FileName + ": " + E.what());
  }
}

void LibOstrandStartup() {
  using namespace std::chrono;
  const auto SinceEpoch = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
  // system_clock counts UTC days of exactly 86400 s, so the remainder is the time of day.
  auto Ms = SinceEpoch.count() % 86400000;
  if (Ms < 0) Ms += 86400000;  // a clock set before 1970
  RandSeed = static_cast<std::uint32_t>(Ms);
  try {
    if (FileExists("Ostrand.dat")) LoadRangeFile("Ostrand.dat");
  } catch (...) {
    // The program runs without a table, or with what the failed load left in it.
  }
}

void LibOstrandShutdown() {
  RangeTable.clear();
  RangeTable.shrink_to_fit();
}

CountryIndex FindCountryIndex(std::uint32_t N) {
  if (N == 0 || RangeTable.empty()) return NoCountry;
  const RangeEntry* Table = RangeTable.data();
  std::size_t Low = 0;
  std::size_t High = RangeTable.size();
  std::uint32_t Seed = RandSeed;
  // The first probe is drawn before the interval is tested, even for a single entry.
  do {
    Seed = Seed * 134775813u + 1;
    const std::size_t Probe = Low + static_cast<std::size_t>(Draw(High - Low, Seed));
    if (N >= Table[Probe].Start)
      Low = Probe;
    else
      High = Probe;
  } while (High - Low > 1);
  RandSeed = Seed;
  return Table[Low].Country;
}

CountryIndex IpToCountry(std::string_view Text) { return FindCountryIndex(IpToNumber(Text)); }
