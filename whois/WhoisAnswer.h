// SPDX-License-Identifier: MIT
// The answer to "who holds this address", as abuse desks and administrators ask it: the
// network, its holder, the country the registry records, the abuse contacts with the object
// that states each, and where the answer came from. Filled from port-43 replies
// (ReadWhoisReply below) and from RDAP responses; printed by quorvex-query --summary and
// --json. Plain data and pure functions: no Qt, no state, safe on any input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One abuse mailbox and what says so.
struct TAbuseContact {
  std::string Email;  // as the registry writes it, trimmed; never empty
  // The object or line that states it, kind then key: "OrgAbuseEmail ABUSE5250-ARIN",
  // "RAbuseEmail ...", "role AR40377-RIPE", "irt IRT-APNIC-AP", "nic-hdl ABC123-LACNIC",
  // "comment" (RIPE's "% Abuse contact for ..." line); for RDAP the entity's handle and the
  // level it was found at ("entity ABUSE5250-ARIN in GOGL").
  std::string Object;
};

// A network record: an inetnum, inet6num, NetRange or RDAP ip network.
struct TWhoisNetwork {
  std::string First;               // first address, canonical text ("193.0.0.0", "2001:67c:2e8::")
  std::string Last;                // last address, canonical text
  std::vector<std::string> Cidrs;  // its prefixes ("193.0.0.0/21"), listed or computed from the range
  std::string Name;                // netname, NetName; empty when the record has none
  std::string Handle;              // NetHandle, RDAP handle; empty when the record has none
};

enum class TAbuseState {
  Found,           // Abuse holds at least one mailbox
  NoneRegistered,  // the registry says so ("No abuse contact registered for ...")
  NotStated,       // nothing in the reply names one; never guessed from remarks
};

struct TWhoisAnswer {
  std::string Query;                     // what was asked: an address, "AS15169", a prefix
  std::optional<TWhoisNetwork> Network;  // the most specific network that holds the address
  std::string AsNumber;                  // "AS15169" for an AS number's record, else empty
  std::string AsName;                    // "GOOGLE", the record's AS name
  std::string HolderName;                // the organisation (OrgName, CustName, org-name, owner, descr)
  std::string HolderHandle;              // OrgId, organisation key, ownerid
  std::string Country;                   // two letters, upper case, as the registry records it
  std::vector<TAbuseContact> Abuse;      // most specific first, no mailbox twice
  TAbuseState AbuseState = TAbuseState::NotStated;
  std::string Registry;            // "ARIN", "RIPE", "APNIC", "LACNIC", "AFRINIC", or the
                                   // answering server's host for any other (rwhois, national)
  std::string Server;              // host that gave the answer ("host:port" when not 43)
  std::string DetailsAt;           // a national registry the reply sends the reader to for
                                   // the details (whois.nic.ad.jp, whois.kisa.or.kr, ...)
  std::vector<std::string> Asked;  // every server asked on the way, in order, same form
  std::string Source = "whois";    // "whois" (port 43) or "rdap"
  bool Cached = false;             // answered from an earlier answer's network in this run
  std::string CachedFrom;          // that answer's query, when Cached
  std::string Error;               // why there is no answer (plain words); empty on success
};

// What a reply may put into an answer: each text at most this many bytes (cut at a UTF-8
// character boundary, without CR, LF or NUL, otherwise the reply's bytes as they are), and at
// most this many abuse contacts.
constexpr std::size_t kAnswerTextMax = 256;
constexpr std::size_t kAnswerAbuseMax = 16;

// The registry whose dialect a server speaks, from its host name: "ARIN" for whois.arin.net,
// "RIPE", "APNIC", "LACNIC", "AFRINIC" for their whois servers, and the same for their RDAP
// hosts (rdap.arin.net, rdap.db.ripe.net, rdap.apnic.net, rdap.lacnic.net, rdap.afrinic.net);
// in any case, with or without a trailing dot or a ":port"; empty for any other server.
std::string RegistryOfServer(std::string_view Host);

// Reads one server's reply to Query (an address in canonical text, "AS..." or a prefix).
// Server is the host that sent it, a hint for the dialect; the reply's own shape decides
// where the hint is empty or wrong. Fills Network, AsNumber, AsName, Holder*, Country, Abuse
// and AbuseState, Registry and Server; leaves Query, Asked, Source, Cached* and Error to the
// caller. Where a reply holds several networks, the most specific one that holds the queried
// address counts, and holder, country and abuse contacts are those stated with it (or, for
// a RIPE-style reply, those its keys point to). Registry is RegistryOfServer(Server) when
// that names one, else the registry the reply's shape or "source:" names, else Server's host.
// Texts are capped (kAnswerTextMax, kAnswerAbuseMax); a reply of any size is read in time
// linear in its length.
TWhoisAnswer ReadWhoisReply(std::string_view Reply, std::string_view Query, std::string_view Server);
