// SPDX-License-Identifier: MIT
#include "whois/WhoisAnswer.h"

#include <algorithm>
#include <array>

#include "whois/WhoisAnswerRead.h"

namespace AnswerRead {

namespace {

// Keys are short words; a colon further into a line is part of free text.
constexpr std::size_t kKeyMax = 64;
// The longest mailbox a registry writes (RFC 5321's path limit).
constexpr std::size_t kMailboxMax = 254;

// Digits only, at most 4294967295.
std::optional<std::uint32_t> ParseNumber(std::string_view S)
{
  if (S.empty() || S.size() > 10 || !std::all_of(S.begin(), S.end(), IsAsciiDigit)) return std::nullopt;
  std::uint64_t V = 0;
  for (const char C : S) V = V * 10 + static_cast<std::uint64_t>(C - '0');
  if (V > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(V);
}

std::optional<std::uint32_t> ParseAsWord(std::string_view S)
{
  S = TrimSpaceOrTab(S);
  if (StartsWithNoCase(S, "AS")) S.remove_prefix(2);
  return ParseNumber(S);
}

}  // namespace

bool TReplyLines::Next(TReplyLine& Line)
{
  if (m_Pos >= m_Text.size()) return false;
  std::size_t End = m_Pos;
  while (End < m_Text.size() && m_Text[End] != '\r' && m_Text[End] != '\n') ++End;
  Line = TReplyLine{};
  Line.Text = m_Text.substr(m_Pos, End - m_Pos);
  m_Pos = End;
  if (m_Pos < m_Text.size() && m_Text[m_Pos] == '\r') ++m_Pos;
  if (m_Pos < m_Text.size() && m_Text[m_Pos] == '\n') ++m_Pos;

  const std::string_view T = Line.Text;
  if (std::all_of(T.begin(), T.end(), IsSpaceOrTab)) {
    Line.Blank = true;
  } else if (T[0] == '%' || T[0] == '#') {
    Line.Comment = true;
  } else if (IsSpaceOrTab(T[0]) || T[0] == '+') {
    Line.Continuation = true;
  } else {
    const std::size_t Colon = T.substr(0, kKeyMax).find(':');
    if (Colon != std::string_view::npos && Colon > 0) {
      const std::string_view Key = T.substr(0, Colon);
      if (std::none_of(Key.begin(), Key.end(), IsSpaceOrTab)) {
        Line.Key = Key;
        Line.Value = TrimSpaceOrTab(T.substr(Colon + 1));
      }
    }
  }
  return true;
}

std::string_view FirstWord(std::string_view S)
{
  S = TrimSpaceOrTab(S);
  std::size_t End = 0;
  while (End < S.size() && !IsSpaceOrTab(S[End])) ++End;
  return S.substr(0, End);
}

std::string AnswerText(std::string_view S)
{
  S = TrimSpaceOrTab(S);
  std::string Out;
  Out.reserve(std::min(S.size(), kAnswerTextMax + 1));
  for (std::size_t I = 0; I < S.size() && Out.size() <= kAnswerTextMax; ++I)
    if (S[I] != '\r' && S[I] != '\n' && S[I] != '\0') Out += S[I];
  if (Out.size() > kAnswerTextMax) {
    // Not in the middle of a character: a cut one goes whole. (Bytes that are no UTF-8 are
    // cut where the cap falls.)
    const auto Follows = [&Out](std::size_t I) { return (static_cast<unsigned char>(Out[I]) & 0xC0) == 0x80; };
    std::size_t Cut = kAnswerTextMax;
    while (Cut > 0 && kAnswerTextMax - Cut < 3 && Follows(Cut)) --Cut;
    Out.resize(Follows(Cut) || static_cast<unsigned char>(Out[Cut]) < 0xC0 ? kAnswerTextMax : Cut);
  }
  return std::string(TrimSpaceOrTab(Out));
}

std::optional<std::string> ParseMailbox(std::string_view Value)
{
  std::string_view M = FirstWord(Value);
  if (M.size() >= 2 && M.front() == '<' && M.back() == '>') M = M.substr(1, M.size() - 2);
  if (M.size() < 5 || M.size() > kMailboxMax) return std::nullopt;
  const std::size_t At = M.find('@');
  if (At == std::string_view::npos || At == 0 || M.find('@', At + 1) != std::string_view::npos) return std::nullopt;
  const std::string_view Domain = M.substr(At + 1);
  const std::size_t Dot = Domain.find('.');
  if (Dot == std::string_view::npos || Dot == 0 || Domain.back() == '.') return std::nullopt;
  for (const char C : M) {
    const unsigned char U = static_cast<unsigned char>(C);
    if (U < 0x21 || U == 0x7F || std::string_view("<>()[],;:\\\"").find(C) != std::string_view::npos)
      return std::nullopt;
  }
  return std::string(M);
}

std::string CountryCode(std::string_view Value)
{
  const std::string_view W = FirstWord(Value);
  if (W.size() != 2 || !IsAsciiLetter(W[0]) || !IsAsciiLetter(W[1])) return {};
  return AsciiUpperCopy(W);
}

void AddAbuse(TWhoisAnswer& Answer, std::string_view Mailbox, std::string_view Kind, std::string_view Key)
{
  if (Answer.Abuse.size() >= kAnswerAbuseMax) return;
  for (const TAbuseContact& C : Answer.Abuse)
    if (EqualNoCase(C.Email, Mailbox)) return;
  std::string Object(Kind);
  if (!Key.empty()) Object += " " + std::string(Key);
  Answer.Abuse.push_back({std::string(Mailbox), AnswerText(Object)});
}

TAnswerQuery ParseAnswerQuery(std::string_view Query)
{
  TAnswerQuery Q;
  Query = TrimSpaceOrTab(Query);
  if (StartsWithNoCase(Query, "AS")) {
    Q.AsNumber = ParseNumber(Query.substr(2));
    return Q;
  }
  TUint128 Value = 0;
  int Bits = 0;
  if (ParseNetworkAddress(Query, Value, Bits)) {
    // An IPv4-mapped address stands for its IPv4 address, which is what registries hold.
    if (Bits == 128 && (Value >> 32) == 0xFFFF) {
      Value &= 0xFFFFFFFFu;
      Bits = 32;
    }
    Q.Range = TNetworkRange{Value, Value, Bits};
    return Q;
  }
  Q.Range = ParseNetworkRange(Query);
  return Q;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> ParseAsRange(std::string_view Value)
{
  Value = TrimSpaceOrTab(Value);
  if (Value.size() > 64) return std::nullopt;
  const std::size_t Dash = Value.find('-');
  if (Dash == std::string_view::npos) {
    const auto N = ParseAsWord(Value);
    if (!N) return std::nullopt;
    return std::make_pair(*N, *N);
  }
  const auto A = ParseAsWord(Value.substr(0, Dash));
  const auto B = ParseAsWord(Value.substr(Dash + 1));
  if (!A || !B || *A > *B) return std::nullopt;
  return std::make_pair(*A, *B);
}

std::string AsNumberText(std::uint32_t Number) { return "AS" + std::to_string(Number); }

bool AsRecordMatches(const TAnswerQuery& Query, std::pair<std::uint32_t, std::uint32_t> Range)
{
  return Query.AsNumber && Range.first <= *Query.AsNumber && *Query.AsNumber <= Range.second;
}

std::string AsAnswerText(const TAnswerQuery& Query, std::pair<std::uint32_t, std::uint32_t> Range)
{
  return AsNumberText(Query.AsNumber ? *Query.AsNumber : Range.first);
}

bool TNetworkChoice::Offer(const std::optional<TNetworkRange>& Range)
{
  if (!Range || m_Query.AsNumber) return false;
  if (m_Query.Range && !Range->Contains(*m_Query.Range)) return false;
  if (m_Chosen && Range->Span() > m_Chosen->Span()) return false;
  m_Chosen = Range;
  return true;
}

TWhoisNetwork MakeNetwork(const TNetworkRange& Range, const std::vector<std::string_view>& ListedCidrs,
                          std::string_view Name, std::string_view Handle)
{
  TWhoisNetwork Net;
  Net.First = NetworkAddressText(Range.First, Range.Bits);
  Net.Last = NetworkAddressText(Range.Last, Range.Bits);
  Net.Name = AnswerText(Name);
  Net.Handle = AnswerText(Handle);

  // The listed prefixes count only when, in order, they tile the range: a list that leaves
  // a gap or strays outside the network is not the network's.
  std::vector<TNetworkRange> Listed;
  for (const std::string_view Text : ListedCidrs) {
    if (Listed.size() > static_cast<std::size_t>(2 * Range.Bits)) break;
    if (Text.find('/') == std::string_view::npos) continue;
    if (const auto P = ParseNetworkRange(Text)) Listed.push_back(*P);
  }
  std::sort(Listed.begin(), Listed.end(), [](const TNetworkRange& A, const TNetworkRange& B) {
    return A.Bits != B.Bits ? A.Bits < B.Bits : A.First < B.First;
  });
  bool Tiles = !Listed.empty() && Listed.size() <= static_cast<std::size_t>(2 * Range.Bits) &&
               Listed.front().First == Range.First && Listed.back().Last == Range.Last;
  for (std::size_t I = 0; Tiles && I < Listed.size(); ++I) {
    Tiles = Listed[I].Bits == Range.Bits && (I == 0 || Listed[I].First - 1 == Listed[I - 1].Last);
  }
  if (Tiles) {
    for (const TNetworkRange& P : Listed) {
      int Host = 0;
      while (Host < P.Bits && ((P.Span() >> Host) & 1) != 0) ++Host;
      Net.Cidrs.push_back(NetworkAddressText(P.First, P.Bits) + "/" + std::to_string(P.Bits - Host));
    }
  } else {
    Net.Cidrs = NetworkRangeCidrs(Range);
  }
  return Net;
}

}  // namespace AnswerRead

namespace {

using namespace AnswerRead;

enum class TShape { RipeStyle, Arin, Rwhois };

// ARIN writes its keys in mixed case, the RIPE-style registries in lower case; the first
// key only one of them uses tells the shape.
TShape ShapeOf(std::string_view Reply)
{
  static constexpr std::array<std::string_view, 8> kArinKeys = {"NetRange", "CIDR",     "NetName", "NetHandle",
                                                                "ASNumber", "ASHandle", "OrgName", "CustName"};
  static constexpr std::array<std::string_view, 6> kRipeKeys = {"inetnum",      "inet6num", "aut-num",
                                                                "organisation", "as-block", "nic-hdl"};
  TReplyLines Lines(Reply);
  TReplyLine Line;
  while (Lines.Next(Line)) {
    if (Line.Comment && StartsWithNoCase(Line.Text, "%rwhois")) return TShape::Rwhois;
    if (Line.Key.empty()) continue;
    if (std::find(kArinKeys.begin(), kArinKeys.end(), Line.Key) != kArinKeys.end()) return TShape::Arin;
    if (std::find(kRipeKeys.begin(), kRipeKeys.end(), Line.Key) != kRipeKeys.end()) return TShape::RipeStyle;
    // "network:IP-Network:192.0.2.0/24": a class, then an attribute with a colon of its own.
    if (EqualNoCase(Line.Key, "network")) {
      const std::size_t Colon = Line.Value.substr(0, 64).find(':');
      if (Colon != std::string_view::npos && Colon > 0) return TShape::Rwhois;
    }
  }
  return TShape::RipeStyle;
}

// Server without a ":port" and a trailing dot.
std::string_view HostOf(std::string_view Server)
{
  const std::size_t Colon = Server.rfind(':');
  if (Colon != std::string_view::npos && Server.find(':') == Colon) Server = Server.substr(0, Colon);
  if (!Server.empty() && Server.back() == '.') Server.remove_suffix(1);
  return Server;
}

struct TRegistryHost {
  std::string_view Host;
  std::string_view Registry;
};
constexpr std::array<TRegistryHost, 10> kRegistryHosts = {{
    {"whois.arin.net", "ARIN"},
    {"whois.ripe.net", "RIPE"},
    {"whois.apnic.net", "APNIC"},
    {"whois.lacnic.net", "LACNIC"},
    {"whois.afrinic.net", "AFRINIC"},
    {"rdap.arin.net", "ARIN"},
    {"rdap.db.ripe.net", "RIPE"},
    {"rdap.apnic.net", "APNIC"},
    {"rdap.lacnic.net", "LACNIC"},
    {"rdap.afrinic.net", "AFRINIC"},
}};

}  // namespace

std::string RegistryOfServer(std::string_view Host)
{
  const std::string_view Name = HostOf(TrimSpaceOrTab(Host));
  for (const TRegistryHost& R : kRegistryHosts)
    if (EqualNoCase(Name, R.Host)) return std::string(R.Registry);
  return {};
}

TWhoisAnswer ReadWhoisReply(std::string_view Reply, std::string_view Query, std::string_view Server)
{
  TWhoisAnswer Answer;
  Answer.Server = std::string(Server);
  const TAnswerQuery Q = ParseAnswerQuery(Query);
  std::string Named;
  switch (ShapeOf(Reply)) {
    case TShape::Arin: Named = ReadArinReply(Reply, Q, Answer); break;
    case TShape::RipeStyle: Named = ReadRipeStyleReply(Reply, Q, Answer); break;
    case TShape::Rwhois: Named = ReadRwhoisReply(Reply, Q, Answer); break;
  }
  if (!Answer.Abuse.empty()) Answer.AbuseState = TAbuseState::Found;
  Answer.Registry = RegistryOfServer(Server);
  if (Answer.Registry.empty()) Answer.Registry = Named;
  if (Answer.Registry.empty()) Answer.Registry = AsciiLowerCopy(HostOf(TrimSpaceOrTab(Server)));
  return Answer;
}
