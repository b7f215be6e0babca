// SPDX-License-Identifier: MIT
#include "whois/WhoisReferral.h"

#include "text/AsciiText.h"
#include "whois/NetworkRange.h"

#include <algorithm>
#include <array>
#include <span>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

constexpr std::size_t kExcerptMax = 80;
constexpr std::uint16_t kRwhoisPort = 4321;  // the port RFC 2167 registers for rwhois
constexpr std::string_view kNotWhois = "not a whois or rwhois server";

bool IsAlnum(char C) { return IsAsciiDigit(C) || IsAsciiLetter(C); }

// A short, printable copy of a line for a note: a hostile line must not drive a terminal or
// flood the output.
std::string Excerpt(std::string_view Line)
{
  std::string Out;
  const std::size_t N = std::min(Line.size(), kExcerptMax);
  for (std::size_t I = 0; I < N; ++I) {
    const unsigned char C = static_cast<unsigned char>(Line[I]);
    Out += C >= 0x20 && C < 0x7F ? static_cast<char>(C) : '?';
  }
  if (Line.size() > kExcerptMax) Out += "...";
  return Out;
}

// A network line's size as its number of addresses less one, so that the whole IPv6 space
// still fits; unknown sizes sort after every known one.
struct TNetSize {
  bool Known = false;
  TUint128 Span = 0;
  bool WholeSpace = false;  // 0.0.0.0 - 255.255.255.255, 0.0.0.0/0, ::/0 and the like
};

bool Smaller(const TNetSize& A, const TNetSize& B)
{
  if (A.Known != B.Known) return A.Known;
  return A.Known && A.Span < B.Span;
}

bool SameSize(const TNetSize& A, const TNetSize& B) { return A.Known == B.Known && A.Span == B.Span; }

TUint128 AllOnes(int Bits) { return Bits >= 128 ? ~TUint128{0} : (TUint128{1} << Bits) - 1; }

// Size of a network line's value: "A - B" or "A/LEN", IPv4 or IPv6.
TNetSize NetworkSize(std::string_view Value)
{
  TNetSize Size;
  const std::optional<TNetworkRange> Range = ParseNetworkRange(Value);
  if (!Range) return Size;
  Size.Known = true;
  Size.Span = Range->Span();
  Size.WholeSpace = Size.Span == AllOnes(Range->Bits);
  return Size;
}

struct TReferralKey {
  std::string_view Name;
  int Rank;
};
constexpr std::array<TReferralKey, 4> kReferralKeys = {{
    {"ReferralServer", 4},
    {"refer", 3},
    {"whois", 2},
    {"ResourceLink", 1},
}};

int ReferralRank(std::string_view Key)
{
  for (const auto& K : kReferralKeys)
    if (EqualNoCase(Key, K.Name)) return K.Rank;
  return 0;
}

// Parses a referral value: [whois:// | rwhois://] host [:port] [/]. Returns the reason
// when it may not be followed, empty when Out holds the server.
std::string ParseTarget(std::string_view Value, TWhoisReferral& Out)
{
  if (Value.empty()) return "no server named";
  std::string_view Rest = Value;
  const std::size_t Scheme = Value.find("://");
  if (Scheme != std::string_view::npos) {
    const std::string_view Name = Value.substr(0, Scheme);
    if (EqualNoCase(Name, "whois")) {
      Out.Rwhois = false;
    } else if (EqualNoCase(Name, "rwhois")) {
      Out.Rwhois = true;
    } else {
      return std::string(kNotWhois);
    }
    Rest = Value.substr(Scheme + 3);
  }
  if (!Rest.empty() && Rest.back() == '/') Rest.remove_suffix(1);
  Out.Port = Out.Rwhois ? kRwhoisPort : 43;
  // An IPv6 literal, bracketed or not, is a host this command does not ask.
  if (Rest.starts_with('[') || std::count(Rest.begin(), Rest.end(), ':') > 1) return "bad host name";
  const std::size_t Colon = Rest.find(':');
  if (Colon != std::string_view::npos) {
    const std::string_view Port = Rest.substr(Colon + 1);
    if (Port.empty() || Port.size() > 5 || !std::all_of(Port.begin(), Port.end(), IsAsciiDigit)) return "bad port";
    const unsigned long Number = std::stoul(std::string(Port));
    if (Number < 1 || Number > 65535) return "bad port";
    Out.Port = static_cast<std::uint16_t>(Number);
    Rest = Rest.substr(0, Colon);
  }
  if (Rest.empty()) return "no server named";
  if (!IsValidReferralHost(Rest)) return "bad host name";
  if (Rest.back() == '.') Rest.remove_suffix(1);
  Out.Host = AsciiLowerCopy(Rest);
  return {};
}

