// SPDX-License-Identifier: MIT
// Tells whether a cleaned address text is an IPv6 address, in the shapes people paste: bare
// ("2001:DB8::1"), bracketed from a URL with or without a port ("[2001:db8::1]:8080"), an
// SMTP address literal ("[IPv6:2001:db8::1]"), with a zone ("fe80::1%eth0"), or IPv4-mapped
// ("::ffff:193.0.6.139"). No state, any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "net/WSocketAddress6.h"

struct TIpv6Address {
  TIpv6Bytes Bytes{};
  // Lower case, longest zero run compressed: what is located, sent and remembered.
  std::string Text;
  // "a.b.c.d" for an IPv4-mapped address (::ffff:a.b.c.d), which is queried as that IPv4
  // address; empty otherwise.
  std::string MappedIpv4;
};

// The longest zone (the part after '%') taken; interface names are at most 15 bytes, and a
// URL writes the '%' itself as "%25".
constexpr std::size_t kMaxIpv6Zone = 32;

// The address Text names after dropping, in this order: one pair of enclosing brackets with
// an optional ":port" (1 to 5 digits, at most 65535) after the closing one, an "IPv6:"
// prefix in any case, and a "%zone" of 1 to kMaxIpv6Zone letters, digits, '-', '.', '_',
// '~' or '%'. Nothing for every other text; texts longer than any such form are refused
// without being scanned.
std::optional<TIpv6Address> ParseIpv6Address(std::string_view Text);

// Whether Text is a port as written after a host: 1 to 5 digits, at most 65535.
bool IsPortText(std::string_view Text);
