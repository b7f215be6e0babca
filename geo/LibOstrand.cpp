// SPDX-License-Identifier: MIT
// The range-table unit: address text to IP number, loading of the range file, and the
// randomised bisection over the loaded table.
#include "geo/LibOstrand.h"

#include "geo/RangeFileRead.h"

#include <algorithm>
#include <cerrno>
#include <bit>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef QUORVEX_DATA_DIR
#error "QUORVEX_DATA_DIR (the installed data folder) is set by geo/CMakeLists.txt"
#endif

namespace {
constexpr std::size_t kRecordSize = 5;
}  // namespace

std::vector<RangeEntry> RangeTable;
TRangeFileInPlace RangeFileInPlace(kRecordSize);
std::uint32_t RandSeed = 0;
const std::string_view RangeDataFolder = QUORVEX_DATA_DIR;

namespace {

// A multiple of the record size, so that a block always ends on a record boundary.
constexpr std::size_t kBlockSize = 52428 * kRecordSize;  // 262140 bytes, well within L2
constexpr std::uint32_t kMaxDecimal = 0x7FFFFFFF;

// Decimal digits only (the caller has checked the characters); fails on the empty text and
// on values above 0x7FFFFFFF, as the octets and bare numbers allow no more.
bool ParseDecimal(std::string_view Digits, std::uint32_t& Value)
{
  if (Digits.empty()) return false;
  std::uint64_t V = 0;
  for (char C : Digits) {
    V = V * 10 + static_cast<std::uint64_t>(C - '0');
    if (V > kMaxDecimal) return false;  // checked per digit, so V never wraps
  }
  Value = static_cast<std::uint32_t>(V);
  return true;
}

// Decodes Count little-endian 5-byte records. Kept apart from the table so that the compiler
// sees plain pointers that do not alias the vector's own members. On a little-endian host a
// record is the low 5 bytes of a wider load, stored with zero padding; the caller leaves
// kDecodeSlack readable bytes after the last record for those loads.
constexpr std::size_t kDecodeSlack = 8;

void DecodeScalar(const unsigned char* __restrict P, std::size_t Count, RangeEntry* __restrict Out)
{
  if constexpr (std::endian::native == std::endian::little && sizeof(RangeEntry) == 8 &&
                offsetof(RangeEntry, Country) == 4) {
    for (std::size_t I = 0; I < Count; ++I, P += kRecordSize) {
      std::uint64_t Word;
      std::memcpy(&Word, P, sizeof Word);
      Word &= 0xFFFFFFFFFFull;
      std::memcpy(static_cast<void*>(Out + I), &Word, sizeof Word);
    }
  } else {
    for (std::size_t I = 0; I < Count; ++I, P += kRecordSize) {
      Out[I].Start = static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 |
                     static_cast<std::uint32_t>(P[2]) << 16 | static_cast<std::uint32_t>(P[3]) << 24;
      Out[I].Country = P[4];
    }
  }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUORVEX_DECODE_AVX2 1
// Four records per step: bytes 0..15 and 10..25 fill the two 128-bit lanes, one byte shuffle
// spreads each lane's two records to 8 bytes and zeroes the padding. Reads 6 bytes past the
// last record of each step.
__attribute__((target("avx2"))) void DecodeAvx2(const unsigned char* __restrict P, std::size_t Count,
                                                RangeEntry* __restrict Out)
{
  const __m256i Spread = _mm256_setr_epi8(0, 1, 2, 3, 4, -1, -1, -1, 5, 6, 7, 8, 9, -1, -1, -1,  //
                                          0, 1, 2, 3, 4, -1, -1, -1, 5, 6, 7, 8, 9, -1, -1, -1);
  std::size_t I = 0;
  for (; I + 4 <= Count; I += 4, P += 4 * kRecordSize) {
    const __m128i Lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    const __m128i Hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 2 * kRecordSize));
    const __m256i Both = _mm256_inserti128_si256(_mm256_castsi128_si256(Lo), Hi, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + I), _mm256_shuffle_epi8(Both, Spread));
  }
  DecodeScalar(P, Count - I, Out + I);
}
#endif

