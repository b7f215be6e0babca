// SPDX-License-Identifier: MIT
#include "whois/AnswerRun.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include <QPointer>

#include "net/WSocket.h"
#include "text/AsciiText.h"
#include "whois/AddressLocation.h"
#include "whois/FollowChain.h"
#include "whois/Ipv6Address.h"
#include "whois/PaneText.h"
#include "whois/QuerySession.h"
#include "whois/WhoisReferral.h"

namespace {

// Past these the run forgets what it learnt and learns afresh: memory stays bounded however
// many networks a log touches.
constexpr std::size_t kMaxCachedAnswers = 50000;
constexpr std::size_t kMaxStubs = 20000;

const std::string kNoSuchHost = "No such host";

std::string Where(const std::string& Host, std::uint16_t Port) { return Host + " port " + std::to_string(Port); }

std::string LaneOf(const std::string& Host, std::uint16_t Port)
{
  return CanonicalHost(Host) + ":" + std::to_string(Port);
}

// The first and last address of a prefix "A/LEN".
std::optional<std::pair<TAddressKey, TAddressKey>> PrefixRange(const std::string& Prefix)
{
  const std::size_t Slash = Prefix.find('/');
  if (Slash == std::string::npos) return std::nullopt;
  const auto Key = AddressKey(std::string_view(Prefix).substr(0, Slash));
  if (!Key) return std::nullopt;
  const bool Ipv4 = Prefix.find(':') == std::string::npos;
  const int Bits = Ipv4 ? 32 : 128;
  char* End = nullptr;
  const long Length = std::strtol(Prefix.c_str() + Slash + 1, &End, 10);
  if (*End != '\0' || Length < 0 || Length > Bits) return std::nullopt;
  const int Free = Bits - static_cast<int>(Length);
  const TAddressKey Mask = Free >= 128 ? ~TAddressKey{0} : (TAddressKey{1} << Free) - 1;
  return std::make_pair(*Key & ~Mask, *Key | Mask);
}

std::optional<std::pair<TAddressKey, TAddressKey>> NetworkRange(const TWhoisNetwork& Network)
{
  const auto First = AddressKey(Network.First);
  const auto Last = AddressKey(Network.Last);
  if (!First || !Last || *First > *Last) return std::nullopt;
  return std::make_pair(*First, *Last);
}

bool SendsOn(const std::string& Reply)
{
  const TReferralScan Scan = ScanReferral(Reply);
  return Scan.Referral || Scan.Stub;
}

// A name may still have IPv6 addresses when its IPv4 lookup found none, as the query flow
// decides it: no ':', and not all digits and dots.
bool MayNameIpv6Host(const std::string& Name)
{
  if (Name.empty() || Name.find(':') != std::string::npos) return false;
  return Name.find_first_not_of("0123456789.") != std::string::npos;
}

}  // namespace

struct TAnswerRun::TCachedAnswer {
  TWhoisAnswer Answer;
  TAddressKey First = 0, Last = 0;
  std::string Query;  // the target it answered
};

struct TAnswerRun::TStubTarget {
  std::string Host;
  std::uint16_t Port = 43;
  std::optional<TAddressKind> From;  // of the server that named it, for the same check again
  std::string Query;                 // the target whose referrals led there
  TAddressKey First = 0, Last = 0;
};

struct TAnswerRun::TJob {
  std::size_t Index = 0;
  TAnswerTarget Target;
  TAnswerOutcome Out;
  enum class TState { New, Resolving, Queued, Asking, Done } State = TState::New;
  std::string Query;  // what servers are asked
  bool HasRange = false;
  TAddressKey First = 0, Last = 0;  // the addresses asked about
  std::string Header;               // the plain output's lines before the first reply
  std::string Registry;

  // The ask that waits in its lane, or runs.
  TAskRequest Request;
  enum class TRole { First, Follow, Shortcut } Role = TRole::First;
  std::string ShortcutFrom;  // the target whose referrals led to the shortcut's server
  QPointer<TServerAsk> Ask;
  std::set<std::string> Lanes;  // lanes it has waited in: a shortcut never goes back to one

