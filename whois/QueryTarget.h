// SPDX-License-Identifier: MIT
// What the terminal command may be asked about besides addresses and names: autonomous
// system numbers and CIDR prefixes, read strictly into their canonical texts. Pure
// functions, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/WSocketAddress6.h"

// An IPv4 address written as four decimal numbers 0..255 joined by dots and nothing else:
// no leading zeros (octal to some parsers), no blanks. As an IP number (first octet in bits
// 31 to 24).
std::optional<std::uint32_t> ParseStrictIpv4(std::string_view Text);

struct TAsNumber {
  std::uint32_t Number = 0;
  std::string Text;  // "AS15169"
};

// "AS15169" in any case, also with one blank after "AS" ("AS 15169", as web pages write it)
// and in asdot notation ("AS1.10" is AS65546, each half 0..65535). The number runs from 1 to
// 4294967295: AS0 is reserved and never announced. No leading zeros, no sign. Blanks and
// control characters at either end are ignored. A bare number is no AS number (the query
// flow reads "15169" as a host).
std::optional<TAsNumber> ParseAsNumber(std::string_view Text);

struct TQueryPrefix {
  bool Ipv6 = false;
  std::uint32_t Ipv4 = 0;    // the network's first address as an IP number, for IPv4
  TIpv6Bytes Ipv6Bytes{};    // the network's first address, for IPv6
  unsigned Length = 0;       // 0..32 or 0..128
  std::string Address;       // the first address: dotted, or RFC 5952 text
  std::string Text;          // Address + "/" + Length: "193.0.0.0/21", "2001:67c:2e8::/48"
  bool HostBitsSet = false;  // the text named an address inside the network
};

// An address, '/', and a prefix length: "193.0.0.0/21", "2001:67c:2e8::/48". The address is
// an IPv4 address as ParseStrictIpv4 reads it or a bare IPv6 address (no brackets, no zone);
// the length is a decimal number up to 32 or 128 without leading zeros. Host bits are
// cleared ("193.0.6.139/21" is 193.0.0.0/21) and HostBitsSet says so. An IPv4-mapped
// prefix of length 96 or more is the IPv4 prefix it maps ("::ffff:193.0.0.0/117" is
// 193.0.0.0/21). Blanks and control characters at either end are ignored; anything else is
// no prefix.
std::optional<TQueryPrefix> ParseQueryPrefix(std::string_view Text);
