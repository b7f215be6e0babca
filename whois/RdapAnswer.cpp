// SPDX-License-Identifier: MIT
#include "whois/RdapAnswer.h"

#include <algorithm>

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include "text/AsciiText.h"

#include "whois/RdapBootstrap.h"

namespace {

// Field lengths kept, in bytes; longer texts are cut (a holder's name is rarely past 100).
constexpr std::size_t kMaxName = kAnswerTextMax;
constexpr std::size_t kMaxHandle = 100;
constexpr std::size_t kMaxEmail = 254;
// Items read of any one list (entities, vCard properties, cidrs, links, remarks).
constexpr qsizetype kMaxItems = 256;
constexpr std::size_t kMaxCidrs = 64;

using u128 = unsigned __int128;

// Nesting and value count of a JSON text, without building it: QJsonDocument would hold
// every value of an 8 MiB list of zeros before anything could look at it.
std::string PreScan(std::string_view Body)
{
  int Depth = 0;
  std::size_t Values = 0;
  bool InString = false;
  bool Escape = false;
  for (const char C : Body) {
    if (InString) {
      if (Escape)
        Escape = false;
      else if (C == '\\')
        Escape = true;
      else if (C == '"')
        InString = false;
      continue;
    }
    switch (C) {
      case '"': InString = true; break;
      case '[':
      case '{':
        if (++Depth > kRdapMaxNesting) return "it is nested deeper than " + std::to_string(kRdapMaxNesting) + " levels";
        ++Values;
        break;
      case ']':
      case '}': --Depth; break;
      case ',': ++Values; break;
      default: break;
    }
    if (Values > kRdapMaxValues) return "it holds more than " + std::to_string(kRdapMaxValues) + " values";
  }
  return {};
}

// At most Max bytes of UTF-8, cut before a character's first byte.
std::string Plain(const QString& Text, std::size_t Max)
{
  QString Out;
  bool Blank = false;
  // Every character takes at least one byte: no more than Max of them are needed.
  for (const QChar C : Text) {
    if (static_cast<std::size_t>(Out.size()) > Max) break;
    const QChar::Category Cat = C.category();
    if (C.isSpace()) {
      Blank = !Out.isEmpty();
      continue;
    }
    if (Cat == QChar::Other_Control || Cat == QChar::Other_Format) continue;
    if (Blank) Out += QLatin1Char(' ');
    Blank = false;
    Out += C;
  }
  std::string Bytes = Out.toStdString();
  if (Bytes.size() > Max) {
    std::size_t N = Max;
    while (N > 0 && (static_cast<unsigned char>(Bytes[N]) & 0xC0) == 0x80) --N;
    Bytes.resize(N);
  }
  while (!Bytes.empty() && Bytes.back() == ' ') Bytes.pop_back();
  return Bytes;
}

std::string Str(const QJsonValue& V, std::size_t Max)
{
  return V.isString() ? Plain(V.toString(), Max) : std::string();
}

bool IsCountryCode(const std::string& S) { return S.size() == 2 && std::all_of(S.begin(), S.end(), IsAsciiLetter); }

// A mailbox as a vCard writes it: trimmed, "mailto:" dropped; empty unless it reads as one.
std::string Mailbox(const QJsonValue& V)
{
  if (!V.isString()) return {};
  QString T = V.toString().trimmed();
  if (T.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) T = T.mid(7);
  const qsizetype At = T.indexOf(QLatin1Char('@'));
  if (T.size() < 3 || static_cast<std::size_t>(T.size()) > kMaxEmail || At <= 0 || At == T.size() - 1 ||
      T.indexOf(QLatin1Char('@'), At + 1) >= 0)
    return {};
  for (const QChar C : T)
    if (C.isSpace() || C.category() == QChar::Other_Control || C.category() == QChar::Other_Format || C == '<' ||
        C == '>' || C == '"' || C == ',' || C == ';')
      return {};
  return T.toStdString();
}

// Whether a vCard parameter (a string or a list of strings) names Wanted.
bool ParamHas(const QJsonValue& Param, QLatin1String Wanted)
{
  if (Param.isString()) {
    for (const QString& Part : Param.toString().split(QLatin1Char(',')))
      if (Part.trimmed().compare(Wanted, Qt::CaseInsensitive) == 0) return true;
    return false;
  }
  const QJsonArray List = Param.toArray();
  for (qsizetype I = 0; I < std::min(List.size(), kMaxItems); ++I)
    if (List[I].toString().trimmed().compare(Wanted, Qt::CaseInsensitive) == 0) return true;
  return false;
}

struct TVcard {
  std::string Fn;
  std::string Kind;
  std::vector<std::pair<std::string, bool>> Emails;  // mailbox, typed "abuse"
  std::string CountryCode;
};

// jCard (RFC 7095): ["vcard", [[name, {params}, type, value...], ...]].
TVcard ReadVcard(const QJsonValue& V)
{
  TVcard Card;
  const QJsonArray Outer = V.toArray();
  if (Outer.size() < 2 || Outer[0].toString() != QLatin1String("vcard") || !Outer[1].isArray()) return Card;
  const QJsonArray Props = Outer[1].toArray();
  for (qsizetype I = 0; I < std::min(Props.size(), kMaxItems); ++I) {
    const QJsonArray P = Props[I].toArray();
    if (P.size() < 4 || !P[0].isString()) continue;
    const QString Name = P[0].toString().toLower();
    const QJsonObject Params = P[1].toObject();
    const QJsonValue Value = P[3];
    if (Name == QLatin1String("fn") && Card.Fn.empty()) {
      Card.Fn = Str(Value, kMaxName);
    } else if (Name == QLatin1String("kind") && Card.Kind.empty()) {
      Card.Kind = AsciiLowerCopy(Str(Value, 16));
    } else if (Name == QLatin1String("email")) {
      std::string Box = Mailbox(Value);
      if (!Box.empty() && Card.Emails.size() < 16)
        Card.Emails.emplace_back(std::move(Box), ParamHas(Params.value("type"), QLatin1String("abuse")));
    } else if (Name == QLatin1String("adr") && Card.CountryCode.empty()) {
      // RFC 8605's "cc" parameter, else the country part of the address when it is a code.
      std::string Code = Str(Params.value("cc"), 2);
      if (!IsCountryCode(Code) && Value.isArray() && Value.toArray().size() >= 7) Code = Str(Value.toArray()[6], 3);
      if (IsCountryCode(Code)) Card.CountryCode = AsciiUpperCopy(Code);
    }
  }
  return Card;
}

// Roles as a list of words ("roles": ["registrant"]), or as one string of several, which
// LACNIC wrote ("technical, abuse").
std::vector<std::string> ReadRoles(const QJsonValue& V)
{
  QStringList Words;
  auto Add = [&Words](const QString& S) {
    for (const QString& W : S.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts))
      if (Words.size() < 32) Words.append(W.toLower());
  };
  if (V.isString()) Add(V.toString().left(256));
  const QJsonArray List = V.toArray();
  for (qsizetype I = 0; I < std::min(List.size(), qsizetype{32}); ++I)
    if (List[I].isString()) Add(List[I].toString().left(256));
  std::vector<std::string> Roles;
  for (const QString& W : Words) Roles.push_back(W.toStdString());
  return Roles;
}

