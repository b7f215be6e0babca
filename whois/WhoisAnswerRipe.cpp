// SPDX-License-Identifier: MIT
// The RIPE-style replies of RIPE, APNIC, AFRINIC, LACNIC and IANA: objects separated by
// blank lines, each named by its first attribute. The network object points to the objects
// of its holder (org:), abuse role (abuse-c:) and incident response team (mnt-irt:) by key;
// LACNIC names its holder in the network object (owner:) and points to "nic-hdl:" blocks;
// IANA names it there too (organisation:). Each pass below reads the reply once, so a
// reply of any size costs a few linear passes whatever it holds.
#include <algorithm>
#include <array>

#include "whois/WhoisAnswerRead.h"
#include "whois/WhoisReferral.h"

namespace AnswerRead {

namespace {

// Keys followed per network: RIPE allows one abuse-c, APNIC several mnt-irt.
constexpr std::size_t kKeysMax = 4;

// One object: its text and its first attribute, the class and the key.
struct TObject {
  std::string_view Text;
  std::string_view Class;
  std::string_view Key;
};

// Calls OnObject for every object and OnComment for every comment line, in reply order.
template <class TOnObject, class TOnComment>
void ForEachObject(std::string_view Reply, TOnObject&& OnObject, TOnComment&& OnComment)
{
  TReplyLines Lines(Reply);
  TReplyLine Line;
  std::optional<TObject> Current;
  std::size_t Begin = 0, End = 0;
  const auto Finish = [&] {
    if (Current) {
      Current->Text = Reply.substr(Begin, End - Begin);
      OnObject(*Current);
      Current.reset();
    }
  };
  for (std::size_t Start = Lines.Offset(); Lines.Next(Line); Start = Lines.Offset()) {
    if (Line.Blank || Line.Comment) {
      Finish();
      if (Line.Comment) OnComment(Line.Text);
      continue;
    }
    if (!Current) {
      Current = TObject{{}, Line.Key, Line.Value};
      Begin = Start;
    }
    End = Lines.Offset();
  }
  Finish();
}

// Calls OnAttribute(key, value) for every attribute line of an object.
template <class TOnAttribute>
void ForEachAttribute(std::string_view Text, TOnAttribute&& OnAttribute)
{
  TReplyLines Lines(Text);
  TReplyLine Line;
  while (Lines.Next(Line))
    if (!Line.Key.empty()) OnAttribute(Line.Key, Line.Value);
}

bool IsNetworkClass(std::string_view Class) { return EqualNoCase(Class, "inetnum") || EqualNoCase(Class, "inet6num"); }

void AddKey(std::vector<std::string_view>& Keys, std::string_view Value)
{
  const std::string_view Key = FirstWord(Value);
  if (Key.empty() || Keys.size() >= kKeysMax) return;
  for (const std::string_view K : Keys)
    if (EqualNoCase(K, Key)) return;
  Keys.push_back(Key);
}

// The national registries of the Asia-Pacific region whose space APNIC answers for with
// a pointer. A reply naming one of their whois servers says where the details are; names
// alone (a netname "JPNIC-NET-JP", a "source: KRNIC") only for the servers known here.
struct TNationalRegistry {
  std::string_view Name;
  std::string_view Server;  // empty: recognised by a server named in the reply only
  std::array<std::string_view, 2> Domains;
};
constexpr std::array<TNationalRegistry, 7> kNationalRegistries = {{
    {"JPNIC", "whois.nic.ad.jp", {"nic.ad.jp", ""}},
    {"KRNIC", "whois.kisa.or.kr", {"kisa.or.kr", "nic.or.kr"}},
    {"TWNIC", "whois.twnic.net", {"twnic.net", "twnic.net.tw"}},
    {"CNNIC", "", {"cnnic.cn", "cnnic.net.cn"}},
    {"IDNIC", "", {"idnic.net", ""}},
    {"VNNIC", "", {"vnnic.vn", "vnnic.net.vn"}},
    {"IRINN", "", {"irinn.in", ""}},
}};

bool IsHostChar(char C) { return IsAsciiLetter(C) || IsAsciiDigit(C) || C == '.' || C == '-'; }

bool IsNationalServer(const std::string& Host)
{
  if (Host.substr(0, Host.find('.')).find("whois") == std::string::npos) return false;
  for (const TNationalRegistry& R : kNationalRegistries)
    for (const std::string_view D : R.Domains)
      if (!D.empty() && Host.size() > D.size() && Host.ends_with(D) && Host[Host.size() - D.size() - 1] == '.')
        return true;
  return false;
}

// A national registry's whois server named in Text ("queried at whois.nic.ad.jp."), not a
// mail domain; empty when there is none.
std::string NationalServerIn(std::string_view Text)
{
  std::size_t I = 0;
  while (I < Text.size()) {
    if (!IsHostChar(Text[I])) {
      ++I;
      continue;
    }
    const std::size_t Start = I;
    while (I < Text.size() && IsHostChar(Text[I])) ++I;
    std::string_view Word = Text.substr(Start, I - Start);
    while (!Word.empty() && (Word.back() == '.' || Word.back() == '-')) Word.remove_suffix(1);
    if (Word.size() > 253 || (Start > 0 && Text[Start - 1] == '@')) continue;
    const std::string Host = AsciiLowerCopy(Word);
    if (IsNationalServer(Host) && IsValidReferralHost(Host)) return Host;
  }
  return {};
}

std::string NationalServerNamed(std::string_view Netname, std::string_view Source)
{
  for (const TNationalRegistry& R : kNationalRegistries) {
    if (R.Server.empty()) continue;
    if (EqualNoCase(FirstWord(Source), R.Name) ||
        (StartsWithNoCase(Netname, R.Name) && Netname.size() > R.Name.size() && Netname[R.Name.size()] == '-'))
      return std::string(R.Server);
  }
  return {};
}

// The registry a "source:" names.
std::string RegistryOfSource(std::string_view Value)
{
  const std::string Source = AsciiLowerCopy(FirstWord(Value));
  if (Source == "ripe" || Source == "ripe-nonauth") return "RIPE";
  for (const std::string_view Name : {"apnic", "afrinic", "lacnic", "arin"})
    if (Source == Name) return AsciiUpperCopy(Name);
  return {};
}

// What the chosen network or aut-num object says.
struct TRecord {
  std::optional<TNetworkRange> Range;
  std::optional<std::pair<std::uint32_t, std::uint32_t>> As;
  std::string_view Netname, AsName, Descr, Country, Org, Owner, OwnerId, Organisation, Source;
  std::vector<std::string_view> AbuseC, Irt;
  std::string DetailsAt;
};

TRecord ReadRecord(const TObject& Object)
{
  TRecord R;
  bool First = true;
  ForEachAttribute(Object.Text, [&](std::string_view K, std::string_view V) {
    const auto Once = [&V](std::string_view& Field) {
      if (Field.empty()) Field = V;
    };
    if (First) {
      First = false;
      return;
    }
    if (EqualNoCase(K, "netname"))
      Once(R.Netname);
    else if (EqualNoCase(K, "as-name"))
      Once(R.AsName);
    else if (EqualNoCase(K, "descr"))
      Once(R.Descr);
    else if (EqualNoCase(K, "country"))
      Once(R.Country);
    else if (EqualNoCase(K, "org"))
      Once(R.Org);
    else if (EqualNoCase(K, "owner"))
      Once(R.Owner);
    else if (EqualNoCase(K, "ownerid"))
      Once(R.OwnerId);
    else if (EqualNoCase(K, "organisation"))
      Once(R.Organisation);
    else if (EqualNoCase(K, "source"))
      Once(R.Source);
    else if (EqualNoCase(K, "abuse-c"))
      AddKey(R.AbuseC, V);
    else if (EqualNoCase(K, "mnt-irt"))
      AddKey(R.Irt, V);
    if (R.DetailsAt.empty() && (EqualNoCase(K, "netname") || EqualNoCase(K, "descr") || EqualNoCase(K, "remarks")))
      R.DetailsAt = NationalServerIn(V);
  });
  if (R.DetailsAt.empty()) R.DetailsAt = NationalServerNamed(R.Netname, R.Source);
  return R;
}

// An object a key points to and the mailboxes it states.
struct TContact {
  std::string_view Key;
  std::string_view Kind;  // its class: "role", "irt", "nic-hdl"
  std::vector<std::string_view> Mailboxes;
  bool Found = false;
};

std::vector<TContact> ContactsFor(const std::vector<std::string_view>& Keys)
{
  std::vector<TContact> Out;
  for (const std::string_view K : Keys) Out.push_back({K, {}, {}, false});
  return Out;
}

TContact* FindContact(std::vector<TContact>& Contacts, std::string_view Key)
{
  for (TContact& C : Contacts)
    if (!C.Found && EqualNoCase(C.Key, FirstWord(Key))) return &C;
  return nullptr;
}

// An abuse role (abuse-mailbox:), or one of LACNIC's "nic-hdl:" blocks, whose e-mail: is
// the mailbox when it has no abuse-mailbox:. Persons' and roles' e-mail: never counts.
void ReadContact(const TObject& Object, std::vector<TContact>& Contacts)
{
  const bool Block = EqualNoCase(Object.Class, "nic-hdl") || EqualNoCase(Object.Class, "nic-hdl-br");
  const bool Role = EqualNoCase(Object.Class, "role") || EqualNoCase(Object.Class, "person");
  if (!Block && !Role) return;
  std::string_view Handle = Block ? Object.Key : std::string_view{};
  std::vector<std::string_view> Abuse, Mail;
  ForEachAttribute(Object.Text, [&](std::string_view K, std::string_view V) {
    if (EqualNoCase(K, "abuse-mailbox") && Abuse.size() < kAnswerAbuseMax)
      Abuse.push_back(V);
    else if (Block && EqualNoCase(K, "e-mail") && Mail.size() < kAnswerAbuseMax)
      Mail.push_back(V);
    else if (Role && Handle.empty() && EqualNoCase(K, "nic-hdl"))
      Handle = V;
  });
  TContact* C = Handle.empty() ? nullptr : FindContact(Contacts, Handle);
  if (!C) return;
  C->Found = true;
  C->Kind = Object.Class;
  C->Mailboxes = !Abuse.empty() ? Abuse : Mail;
}

void ReadIrt(const TObject& Object, std::vector<TContact>& Irts)
{
  if (!EqualNoCase(Object.Class, "irt")) return;
  TContact* C = FindContact(Irts, Object.Key);
  if (!C) return;
  C->Found = true;
  C->Kind = Object.Class;
  ForEachAttribute(Object.Text, [&](std::string_view K, std::string_view V) {
    if (EqualNoCase(K, "abuse-mailbox") && C->Mailboxes.size() < kAnswerAbuseMax) C->Mailboxes.push_back(V);
  });
}

struct TOrganisation {
  bool Found = false;
  std::string_view Name, Country, Mailbox;
  std::vector<std::string_view> AbuseC;
};

void ReadOrganisation(const TObject& Object, std::string_view Key, TOrganisation& Org)
{
  if (Org.Found || Key.empty() || !EqualNoCase(Object.Class, "organisation") ||
      !EqualNoCase(FirstWord(Object.Key), FirstWord(Key)))
    return;
  Org.Found = true;
  ForEachAttribute(Object.Text, [&](std::string_view K, std::string_view V) {
    if (EqualNoCase(K, "org-name") && Org.Name.empty())
      Org.Name = V;
    else if (EqualNoCase(K, "country") && Org.Country.empty())
      Org.Country = V;
    else if (EqualNoCase(K, "abuse-mailbox") && Org.Mailbox.empty())
      Org.Mailbox = V;
    else if (EqualNoCase(K, "abuse-c"))
      AddKey(Org.AbuseC, V);
  });
}

// The range or AS number a comment names ("'193.0.0.0 - 193.0.7.255'", "AS3333") is the
// record's own.
bool NamesRecord(std::string_view Text, const TRecord& R)
{
  Text = TrimSpaceOrTab(Text);
  if (Text.size() >= 2 && Text.front() == '\'' && Text.back() == '\'') Text = Text.substr(1, Text.size() - 2);
  if (R.Range) return ParseNetworkRange(Text, true) == R.Range;
  return R.As && ParseAsRange(Text) == R.As;
}

// "% Abuse contact for '193.0.0.0 - 193.0.7.255' is 'abuse@ripe.net'" and "% No abuse
// contact registered for 193.0.0.0 - 193.0.7.255": the registry's own word on the record.
void ReadAbuseComment(std::string_view Line, const TRecord& R, std::optional<std::string>& Mailbox, bool& None)
{
  static constexpr std::string_view kFor = "% Abuse contact for ";
  static constexpr std::string_view kNone = "% No abuse contact registered for ";
  if (StartsWithNoCase(Line, kNone)) {
    if (NamesRecord(Line.substr(kNone.size()), R)) None = true;
    return;
  }
  if (Mailbox || !StartsWithNoCase(Line, kFor)) return;
  const std::string_view Rest = TrimSpaceOrTab(Line.substr(kFor.size()));
  const std::size_t Is = Rest.rfind(" is ");
  if (Is == std::string_view::npos || !NamesRecord(Rest.substr(0, Is), R)) return;
  std::string_view Quoted = TrimSpaceOrTab(Rest.substr(Is + 4));
  if (Quoted.size() < 2 || Quoted.front() != '\'' || Quoted.back() != '\'') return;
  Mailbox = ParseMailbox(Quoted.substr(1, Quoted.size() - 2));
}

void AddContacts(TWhoisAnswer& Answer, const std::vector<TContact>& Contacts)
{
  for (const TContact& C : Contacts)
    for (const std::string_view V : C.Mailboxes)
      if (const auto M = ParseMailbox(V)) AddAbuse(Answer, *M, C.Kind, AnswerText(C.Key));
}

}  // namespace

std::string ReadRipeStyleReply(std::string_view Reply, const TAnswerQuery& Query, TWhoisAnswer& Answer)
{
  // Pass one: the record that counts, and what the reply says of its registry.
  TNetworkChoice Choice(Query);
  std::optional<TObject> Network, AutNum;
  std::string AnySource;
  bool LacnicComment = false;
  ForEachObject(
      Reply,
      [&](const TObject& O) {
        if (IsNetworkClass(O.Class)) {
          if (Choice.Offer(ParseNetworkRange(O.Key, true))) Network = O;
        } else if (!AutNum && EqualNoCase(O.Class, "aut-num") && Query.AsNumber) {
          const auto As = ParseAsRange(O.Key);
          if (As && AsRecordMatches(Query, *As)) AutNum = O;
        }
        if (AnySource.empty())
          ForEachAttribute(O.Text, [&AnySource](std::string_view K, std::string_view V) {
            if (AnySource.empty() && EqualNoCase(K, "source")) AnySource = RegistryOfSource(V);
          });
      },
      [&LacnicComment](std::string_view Line) {
        if (StartsWithNoCase(Line, "% Copyright LACNIC")) LacnicComment = true;
      });
  std::string Named = !AnySource.empty() ? AnySource : LacnicComment ? "LACNIC" : "";
  if (!Network && !AutNum) return Named;

  TRecord R = ReadRecord(Network ? *Network : *AutNum);
  if (Network)
    R.Range = ParseNetworkRange(Network->Key, true);
  else
    R.As = ParseAsRange(AutNum->Key);
  if (!RegistryOfSource(R.Source).empty()) Named = RegistryOfSource(R.Source);

  // Pass two: the objects its keys point to, and the registry's comments on it.
  std::vector<TContact> Roles = ContactsFor(R.AbuseC), Irts = ContactsFor(R.Irt);
  TOrganisation Org;
  std::optional<std::string> CommentMailbox;
  bool NoneRegistered = false;
  ForEachObject(
      Reply,
      [&](const TObject& O) {
        ReadContact(O, Roles);
        ReadIrt(O, Irts);
        ReadOrganisation(O, R.Org, Org);
      },
      [&](std::string_view Line) { ReadAbuseComment(Line, R, CommentMailbox, NoneRegistered); });

  // Pass three, only when the holder names an abuse role of its own.
  std::vector<TContact> OrgRoles;
  for (const std::string_view K : Org.AbuseC) {
    const bool Known =
        std::any_of(R.AbuseC.begin(), R.AbuseC.end(), [K](std::string_view A) { return EqualNoCase(A, K); });
    if (!Known) OrgRoles.push_back({K, {}, {}, false});
  }
  if (!OrgRoles.empty())
    ForEachObject(
        Reply, [&](const TObject& O) { ReadContact(O, OrgRoles); }, [](std::string_view) {});

  if (Network) {
    Answer.Network = MakeNetwork(*R.Range, {}, R.Netname, {});
  } else {
    Answer.AsNumber = AsAnswerText(Query, *R.As);
    Answer.AsName = AnswerText(R.AsName);
  }
  if (Org.Found && !TrimSpaceOrTab(Org.Name).empty()) {
    Answer.HolderName = AnswerText(Org.Name);
    Answer.HolderHandle = AnswerText(FirstWord(R.Org));
  } else if (!R.Owner.empty()) {
    Answer.HolderName = AnswerText(R.Owner);
    Answer.HolderHandle = AnswerText(FirstWord(R.OwnerId));
  } else if (!R.Organisation.empty()) {
    Answer.HolderName = AnswerText(R.Organisation);
  } else {
    Answer.HolderName = AnswerText(R.Descr);
    Answer.HolderHandle = AnswerText(FirstWord(R.Org));
  }
  Answer.Country = CountryCode(R.Country);
  if (Answer.Country.empty() && Org.Found) Answer.Country = CountryCode(Org.Country);
  Answer.DetailsAt = R.DetailsAt;

  // Most specific first: the record's own abuse role and response team, the registry's
  // comment on the record, then what its holder names.
  AddContacts(Answer, Roles);
  AddContacts(Answer, Irts);
  if (CommentMailbox) AddAbuse(Answer, *CommentMailbox, "comment", {});
  AddContacts(Answer, OrgRoles);
  if (Org.Found)
    if (const auto M = ParseMailbox(Org.Mailbox)) AddAbuse(Answer, *M, "organisation", AnswerText(FirstWord(R.Org)));
  if (Answer.Abuse.empty() && NoneRegistered) Answer.AbuseState = TAbuseState::NoneRegistered;
  return Named;
}

}  // namespace AnswerRead
