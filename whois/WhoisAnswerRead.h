// SPDX-License-Identifier: MIT
// The pieces the port-43 answer readers share: a line splitter over the reply's bytes, the
// caps on what enters an answer, the query as a range or AS number, and the choice of the
// most specific network. Used only by the readers (WhoisAnswer*.cpp); pure, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "text/AsciiText.h"
#include <vector>

#include "whois/NetworkRange.h"
#include "whois/WhoisAnswer.h"

// Names of their own, so that helpers this general never meet another file's.
namespace AnswerRead {

// One line of a reply, without its line end.
struct TReplyLine {
  std::string_view Text;
  std::string_view Key;       // an attribute line's key ("inetnum", "NetRange"); else empty
  std::string_view Value;     // what follows the key's colon, blanks trimmed
  bool Blank = false;         // empty, or blanks only
  bool Comment = false;       // starts with '%' or '#'
  bool Continuation = false;  // starts with a blank or '+': more of the attribute before
};

// CR LF, a lone CR and a lone LF each end a line. Keys are looked for in a line's first
// bytes only, so a line of megabytes costs one pass.
class TReplyLines {
 public:
  explicit TReplyLines(std::string_view Text) : m_Text(Text) {}
  bool Next(TReplyLine& Line);
  std::size_t Offset() const { return m_Pos; }  // where the next line starts

 private:
  std::string_view m_Text;
  std::size_t m_Pos = 0;
};

// The value up to its first blank: a key, a mailbox, a country code.
std::string_view FirstWord(std::string_view S);

// A text as an answer may hold it: CR, LF and NUL dropped, blanks trimmed, at most
// kAnswerTextMax bytes.
std::string AnswerText(std::string_view S);
// The first word of Value when it reads as a mailbox (one '@' between a local part and a
// dotted domain, no blanks or control bytes); nothing otherwise.
std::optional<std::string> ParseMailbox(std::string_view Value);
// Two letters in upper case, or empty when Value's first word is anything else.
std::string CountryCode(std::string_view Value);

// Adds a mailbox to Answer.Abuse unless it is there already (in any case) or the list is
// full; Object is Kind, a blank and Key ("role AR40377-RIPE"), or Kind alone.
void AddAbuse(TWhoisAnswer& Answer, std::string_view Mailbox, std::string_view Kind, std::string_view Key);

// What was asked, as the readers match records against it.
struct TAnswerQuery {
  std::optional<TNetworkRange> Range;     // an address (First == Last) or a prefix
  std::optional<std::uint32_t> AsNumber;  // "AS15169"
};
TAnswerQuery ParseAnswerQuery(std::string_view Query);

// "AS3333", "15169", "64512 - 65534" (ARIN's blocks), "AS1-AS10": first and last number.
std::optional<std::pair<std::uint32_t, std::uint32_t>> ParseAsRange(std::string_view Value);
std::string AsNumberText(std::uint32_t Number);
// Whether a record of the AS numbers Range holds the AS number asked.
bool AsRecordMatches(const TAnswerQuery& Query, std::pair<std::uint32_t, std::uint32_t> Range);
// "AS" + the number asked, or the record's own when the query named none.
std::string AsAnswerText(const TAnswerQuery& Query, std::pair<std::uint32_t, std::uint32_t> Range);

// The most specific network that holds the queried address or prefix: the one of fewest
// addresses, the later of equal ones. For a query that is neither, the smallest network.
// Networks of unknown size are never chosen.
class TNetworkChoice {
 public:
  explicit TNetworkChoice(const TAnswerQuery& Query) : m_Query(Query) {}
  // True when Range becomes the choice.
  bool Offer(const std::optional<TNetworkRange>& Range);
  const std::optional<TNetworkRange>& Chosen() const { return m_Chosen; }

 private:
  const TAnswerQuery& m_Query;
  std::optional<TNetworkRange> m_Chosen;
};

// The network of Range with its CIDR prefixes: the listed ones ("8.0.0.0/9, 8.128.0.0/10")
// when together they cover Range exactly, else those computed from it.
TWhoisNetwork MakeNetwork(const TNetworkRange& Range, const std::vector<std::string_view>& ListedCidrs,
                          std::string_view Name, std::string_view Handle);

// The readers of the three reply shapes. Each fills Answer's Network or AsNumber/AsName,
// holder, country, abuse contacts and, where the reply says so, AbuseState and DetailsAt;
// each returns the registry the reply itself names (ARIN's shape, a "source:"), or empty.
std::string ReadArinReply(std::string_view Reply, const TAnswerQuery& Query, TWhoisAnswer& Answer);
std::string ReadRipeStyleReply(std::string_view Reply, const TAnswerQuery& Query, TWhoisAnswer& Answer);
std::string ReadRwhoisReply(std::string_view Reply, const TAnswerQuery& Query, TWhoisAnswer& Answer);

}  // namespace AnswerRead
