// SPDX-License-Identifier: MIT
// Reads a WHOIS reply for the server that knows more: ARIN's "ReferralServer:" and
// "ResourceLink:" lines, IANA's "refer:" and "whois:" lines, and the "not managed here" stubs
// of the regional registries, which name no server (the next one to ask is then IANA's).
// Plain bytes in, plain data out; no Qt, no state, safe on any input.
//
// Several networks in one reply (ARIN lists the less specific one first, then the
// reassignments inside it): every referral line belongs to the network whose "NetRange:",
// "inetnum:" or "inet6num:" line came last before it. The referral that counts is the one of
// the smallest network (fewest addresses, IPv4 or IPv6, "A - B" or "A/LEN"); between networks
// of equal or unknown size the later one wins.
// Inside one network the kinds rank ReferralServer, refer, whois, ResourceLink; between lines
// of one kind the last wins. A referral line before any network line belongs to a network of
// unknown size, so it loses against any sized one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TWhoisReferral {
  std::string Host;  // validated, lower case, no trailing dot
  std::uint16_t Port = 43;
  bool Rwhois = false;  // "rwhois://": asked with the same line protocol
  std::string Key;      // the line's key as written: "ReferralServer", "refer", ...
  std::string Line;     // a short printable excerpt of the line, for a note about it
};

struct TReferralScan {
  // The server to ask next, when the reply names one that may be followed.
  std::optional<TWhoisReferral> Referral;
  // True when the reply is a registry's "not managed here" stub and names no server: a
  // NON-...-MANAGED-ADDRESS-BLOCK or IANA-BLK/IANA-BLOCK object, a "not managed by / not
  // allocated to ... registry" text, APNIC's "Transferred to the ... region" stubs, ARIN's
  // NetType "Allocated to"/"Transferred to" another registry, or a reply whose smallest
  // network is the whole IPv4 or IPv6 space (the placeholder or root objects of APNIC, RIPE
  // and AFRINIC).
  bool Stub = false;
  // One line per referral line that was ignored, with the reason and a safe excerpt.
  std::vector<std::string> Notes;
};

// Lines longer than this are not read as referrals (a note says so).
constexpr std::size_t kReferralLineMax = 512;
// Notes kept per reply; past it one last note counts the rest.
constexpr std::size_t kReferralNotesMax = 8;

TReferralScan ScanReferral(std::string_view Reply);

// A host name a referral may name: letters, digits, hyphens and dots, labels of 1 to 63
// characters that neither start nor end with a hyphen, at most 253 characters; one
// trailing dot is allowed. The host named must be the host contacted: a name whose last
// label is all digits, or that the system's address parser would read as a number in any
// form (octal "012.0.0.1", hex "0x7f.1", fewer parts "127.1", a bare "2130706433"), must be
// four decimal numbers 0-255 without leading zeros, or it is refused. IPv6 literals are
// refused too.
bool IsValidReferralHost(std::string_view Host);

// What kind of network an address belongs to, for the rule on where a referral may lead.
enum class TAddressKind {
  Public,
  Loopback,     // 127.0.0.0/8, ::1
  Private,      // 10/8, 172.16/12, 192.168/16, 100.64/10 (carrier NAT), fc00::/7, fec0::/10
  LinkLocal,    // 169.254/16, fe80::/10
  Multicast,    // 224/4, ff00::/8
  Unspecified,  // 0.0.0.0/8 ("this network": Linux connects 0.0.0.0 to itself), ::
  Reserved,     // 240/4 with the broadcast address, the rest of ::/96
};

// The kind of a numeric IPv4 (dotted) or IPv6 address; IPv4-mapped IPv6 addresses count as
// their IPv4 address. Empty when Address is not a numeric address.
std::optional<TAddressKind> AddressKindOf(std::string_view Address);

// Whether a server on an address of kind From may send us to an address of kind To: a public
// address always; loopback only from loopback, a private address only from a private one,
// link-local only from link-local; multicast, unspecified and reserved addresses never. So a
// server on the Internet cannot make the command talk to the user's own machine or network,
// while the user's own servers may refer among themselves.
bool MayReferTo(TAddressKind From, TAddressKind To);

// "a loopback address", "a private network address", ...
std::string_view AddressKindText(TAddressKind Kind);