  std::optional<TFollowChain> Chain;
  bool Follow = true;
  std::string LastReply;  // the last reply received, read at the end
  std::string LastHost;
  std::uint16_t LastPort = 43;
  std::optional<TAddressKind> LastFrom;                     // the kind that the ask of the last server was held to
  std::vector<std::pair<TAddressKey, TAddressKey>> Passed;  // replies' networks that sent it on

  std::unique_ptr<TWSocket> Resolver;
  bool Ipv6Lookup = false;
  int Retries = 0;  // questions asked again after a server asked for a pause
};

TAnswerRun::TAnswerRun(TAnswerSettings Settings, QObject* parent)
    : QObject(parent),
      m_Settings(std::move(Settings)),
      m_Lanes([this](const std::string& Lane, std::size_t Index) { return Dispatch(Lane, Index); },
              [this](const std::string& Lane) {
                int Pace = m_Settings.PaceMs >= 0 ? m_Settings.PaceMs
                                                  : DefaultPaceMs(std::string_view(Lane).substr(0, Lane.rfind(':')));
                if (const auto Hold = m_Holds.find(Lane); Hold != m_Holds.end()) Pace = std::max(Pace, Hold->second);
                return Pace;
              },
              this)
{
  if (!m_Settings.MakeAsk)
    m_Settings.MakeAsk = [](QObject* Parent) -> TServerAsk* { return new TWhoisExchange(Parent); };
}

TAnswerRun::~TAnswerRun()
{
  m_Stopped = true;
  for (auto& Job : m_Jobs) {
    if (Job->Resolver) Job->Resolver->OnDnsLookupDone = nullptr;
    delete Job->Ask.data();
  }
}

TAnswerRun::TJob* TAnswerRun::JobAt(std::size_t Index)
{
  if (Index < m_Base || Index - m_Base >= m_Jobs.size()) return nullptr;
  return m_Jobs[Index - m_Base].get();
}

std::size_t TAnswerRun::Add(TAnswerTarget Target)
{
  auto Job = std::make_unique<TJob>();
  const std::size_t Index = m_Base + m_Jobs.size();
  Job->Index = Index;
  Job->Out.Target = Target.Text;
  Job->Out.Kind = Target.Kind;
  Job->Target = std::move(Target);
  m_Jobs.push_back(std::move(Job));
  ++m_Counts.Added;
  QMetaObject::invokeMethod(
      this, [this, Index] { StartJob(Index); }, Qt::QueuedConnection);
  Changed();
  return Index;
}

void TAnswerRun::StartJob(std::size_t Index)
{
  TJob* Job = JobAt(Index);
  if (m_Stopped || !Job || Job->State != TJob::TState::New) return;
  const TAnswerTarget& T = Job->Target;
  Job->Follow = m_Settings.Follow || T.Kind == TTargetKind::AsNumber;
  switch (T.Kind) {
    case TTargetKind::AsNumber: {
      // IANA's server knows which registry holds each AS number and refers to it.
      Job->Query = T.Text;
      if (m_Settings.Source.Ask) {
        QueueSource(*Job);
        return;
      }
      Job->Header = "Asking " + Where(m_Settings.IanaHost, m_Settings.IanaPort) + " for " + T.Text + "..\r\n\r\n";
      Job->Request.Host = m_Settings.IanaHost;
      Job->Request.Port = m_Settings.IanaPort;
      QueueAsk(*Job);
      return;
    }
    case TTargetKind::Host: {
      if (T.Text.empty()) {
        FinishFailed(*Job, "", "the text holds no address or host name");
        return;
      }
      Job->Header = "Resolving " + T.Text + "..\r\n";
      Job->State = TJob::TState::Resolving;
      Job->Resolver = std::make_unique<TWSocket>();
      Job->Resolver->OnDnsLookupDone = [this, Index](TCustomWSocket*, std::uint16_t) {
        // Not from inside the socket's own event: the job may finish and go.
        QMetaObject::invokeMethod(
            this, [this, Index] { Resolved(Index); }, Qt::QueuedConnection);
      };
      try {
        Job->Resolver->DnsLookup(T.Text);
      } catch (const std::exception&) {
        Job->Resolver->OnDnsLookupDone = nullptr;
        FinishFailed(*Job, Job->Header + kNoSuchHost + "\r\n", kNoSuchHost);
      }
      return;
    }
    case TTargetKind::Prefix:
    case TTargetKind::Address:
      Job->Out.Address = T.Kind == TTargetKind::Prefix ? T.First : T.Text;
      StartAddress(*Job);
      return;
  }
}

