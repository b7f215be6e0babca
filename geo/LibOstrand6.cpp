// SPDX-License-Identifier: MIT
// The IPv6 range table: loading of Ostrand6.dat and the binary search over it.
#include "geo/LibOstrand.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

#include "geo/RangeFileRead.h"

namespace {
constexpr std::size_t kRecordSize6 = 17;
}  // namespace

TRangeTable6 RangeTable6;
TRangeFileInPlace RangeFile6InPlace(kRecordSize6);

namespace {

// A multiple of the record size, so that a block always ends on a record boundary.
constexpr std::size_t kBlockSize6 = 15420 * kRecordSize6;  // 262140 bytes

std::uint64_t BigEndian64(const unsigned char* P)
{
  std::uint64_t V;
  std::memcpy(&V, P, sizeof V);
  if constexpr (std::endian::native == std::endian::little) V = __builtin_bswap64(V);
  return V;
}

// Decodes slices that stay in the first-level cache and appends each array with one wide
// copy, rather than three checked appends per record.
void AppendRecords6(const unsigned char* P, std::size_t Count)
{
  constexpr std::size_t kSlice = 256;
  std::uint64_t High[kSlice], Low[kSlice];
  CountryIndex Country[kSlice];
  while (Count > 0) {
    const std::size_t N = std::min(kSlice, Count);
    for (std::size_t I = 0; I < N; ++I, P += kRecordSize6) {
      High[I] = BigEndian64(P);
      Low[I] = BigEndian64(P + 8);
      Country[I] = P[16];
    }
    RangeTable6.High.insert(RangeTable6.High.end(), High, High + N);
    RangeTable6.Low.insert(RangeTable6.Low.end(), Low, Low + N);
    RangeTable6.Country.insert(RangeTable6.Country.end(), Country, Country + N);
    Count -= N;
  }
}

// Fills the table up to Count entries with zero ones (start ::, country 0), as the records
// that a failure or a shrinking file left unread.
void PadTo(std::size_t Count)
{
  RangeTable6.High.resize(Count, 0);
  RangeTable6.Low.resize(Count, 0);
  RangeTable6.Country.resize(Count, 0);
}

void LoadOpenFile6(const std::string& FileName)
{
  std::uint64_t Size = 0;
  TRangeFileHandle File(OpenRangeFile(FileName, Size));
  const std::uint64_t Count = Size / kRecordSize6;
  if (Count > RangeTable6.High.max_size()) throw std::bad_alloc();
  RangeTable6.High.reserve(static_cast<std::size_t>(Count));
  RangeTable6.Low.reserve(static_cast<std::size_t>(Count));
  RangeTable6.Country.reserve(static_cast<std::size_t>(Count));

  std::vector<unsigned char> Block(kBlockSize6);
  try {
    ReadRangeRecords(File.Fd(), static_cast<std::size_t>(Count), kRecordSize6, Block.data(), kBlockSize6,
                     AppendRecords6);
  } catch (...) {
    PadTo(static_cast<std::size_t>(Count));
    throw;
  }
  PadTo(static_cast<std::size_t>(Count));
}

}  // namespace

void TRangeTable6::clear()
{
  High.clear();
  Low.clear();
  Country.clear();
}

void LoadRangeFile6(const std::string& FileName)
{
  RangeFile6InPlace.Close();
  RangeTable6.clear();
  LoadRangeFileChecked(FileName, LoadOpenFile6);
}

namespace {

// The records a search reads: the loaded table...
struct TTableRecords6 {
  const std::uint64_t* Highs;
  const std::uint64_t* Lows;
  const CountryIndex* Countries;
  std::uint64_t High(std::size_t I) const { return Highs[I]; }
  std::uint64_t Low(std::size_t I) const { return Lows[I]; }
  CountryIndex Country(std::size_t I) const { return Countries[I]; }
  void Prefetch(std::size_t I) const { __builtin_prefetch(Highs + I); }
};

// ... or the file open in place, one read per probe; the record read last is kept, as a
// probe that meets an equal upper half reads the lower one next.
class TFileRecords6 {
 public:
  explicit TFileRecords6(const TRangeFileInPlace& File) : m_File(File) {}
  std::uint64_t High(std::size_t I) { return BigEndian64(Record(I)); }
  std::uint64_t Low(std::size_t I) { return BigEndian64(Record(I) + 8); }
  CountryIndex Country(std::size_t I) { return Record(I)[16]; }
  void Prefetch(std::size_t) const {}

 private:
  const unsigned char* Record(std::size_t I)
  {
    if (I != m_Index) {
      m_File.Read(I, m_Record);
      m_Index = I;
    }
    return m_Record;
  }

  const TRangeFileInPlace& m_File;
  std::size_t m_Index = SIZE_MAX;
  unsigned char m_Record[kRecordSize6] = {};
};

// The search proper, over the table or the file alike: the same probes give the same answers.
template <class TRecords>
CountryIndex Search6(TRecords&& Table, std::size_t Count, std::uint64_t High, std::uint64_t Low)
{
  // The answer lies in [Base, Base + Len). Each step halves Len without a branch on the
  // comparison, which goes either way at random; only equal upper halves, which are rare,
  // read the lower half.
  std::size_t Base = 0;
  std::size_t Len = Count;
  while (Len > 1) {
    const std::size_t Half = Len / 2;
    // The four places the probes after this one can land, two levels ahead.
    const std::size_t Next = (Len - Half) / 2;
    const std::size_t After = (Len - Half - Next) / 2;
    Table.Prefetch(Base + After);
    Table.Prefetch(Base + Next + After);
    Table.Prefetch(Base + Half + After);
    Table.Prefetch(Base + Half + Next + After);
    const std::uint64_t Start = Table.High(Base + Half);
    bool NotAbove = Start < High;
    if (Start == High) [[unlikely]]
      NotAbove = Table.Low(Base + Half) <= Low;
    Base = NotAbove ? Base + Half : Base;
    Len -= Half;
  }
  return Table.Country(Base);
}

}  // namespace

CountryIndex FindCountryIndex6(const std::array<std::uint8_t, 16>& Address)
{
  const std::uint64_t High = BigEndian64(Address.data());
  const std::uint64_t Low = BigEndian64(Address.data() + 8);
  if ((High | Low) == 0) return NoCountry;
  if (RangeFile6InPlace.IsOpen()) {
    const std::size_t Count = RangeFile6InPlace.Count();
    return Count == 0 ? NoCountry : Search6(TFileRecords6(RangeFile6InPlace), Count, High, Low);
  }
  const std::size_t Count = RangeTable6.size();
  if (Count == 0) return NoCountry;
  return Search6(TTableRecords6{RangeTable6.High.data(), RangeTable6.Low.data(), RangeTable6.Country.data()}, Count,
                 High, Low);
}
