// SPDX-License-Identifier: MIT
// rwhois replies (RFC 2167), as the servers ARIN refers to write them: records of lines
// "class:attribute:value" ("network:IP-Network:192.0.2.0/24"), an attribute ending in
// ";I" naming another record by its ID, and "%rwhois", "%ok", "%error" lines around them.
// Attribute names differ between servers; the reader takes the ones it knows and leaves the
// rest.
#include "whois/WhoisAnswerRead.h"

namespace AnswerRead {

namespace {

constexpr std::size_t kAttributeMax = 64;

struct TRwhoisLine {
  std::string_view Class;
  std::string_view Attribute;  // without its ";type"
  bool Reference = false;      // ";I": the value is another record's ID
  std::string_view Value;
};

bool ParseRwhoisLine(const TReplyLine& Line, TRwhoisLine& Out)
{
  if (Line.Key.empty()) return false;
  const std::size_t Colon = Line.Value.substr(0, kAttributeMax).find(':');
  if (Colon == std::string_view::npos || Colon == 0) return false;
  std::string_view Attribute = Line.Value.substr(0, Colon);
  Out.Reference = false;
  if (const std::size_t Semi = Attribute.find(';'); Semi != std::string_view::npos) {
    Out.Reference = EqualNoCase(TrimSpaceOrTab(Attribute.substr(Semi + 1)), "I");
    Attribute = Attribute.substr(0, Semi);
  }
  Out.Class = Line.Key;
  Out.Attribute = TrimSpaceOrTab(Attribute);
  Out.Value = TrimSpaceOrTab(Line.Value.substr(Colon + 1));
  return true;
}

// Calls OnRecord(class, text) for every record: lines of one class, ended by a blank or
// "%" line, by a line of another class, or by a second "ID" or "Class-Name" line.
template <class TOnRecord>
void ForEachRecord(std::string_view Reply, TOnRecord&& OnRecord)
{
  TReplyLines Lines(Reply);
  TReplyLine Line;
  std::string_view Class;
  std::size_t Begin = 0, End = 0;
  bool HasId = false, HasClassName = false, Open = false;
  const auto Finish = [&] {
    if (Open) OnRecord(Class, Reply.substr(Begin, End - Begin));
    Open = HasId = HasClassName = false;
  };
  for (std::size_t Start = Lines.Offset(); Lines.Next(Line); Start = Lines.Offset()) {
    TRwhoisLine R;
    if (!ParseRwhoisLine(Line, R)) {
      if (Line.Blank || Line.Comment) Finish();
      continue;
    }
    const bool Id = EqualNoCase(R.Attribute, "ID"), ClassName = EqualNoCase(R.Attribute, "Class-Name");
    if (Open && (!EqualNoCase(R.Class, Class) || (Id && HasId) || (ClassName && HasClassName))) Finish();
    if (!Open) {
      Open = true;
      Class = R.Class;
      Begin = Start;
    }
    HasId = HasId || Id;
    HasClassName = HasClassName || ClassName;
    End = Lines.Offset();
  }
  Finish();
}

template <class TOnLine>
void ForEachRecordLine(std::string_view Text, TOnLine&& OnLine)
{
  TReplyLines Lines(Text);
  TReplyLine Line;
  TRwhoisLine R;
  while (Lines.Next(Line))
    if (ParseRwhoisLine(Line, R)) OnLine(R);
}

struct TNetworkRecord {
  std::optional<TNetworkRange> Range;
  std::vector<std::string_view> Cidrs;
  std::string_view Name, Handle, Id, OrgName, Organization, Country;
  bool OrganizationIsId = false;
  std::vector<std::pair<std::string_view, std::string_view>> Mailboxes;  // attribute, mailbox
  std::vector<std::string_view> ContactIds;                              // Abuse-Contact;I
};

TNetworkRecord ReadNetworkRecord(std::string_view Text)
{
  TNetworkRecord N;
  std::optional<TNetworkRange> Block, Cidr;
  ForEachRecordLine(Text, [&](const TRwhoisLine& L) {
    const auto Once = [&L](std::string_view& Field) {
      if (Field.empty()) Field = L.Value;
    };
    const std::string_view A = L.Attribute;
    if (EqualNoCase(A, "IP-Network-Block")) {
      if (!Block) Block = ParseNetworkRange(L.Value);
    } else if (EqualNoCase(A, "IP-Network")) {
      if (!Cidr) Cidr = ParseNetworkRange(L.Value);
      if (N.Cidrs.size() < 256) N.Cidrs.push_back(L.Value);
    } else if (EqualNoCase(A, "Network-Name") || EqualNoCase(A, "Net-Name")) {
      Once(N.Name);
    } else if (EqualNoCase(A, "Handle") || EqualNoCase(A, "Network-Handle")) {
      Once(N.Handle);
    } else if (EqualNoCase(A, "ID")) {
      Once(N.Id);
    } else if (EqualNoCase(A, "Org-Name")) {
      Once(N.OrgName);
    } else if (EqualNoCase(A, "Organization")) {
      // Some servers write the holder's name on the ";I" line itself: an ID has no blanks.
      if (N.Organization.empty()) N.OrganizationIsId = L.Reference && FirstWord(L.Value).size() == L.Value.size();
      Once(N.Organization);
    } else if (EqualNoCase(A, "Country-Code") || EqualNoCase(A, "Country")) {
      Once(N.Country);
    } else if (EqualNoCase(A, "Abuse-Email") || EqualNoCase(A, "Abuse-Mailbox")) {
      if (N.Mailboxes.size() < kAnswerAbuseMax) N.Mailboxes.emplace_back(A, L.Value);
    } else if (EqualNoCase(A, "Abuse-Contact")) {
      // Written as a mailbox by some servers, as a contact record's ID by others.
      if (ParseMailbox(L.Value)) {
        if (N.Mailboxes.size() < kAnswerAbuseMax) N.Mailboxes.emplace_back(A, L.Value);
      } else if (N.ContactIds.size() < 4) {
        N.ContactIds.push_back(FirstWord(L.Value));
      }
    }
  });
  N.Range = Block ? Block : Cidr;
  return N;
}

bool IsNetworkRecord(std::string_view Class) { return EqualNoCase(Class, "network"); }

}  // namespace

std::string ReadRwhoisReply(std::string_view Reply, const TAnswerQuery& Query, TWhoisAnswer& Answer)
{
  TNetworkChoice Choice(Query);
  std::optional<std::string_view> Chosen;
  ForEachRecord(Reply, [&](std::string_view Class, std::string_view Text) {
    if (!IsNetworkRecord(Class)) return;
    const TNetworkRecord N = ReadNetworkRecord(Text);
    if (Choice.Offer(N.Range)) Chosen = Text;
  });
  if (!Chosen) return {};
  const TNetworkRecord N = ReadNetworkRecord(*Chosen);
  const std::string_view NetKey = !N.Handle.empty() ? N.Handle : !N.Id.empty() ? N.Id : N.Name;
  Answer.Network = MakeNetwork(*N.Range, N.Cidrs, N.Name, !N.Handle.empty() ? N.Handle : N.Id);

  // The records the network names by ID: its organisation and its abuse contacts.
  std::string_view OrgName, OrgCountry;
  std::vector<std::pair<std::string_view, std::string_view>> ContactMail;  // ID, mailbox
  if (N.OrganizationIsId || !N.ContactIds.empty()) {
    ForEachRecord(Reply, [&](std::string_view Class, std::string_view Text) {
      if (IsNetworkRecord(Class)) return;
      std::string_view Id, Name, Country;
      std::vector<std::string_view> Mail;
      ForEachRecordLine(Text, [&](const TRwhoisLine& L) {
        if (EqualNoCase(L.Attribute, "ID") && Id.empty())
          Id = L.Value;
        else if ((EqualNoCase(L.Attribute, "Org-Name") || EqualNoCase(L.Attribute, "Name")) && Name.empty())
          Name = L.Value;
        else if ((EqualNoCase(L.Attribute, "Country-Code") || EqualNoCase(L.Attribute, "Country")) && Country.empty())
          Country = L.Value;
        else if (EqualNoCase(L.Attribute, "Email") && Mail.size() < kAnswerAbuseMax)
          Mail.push_back(L.Value);
      });
      if (Id.empty()) return;
      if (N.OrganizationIsId && OrgName.empty() && EqualNoCase(FirstWord(Id), FirstWord(N.Organization))) {
        OrgName = Name;
        OrgCountry = Country;
      }
      for (const std::string_view C : N.ContactIds)
        if (EqualNoCase(FirstWord(Id), C))
          for (const std::string_view M : Mail) ContactMail.emplace_back(C, M);
    });
  }

  if (!N.OrgName.empty()) {
    Answer.HolderName = AnswerText(N.OrgName);
    if (N.OrganizationIsId) Answer.HolderHandle = AnswerText(FirstWord(N.Organization));
  } else if (N.OrganizationIsId) {
    // An ID only names the holder when its record is in the reply.
    Answer.HolderName = AnswerText(OrgName);
    Answer.HolderHandle = AnswerText(FirstWord(N.Organization));
  } else {
    Answer.HolderName = AnswerText(N.Organization);
  }
  Answer.Country = CountryCode(N.Country);
  if (Answer.Country.empty()) Answer.Country = CountryCode(OrgCountry);

  for (const auto& [Attribute, V] : N.Mailboxes)
    if (const auto M = ParseMailbox(V)) AddAbuse(Answer, *M, AnswerText(Attribute), AnswerText(FirstWord(NetKey)));
  for (const auto& [Id, V] : ContactMail)
    if (const auto M = ParseMailbox(V)) AddAbuse(Answer, *M, "contact", AnswerText(Id));
  return {};
}

}  // namespace AnswerRead