void DecodeRecords(const unsigned char* P, std::size_t Count, RangeEntry* Out)
{
#ifdef QUORVEX_DECODE_AVX2
  static_assert(sizeof(RangeEntry) == 8 && offsetof(RangeEntry, Country) == 4);
  static const bool HasAvx2 = __builtin_cpu_supports("avx2");
  if (HasAvx2) return DecodeAvx2(P, Count, Out);
#endif
  DecodeScalar(P, Count, Out);
}

// Appends Count decoded records to RangeTable (capacity reserved). Slices are decoded into a
// buffer that stays in the first-level cache and copied on with wide moves; the table itself
// is written once, and not zero-filled first with narrow stores.
void AppendRecords(const unsigned char* P, std::size_t Count)
{
  constexpr std::size_t kSlice = 512;  // 4 KiB
  alignas(64) RangeEntry Slice[kSlice];
  while (Count > 0) {
    const std::size_t N = std::min(kSlice, Count);
    DecodeRecords(P, N, Slice);
    RangeTable.insert(RangeTable.end(), Slice, Slice + N);
    P += N * kRecordSize;
    Count -= N;
  }
}

void LoadOpenFile(const std::string& FileName)
{
  std::uint64_t Size = 0;
  TRangeFileHandle File(OpenRangeFile(FileName, Size));
  const std::uint64_t Count = Size / kRecordSize;
  if (Count > RangeTable.max_size()) throw std::bad_alloc();
  RangeTable.reserve(static_cast<std::size_t>(Count));

  // The block stays in cache; records go from it straight into the table.
  std::vector<unsigned char> Block(kBlockSize + kDecodeSlack);
  try {
    ReadRangeRecords(File.Fd(), static_cast<std::size_t>(Count), kRecordSize, Block.data(), kBlockSize, AppendRecords);
  } catch (...) {
    // The table keeps its full count; the records that were not read are zero.
    RangeTable.resize(static_cast<std::size_t>(Count), RangeEntry{0, 0});
    throw;
  }
  RangeTable.resize(static_cast<std::size_t>(Count), RangeEntry{0, 0});
}

// The draw of the search: an integer from 0 to K-1 (0 for K of 0 or 1), the upper half of
// K x Seed. K above 2^32 is split so that the product cannot overflow 64 bits.
inline std::uint64_t Draw(std::uint64_t K, std::uint32_t Seed)
{
  return (K >> 32) * Seed + (((K & 0xFFFFFFFFu) * Seed) >> 32);
}

}  // namespace