struct TFound {
  int Depth;
  std::size_t Order;
  TAbuseContact Contact;
};

struct THolder {
  std::string Handle, Name, CountryCode;
  int Rank = 0;
};

struct TWalk {
  std::vector<TFound> Abuse;
  std::optional<THolder> Holder;
  int Entities = 0;
};

void Walk(const QJsonValue& List, int Depth, const std::string& Level, TWalk& W)
{
  if (Depth > kRdapEntityDepth || !List.isArray()) return;
  const QJsonArray Entities = List.toArray();
  for (qsizetype I = 0; I < std::min(Entities.size(), kMaxItems); ++I) {
    if (++W.Entities > kRdapMaxEntities) return;
    const QJsonObject E = Entities[I].toObject();
    const std::string Handle = Str(E.value("handle"), kMaxHandle);
    const std::vector<std::string> Roles = ReadRoles(E.value("roles"));
    const TVcard Card = ReadVcard(E.value("vcardArray"));
    auto Has = [&Roles](std::string_view R) { return std::find(Roles.begin(), Roles.end(), R) != Roles.end(); };

    // The abuse role's mailboxes (those typed "abuse" where some are), and a mailbox typed
    // "abuse" on any entity (RIPE's and AFRINIC's).
    const bool AbuseRole = Has("abuse");
    const bool AnyTyped = std::any_of(Card.Emails.begin(), Card.Emails.end(), [](const auto& M) { return M.second; });
    for (const auto& [Box, Typed] : Card.Emails) {
      if (!(Typed || (AbuseRole && !AnyTyped))) continue;
      std::string Object = Handle.empty() ? "entity" : "entity " + Handle;
      if (!Level.empty()) Object += " in " + Level;
      W.Abuse.push_back({Depth, W.Abuse.size(), {Box, Object}});
    }

    // The holder: the registrant on the network itself, an organisation before a person
    // and both before a maintainer (RIPE lists its mnt-by objects as registrants too);
    // failing one, an organisation there that states no role at all (AFRINIC).
    if (Depth == 1) {
      const bool Organisation = Card.Kind == "org" || Handle.rfind("ORG-", 0) == 0;
      const bool Maintainer = Handle.size() > 4 && Handle.compare(Handle.size() - 4, 4, "-MNT") == 0;
      int Rank = 0;
      if (Has("registrant"))
        Rank = Maintainer ? 2 : Organisation ? 4 : 3;
      else if (Roles.empty() && Organisation)
        Rank = 1;
      if (Rank > 0 && (!W.Holder || Rank > W.Holder->Rank)) W.Holder = THolder{Handle, Card.Fn, Card.CountryCode, Rank};
    }
    Walk(E.value("entities"), Depth + 1, Handle.empty() ? Level : Handle, W);
  }
}