void TAnswerRun::Resolved(std::size_t Index)
{
  TJob* Job = JobAt(Index);
  if (m_Stopped || !Job || Job->State != TJob::TState::Resolving) return;
  const std::vector<std::string> Found = Job->Resolver->DnsResultList();
  if (Found.empty()) {
    if (!Job->Ipv6Lookup && MayNameIpv6Host(Job->Target.Text)) {
      Job->Ipv6Lookup = true;
      try {
        Job->Resolver->DnsLookup6(Job->Target.Text);
        return;
      } catch (const std::exception&) {
      }
    }
    Job->Resolver->OnDnsLookupDone = nullptr;
    FinishFailed(*Job, Job->Header + kNoSuchHost + "\r\n", kNoSuchHost);
    return;
  }
  Job->Resolver->OnDnsLookupDone = nullptr;
  std::string Address = TrimBlanks(Found.front());
  // The resolver may list an IPv4-mapped address for a name: that is the IPv4 address.
  if (const auto V6 = ParseIpv6Address(Address); V6 && !V6->MappedIpv4.empty()) Address = V6->MappedIpv4;
  Job->Out.Address = Address;
  StartAddress(*Job);
}

void TAnswerRun::StartAddress(TJob& Job)
{
  std::string& Address = Job.Out.Address;
  if (const auto V6 = ParseIpv6Address(Address)) Address = V6->MappedIpv4.empty() ? V6->Text : V6->MappedIpv4;
  const TAnswerTarget& T = Job.Target;
  const auto Key = AddressKey(Address);
  const auto Kind = AddressKindOf(Address);
  if (!Key || !Kind) {
    FinishFailed(Job, Job.Header + Address + " is no address.\r\n", Address + " is no address");
    return;
  }
  // Space that no registry holds is answered here, without a query.
  if (*Kind != TAddressKind::Public) {
    const std::string Text = Address + " is " + std::string(AddressKindText(*Kind)) + ", which no registry holds";
    Job.Out.Answer.Query = T.Kind == TTargetKind::Prefix ? T.Text : Address;
    Job.Out.Answer.Error = Text;
    if (m_Settings.Blocks) Job.Out.Blocks.push_back(Job.Header + Text + ": not asked.\r\n");
    Finished(Job);
    return;
  }
  Job.HasRange = true;
  Job.First = Job.Last = *Key;
  Job.Query = Address;
  if (T.Kind == TTargetKind::Prefix) {
    if (const auto Range = PrefixRange(T.Text)) {
      Job.First = Range->first;
      Job.Last = Range->second;
    }
    Job.Query = T.Text;
  }
  const TAddressLocation L = LocateAddress(Address, T.Kind == TTargetKind::Prefix ? T.Text : Address);
  Job.Out.Located = L.CountryName;
  Job.Registry = L.Registry;
  if (!L.LocationLine.empty()) Job.Header += L.LocationLine + "\r\n\r\n";
  Job.Header += L.RegistryLine + "\r\n\r\n";
  if (m_Settings.Source.Ask) {
    QueueSource(Job);
    return;
  }

  const auto& For = m_Settings.ServerFor            ? m_Settings.ServerFor
                    : TQuerySession::WhoisServerFor ? TQuerySession::WhoisServerFor
                                                    : TQuerySession::TServerLookup(&TQuerySession::DefaultWhoisServer);
  const auto [Host, PortText] = For(L.Registry);
  char* End = nullptr;
  const unsigned long Port = std::strtoul(PortText.c_str(), &End, 10);
  if (Host.empty() || PortText.empty() || *End != '\0' || Port < 1 || Port > 65535) {
    const std::string Text = "no server for " + L.Registry + " (" + Host + " port " + PortText + ")";
    FinishFailed(Job, Job.Header + "Query failed: " + Text + ".\r\n", Text);
    return;
  }
  Job.Request.Host = Host;
  Job.Request.Port = static_cast<std::uint16_t>(Port);
  QueueAsk(Job);
}

