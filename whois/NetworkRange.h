// SPDX-License-Identifier: MIT
// Network sizes as WHOIS replies write them: "A - B" and "A/LEN", IPv4 or IPv6, read into
// 128-bit first and last addresses; their canonical texts and CIDR prefixes. Shared by the
// referral scanner and the answer readers. Pure functions, any thread, safe on any input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// 128 bits hold every IPv6 address; GCC and Clang both have the type.
using TUint128 = unsigned __int128;

struct TNetworkRange {
  TUint128 First = 0;
  TUint128 Last = 0;
  int Bits = 32;  // 32 for IPv4, 128 for IPv6

  // Addresses less one, so that the whole IPv6 space still fits.
  TUint128 Span() const { return Last - First; }
  bool Contains(const TNetworkRange& Inner) const
  {
    return Bits == Inner.Bits && First <= Inner.First && Inner.Last <= Last;
  }
  bool operator==(const TNetworkRange&) const = default;
};

// "a.b.c.d" with four numbers up to 255, nothing else; Strict also refuses leading zeros,
// which the system's parser reads as octal.
bool ParseDottedAddress(std::string_view S, std::uint32_t& Value, bool Strict = false);

// A numeric IPv6 address as a 128-bit number; false for anything else.
bool ParseIpv6Number(std::string_view S, TUint128& Value);

// An address of a network line, IPv4 or IPv6: its value and its number of bits.
bool ParseNetworkAddress(std::string_view S, TUint128& Value, int& Bits);

// A network line's value: "A - B" (A not after B, both of one family) or "A/LEN", blanks
// around the parts allowed; IANA writes IPv6 uncompressed, ARIN in upper case, both parse.
// "A/LEN" covers the whole prefix A lies in. Abbreviated also reads LACNIC's shortened IPv4
// prefixes, "200.57.128/19" and "177.0/16", with the missing parts zero. Values longer than
// any such text are refused unread.
std::optional<TNetworkRange> ParseNetworkRange(std::string_view Value, bool Abbreviated = false);

// The canonical text of an address of Bits bits: dotted IPv4, or IPv6 in lower case with
// the longest zero run compressed.
std::string NetworkAddressText(TUint128 Value, int Bits);

// The fewest CIDR prefixes that exactly cover Range, lowest first ("8.0.0.0/9"); at most
// 2 * Bits of them.
std::vector<std::string> NetworkRangeCidrs(const TNetworkRange& Range);