// The registries a stub names as not holding the address.
constexpr std::array<std::string_view, 5> kRegistryWords = {"ripe", "apnic", "lacnic", "afrinic", "arin"};

// True when Text (lower case) holds one of Phrases followed by an optional "the " and a
// registry's name as a whole word. SkipArin leaves out ARIN's own name.
bool NamesRegistry(const std::string& Text, std::span<const std::string_view> Phrases, bool SkipArin)
{
  for (const std::string_view Phrase : Phrases) {
    for (std::size_t P = Text.find(Phrase); P != std::string::npos; P = Text.find(Phrase, P + 1)) {
      std::string_view After = std::string_view(Text).substr(P + Phrase.size());
      while (!After.empty() && IsSpaceOrTab(After.front())) After.remove_prefix(1);
      if (After.starts_with("the ")) After.remove_prefix(4);
      for (const std::string_view Word : kRegistryWords) {
        if (SkipArin && Word == "arin") continue;
        if (After.starts_with(Word) && (After.size() == Word.size() || !IsAlnum(After[Word.size()]))) return true;
      }
    }
  }
  return false;
}

constexpr std::array<std::string_view, 4> kNotHeldPhrases = {"not managed by ", "not allocated to ",
                                                             "not administered by ", "not assigned to "};

// APNIC's stubs for blocks that moved to another registry: "Transferred to the RIPE region on
// ...". ("transferred to APNIC" in its early-registration blocks is no stub: APNIC holds them.)
bool NamesMovedRegion(const std::string& Text)
{
  for (const std::string_view Word : kRegistryWords)
    if (Text.find("transferred to the " + std::string(Word) + " region") != std::string::npos) return true;
  return false;
}

// ARIN's NetType of a block it handed to another registry.
constexpr std::array<std::string_view, 2> kHandedOnPhrases = {"allocated to ", "transferred to "};

// Whether one line marks the reply as a "not managed here" stub.
bool IsStubLine(std::string_view Key, std::string_view Value, bool Comment, std::string_view Line)
{
  if (Comment) return NamesRegistry(AsciiLowerCopy(Line), kNotHeldPhrases, false);
  if (EqualNoCase(Key, "netname")) {
    const std::string Name = AsciiLowerCopy(Value);
    return (Name.starts_with("non-") && Name.ends_with("-managed-address-block")) || Name == "iana-blk" ||
           Name == "iana-block";
  }
  if (EqualNoCase(Key, "descr") || EqualNoCase(Key, "remarks")) {
    const std::string Text = AsciiLowerCopy(Value);
    return NamesRegistry(Text, kNotHeldPhrases, false) || NamesMovedRegion(Text);
  }
  if (EqualNoCase(Key, "NetType")) return NamesRegistry(AsciiLowerCopy(Value), kHandedOnPhrases, true);
  return false;
}

struct TCandidate {
  TWhoisReferral Referral;
  TNetSize Size;
  std::size_t Network = 0;
  int Rank = 0;
};

bool Better(const TCandidate& C, const TCandidate& Best)
{
  if (!SameSize(C.Size, Best.Size)) return Smaller(C.Size, Best.Size);
  if (C.Network != Best.Network) return C.Network > Best.Network;
  return C.Rank >= Best.Rank;
}