void TAnswerRun::QueueAsk(TJob& Job)
{
  Job.Request.Query = Job.Query;
  Job.Request.TimeoutMs = m_Settings.TimeoutMs;
  Job.State = TJob::TState::Queued;
  const std::string Lane = LaneOf(Job.Request.Host, Job.Request.Port);
  Job.Lanes.insert(Lane);
  m_Lanes.Queue(Lane, Job.Index);
}

// The question of a job for the answer source, in the lane of the server it starts at. The
// port-43 server's pace applies to that registry's RDAP host as well: the registries' limits
// are on their databases, whichever way they are asked.
void TAnswerRun::QueueSource(TJob& Job)
{
  std::string Server = m_Settings.Source.FirstServer ? m_Settings.Source.FirstServer(Job.Query) : std::string();
  if (Server.empty()) Server = Job.Target.Kind == TTargetKind::AsNumber ? m_Settings.IanaHost : "rdap";
  Job.State = TJob::TState::Queued;
  const std::string Lane = Server + ":source";
  Job.Lanes.insert(Lane);
  m_Lanes.Queue(Lane, Job.Index);
}

void TAnswerRun::SourceAnswered(std::size_t Index, const std::string& Lane, const TSourceReply& Reply)
{
  m_Lanes.Release(Lane);
  TJob* Job = JobAt(Index);
  if (m_Stopped || !Job || Job->State != TJob::TState::Asking) return;
  if (Reply.RetryAfterMs >= 0 && Job->Retries < m_Settings.MaxRetries) {
    ++Job->Retries;
    m_Holds[Lane] = Reply.RetryAfterMs;
    if (!Reply.RetryServer.empty()) m_Holds[Reply.RetryServer + ":source"] = Reply.RetryAfterMs;
    Job->State = TJob::TState::Queued;
    m_Lanes.Queue(Lane, Index);
    return;
  }
  TWhoisAnswer Answer = Reply.Answer;
  Answer.Query = Job->Query;
  Job->Out.Answer = std::move(Answer);
  if (Reply.Failed) {
    Job->Out.Failed = true;
    if (Job->Out.Answer.Error.empty()) Job->Out.Answer.Error = "no answer";
  } else {
    Remember(*Job, Job->Out.Answer);
  }
  Finished(*Job);
}

bool TAnswerRun::Dispatch(const std::string& Lane, std::size_t Index)
{
  TJob* Job = JobAt(Index);
  if (m_Stopped || !Job || Job->State != TJob::TState::Queued) return false;
  // Only now, at the front of its lane: the asks before it may have answered it meanwhile.
  if (AnswerFromCache(*Job, Lane)) return false;
  if (m_Settings.Source.Ask) {
    // The pause a server asked for is over once the lane goes on.
    m_Holds.erase(Lane);
    Job->State = TJob::TState::Asking;
    ++m_Counts.Queries;
    Changed();
    const QPointer<TAnswerRun> Self(this);
    m_Settings.Source.Ask(Job->Query, [Self, Index, Lane](const TSourceReply& Reply) {
      if (Self) Self->SourceAnswered(Index, Lane, Reply);
    });
    return true;
  }
  Job->State = TJob::TState::Asking;
  Job->Ask = m_Settings.MakeAsk(this);
  ++m_Counts.Queries;
  Changed();
  Job->Ask->Start(Job->Request, [this, Index, Lane](const TAskReply& Reply) { Asked(Index, Lane, Reply); });
  return true;
}

