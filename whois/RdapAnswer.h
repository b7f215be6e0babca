// SPDX-License-Identifier: MIT
// Reads the registries' RDAP responses (RFC 9083 JSON: "ip network" and "autnum" objects,
// error objects) into the answer model, as the five registries really write them: abuse
// contacts at any depth of "entities", roles as a list or as one comma-separated string,
// vCards with the abuse mailbox typed "abuse", ARIN's cidr0_cidrs and zero-padded
// addresses, LACNIC's early answers that echo the queried address as the range, AFRINIC's
// entities without roles. Also tells whether an answer is another registry's (a stub) and
// which registry that is. Pure functions on bytes, any thread; nothing in a response can
// grow memory past what its size allows or recurse without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "whois/WhoisAnswer.h"

enum class TRdapObject {
  Network,     // "ip network"
  Autnum,      // "autnum"
  Error,       // an error object (errorCode, title, description)
  Unreadable,  // not JSON, past the limits, or no object of the kind asked for
};

struct TRdapReading {
  TRdapObject Object = TRdapObject::Unreadable;
  // Source "rdap", Query, Registry and Server set; Network, AsNumber, AsName, Holder*,
  // Country, Abuse and AbuseState from the response. Error stays empty: the caller words it.
  TWhoisAnswer Answer;
  // Why the response is Unreadable, or why its network cannot be the answer (it does not
  // hold the address asked about).
  std::string Problem;

  // An error object's fields, printable and cut short.
  int ErrorCode = 0;
  std::string ErrorTitle;
  std::string ErrorDescription;

  // What else the network or autnum says, for the rules on another registry.
  std::string Type;  // "DIRECT ALLOCATION", "ALLOCATED PA", ...
  std::string ParentHandle;
  std::string Port43;                       // the port-43 server it names, lower case
  std::vector<std::string> LinkRegistries;  // registries whose RDAP hosts its links name
  bool WholeSpace = false;                  // the network is all of IPv4 or all of IPv6
  bool EchoedRange = false;                 // the range was only the queried address (LACNIC's early answers)
};

// Limits on a response: bytes, nesting of arrays and objects, values in all, and entities
// followed (at most kRdapEntityDepth levels below the network).
constexpr std::size_t kRdapMaxBytes = 8u << 20;
constexpr int kRdapMaxNesting = 64;
constexpr std::size_t kRdapMaxValues = 200000;
constexpr int kRdapEntityDepth = 6;
constexpr int kRdapMaxEntities = 512;

// Reads Body, the response of Server ("rdap.arin.net", or "host:port" off port 443) to
// Query (a canonical IPv4 or IPv6 address, a prefix "A/LEN", or "AS" and a number). An
// address's or prefix's answer must be an ip network that holds it, an AS number's an autnum
// that holds it. Texts are cut to kAnswerTextMax bytes, abuse contacts to kAnswerAbuseMax.
TRdapReading ReadRdapResponse(std::string_view Body, std::string_view Query, std::string_view Server);

// Whether an answer is a stub: the registry answered with a network that another registry
// holds. So it is when the network is the whole address space or a "not managed here"
// placeholder (NON-...-MANAGED-ADDRESS-BLOCK, IANA-BLK, IANA-BLOCK), when its holder is
// another registry (ARIN's records of blocks allocated to RIPE, APNIC, ...), when its port43
// names another registry's server, or when its links lead to another registry's RDAP host.
struct TRdapElsewhere {
  bool Stub = false;
  std::string Registry;  // the registry it points at ("RIPE"); empty when it names none
  std::string Why;       // in a few words, for a note
};
TRdapElsewhere RdapElsewhere(const TRdapReading& Reading);

// The longest wait a Retry-After is taken for; a server asking for more gets this.
constexpr int kRdapMaxRetryAfter = 600;
// Seconds to wait from a Retry-After value: a number of seconds, or an HTTP date (as of
// NowUnix, never negative), capped at kRdapMaxRetryAfter. Nothing for anything else.
std::optional<int> RdapRetryAfter(std::string_view Value, std::int64_t NowUnix);

// Text from a response made safe to print: control and format characters (bidirectional
// overrides among them) dropped, runs of white space made one blank, cut to Max bytes before
// a character's first byte.
std::string RdapPlainText(std::string_view Text, std::size_t Max);