class TNoteList {
 public:
  explicit TNoteList(std::vector<std::string>& Notes) : m_Notes(Notes) {}
  void Add(const std::string& Reason, std::string_view Line)
  {
    std::string Note = "Referral ignored (" + Reason + "): " + Excerpt(Line);
    if (std::find(m_Notes.begin(), m_Notes.end(), Note) != m_Notes.end()) return;
    if (m_Notes.size() < kReferralNotesMax)
      m_Notes.push_back(std::move(Note));
    else
      ++m_More;
  }
  void Finish()
  {
    if (m_More > 0) m_Notes.push_back("Referral ignored: " + std::to_string(m_More) + " more such lines.");
  }

 private:
  std::vector<std::string>& m_Notes;
  std::size_t m_More = 0;
};

}  // namespace

bool IsValidReferralHost(std::string_view Host)
{
  if (!Host.empty() && Host.back() == '.') Host.remove_suffix(1);
  if (Host.empty() || Host.size() > 253) return false;
  std::size_t LabelStart = 0;
  for (std::size_t I = 0; I <= Host.size(); ++I) {
    if (I == Host.size() || Host[I] == '.') {
      const std::size_t Len = I - LabelStart;
      if (Len == 0 || Len > 63) return false;
      if (Host[LabelStart] == '-' || Host[I - 1] == '-') return false;
      LabelStart = I + 1;
      continue;
    }
    if (!IsAlnum(Host[I]) && Host[I] != '-') return false;
  }
  // A last label of digits only makes an address, and so does anything the resolver would
  // read as one ("1.0x7f", "0x7f000001"): then only the one spelling that names the same
  // address for everybody.
  const std::string_view Last = Host.substr(Host.rfind('.') == std::string_view::npos ? 0 : Host.rfind('.') + 1);
  in_addr Ignored4{};
  if (std::all_of(Last.begin(), Last.end(), IsAsciiDigit) || ::inet_aton(std::string(Host).c_str(), &Ignored4) != 0) {
    std::uint32_t Ignored = 0;
    return ParseDottedAddress(Host, Ignored, true);
  }
  return true;
}

TReferralScan ScanReferral(std::string_view Reply)
{
  TReferralScan Scan;
  TNoteList Notes(Scan.Notes);
  std::optional<TCandidate> Best;
  TNetSize NetSize;
  std::size_t Network = 0;
  bool Stub = false;
  // The smallest network named: when that is the whole address space, the registry has no
  // record of its own for the address (a placeholder or root object).
  std::optional<TNetSize> Smallest;

  std::size_t Pos = 0;
  while (Pos < Reply.size()) {
    // CR LF, a lone CR and a lone LF each end a line, as the pane shows them.
    std::size_t End = Pos;
    while (End < Reply.size() && Reply[End] != '\r' && Reply[End] != '\n') ++End;
    const std::string_view Line = Reply.substr(Pos, End - Pos);
    Pos = End;
    if (Pos < Reply.size() && Reply[Pos] == '\r') ++Pos;
    if (Pos < Reply.size() && Reply[Pos] == '\n') ++Pos;
    if (Line.empty()) continue;

    const bool Comment = Line[0] == '%' || Line[0] == '#';
    const std::size_t Colon = Comment ? std::string_view::npos : Line.find(':');
    const std::string_view Key = Colon == std::string_view::npos ? std::string_view{} : Line.substr(0, Colon);
    const int Rank = Key.empty() ? 0 : ReferralRank(Key);

    if (Line.size() > kReferralLineMax) {
      // Without reading further: a referral line this long is no server name.
      if (Rank > 0) Notes.Add("line too long", Line);
      continue;
    }
    const std::string_view Value =
        Colon == std::string_view::npos ? std::string_view{} : TrimSpaceOrTab(Line.substr(Colon + 1));

    if (EqualNoCase(Key, "NetRange") || EqualNoCase(Key, "inetnum") || EqualNoCase(Key, "inet6num")) {
      NetSize = NetworkSize(Value);
      if (NetSize.Known && (!Smallest || Smaller(NetSize, *Smallest))) Smallest = NetSize;
      ++Network;
      continue;
    }
    if (Rank > 0) {
      TCandidate C;
      const std::string Reason = ParseTarget(Value, C.Referral);
      if (!Reason.empty()) {
        // ARIN puts a web link on every reply: a link, not a referral, so nothing to note.
        if (!(Reason == kNotWhois && EqualNoCase(Key, "ResourceLink"))) Notes.Add(Reason, Line);
        continue;
      }
      C.Referral.Key = std::string(Key);
      C.Referral.Line = Excerpt(Line);
      C.Size = NetSize;
      C.Network = Network;
      C.Rank = Rank;
      if (!Best || Better(C, *Best)) Best = std::move(C);
      continue;
    }
    if (!Stub && IsStubLine(Key, Value, Comment, Line)) Stub = true;
  }

  Notes.Finish();
  if (Best)
    Scan.Referral = std::move(Best->Referral);
  else
    Scan.Stub = Stub || (Smallest && Smallest->WholeSpace);
  return Scan;
}

