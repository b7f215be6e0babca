// SPDX-License-Identifier: MIT
// ARIN's reply: a network ("NetRange:") or AS number ("ASNumber:") block, followed by the
// blocks of its organisation or customer and of its points of contact; for an address in a
// reassignment, the less specific network comes first, each with the blocks that follow
// it up to the next network. Everything read for the answer comes from one such section.
#include "whois/WhoisAnswerRead.h"

namespace AnswerRead {

namespace {

bool IsSectionKey(std::string_view Key) { return EqualNoCase(Key, "NetRange") || EqualNoCase(Key, "ASNumber"); }

// "Google LLC (GOGL)": the name and the handle in the last parentheses.
void SplitNamedHandle(std::string_view Value, std::string_view& Name, std::string_view& Handle)
{
  Value = TrimSpaceOrTab(Value);
  Name = Value;
  Handle = {};
  if (Value.empty() || Value.back() != ')') return;
  const std::size_t Open = Value.rfind('(');
  if (Open == std::string_view::npos) return;
  const std::string_view Inside = TrimSpaceOrTab(Value.substr(Open + 1, Value.size() - Open - 2));
  if (Inside.empty() || FirstWord(Inside).size() != Inside.size()) return;
  Name = TrimSpaceOrTab(Value.substr(0, Open));
  Handle = Inside;
}

// A point of contact's mailbox, named with the handle of the block it is in.
struct TPocMail {
  std::string_view Mailbox;
  std::string_view Handle;
};

struct TSection {
  std::optional<TNetworkRange> Range;
  std::optional<std::pair<std::uint32_t, std::uint32_t>> As;
  std::vector<std::string_view> Cidrs;
  std::string_view NetName, NetHandle, AsName;
  std::string_view Organization, Customer;  // "Name (HANDLE)" lines of the network
  std::string_view OrgName, OrgId, CustName, Country;
  std::vector<TPocMail> Own, Org;  // RAbuseEmail, OrgAbuseEmail
};

void SetOnce(std::string_view& Field, std::string_view Value)
{
  if (Field.empty()) Field = Value;
}

void AddPocMail(std::vector<TPocMail>& List, std::string_view Value, std::string_view Handle)
{
  if (List.size() < kAnswerAbuseMax) List.push_back({Value, Handle});
}

// Reads the section that starts at Text's first line.
TSection ReadSection(std::string_view Text)
{
  TSection S;
  std::string_view OwnHandle, OrgHandle;
  TReplyLines Lines(Text);
  TReplyLine Line;
  bool First = true;
  while (Lines.Next(Line)) {
    const std::string_view K = Line.Key;
    const std::string_view V = Line.Value;
    if (Line.Blank) OwnHandle = OrgHandle = {};  // a contact's handle is named in its own block only
    if (K.empty()) continue;
    if (First) {
      First = false;
      if (EqualNoCase(K, "NetRange"))
        S.Range = ParseNetworkRange(V);
      else
        S.As = ParseAsRange(V);
      continue;
    }
    if (EqualNoCase(K, "CIDR")) {
      // "8.0.0.0/9, 8.128.0.0/10"
      std::size_t Pos = 0;
      while (Pos < V.size() && S.Cidrs.size() <= 256) {
        std::size_t End = V.find(',', Pos);
        if (End == std::string_view::npos) End = V.size();
        const std::string_view Part = TrimSpaceOrTab(V.substr(Pos, End - Pos));
        if (!Part.empty()) S.Cidrs.push_back(Part);
        Pos = End + 1;
      }
    } else if (EqualNoCase(K, "NetName")) {
      SetOnce(S.NetName, V);
    } else if (EqualNoCase(K, "NetHandle")) {
      SetOnce(S.NetHandle, V);
    } else if (EqualNoCase(K, "ASName")) {
      SetOnce(S.AsName, V);
    } else if (EqualNoCase(K, "Organization")) {
      SetOnce(S.Organization, V);
    } else if (EqualNoCase(K, "Customer")) {
      SetOnce(S.Customer, V);
    } else if (EqualNoCase(K, "OrgName")) {
      SetOnce(S.OrgName, V);
    } else if (EqualNoCase(K, "OrgId")) {
      SetOnce(S.OrgId, V);
    } else if (EqualNoCase(K, "CustName")) {
      SetOnce(S.CustName, V);
    } else if (EqualNoCase(K, "Country")) {
      SetOnce(S.Country, V);
    } else if (EqualNoCase(K, "RAbuseHandle")) {
      OwnHandle = V;
    } else if (EqualNoCase(K, "OrgAbuseHandle")) {
      OrgHandle = V;
    } else if (EqualNoCase(K, "RAbuseEmail")) {
      AddPocMail(S.Own, V, OwnHandle);
    } else if (EqualNoCase(K, "OrgAbuseEmail")) {
      AddPocMail(S.Org, V, OrgHandle);
    }
  }
  return S;
}

}  // namespace

std::string ReadArinReply(std::string_view Reply, const TAnswerQuery& Query, TWhoisAnswer& Answer)
{
  // One pass finds the section that counts by its first line; only that one is read.
  TNetworkChoice Choice(Query);
  std::optional<std::size_t> Chosen, ChosenEnd;
  std::optional<std::size_t> AsChosen, AsChosenEnd;
  bool InChosen = false, InAs = false;
  TReplyLines Lines(Reply);
  TReplyLine Line;
  std::size_t Start = 0;
  while (true) {
    Start = Lines.Offset();
    if (!Lines.Next(Line)) break;
    if (!IsSectionKey(Line.Key)) continue;
    if (InChosen) ChosenEnd = Start;
    if (InAs) AsChosenEnd = Start;
    InChosen = InAs = false;
    if (EqualNoCase(Line.Key, "NetRange")) {
      if (Choice.Offer(ParseNetworkRange(Line.Value))) {
        Chosen = Start;
        ChosenEnd.reset();
        InChosen = true;
      }
    } else if (!AsChosen && Query.AsNumber) {
      const auto As = ParseAsRange(Line.Value);
      if (As && AsRecordMatches(Query, *As)) {
        AsChosen = Start;
        InAs = true;
      }
    }
  }
  const auto SectionText = [&Reply](std::size_t From, std::optional<std::size_t> To) {
    return Reply.substr(From, To ? *To - From : std::string_view::npos);
  };
  TSection S;
  if (Chosen) {
    S = ReadSection(SectionText(*Chosen, ChosenEnd));
    if (!S.Range) return "ARIN";
    Answer.Network = MakeNetwork(*S.Range, S.Cidrs, S.NetName, S.NetHandle);
  } else if (AsChosen) {
    S = ReadSection(SectionText(*AsChosen, AsChosenEnd));
    if (!S.As) return "ARIN";
    Answer.AsNumber = AsAnswerText(Query, *S.As);
    Answer.AsName = AnswerText(S.AsName);
  } else {
    return "ARIN";
  }

  // The holder the network line names: a customer's block for a reassignment to one, the
  // organisation's otherwise; the line's own text where the block is missing.
  const bool Customer = !S.Customer.empty() || (S.OrgName.empty() && !S.CustName.empty());
  std::string_view LineName, LineHandle;
  SplitNamedHandle(Customer ? S.Customer : S.Organization, LineName, LineHandle);
  const std::string_view BlockName = Customer ? S.CustName : S.OrgName;
  const std::string_view BlockHandle = Customer ? std::string_view{} : S.OrgId;
  Answer.HolderName = AnswerText(!BlockName.empty() ? BlockName : LineName);
  Answer.HolderHandle = AnswerText(!BlockHandle.empty() ? BlockHandle : LineHandle);
  Answer.Country = CountryCode(S.Country);

  // The network's own contact is the more specific one.
  for (const TPocMail& P : S.Own)
    if (const auto M = ParseMailbox(P.Mailbox)) AddAbuse(Answer, *M, "RAbuseEmail", AnswerText(FirstWord(P.Handle)));
  for (const TPocMail& P : S.Org)
    if (const auto M = ParseMailbox(P.Mailbox)) AddAbuse(Answer, *M, "OrgAbuseEmail", AnswerText(FirstWord(P.Handle)));
  return "ARIN";
}

}  // namespace AnswerRead