bool Contains(const QJsonValue& Texts, QLatin1String Needle)
{
  const QJsonArray Items = Texts.toArray();
  for (qsizetype I = 0; I < std::min(Items.size(), kMaxItems); ++I) {
    const QJsonArray Lines = Items[I].toObject().value("description").toArray();
    for (qsizetype J = 0; J < std::min(Lines.size(), kMaxItems); ++J)
      if (Lines[J].toString().contains(Needle, Qt::CaseInsensitive)) return true;
  }
  return false;
}

u128 Number(const TRdapAddress& A)
{
  u128 N = 0;
  const int Bytes = A.V6 ? 16 : 4;
  for (int I = 0; I < Bytes; ++I) N = (N << 8) | A.Bytes[I];
  return N;
}

TRdapAddress FromNumber(u128 N, bool V6)
{
  TRdapAddress A;
  A.V6 = V6;
  const int Bytes = V6 ? 16 : 4;
  for (int I = Bytes - 1; I >= 0; --I) {
    A.Bytes[I] = static_cast<std::uint8_t>(N & 0xff);
    N >>= 8;
  }
  return A;
}

// The fewest prefixes that make up First..Last; empty when that takes more than kMaxCidrs.
std::vector<std::string> CidrsOf(const TRdapAddress& FirstA, const TRdapAddress& LastA)
{
  const int Width = FirstA.V6 ? 128 : 32;
  u128 First = Number(FirstA);
  const u128 Last = Number(LastA);
  std::vector<std::string> Out;
  for (;;) {
    int Bits = 0;  // host bits of the largest aligned block at First that ends by Last
    while (Bits < Width && ((First >> Bits) & 1) == 0) {
      const u128 Span = Bits + 1 == 128 ? ~u128{0} : (u128{1} << (Bits + 1)) - 1;
      if (First + Span > Last || First + Span < First) break;
      ++Bits;
    }
    if (Out.size() == kMaxCidrs) return {};
    Out.push_back(RdapAddressText(FromNumber(First, FirstA.V6)) + "/" + std::to_string(Width - Bits));
    const u128 Span = Bits == 128 ? ~u128{0} : (u128{1} << Bits) - 1;
    if (First + Span >= Last) return Out;
    First += Span + 1;
  }
}

struct TRange {
  TRdapAddress First, Last;
};

