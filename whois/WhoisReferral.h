// SPDX-License-Identifier: MIT
// Reads a WHOIS reply for the server that knows more: ARIN's "ReferralServer:" and
// "ResourceLink:" lines, IANA's "refer:" and "whois:" lines, and the "not managed here" stubs
// of the regional registries, which name no server (the next one to ask is then IANA's).
// Plain bytes in, plain data out; no Qt, no state, safe on any input.
//
// Several networks in one reply (ARIN lists the less specific one first, then the
// reassignments inside it): every referral line belongs to the network whose "NetRange:" or
// "inetnum:" line came last before it. The referral that counts is the one of the smallest
// network (fewest addresses); between networks of equal or unknown size the later one wins.
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
  std::string Host;         // validated, lower case, no trailing dot
  std::uint16_t Port = 43;
  bool Rwhois = false;      // "rwhois://": asked with the same line protocol
  std::string Key;          // the line's key as written: "ReferralServer", "refer", ...
};

struct TReferralScan {
  // The server to ask next, when the reply names one that may be followed.
  std::optional<TWhoisReferral> Referral;
  // True when the reply is a registry's "not managed here" stub and names no server.
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
// trailing dot is allowed. A name whose last label is all digits must be a dotted IPv4
// address of four numbers up to 255 (so "0x7f.1" or "2130706433" never reach a resolver).
bool IsValidReferralHost(std::string_view Host);
