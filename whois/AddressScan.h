// SPDX-License-Identifier: MIT
// Finds the IPv4 and IPv6 addresses in any text (log lines, mail headers, CSV, URLs,
// defanged reports), fed in chunks of any size: each distinct address once, in the order of
// its first appearance, as canonical text. Pure C++; one scanner belongs to one thread.
//
// What counts (precision before recall):
// - IPv4: four decimal numbers 0..255 joined by dots, without leading zeros (which some
//   parsers read as octal: "010.0.0.1" is skipped); a port after it (":22"), a CIDR length
//   ("/24") and a full stop after it are fine.
// - IPv6: any form WSocketParseAddress6 reads, written RFC 5952 style; an IPv4-mapped
//   address (::ffff:a.b.c.d) counts as its IPv4 address. One whose canonical text has no
//   decimal digit is not taken: "::" alone is more often a separator or C++ scope than the
//   unspecified address, and "a::b" or "dead::beef" are names. Eight groups of exactly two
//   hexadecimal digits are an EUI-64 or MAC-style identifier, not an address.
// - Defanged separators inside an address count as what they stand for: "[.]", "(.)",
//   "{.}", "[dot]" (any bracket kind, any case) as '.', "[:]" as ':'.
// - Not taken: a candidate glued to a letter or '_' on either side ("v10.0.0.1",
//   "1.2.3.4x", the "4.3.2.1" of "4.3.2.1.in-addr.arpa"), more or fewer than four dotted
//   numbers ("1.2.3.4.5", OIDs such as "1.3.6.1.4.1"), a part over 255, a version after
//   "name/" or "name-" ("Chrome/120.0.0.0", "openssl-1.1.1.1"), times ("12:34:56.789"),
//   MAC addresses, hexadecimal hashes. Bytes from 0x80 up and NULs separate like blanks.
//
// Memory stays flat whatever the input: a run of address characters longer than
// kMaxAddressRun bytes (after the defanging markers are read) is no address and is skipped
// without being kept. Time is linear in the input. What grows is the set of distinct
// addresses, by some 64 bytes each; DistinctCount() tells its size, and MaxDistinct bounds
// it: once it holds that many, further new addresses are counted in Dropped() and not
// yielded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class TAddressScanner {
 public:
  // Called once for each new address, with its canonical text.
  using TSink = std::function<void(const std::string& Address)>;

  static constexpr std::size_t kMaxAddressRun = 64;
  static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

  explicit TAddressScanner(TSink Sink, std::size_t MaxDistinct = kUnlimited);

  // Any bytes; an address split between two chunks is found.
  void Feed(std::string_view Chunk);
  // The end of the text: the run of address characters at its very end is judged as if a
  // line end followed. Feeding again begins a new text (a second file); the addresses
  // already yielded stay known and are not yielded again.
  void Finish();

  std::size_t DistinctCount() const { return m_Seen.size(); }
  std::size_t Dropped() const { return m_Dropped; }

 private:
  struct TKeyHash {
    std::size_t operator()(const std::array<std::uint8_t, 16>& Key) const;
  };

  void Step(char C);
  void Plain(char C);
  void EndRun(char After);
  void Judge(std::string_view Run, char Before, char BeforeThat, char After);
  bool TakeIpv6(std::string_view Run, bool GluedLeft, bool GluedRight);
  void TakeIpv4Parts(std::string_view Run, bool GluedLeft, bool GluedRight);
  void Yield(const std::array<std::uint8_t, 16>& Key, const std::string& Text);

  TSink m_Sink;
  std::size_t m_MaxDistinct;
  std::unordered_set<std::array<std::uint8_t, 16>, TKeyHash> m_Seen;
  std::size_t m_Dropped = 0;

  // The run of address characters ([0-9A-Fa-f.:]) now being read.
  std::array<char, kMaxAddressRun> m_Run{};
  std::size_t m_RunSize = 0;
  bool m_InRun = false;
  bool m_Overlong = false;
  // The two bytes before the run, for its left context.
  char m_Before = '\n', m_BeforeThat = '\n';
  // The last two bytes read outside a run (or its last two characters).
  char m_Last = '\n', m_LastButOne = '\n';
  // A bracket after a run that may open a defanging marker, and what followed it so far.
  std::array<char, 5> m_Marker{};
  std::size_t m_MarkerSize = 0;
};

// Every address of Text, as a scanner fed the whole text yields them.
std::vector<std::string> FindAddresses(std::string_view Text);