std::optional<TRange> PrefixRange(std::string_view Text, int Length)
{
  std::optional<TRdapAddress> A = ParseRdapAddress(Text);
  const int Width = A && A->V6 ? 128 : 32;
  if (!A || Length < 0 || Length > Width) return std::nullopt;
  const u128 Host = Width - Length == 128 ? ~u128{0} : (u128{1} << (Width - Length)) - 1;
  const u128 Net = Number(*A) & ~Host;
  return TRange{FromNumber(Net, A->V6), FromNumber(Net | Host, A->V6)};
}

bool Holds(const TRange& R, const TRdapAddress& A)
{
  return R.First.V6 == A.V6 && Number(R.First) <= Number(A) && Number(A) <= Number(R.Last);
}

bool Holds(const TRange& R, const TRange& Inner) { return Holds(R, Inner.First) && Holds(R, Inner.Last); }

// What an address query asks about: one address, or a prefix "A/LEN".
std::optional<TRange> AskedRange(std::string_view Query)
{
  const std::size_t Slash = Query.find('/');
  if (Slash == std::string_view::npos) {
    const auto A = ParseRdapAddress(Query);
    if (!A) return std::nullopt;
    return TRange{*A, *A};
  }
  const std::string_view Digits = Query.substr(Slash + 1);
  if (Digits.empty() || Digits.size() > 3 || Digits.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  return PrefixRange(Query.substr(0, Slash), std::stoi(std::string(Digits)));
}

// ARIN's cidr0 extension: [{"v4prefix": "8.8.8.0", "length": 24}, ...].
std::vector<std::pair<TRange, std::string>> ReadCidr0(const QJsonValue& V)
{
  std::vector<std::pair<TRange, std::string>> Out;
  const QJsonArray List = V.toArray();
  for (qsizetype I = 0; I < std::min(List.size(), kMaxItems) && Out.size() < kMaxCidrs; ++I) {
    const QJsonObject C = List[I].toObject();
    const QJsonValue Prefix = C.contains("v6prefix") ? C.value("v6prefix") : C.value("v4prefix");
    const QJsonValue Length = C.value("length");
    if (!Prefix.isString() || !Length.isDouble() || Length.toDouble() != static_cast<double>(Length.toInt(-1)))
      continue;
    if (auto R = PrefixRange(Prefix.toString().left(64).toStdString(), Length.toInt()))
      Out.emplace_back(*R, RdapAddressText(R->First) + "/" + std::to_string(Length.toInt()));
  }
  return Out;
}

// A JSON number that is a whole AS number.
std::optional<std::uint32_t> AsNumberOf(const QJsonValue& V)
{
  if (!V.isDouble()) return std::nullopt;
  const double D = V.toDouble();
  if (!(D >= 0 && D <= 4294967295.0) || D != static_cast<double>(static_cast<std::uint32_t>(D))) return std::nullopt;
  return static_cast<std::uint32_t>(D);
}

std::optional<std::uint32_t> QueryAsNumber(std::string_view Query)
{
  if (Query.size() < 3 || Query.size() > 12 || (Query[0] != 'A' && Query[0] != 'a') ||
      (Query[1] != 'S' && Query[1] != 's'))
    return std::nullopt;
  std::uint64_t N = 0;
  for (const char C : Query.substr(2)) {
    if (C < '0' || C > '9') return std::nullopt;
    N = N * 10 + static_cast<unsigned>(C - '0');
  }
  if (N > 4294967295u || (Query.size() > 3 && Query[2] == '0')) return std::nullopt;
  return static_cast<std::uint32_t>(N);
}

void ReadNetwork(const QJsonObject& O, const TRange& AskedRange, std::string_view Query, TRdapReading& R)
{
  TWhoisNetwork Net;
  Net.Name = Str(O.value("name"), kMaxName);
  Net.Handle = Str(O.value("handle"), kMaxHandle);
  const auto First = ParseRdapAddress(Str(O.value("startAddress"), 64));
  const auto Last = ParseRdapAddress(Str(O.value("endAddress"), 64));
  if (!First || !Last || First->V6 != Last->V6 || Number(*First) > Number(*Last)) {
    R.Object = TRdapObject::Unreadable;
    R.Problem = "its network has no valid startAddress and endAddress";
    return;
  }
  TRange Range{*First, *Last};
  const auto Cidr0 = ReadCidr0(O.value("cidr0_cidrs"));

  // LACNIC's early answers gave the queried address as the range; the real one is in the
  // cidr0 list or in the handle ("200.160.0.0/20") when they give it.
  const TRdapAddress& Asked = AskedRange.First;
  if (Number(AskedRange.First) == Number(AskedRange.Last) && Number(*First) == Number(*Last) &&
      Number(*First) == Number(Asked) && First->V6 == Asked.V6) {
    std::optional<TRange> Better;
    for (const auto& [C, Text] : Cidr0)
      if (Holds(C, Asked) && Number(C.First) != Number(C.Last)) Better = C;
    const std::size_t Slash = Net.Handle.find('/');
    if (!Better && Slash != std::string::npos) {
      int Length = -1;
      const std::string Digits = Net.Handle.substr(Slash + 1);
      if (!Digits.empty() && Digits.size() <= 3 &&
          std::all_of(Digits.begin(), Digits.end(), [](char C) { return C >= '0' && C <= '9'; }))
        Length = std::stoi(Digits);
      if (auto H = PrefixRange(std::string_view(Net.Handle).substr(0, Slash), Length); H && Holds(*H, Asked))
        Better = H;
    }
    const bool Lacnic = R.Answer.Registry == "LACNIC";
    if (Better || Lacnic) R.EchoedRange = true;
    if (Better)
      Range = *Better;
    else if (Lacnic) {
      // The range is unknown: better none than the address passed off as the network.
      R.Answer.Network = Net;
      return;
    }
  }
  if (!Holds(Range, AskedRange)) {
    R.Problem = "its network " + RdapAddressText(Range.First) + " - " + RdapAddressText(Range.Last) +
                " does not hold " + std::string(Query);
    return;
  }
  Net.First = RdapAddressText(Range.First);
  Net.Last = RdapAddressText(Range.Last);
  for (const auto& [C, Text] : Cidr0)
    if (Number(C.First) >= Number(Range.First) && Number(C.Last) <= Number(Range.Last) && C.First.V6 == Range.First.V6)
      Net.Cidrs.push_back(Text);
  if (Net.Cidrs.empty()) Net.Cidrs = CidrsOf(Range.First, Range.Last);
  const u128 Top = Range.First.V6 ? ~u128{0} : u128{0xffffffffu};
  R.WholeSpace = Number(Range.First) == 0 && Number(Range.Last) == Top;
  R.Answer.Network = std::move(Net);
}

}  // namespace