bool TAnswerRun::AnswerFromCache(TJob& Job, const std::string& Lane)
{
  if (!m_Settings.Cache || !Job.HasRange) return false;
  if (const auto Found = m_AnswerRanges.Find(Job.First)) {
    const TCachedAnswer& C = m_Answers[*Found];
    if (C.First <= Job.First && Job.Last <= C.Last) {
      TWhoisAnswer& A = Job.Out.Answer;
      const std::vector<std::string> Asked = A.Asked;
      A = C.Answer;
      A.Query = Job.Query;
      A.Asked = Asked;
      A.Cached = true;
      A.CachedFrom = C.Query;
      ++m_Counts.FromCache;
      if (m_Settings.Blocks) {
        const TWhoisNetwork& N = *C.Answer.Network;
        const std::string Line = Job.Query + " is in " + N.First + " - " + N.Last + ", the network of the answer for " +
                                 C.Query + " above: not asked again.\r\n\r\nDone.";
        Job.Out.Blocks.push_back(Job.Out.Blocks.empty() ? Job.Header + Line : Line);
      }
      Finished(Job);
      return true;
    }
  }
  // A range that sent an earlier job on sends this one straight to where it led.
  if (const auto Found = m_StubRanges.Find(Job.First)) {
    const TStubTarget& S = m_Stubs[*Found];
    const std::string To = S.Host.empty() ? Lane : LaneOf(S.Host, S.Port);
    // Only a job that has asked nobody yet (it may have waited for a shortcut that has since
    // led further): a shortcut starts its following afresh.
    if (S.First <= Job.First && Job.Last <= S.Last && To != Lane && !Job.Lanes.count(To) && Job.Follow &&
        Job.Role != TJob::TRole::Follow && Job.Out.Answer.Asked.empty()) {
      const std::string Line = "Asking " + Where(S.Host, S.Port) + ", where the referrals for " + S.Query + " led..";
      if (m_Settings.Blocks) Job.ShortcutFrom = Job.Header + Line;
      Job.Role = TJob::TRole::Shortcut;
      Job.Request = TAskRequest{};
      Job.Request.Host = S.Host;
      Job.Request.Port = S.Port;
      Job.Request.From = S.From;
      QueueAsk(Job);
      return true;
    }
  }
  return false;
}

void TAnswerRun::Asked(std::size_t Index, const std::string& Lane, const TAskReply& Reply)
{
  m_Lanes.Release(Lane);
  TJob* Job = JobAt(Index);
  if (m_Stopped || !Job || Job->State != TJob::TState::Asking) return;
  if (Job->Ask) Job->Ask->deleteLater();
  Job->Ask = nullptr;
  const TAskRequest Request = Job->Request;
  const std::string Server = ServerName(Request.Host, Request.Port);

  if (Job->Role == TJob::TRole::Follow) {
    bool Goes = false;
    const std::string Block = Job->Chain->Answered(Reply, Goes);
    if (m_Settings.Blocks) Job->Out.Blocks.push_back(Block);
    if (Reply.Refusal.empty()) Job->Out.Answer.Asked.push_back(Server);
    if (!Goes) {
      // A server that could not be asked is no shortcut for later addresses.
      for (const auto& Range : Job->Passed) ForgetStub(Range.first, Request.Host, Request.Port);
      if (Reply.Refusal.empty() && Reply.Failed) {
        Job->Out.ReferralFailed = true;
        Job->Out.Answer.Error = "referral failed: " + Where(Request.Host, Request.Port) + ": " +
                                (Reply.FailLine.empty() ? "connection timeout" : Reply.FailLine);
      }
      FinishWithReply(*Job);
      return;
    }
    Job->LastReply = Reply.Text;
    Job->LastHost = Request.Host;
    Job->LastPort = Request.Port;
    Job->LastFrom = Request.From;
    GoOn(*Job);
    return;
  }

  // The first server of the job, or the one a shortcut went to. A shortcut stands for the
  // referral it repeats: when it fails, the referral failed, and it is not taken again.
  const bool Shortcut = Job->Role == TJob::TRole::Shortcut;
  std::string Pane = Shortcut ? Job->ShortcutFrom + "\r\n\r\n" : Job->Header;
  if (!Reply.Refusal.empty()) {
    ForgetStub(Job->First, Request.Host, Request.Port);
    FinishFailed(*Job, Pane + "Referral ignored (" + Reply.Refusal + ").",
                 "not asking " + Where(Request.Host, Request.Port) + ": " + Reply.Refusal);
    return;
  }
  Job->Out.Answer.Asked.push_back(Server);
  Pane += Reply.Text;
  if (Reply.Failed) {
    const std::string Cause = Reply.FailLine.empty() ? "connection timeout" : Reply.FailLine;
    if (!Reply.FailLine.empty()) {
      DropTrailingBlankOrControl(Pane);
      Pane += std::string(Shortcut ? "\r\n\r\nReferral failed: " : "\r\n\r\nQuery failed: ") +
              Where(Request.Host, Request.Port) + ": " + Reply.FailLine + ".";
    }
    DropTrailingBlankOrControl(Pane);
    Pane += "\r\n\r\nDone.";
    Job->Out.Answer.Server = Server;
    if (Shortcut) {
      ForgetStub(Job->First, Request.Host, Request.Port);
      Job->Out.ReferralFailed = true;
      Job->Out.Answer.Error = "referral failed: " + Where(Request.Host, Request.Port) + ": " + Cause;
      Job->Out.Answer.Query = Job->Query;
      Job->Out.Answer.Registry = Job->Registry;
      if (m_Settings.Blocks) Job->Out.Blocks.push_back(Pane);
      Finished(*Job);
      return;
    }
    FinishFailed(*Job, Pane, Where(Request.Host, Request.Port) + ": " + Cause);
    return;
  }
  DropTrailingBlankOrControl(Pane);
  Pane += "\r\n\r\nDone.";
  if (m_Settings.Blocks) Job->Out.Blocks.push_back(std::move(Pane));
  Job->LastReply = Reply.Text;
  Job->LastHost = Request.Host;
  Job->LastPort = Request.Port;
  Job->LastFrom = Request.From;
  TFollowSettings Follow;
  Follow.TimeoutMs = m_Settings.TimeoutMs;
  Follow.MaxHops = m_Settings.MaxHops;
  Follow.IanaHost = m_Settings.IanaHost;
  Follow.IanaPort = m_Settings.IanaPort;
  Job->Chain.emplace(Job->Query, Request.Host, Request.Port, Follow, Reply.Kind);
  GoOn(*Job);
}

