// SPDX-License-Identifier: MIT
#include "whois/WhoisFollow.h"

#include <optional>
#include <utility>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "net/WSocket.h"
#include "whois/FollowChain.h"
#include "whois/WhoisExchange.h"
#include "whois/WhoisReferral.h"

namespace {

// One exchange, the loop run until it has ended.
TAskReply AskServer(const TAskRequest& Request)
{
  TAskReply Reply;
  bool Done = false;
  TWhoisExchange Exchange;
  Exchange.Start(Request, [&](const TAskReply& R) {
    Reply = R;
    Done = true;
  });
  while (!Done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  return Reply;
}

// The kind of network the first server is on: the address it was reached at when known,
// else what its name resolves to. Servers whose addresses differ in kind, or that cannot be
// looked up, count as public, the kind that may refer least.
TAddressKind FirstServerKind(const std::string& Host, const TFollowSettings& Settings)
{
  if (const auto Kind = AddressKindOf(Settings.FirstAddress.empty() ? Host : Settings.FirstAddress)) return *Kind;
  bool Done = false;
  bool TimedOut = false;
  std::uint16_t Error = 0;
  QTimer Timer;
  Timer.setSingleShot(true);
  QObject::connect(&Timer, &QTimer::timeout, [&TimedOut] { TimedOut = true; });
  Timer.start(Settings.TimeoutMs);
  TWSocket S;
  S.OnDnsLookupDone = [&](TCustomWSocket*, std::uint16_t ErrCode) {
    Error = ErrCode;
    Done = true;
  };
  try {
    S.DnsLookup(Host);
    while (!Done && !TimedOut) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  } catch (const std::exception&) {
    Done = true;
    Error = 0xFFFF;
  }
  S.OnDnsLookupDone = nullptr;
  if (!Done || TimedOut) S.CancelHostLookup();
  const std::vector<std::string> Found =
      Done && !TimedOut && Error == 0 ? S.DnsResultList() : std::vector<std::string>{};
  if (Found.empty()) return TAddressKind::Public;
  const auto Kind = AddressKindOf(Found.front());
  for (const std::string& A : Found)
    if (AddressKindOf(A) != Kind) return TAddressKind::Public;
  return Kind.value_or(TAddressKind::Public);
}

}  // namespace

TFollowResult FollowReferrals(const std::string& Address, const std::string& FirstHost, std::uint16_t FirstPort,
                              std::string_view FirstReply, const TFollowSettings& Settings, const TFollowPrint& Print)
{
  TFollowResult Result;
  TFollowChain Chain(Address, FirstHost, FirstPort, Settings);
  std::string Reply(FirstReply);
  for (;;) {
    TFollowChain::TStep Step = Chain.Next(Reply);
    if (!Step.Ask) {
      if (!Step.Block.empty()) Print(Step.Block);
      break;
    }
    // The first server's kind is looked up only when its reply names a server.
    if (Step.NeedsFromKind) Step.Request.From = FirstServerKind(FirstHost, Settings);
    const TAskReply Hop = AskServer(Step.Request);
    bool Goes = false;
    Print(Chain.Answered(Hop, Goes));
    if (!Goes) break;
    Reply = Hop.Text;
  }
  Result.Asked = Chain.Asked();
  Result.Failed = Chain.Failed();
  return Result;
}