std::string RdapPlainText(std::string_view Text, std::size_t Max)
{
  return Plain(QString::fromUtf8(Text.data(), static_cast<qsizetype>(std::min(Text.size(), Max * 8 + 64))), Max);
}

TRdapReading ReadRdapResponse(std::string_view Body, std::string_view Query, std::string_view Server)
{
  TRdapReading R;
  R.Answer.Source = "rdap";
  R.Answer.Query = std::string(Query);
  R.Answer.Server = std::string(Server);
  const std::string Host(Server.substr(0, Server.find(':')));
  const TRdapRegistry* Registry = RdapRegistryOfHost(Host);
  R.Answer.Registry = Registry ? std::string(Registry->Name) : Host;

  if (Body.size() > kRdapMaxBytes) {
    R.Problem = "it is larger than 8 MiB";
    return R;
  }
  if (std::string Scan = PreScan(Body); !Scan.empty()) {
    R.Problem = Scan;
    return R;
  }
  QJsonParseError Error{};
  const QJsonDocument Doc =
      QJsonDocument::fromJson(QByteArray::fromRawData(Body.data(), static_cast<qsizetype>(Body.size())), &Error);
  if (!Doc.isObject()) {
    R.Problem = Doc.isNull() ? "it is not JSON (" + Error.errorString().toStdString() + " at byte " +
                                   std::to_string(Error.offset) + ")"
                             : "it is not a JSON object";
    return R;
  }
  const QJsonObject O = Doc.object();
  const QString Class = O.value("objectClassName").toString();

  if (Class.isEmpty() && O.contains("errorCode")) {
    R.Object = TRdapObject::Error;
    const QJsonValue Code = O.value("errorCode");
    if (Code.isDouble() && Code.toDouble() >= 100 && Code.toDouble() <= 599) R.ErrorCode = Code.toInt();
    R.ErrorTitle = Str(O.value("title"), 120);
    // A list of lines (or, from some servers, one string), joined and cut as one text.
    const QJsonValue Description = O.value("description");
    QString Text = Description.toString().left(2 * kAnswerTextMax);
    const QJsonArray Lines = Description.toArray();
    for (qsizetype I = 0; I < std::min(Lines.size(), qsizetype{8}) && Text.size() < qsizetype{kAnswerTextMax}; ++I)
      Text += QLatin1Char(' ') + Lines[I].toString().left(2 * kAnswerTextMax);
    R.ErrorDescription = Plain(Text, kAnswerTextMax);
    return R;
  }

  const std::optional<std::uint32_t> AskedAs = QueryAsNumber(Query);
  const std::optional<TRange> AskedAddress = AskedAs ? std::nullopt : AskedRange(Query);
  if (Class == QLatin1String("ip network") && AskedAddress) {
    R.Object = TRdapObject::Network;
    ReadNetwork(O, *AskedAddress, Query, R);
    if (R.Object != TRdapObject::Network || !R.Problem.empty()) return R;
  } else if (Class == QLatin1String("autnum") && AskedAs) {
    R.Object = TRdapObject::Autnum;
    const auto Start = AsNumberOf(O.value("startAutnum"));
    const auto End = O.contains("endAutnum") ? AsNumberOf(O.value("endAutnum")) : Start;
    if (!Start || !End || *Start > *AskedAs || *AskedAs > *End) {
      R.Problem = Start && End ? "its AS numbers " + std::to_string(*Start) + " - " + std::to_string(*End) +
                                     " do not hold " + std::to_string(*AskedAs)
                               : "it has no valid startAutnum";
      if (!Start || !End) R.Object = TRdapObject::Unreadable;
      return R;
    }
    R.Answer.AsNumber = "AS" + std::to_string(*AskedAs);
    R.Answer.AsName = Str(O.value("name"), kMaxName);
  } else {
    R.Problem = Class.isEmpty()
                    ? std::string("it is not an RDAP object")
                    : "it is an \"" + Plain(Class, 40) + "\" object, not " + (AskedAs ? "an autnum" : "an ip network");
    return R;
  }

  R.Type = Str(O.value("type"), 60);
  R.ParentHandle = Str(O.value("parentHandle"), kMaxHandle);
  R.Port43 = AsciiLowerCopy(Str(O.value("port43"), 253));
  const std::string Country = Str(O.value("country"), 3);
  if (IsCountryCode(Country)) R.Answer.Country = AsciiUpperCopy(Country);

  const QJsonArray Links = O.value("links").toArray();
  for (qsizetype I = 0; I < std::min(Links.size(), kMaxItems); ++I) {
    const std::string Href = Str(Links[I].toObject().value("href"), 512);
    const TRdapRegistry* To = RdapRegistryOfUrl(Href);
    if (To && (Href.find("/ip/") != std::string::npos || Href.find("/autnum/") != std::string::npos) &&
        std::find(R.LinkRegistries.begin(), R.LinkRegistries.end(), To->Name) == R.LinkRegistries.end())
      R.LinkRegistries.emplace_back(To->Name);
  }

  TWalk W;
  const std::string TopLevel = R.Answer.Network ? R.Answer.Network->Handle : Str(O.value("handle"), kMaxHandle);
  Walk(O.value("entities"), 1, TopLevel, W);
  if (W.Holder) {
    R.Answer.HolderName = W.Holder->Name;
    R.Answer.HolderHandle = W.Holder->Handle;
    if (R.Answer.Country.empty()) R.Answer.Country = W.Holder->CountryCode;
  }
  // Most specific first: the network's own contacts before those of its holder.
  std::stable_sort(W.Abuse.begin(), W.Abuse.end(), [](const TFound& A, const TFound& B) { return A.Depth < B.Depth; });
  for (TFound& F : W.Abuse) {
    const std::string Key = AsciiLowerCopy(F.Contact.Email);
    if (R.Answer.Abuse.size() < kAnswerAbuseMax &&
        std::none_of(R.Answer.Abuse.begin(), R.Answer.Abuse.end(),
                     [&Key](const TAbuseContact& C) { return AsciiLowerCopy(C.Email) == Key; }))
      R.Answer.Abuse.push_back(std::move(F.Contact));
  }
  if (!R.Answer.Abuse.empty())
    R.Answer.AbuseState = TAbuseState::Found;
  else if (Contains(O.value("remarks"), QLatin1String("No abuse contact registered")) ||
           Contains(O.value("notices"), QLatin1String("No abuse contact registered")))
    R.Answer.AbuseState = TAbuseState::NoneRegistered;
  return R;
}