void TAnswerRun::GoOn(TJob& Job)
{
  if (!Job.Follow) {
    FinishWithReply(Job);
    return;
  }
  TFollowChain::TStep Step = Job.Chain->Next(Job.LastReply);
  if (!Step.Ask) {
    if (!Step.Block.empty() && m_Settings.Blocks) Job.Out.Blocks.push_back(Step.Block);
    FinishWithReply(Job);
    return;
  }
  // Remembered at once, so that jobs waiting for the server that sent this one on go
  // straight to where it leads.
  RememberStub(Job, Job.LastReply, Step.Request.Host, Step.Request.Port, Step.Request.From);
  Job.Role = TJob::TRole::Follow;
  Job.Request = Step.Request;
  QueueAsk(Job);
}

void TAnswerRun::RememberStub(TJob& Job, const std::string& Reply, const std::string& Host, std::uint16_t Port,
                              std::optional<TAddressKind> From)
{
  if (!m_Settings.Cache || !Job.HasRange) return;
  const TWhoisAnswer Read = ReadWhoisReply(Reply, Job.Query, Job.LastHost);
  if (!Read.Network) return;
  const auto Range = NetworkRange(*Read.Network);
  if (!Range || IsWholeSpace(Range->first, Range->second) || Range->first > Job.First || Job.Last > Range->second)
    return;
  Job.Passed.push_back(*Range);
  if (m_Stubs.size() >= kMaxStubs) {
    m_Stubs.clear();
    m_StubRanges.Clear();
  }
  // A range seen again (a later server of the same chain names the same block) is pointed
  // at the later server.
  if (const auto Known = m_StubRanges.Find(Range->first)) {
    TStubTarget& S = m_Stubs[*Known];
    if (S.First == Range->first && S.Last == Range->second) {
      S = TStubTarget{Host, Port, From, Job.Target.Text, Range->first, Range->second};
      return;
    }
  }
  m_Stubs.push_back(TStubTarget{Host, Port, From, Job.Target.Text, Range->first, Range->second});
  m_StubRanges.Add(Range->first, Range->second, m_Stubs.size() - 1);
}

void TAnswerRun::ForgetStub(TAddressKey At, const std::string& Host, std::uint16_t Port)
{
  const auto Found = m_StubRanges.Find(At);
  if (!Found) return;
  TStubTarget& S = m_Stubs[*Found];
  if (LaneOf(S.Host, S.Port) == LaneOf(Host, Port)) S.Host.clear();
}