std::optional<TAddressKind> AddressKindOf(std::string_view Address)
{
  std::uint32_t V4 = 0;
  TUint128 V6 = 0;
  if (!ParseDottedAddress(Address, V4, true)) {
    if (!ParseIpv6Number(Address, V6)) return std::nullopt;
    const auto Top = [&V6](int Bits) { return static_cast<std::uint32_t>(V6 >> (128 - Bits)); };
    if (V6 == 0) return TAddressKind::Unspecified;
    if (V6 == 1) return TAddressKind::Loopback;
    if ((V6 >> 32) == 0xFFFF) {
      V4 = static_cast<std::uint32_t>(V6);  // ::ffff:a.b.c.d is a.b.c.d
    } else {
      if (Top(8) == 0xFF) return TAddressKind::Multicast;
      if (Top(10) == 0x3FA) return TAddressKind::LinkLocal;                  // fe80::/10
      if (Top(7) == 0x7E || Top(10) == 0x3FB) return TAddressKind::Private;  // fc00::/7, fec0::/10
      if ((V6 >> 32) == 0) return TAddressKind::Reserved;                    // the rest of ::/96
      return TAddressKind::Public;
    }
  }
  const std::uint32_t A = V4 >> 24;
  const std::uint32_t B = (V4 >> 16) & 0xFF;
  if (A == 0) return TAddressKind::Unspecified;
  if (A == 127) return TAddressKind::Loopback;
  if (A == 10 || (A == 172 && (B & 0xF0) == 16) || (A == 192 && B == 168) || (A == 100 && (B & 0xC0) == 64))
    return TAddressKind::Private;
  if (A == 169 && B == 254) return TAddressKind::LinkLocal;
  if (A >= 224 && A <= 239) return TAddressKind::Multicast;
  if (A >= 240) return TAddressKind::Reserved;
  return TAddressKind::Public;
}

bool MayReferTo(TAddressKind From, TAddressKind To)
{
  switch (To) {
    case TAddressKind::Public: return true;
    case TAddressKind::Loopback:
    case TAddressKind::Private:
    case TAddressKind::LinkLocal: return From == To;
    case TAddressKind::Multicast:
    case TAddressKind::Unspecified:
    case TAddressKind::Reserved: break;
  }
  return false;
}

std::string_view AddressKindText(TAddressKind Kind)
{
  switch (Kind) {
    case TAddressKind::Public: return "a public address";
    case TAddressKind::Loopback: return "a loopback address";
    case TAddressKind::Private: return "a private network address";
    case TAddressKind::LinkLocal: return "a link-local address";
    case TAddressKind::Multicast: return "a multicast address";
    case TAddressKind::Unspecified: return "an unspecified address";
    case TAddressKind::Reserved: return "a reserved address";
  }
  return "an address";
}
