// SPDX-License-Identifier: MIT
// IPv6 address text and its 16 bytes: the forms a person or a resolver writes (hexadecimal
// groups, one "::", an embedded dotted IPv4 tail) read into network byte order, and the one
// canonical text written back; and the strict reading of a dotted IPv4 address. Pure
// functions, any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// An IPv6 address in network byte order.
using TIpv6Bytes = std::array<std::uint8_t, 16>;

// Reads a bare IPv6 address: eight groups of one to four hexadecimal digits in either case,
// or fewer with one "::" standing for at least one zero group, the last two groups optionally
// written as a dotted IPv4 address (four decimal numbers 0..255 without leading zeros).
// No brackets, zone or prefix length. False for anything else, with Out unchanged. Texts
// longer than any valid address are refused before they are scanned.
bool WSocketParseAddress6(std::string_view Text, TIpv6Bytes& Out);

// Reads four decimal numbers 0..255 joined by dots, as the dotted tail above: no leading
// zeros, blanks or anything else. Out is the address in host byte order; false for anything
// else, with Out unchanged. (IsDottedAddress's looser rule is the one for typed addresses.)
bool WSocketParseAddress4(std::string_view Text, std::uint32_t& Out);

// The canonical text: lower case, no leading zeros, the longest run of two or more zero groups
// shown as "::" (the first of equally long runs), and an IPv4-mapped address (::ffff:0:0/96)
// with its IPv4 tail dotted, "::ffff:192.0.2.1".
std::string WSocketFormatAddress6(const TIpv6Bytes& Address);

// Whether the address is IPv4-mapped (::ffff:a.b.c.d).
bool WSocketIsMappedAddress6(const TIpv6Bytes& Address);
