// SPDX-License-Identifier: MIT
// Which RDAP service answers for an address: IANA's bootstrap files for IPv4 and IPv6 (RFC
// 9224), shipped inside the program, read once, and searched for the longest prefix that
// holds the address; and the five regional registries' own RDAP services, for AS numbers
// (which IANA's port-43 referral assigns to a registry) and for answers that point at
// another registry. Pure data and functions; ShippedRdapBootstrap needs no application
// object and may be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct TRdapRegistry {
  std::string_view Name;       // "ARIN", as TWhoisAnswer::Registry names it
  std::string_view Base;       // its RDAP base URL, https, ending in '/'
  std::string_view RdapHost;   // the base URL's host
  std::string_view WhoisHost;  // its port-43 server
  std::string_view OrgHandle;  // the handle ARIN's records give the registry as a holder
  std::string_view OrgName;    // the registry's name as a holder's vCard writes it
};

// The five, in a fixed order: ARIN, RIPE, APNIC, LACNIC, AFRINIC.
std::span<const TRdapRegistry> RdapRegistries();
// By name ("RIPE"), by RDAP or port-43 host ("rdap.db.ripe.net", "whois.ripe.net"), by a
// URL on its RDAP host; letter case is ignored. Null for anything else.
const TRdapRegistry* RdapRegistryNamed(std::string_view Name);
const TRdapRegistry* RdapRegistryOfHost(std::string_view Host);
const TRdapRegistry* RdapRegistryOfUrl(std::string_view Url);

struct TRdapService {
  std::string Base;      // https base URL ending in '/'; empty when IANA lists only http://
  std::string Registry;  // the registry's name when Base is one of the five, else Base's host
  std::string Prefix;    // the bootstrap entry that matched ("8.0.0.0/8")
};

// A numeric address as 16 bytes, IPv4 in the first four.
struct TRdapAddress {
  bool V6 = false;
  std::array<std::uint8_t, 16> Bytes{};
};
// Four decimal numbers 0-255, leading zeros read as decimal ("074.125.000.000", as ARIN's
// older answers pad them), or an IPv6 text. Nothing for anything else.
std::optional<TRdapAddress> ParseRdapAddress(std::string_view Text);
// Dotted decimal without padding, or RFC 5952 text.
std::string RdapAddressText(const TRdapAddress& Address);

class TRdapBootstrap {
 public:
  // Reads IANA's two files. A file that is not a bootstrap file, or an entry with a bad
  // prefix, makes the whole read fail: Problem says where. An entry whose base URLs hold no
  // https one is kept with an empty Base (the address is then not asked over plain HTTP).
  static std::optional<TRdapBootstrap> Read(std::string_view Ipv4Json, std::string_view Ipv6Json,
                                            std::string* Problem = nullptr);

  // The service of the longest prefix holding Address (a canonical IPv4 or IPv6 text; an
  // IPv4-mapped IPv6 address counts as its IPv4 address); nothing when no entry holds it.
  std::optional<TRdapService> ServiceFor(std::string_view Address) const;

  const std::string& Publication4() const { return m_Publication4; }
  const std::string& Publication6() const { return m_Publication6; }

 private:
  struct TEntry {
    TRdapAddress Net;
    int Length = 0;
    std::size_t Service = 0;
  };
  std::vector<TEntry> m_Entries;
  std::vector<TRdapService> m_Services;
  std::string m_Publication4, m_Publication6;

  bool ReadFile(std::string_view Json, bool V6, std::string& Problem);
};

// The copy built into the program (data/iana-rdap/), read on first use. Throws
// std::runtime_error when the built-in files do not read, which a test of the shipped data
// rules out.
const TRdapBootstrap& ShippedRdapBootstrap();
