// SPDX-License-Identifier: MIT
#include "whois/AddressScan.h"

#include <utility>

#include "net/WSocketAddress6.h"
#include "text/AsciiText.h"
#include "whois/QueryTarget.h"

namespace {

using TKey = std::array<std::uint8_t, 16>;

bool IsHexDigit(char C) { return IsAsciiDigit(C) || (C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F'); }

// The characters an address is written with; everything else ends a run of them.
bool IsRunChar(char C) { return IsHexDigit(C) || C == '.' || C == ':'; }

// A letter, digit or '_' next to a candidate makes it part of a word.
bool IsWordChar(char C) { return IsAsciiLetter(C) || IsAsciiDigit(C) || C == '_'; }

// The defanging markers a run may go on through, and the character each stands for.
struct TMarker {
  std::string_view Text;  // lower case
  char Meaning;
};
constexpr TMarker kMarkers[] = {
    {"[.]", '.'},   {"(.)", '.'}, {"{.}", '.'}, {"[dot]", '.'}, {"(dot)", '.'},
    {"{dot}", '.'}, {"[:]", ':'}, {"(:)", ':'}, {"{:}", ':'},
};

bool IsMarkerStart(char C) { return C == '[' || C == '(' || C == '{'; }

enum class TMatch { None, Prefix, Whole };

// Whether the bytes read since a bracket begin a marker or make one (Meaning then set).
TMatch MatchMarker(std::string_view Read, char& Meaning)
{
  TMatch Best = TMatch::None;
  for (const TMarker& M : kMarkers) {
    if (!StartsWithNoCase(M.Text, Read)) continue;
    if (Read.size() == M.Text.size()) {
      Meaning = M.Meaning;
      return TMatch::Whole;
    }
    Best = TMatch::Prefix;
  }
  return Best;
}

// An IPv4 address as the IPv4-mapped key the set keeps, so that ::ffff:a.b.c.d is the same.
bool ParseQuad(std::string_view S, TKey& Key)
{
  const auto Ip = ParseStrictIpv4(S);
  if (!Ip) return false;
  Key = TKey{};
  Key[10] = Key[11] = 0xFF;
  for (int I = 0; I < 4; ++I) Key[12 + I] = static_cast<std::uint8_t>(*Ip >> (24 - 8 * I));
  return true;
}

std::string QuadText(const TKey& Key)
{
  std::string Text;
  for (int I = 12; I < 16; ++I) {
    if (I > 12) Text += '.';
    Text += std::to_string(Key[I]);
  }
  return Text;
}

// Eight groups of exactly two hexadecimal digits: how EUI-64 identifiers and long MAC
// addresses are written, never how anyone writes an IPv6 address.
bool IsEui64Style(std::string_view S)
{
  if (S.size() != 23) return false;
  for (std::size_t I = 0; I < S.size(); ++I)
    if ((I % 3 == 2) ? S[I] != ':' : !IsHexDigit(S[I])) return false;
  return true;
}

bool HasDigit(std::string_view S)
{
  for (const char C : S)
    if (IsAsciiDigit(C)) return true;
  return false;
}

}  // namespace

std::size_t TAddressScanner::TKeyHash::operator()(const std::array<std::uint8_t, 16>& Key) const
{
  // FNV-1a: the keys are short and fixed in size.
  std::uint64_t Hash = 1469598103934665603ull;
  for (const std::uint8_t Byte : Key) Hash = (Hash ^ Byte) * 1099511628211ull;
  return static_cast<std::size_t>(Hash);
}

TAddressScanner::TAddressScanner(TSink Sink, std::size_t MaxDistinct)
    : m_Sink(std::move(Sink)), m_MaxDistinct(MaxDistinct)
{
}

void TAddressScanner::Feed(std::string_view Chunk)
{
  for (const char C : Chunk) Step(C);
}

void TAddressScanner::Finish()
{
  // A marker cut off by the end is no marker; its bytes are read as themselves.
  while (m_MarkerSize > 0) Step('\n');
  EndRun('\n');
  m_Last = m_LastButOne = '\n';
}

void TAddressScanner::Step(char C)
{
  if (m_MarkerSize > 0) {
    m_Marker[m_MarkerSize++] = C;
    char Meaning = 0;
    const TMatch Match = MatchMarker(std::string_view(m_Marker.data(), m_MarkerSize), Meaning);
    if (Match == TMatch::Prefix) return;
    if (Match == TMatch::Whole) {
      m_MarkerSize = 0;
      Plain(Meaning);
      return;
    }
    // Not a marker: the bracket ends the run, and the bytes after it are read again (at
    // most four, none of them opening a marker of this run).
    const std::array<char, 5> Read = m_Marker;
    const std::size_t Size = std::exchange(m_MarkerSize, 0);
    EndRun(Read[0]);
    Plain(Read[0]);
    for (std::size_t I = 1; I < Size; ++I) Step(Read[I]);
    return;
  }
  if (m_InRun && IsMarkerStart(C)) {
    m_Marker[0] = C;
    m_MarkerSize = 1;
    return;
  }
  if (!IsRunChar(C)) EndRun(C);
  Plain(C);
}

void TAddressScanner::Plain(char C)
{
  if (IsRunChar(C)) {
    if (!m_InRun) {
      m_InRun = true;
      m_Overlong = false;
      m_RunSize = 0;
      m_Before = m_Last;
      m_BeforeThat = m_LastButOne;
    }
    if (m_RunSize < kMaxAddressRun)
      m_Run[m_RunSize++] = C;
    else
      m_Overlong = true;
  }
  m_LastButOne = m_Last;
  m_Last = C;
}

void TAddressScanner::EndRun(char After)
{
  if (!m_InRun) return;
  m_InRun = false;
  if (!m_Overlong) Judge(std::string_view(m_Run.data(), m_RunSize), m_Before, m_BeforeThat, After);
}

void TAddressScanner::Judge(std::string_view Run, char Before, char BeforeThat, char After)
{
  // "Chrome/120.0.0.0" and "openssl-1.1.1.1" are versions; "http://" and "10.0.0.1-" are not.
  const bool GluedLeft = IsWordChar(Before) ||
                         (Before == '/' && (IsAsciiLetter(BeforeThat) || IsAsciiDigit(BeforeThat))) ||
                         (Before == '-' && IsAsciiLetter(BeforeThat));
  const bool GluedRight = IsWordChar(After);
  if (Run.find(':') != std::string_view::npos && TakeIpv6(Run, GluedLeft, GluedRight)) return;
  TakeIpv4Parts(Run, GluedLeft, GluedRight);
}

bool TAddressScanner::TakeIpv6(std::string_view S, bool GluedLeft, bool GluedRight)
{
  while (!S.empty() && S.back() == '.') S.remove_suffix(1);  // a full stop after it
  // A single colon at either end separates ("client:2001:db8::1", "2001:db8::1: error").
  if (S.size() >= 2 && S.back() == ':' && S[S.size() - 2] != ':') {
    S.remove_suffix(1);
    GluedRight = false;
  }
  if (S.size() >= 2 && S.front() == ':' && S[1] != ':') {
    S.remove_prefix(1);
    GluedLeft = false;
  }
  if (GluedLeft) {
    // "[IPv6:2001:db8::1]": the word's digits before the first colon are not the address.
    const std::size_t Colon = S.find(':');
    if (Colon == std::string_view::npos || Colon + 1 >= S.size() || S[Colon + 1] == ':') return false;
    S.remove_prefix(Colon + 1);
  }
  TKey Key{};
  if (GluedRight || IsEui64Style(S) || !WSocketParseAddress6(S, Key)) return false;
  const std::string Text = WSocketIsMappedAddress6(Key) ? QuadText(Key) : WSocketFormatAddress6(Key);
  // Judged as written back, so that what is yielded is found again in a text of its own.
  if (!HasDigit(Text) || IsEui64Style(Text)) return false;
  Yield(Key, Text);
  return true;
}

void TAddressScanner::TakeIpv4Parts(std::string_view Run, bool GluedLeft, bool GluedRight)
{
  // An address with a port, or after a word and a colon ("from:203.0.113.7:22"); longer
  // colon lists are times, hashes or broken IPv6 addresses, not addresses with parts.
  std::size_t Colons = 0;
  for (const char C : Run) Colons += C == ':';
  if (Colons > 2 || Run.find("::") != std::string_view::npos) return;
  std::size_t Start = 0;
  for (std::size_t Part = 0;; ++Part) {
    const std::size_t End = Run.find(':', Start);
    const bool Last = End == std::string_view::npos;
    std::string_view Piece = Run.substr(Start, Last ? std::string_view::npos : End - Start);
    if (Last)
      while (!Piece.empty() && Piece.back() == '.') Piece.remove_suffix(1);
    TKey Key{};
    if (!(Part == 0 && GluedLeft) && !(Last && GluedRight) && ParseQuad(Piece, Key)) Yield(Key, QuadText(Key));
    if (Last) break;
    Start = End + 1;
  }
}

void TAddressScanner::Yield(const std::array<std::uint8_t, 16>& Key, const std::string& Text)
{
  if (m_Seen.count(Key)) return;
  if (m_Seen.size() >= m_MaxDistinct) {
    ++m_Dropped;
    return;
  }
  m_Seen.insert(Key);
  if (m_Sink) m_Sink(Text);
}

std::vector<std::string> FindAddresses(std::string_view Text)
{
  std::vector<std::string> Found;
  TAddressScanner Scanner([&Found](const std::string& Address) { Found.push_back(Address); });
  Scanner.Feed(Text);
  Scanner.Finish();
  return Found;
}