TRdapElsewhere RdapElsewhere(const TRdapReading& R)
{
  TRdapElsewhere E;
  if (R.Object != TRdapObject::Network && R.Object != TRdapObject::Autnum) return E;
  const std::string& Asked = R.Answer.Registry;
  auto Other = [&Asked](const TRdapRegistry* G) { return G && G->Name != Asked; };

  if (const TRdapRegistry* G = RdapRegistryOfHost(R.Port43); Other(G)) {
    E.Registry = G->Name;
    E.Why = "its port43 is " + R.Port43;
  }
  for (const std::string& Name : R.LinkRegistries) {
    if (!E.Registry.empty() || Name == Asked) continue;
    E.Registry = Name;
    E.Why = "its links lead to " + std::string(RdapRegistryNamed(Name)->RdapHost);
  }
  const TRdapRegistry* HolderRegistry = nullptr;
  for (const TRdapRegistry& G : RdapRegistries()) {
    const std::string_view Name = R.Answer.HolderName;
    if (R.Answer.HolderHandle == G.OrgHandle || StartsWithNoCase(Name, G.OrgName)) HolderRegistry = &G;
  }
  if (E.Registry.empty() && Other(HolderRegistry)) {
    E.Registry = HolderRegistry->Name;
    E.Why = "its holder is " + std::string(HolderRegistry->Name);
  }
  if (!E.Registry.empty()) {
    E.Stub = true;
    return E;
  }
  const std::string Name = R.Answer.Network ? AsciiUpperCopy(R.Answer.Network->Name) : std::string();
  if (R.WholeSpace) {
    E.Stub = true;
    E.Why = "its network is the whole address space";
  } else if ((Name.rfind("NON-", 0) == 0 && Name.find("-MANAGED-ADDRESS-BLOCK") != std::string::npos) ||
             Name == "IANA-BLK" || Name == "IANA-BLOCK") {
    E.Stub = true;
    E.Why = R.Answer.Network->Name + " is a placeholder";
  }
  return E;
}

