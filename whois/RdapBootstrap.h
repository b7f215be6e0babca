// SPDX-License-Identifier: MIT
// Which RDAP service answers for an address: IANA's bootstrap files for IPv4 and IPv6 (RFC
// 9224), shipped inside the program, read once, and searched for the longest prefix that
// holds the address; and the five regional registries' own RDAP services, for AS numbers
// (which IANA's port-43 referral assigns to a registry) and for answers that point at
// another registry. Pure data and functions; ShippedRdapBootstrap needs no application
// object and may be called from any thread. The files come built in, or from the installed
// data folder where a copy there is sound and no older (RdapBootstrapSource.cpp).
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

// Which copy of IANA's files a bootstrap was taken from, with the publication dates.
struct TRdapBootstrapSource {
  bool Installed = false;                  // the data folder's copy; else the built-in one
  std::string Folder;                      // where an installed copy was looked for
  std::string Publication4, Publication6;  // those of the copy in use
  std::string BuiltIn4, BuiltIn6;          // those of the built-in copy
  std::string Ignored;                     // why Folder's copy is not in use; empty when it is
};

// The copy built into the program (data/iana-rdap/, a resource). Throws std::runtime_error
// when it does not read, which a test of the shipped data rules out.
TRdapBootstrap BuiltInRdapBootstrap();

// Folder's ipv4.json and ipv6.json when Folder is an absolute path, each file is a regular
// file of at most 1 MiB that neither its group nor others may write, in a folder of which the
// same holds, both read as bootstrap files, and neither's "publication" is a date older than
// the one of BuiltIn's file of the same family; BuiltIn otherwise. Source, where given, says
// which and why.
TRdapBootstrap ChooseRdapBootstrap(const std::string& Folder, TRdapBootstrap BuiltIn,
                                   TRdapBootstrapSource* Source = nullptr);

// The bootstrap in use: ChooseRdapBootstrap of RangeDataFolder's "iana-rdap" (the copy the
// package quorvex-data installs, so that a newer one there updates the choice of service)
// and the built-in copy, read once, on first use. Never a file of the working directory.
// Throws as BuiltInRdapBootstrap does (and then reads again on the next call).
const TRdapBootstrap& ShippedRdapBootstrap();
// Where ShippedRdapBootstrap's copy came from; reads it as that does.
const TRdapBootstrapSource& RdapBootstrapSource();