void TAnswerRun::FinishFailed(TJob& Job, const std::string& Pane, const std::string& Error)
{
  Job.Out.Failed = true;
  Job.Out.Answer.Query = Job.Query.empty() ? Job.Target.Text : Job.Query;
  Job.Out.Answer.Registry = Job.Registry;
  Job.Out.Answer.Error = Error;
  if (m_Settings.Blocks) Job.Out.Blocks.push_back(Pane);
  Finished(Job);
}

void TAnswerRun::FinishWithReply(TJob& Job)
{
  TWhoisAnswer Answer = ReadWhoisReply(Job.LastReply, Job.Query, Job.LastHost);
  Answer.Query = Job.Query;
  Answer.Server = ServerName(Job.LastHost, Job.LastPort);
  Answer.Asked = std::move(Job.Out.Answer.Asked);
  Answer.Error = std::move(Job.Out.Answer.Error);
  Answer.Source = "whois";
  Job.Out.Answer = std::move(Answer);
  // Only a reply that holds the network counts: not a referral or a stub the following
  // stopped at, nor the reply before a referral that failed.
  if (!Job.Out.ReferralFailed && !SendsOn(Job.LastReply)) Remember(Job, Job.Out.Answer);
  Job.LastReply.clear();
  Job.LastReply.shrink_to_fit();
  Finished(Job);
}

void TAnswerRun::Remember(TJob& Job, const TWhoisAnswer& Answer)
{
  if (!m_Settings.Cache || !Job.HasRange || !Answer.Network) return;
  const auto Range = NetworkRange(*Answer.Network);
  if (!Range || IsWholeSpace(Range->first, Range->second) || Range->first > Job.First || Job.Last > Range->second)
    return;
  if (m_Answers.size() >= kMaxCachedAnswers) {
    m_Answers.clear();
    m_AnswerRanges.Clear();
  }
  m_Answers.push_back(TCachedAnswer{Answer, Range->first, Range->second, Job.Target.Text});
  m_AnswerRanges.Add(Range->first, Range->second, m_Answers.size() - 1);
  // The ranges that sent this job on lead to the server that answered.
  for (const auto& [First, Last] : Job.Passed) {
    const auto Known = m_StubRanges.Find(First);
    if (!Known) continue;
    TStubTarget& S = m_Stubs[*Known];
    if (S.First == First && S.Last == Last)
      S = TStubTarget{Job.LastHost, Job.LastPort, Job.LastFrom, Job.Target.Text, First, Last};
  }
}

void TAnswerRun::Finished(TJob& Job)
{
  Job.State = TJob::TState::Done;
  Job.Chain.reset();
  HandOutSoon();
}

void TAnswerRun::HandOutSoon()
{
  if (m_HandOutQueued) return;
  m_HandOutQueued = true;
  QMetaObject::invokeMethod(
      this, [this] { HandOut(); }, Qt::QueuedConnection);
}

void TAnswerRun::HandOut()
{
  m_HandOutQueued = false;
  while (!m_Stopped && !m_Jobs.empty() && m_Jobs.front()->State == TJob::TState::Done) {
    std::unique_ptr<TJob> Job = std::move(m_Jobs.front());
    m_Jobs.pop_front();
    ++m_Base;
    ++m_Counts.HandedOut;
    if (OnAnswer) OnAnswer(Job->Out);
    Changed();
  }
}

std::size_t TAnswerRun::Stop()
{
  if (m_Stopped) return m_Counts.HandedOut;
  m_Lanes.Clear();
  std::vector<std::unique_ptr<TJob>> Left;
  while (!m_Jobs.empty()) {
    Left.push_back(std::move(m_Jobs.front()));
    m_Jobs.pop_front();
    ++m_Base;
  }
  m_Stopped = true;
  for (auto& Job : Left) {
    if (Job->Resolver) Job->Resolver->OnDnsLookupDone = nullptr;
    delete Job->Ask.data();
    if (Job->State != TJob::TState::Done) continue;
    ++m_Counts.HandedOut;
    if (OnAnswer) OnAnswer(Job->Out);
  }
  return m_Counts.HandedOut;
}

void TAnswerRun::Changed()
{
  if (OnChange) OnChange();
}