std::optional<int> RdapRetryAfter(std::string_view Value, std::int64_t NowUnix)
{
  Value = TrimSpaceOrTab(Value);
  if (Value.empty() || Value.size() > 64) return std::nullopt;
  if (std::all_of(Value.begin(), Value.end(), IsAsciiDigit)) {
    std::int64_t N = 0;
    for (const char C : Value) {
      N = N * 10 + (C - '0');
      if (N > kRdapMaxRetryAfter) return kRdapMaxRetryAfter;
    }
    return static_cast<int>(N);
  }
  // An HTTP date: "Sun, 06 Nov 1994 08:49:37 GMT" (RFC 9110's preferred form), which Qt's
  // RFC 2822 reader takes with a numeric zone only.
  QString Date = QString::fromLatin1(Value.data(), static_cast<qsizetype>(Value.size()));
  if (Date.endsWith(QLatin1String(" GMT"))) Date = Date.chopped(4) + QLatin1String(" +0000");
  const QDateTime At = QDateTime::fromString(Date, Qt::RFC2822Date);
  if (!At.isValid()) return std::nullopt;
  const std::int64_t Wait = At.toSecsSinceEpoch() - NowUnix;
  return static_cast<int>(std::clamp<std::int64_t>(Wait, 0, kRdapMaxRetryAfter));
}
