// SPDX-License-Identifier: MIT
// The networks a run has already learnt, for "one query per network": address ranges of
// IPv4 and IPv6 on one number line (an IPv4 address counts as ::ffff:a.b.c.d), each with a
// value, and the most specific range that holds an address. Ranges may nest or overlap; where
// they share addresses the smaller one wins (the earlier one between equal sizes). Plain data,
// any thread, no locks.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// An address as a number: IPv6 addresses as they are, IPv4 ones in ::ffff:0:0/96.
using TAddressKey = unsigned __int128;

// The key of a dotted IPv4 address or of an IPv6 address in any form WSocketParseAddress6
// reads; nothing for other texts.
std::optional<TAddressKey> AddressKey(std::string_view Address);
// Whether First..Last is all of the IPv4 or all of the IPv6 space: the placeholder and root
// objects of registries that hold nothing there.
bool IsWholeSpace(TAddressKey First, TAddressKey Last);

class TRangeMap {
 public:
  // Remembers First..Last (First <= Last) with Value.
  void Add(TAddressKey First, TAddressKey Last, std::size_t Value);
  // The value of the smallest remembered range that holds Address.
  std::optional<std::size_t> Find(TAddressKey Address) const;
  // Pieces held: at most about twice the ranges added.
  std::size_t Pieces() const { return m_Pieces.size(); }
  void Clear() { m_Pieces.clear(); }

 private:
  struct TPiece {
    TAddressKey Last;
    std::size_t Value;
    TAddressKey Size;  // of the range the value came with, less one
  };
  // Disjoint pieces by their first address.
  std::map<TAddressKey, TPiece> m_Pieces;
};