std::uint32_t IpToNumber(std::string_view Text)
{
  if (!Text.empty() && Text.front() == '[' && Text.back() == ']') Text = Text.substr(1, Text.size() - 2);
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

void LoadRangeFileChecked(const std::string& FileName, void (*LoadOpen)(const std::string&))
{
  if (!RangeFileExists(FileName)) throw ERangeFileError("Specified cache file " + FileName + " does not exist");
  try {
    LoadOpen(FileName);
  } catch (const std::exception& E) {
    throw ERangeFileError("Error loading cache " + FileName + ": " + E.what());
  }
}

void LoadRangeFile(const std::string& FileName)
{
  RangeFileInPlace.Close();
  RangeTable.clear();
  LoadRangeFileChecked(FileName, LoadOpenFile);
}

namespace {

// Where start-up found each range file; see RangeFilePath().
struct TRangeFileChoice {
  std::string Path;
  bool Found = false;
};
TRangeFileChoice RangeFileChoice{"Ostrand.dat"};
TRangeFileChoice RangeFile6Choice{"Ostrand6.dat"};

// The working directory's file where it exists, else the data folder's where that exists.
TRangeFileChoice Locate(const std::string& Name)
{
  if (RangeFileExists(Name)) return {Name, true};
  std::string Installed(RangeDataFolder);
  Installed += '/';
  Installed += Name;
  if (RangeFileExists(Installed)) return {Installed, true};
  return {Name, false};
}

}  // namespace

void LibOstrandStartup(TRangeAccess Access)
{
  using namespace std::chrono;
  const auto SinceEpoch = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
  // system_clock counts UTC days of exactly 86400 s, so the remainder is the time of day.
  auto Ms = SinceEpoch.count() % 86400000;
  if (Ms < 0) Ms += 86400000;  // a clock set before 1970
  RandSeed = static_cast<std::uint32_t>(Ms);
  RangeFileInPlace.Close();
  RangeFile6InPlace.Close();
  if (Access == TRangeAccess::InPlace) {
    LibOstrandShutdown();
    RangeFileChoice = Locate("Ostrand.dat");
    RangeFile6Choice = Locate("Ostrand6.dat");
    // A file that cannot be opened names no country, as an empty table would.
    if (RangeFileChoice.Found) RangeFileInPlace.Open(RangeFileChoice.Path);
    if (RangeFile6Choice.Found) RangeFile6InPlace.Open(RangeFile6Choice.Path);
    return;
  }
  // Each file's errors are swallowed on their own: a bad IPv6 file changes nothing for IPv4.
  try {
    RangeFileChoice = Locate("Ostrand.dat");
    if (RangeFileChoice.Found) LoadRangeFile(RangeFileChoice.Path);
  } catch (...) {
    // The program runs without a table, or with what the failed load left in it.
  }
  try {
    RangeFile6Choice = Locate("Ostrand6.dat");
    if (RangeFile6Choice.Found) LoadRangeFile6(RangeFile6Choice.Path);
  } catch (...) {
  }
}

void LibOstrandShutdown()
{
  RangeTable.clear();
  RangeTable.shrink_to_fit();
  RangeTable6 = TRangeTable6{};
  RangeFileInPlace.Close();
  RangeFile6InPlace.Close();
}

const std::string& RangeFilePath() { return RangeFileChoice.Path; }
const std::string& RangeFile6Path() { return RangeFile6Choice.Path; }
bool RangeFileInUse() { return RangeFileExists(RangeFileChoice.Path); }
bool RangeFile6InUse() { return RangeFileExists(RangeFile6Choice.Path); }

std::string RangeFileNotice()
{
  if (RangeFileChoice.Found || RangeFile6Choice.Found) return {};
  return "no range file Ostrand.dat or Ostrand6.dat in the working directory or in " + std::string(RangeDataFolder) +
         ": addresses are not located and go to ARIN.";
}

namespace {

// A choice without a branch: the comparisons of a search over random addresses go either
// way at random, so a branch would be mispredicted on every other probe.
inline std::size_t Pick(bool Take, std::size_t A, std::size_t B)
{
  const std::size_t Mask = std::size_t{0} - static_cast<std::size_t>(Take);
  return (A & Mask) | (B & ~Mask);
}

// The records a search reads: the loaded table...
struct TTableRecords {
  const RangeEntry* Table;
  std::uint32_t Start(std::size_t I) const { return Table[I].Start; }
  CountryIndex Country(std::size_t I) const { return Table[I].Country; }
  void Prefetch(std::size_t I) const { __builtin_prefetch(Table + I); }
};

// ... or the file open in place, one read per probe. The record read last is kept: the
// answer is often the entry probed last.
class TFileRecords {
 public:
  explicit TFileRecords(const TRangeFileInPlace& File) : m_File(File) {}
  std::uint32_t Start(std::size_t I) { return Entry(I).Start; }
  CountryIndex Country(std::size_t I) { return Entry(I).Country; }
  void Prefetch(std::size_t) const {}

 private:
  const RangeEntry& Entry(std::size_t I)
  {
    if (I != m_Index) {
      unsigned char Record[kRecordSize + kDecodeSlack] = {};
      m_File.Read(I, Record);
      DecodeScalar(Record, 1, &m_Entry);
      m_Index = I;
    }
    return m_Entry;
  }

  const TRangeFileInPlace& m_File;
  std::size_t m_Index = SIZE_MAX;
  RangeEntry m_Entry{};
};

// The search proper, over the table or the file alike, so that both give the same answers
// and step the seed alike. With Wide false every interval fits 32 bits and a draw is one
// multiply.
template <bool Wide, class TRecords>
CountryIndex Search(TRecords& Table, std::size_t Count, std::uint32_t N)
{
  constexpr std::uint32_t kMul = 134775813u;
  auto DrawIn = [](std::size_t K, std::uint32_t S) -> std::size_t {
    if constexpr (Wide)
      return static_cast<std::size_t>(Draw(K, S));
    else
      return static_cast<std::size_t>((static_cast<std::uint64_t>(K) * S) >> 32);
  };
  std::size_t Low = 0;
  std::size_t High = Count;
  // The first probe is drawn before the interval is tested, even for a single entry.
  std::uint32_t Seed = RandSeed * kMul + 1;
  std::size_t Probe = DrawIn(High, Seed);
  // The seed sequence does not depend on the table, so the places the next probes can land
  // are known before the comparisons settle: two one level ahead, four two levels ahead.
  // Fetching the four while this probe is compared hides most of the cache misses that
  // random probes of a large table would otherwise wait for in turn.
  std::uint32_t Seed1 = Seed * kMul + 1;
  std::size_t Up = Probe + DrawIn(High - Probe, Seed1);
  std::size_t Down = Low + DrawIn(Probe - Low, Seed1);
  Table.Prefetch(Up);
  Table.Prefetch(Down);
  for (;;) {
    const std::uint32_t Seed2 = Seed1 * kMul + 1;
    // After going up, Up is probed in [Probe, High); after going down, Down in [Low, Probe).
    const std::size_t UpUp = Up + DrawIn(High - Up, Seed2);
    const std::size_t UpDown = Probe + DrawIn(Up - Probe, Seed2);
    const std::size_t DownUp = Down + DrawIn(Probe - Down, Seed2);
    const std::size_t DownDown = Low + DrawIn(Down - Low, Seed2);
    Table.Prefetch(UpUp);
    Table.Prefetch(UpDown);
    Table.Prefetch(DownUp);
    Table.Prefetch(DownDown);
    const bool Above = N >= Table.Start(Probe);
    Low = Pick(Above, Probe, Low);
    High = Pick(Above, High, Probe);
    Probe = Pick(Above, Up, Down);
    Up = Pick(Above, UpUp, DownUp);
    Down = Pick(Above, UpDown, DownDown);
    if (High - Low <= 1) break;
    Seed = Seed1;
    Seed1 = Seed2;
  }
  RandSeed = Seed;
  return Table.Country(Low);
}

template <class TRecords>
CountryIndex SearchAny(TRecords&& Table, std::size_t Count, std::uint32_t N)
{
  return Count <= 0xFFFFFFFFu ? Search<false>(Table, Count, N) : Search<true>(Table, Count, N);
}

}  // namespace

CountryIndex FindCountryIndex(std::uint32_t N)
{
  if (N == 0) return NoCountry;
  if (RangeFileInPlace.IsOpen()) {
    if (RangeFileInPlace.Count() == 0) return NoCountry;
    return SearchAny(TFileRecords(RangeFileInPlace), RangeFileInPlace.Count(), N);
  }
  if (RangeTable.empty()) return NoCountry;
  return SearchAny(TTableRecords{RangeTable.data()}, RangeTable.size(), N);
}

CountryIndex IpToCountry(std::string_view Text) { return FindCountryIndex(IpToNumber(Text)); }
