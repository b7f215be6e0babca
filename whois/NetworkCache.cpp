// SPDX-License-Identifier: MIT
#include "whois/NetworkCache.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "net/WSocketAddress6.h"

namespace {

constexpr TAddressKey kIpv4Base = TAddressKey{0xFFFF} << 32;
constexpr TAddressKey kIpv4Top = kIpv4Base | 0xFFFFFFFFu;
constexpr TAddressKey kTop = ~TAddressKey{0};

}  // namespace

std::optional<TAddressKey> AddressKey(std::string_view Address)
{
  // Four decimal numbers 0-255, as the query flow writes them.
  if (std::uint32_t N = 0; WSocketParseAddress4(Address, N)) return kIpv4Base | N;
  TIpv6Bytes Bytes{};
  if (!WSocketParseAddress6(Address, Bytes)) return std::nullopt;
  TAddressKey K = 0;
  for (const std::uint8_t B : Bytes) K = (K << 8) | B;
  return K;
}

bool IsWholeSpace(TAddressKey First, TAddressKey Last)
{
  return (First == 0 && Last == kTop) || (First == kIpv4Base && Last == kIpv4Top);
}

void TRangeMap::Add(TAddressKey First, TAddressKey Last, std::size_t Value)
{
  if (First > Last) return;
  const TAddressKey Size = Last - First;
  std::vector<std::pair<TAddressKey, TPiece>> Keep;
  std::vector<std::pair<TAddressKey, TAddressKey>> Mine;  // pieces the new range takes

  auto It = m_Pieces.upper_bound(First);
  if (It != m_Pieces.begin()) {
    const auto Before = std::prev(It);
    if (Before->second.Last >= First) It = Before;
  }
  TAddressKey Cursor = First;  // the first address of [First, Last] not looked at yet
  bool More = true;
  while (It != m_Pieces.end() && It->first <= Last) {
    const TAddressKey PieceFirst = It->first;
    const TPiece Piece = It->second;
    if (More && PieceFirst > Cursor) Mine.emplace_back(Cursor, PieceFirst - 1);
    if (Piece.Size <= Size) {
      Keep.emplace_back(PieceFirst, Piece);
    } else {
      // The piece of a larger range keeps what lies outside the new one.
      if (PieceFirst < First) Keep.push_back({PieceFirst, {First - 1, Piece.Value, Piece.Size}});
      if (Piece.Last > Last) Keep.push_back({Last + 1, Piece});
      Mine.emplace_back(std::max(PieceFirst, First), std::min(Piece.Last, Last));
    }
    if (Piece.Last >= Last)
      More = false;
    else
      Cursor = Piece.Last + 1;
    It = m_Pieces.erase(It);
  }
  if (More && Cursor <= Last) Mine.emplace_back(Cursor, Last);
  for (auto& [Key, Piece] : Keep) m_Pieces.emplace(Key, Piece);
  for (const auto& [From, To] : Mine) m_Pieces.emplace(From, TPiece{To, Value, Size});
}

std::optional<std::size_t> TRangeMap::Find(TAddressKey Address) const
{
  auto It = m_Pieces.upper_bound(Address);
  if (It == m_Pieces.begin()) return std::nullopt;
  --It;
  if (It->second.Last < Address) return std::nullopt;
  return It->second.Value;
}
