// SPDX-License-Identifier: MIT
#include "whois/WhoisFollow.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "net/SocketErrors.h"
#include "net/WSocket.h"
#include "whois/PaneText.h"
#include "whois/WhoisReferral.h"

namespace {

constexpr int kReceiveBlock = 4096;

struct THopReply {
  std::string Text;      // the reply as the pane would show it, with its time-out or cut line
  bool Failed = false;
  std::string FailLine;  // why, in plain words, when Text does not already say it
  std::string Refusal;   // set when the server may not be asked: the reason for the note
  TAddressKind Kind = TAddressKind::Public;  // of the address connected to
};

// The last line of an exception's text, without its full stop, starting in lower case: the
// socket layer's messages end in the error's own text after the step that failed.
std::string PlainCause(std::string Text)
{
  const std::size_t Break = Text.find_last_of("\r\n");
  if (Break != std::string::npos) Text.erase(0, Break + 1);
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '.')) Text.pop_back();
  if (Text.empty()) return "the connection failed";
  if (Text[0] >= 'A' && Text[0] <= 'Z' && (Text.size() < 2 || !(Text[1] >= 'A' && Text[1] <= 'Z')))
    Text[0] = static_cast<char>(Text[0] - 'A' + 'a');
  return Text;
}

// A socket error code in words: "connection refused", "no route to host", ...
std::string ErrorCause(std::uint16_t Code)
{
  return SocketErrorCause(Code);
}

std::string LookupCause(std::uint16_t Code)
{
  return LookupErrorCause(Code);
}

void TrimRight(std::string& Text)
{
  while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= 32) Text.pop_back();
}

bool HasVisible(const std::string& Text)
{
  return std::any_of(Text.begin(), Text.end(), [](char C) { return static_cast<unsigned char>(C) > 32; });
}

std::string CanonicalHost(std::string Host)
{
  if (!Host.empty() && Host.back() == '.') Host.pop_back();
  for (char& C : Host)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return Host;
}

// Runs the event loop until Done holds or the time-out has fired.
template <typename TDone>
void RunUntil(const TDone& Done, const bool& TimedOut)
{
  while (!Done() && !TimedOut) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

struct TLookup {
  std::vector<std::string> Addresses;  // dotted, in the resolver's order
  std::string Failure;                 // the cause, when there are none
};

// The IPv4 addresses of Host through the socket's own background lookup (a dotted address
// answers itself), so the loop and the time-out keep running meanwhile.
TLookup LookUp(TWSocket& S, const std::string& Host, const bool& TimedOut)
{
  TLookup R;
  bool Done = false;
  std::uint16_t Error = 0;
  S.OnDnsLookupDone = [&](TCustomWSocket*, std::uint16_t ErrCode) {
    Error = ErrCode;
    Done = true;
  };
  try {
    S.DnsLookup(Host);
    RunUntil([&] { return Done; }, TimedOut);
  } catch (const std::exception&) {
    Done = true;
    Error = 0xFFFF;
  }
  S.OnDnsLookupDone = nullptr;
  // Also when the answer came with the time-out: the one time-out of the hop is spent.
  if (!Done || TimedOut) {
    S.CancelHostLookup();
    R.Failure = "the name lookup took longer than the time-out";
  } else if (Error != 0 || S.DnsResultList().empty()) {
    R.Failure = LookupCause(Error);
  } else {
    R.Addresses = S.DnsResultList();
  }
  return R;
}

// Whether a referral from a server of kind From may lead to Addresses (those Host resolved
// to); the reason for the note when not. Every address counts, so the answer does not hang
// on which of several the resolver lists first.
std::string RefusalOf(const std::string& Host, const std::vector<std::string>& Addresses, TAddressKind From)
{
  for (const std::string& A : Addresses) {
    const TAddressKind To = AddressKindOf(A).value_or(TAddressKind::Reserved);
    if (MayReferTo(From, To)) continue;
    std::string Reason = Host == A ? A + " is " : Host + " is " + A + ", ";
    Reason += AddressKindText(To);
    if (To == TAddressKind::Loopback || To == TAddressKind::Private || To == TAddressKind::LinkLocal)
      Reason += ", and the server that refers to it is not";
    else
      Reason += ", never asked";
    return Reason;
  }
  return {};
}

// One WHOIS exchange with the query window's rules: the address and CR LF out, the reply
// in blocks cleaned like the pane's, cut at the pane's cap, ended by the time-out. The host
// is looked up first and, when From is given, checked against it; the socket then connects
// to the very address that was checked.
THopReply AskServer(const std::string& Host, std::uint16_t Port, const std::string& Address, int TimeoutMs,
                    std::optional<TAddressKind> From)
{
  THopReply R;
  bool Closed = false;
  bool TimedOut = false;
  bool Cut = false;
  bool Connecting = false;
  std::uint16_t ConnectError = 0;
  std::uint16_t CloseError = 0;
  std::size_t Bytes = 0;
  std::string BgError;

  TWSocket S;
  S.SetLineMode(false);
  S.SetProto("tcp");
  S.SetLingerOnOff(wsLingerOn);
  S.SetLingerTimeout(0);
  S.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t ErrCode) {
    // A failed connect: the socket closes the session itself right after this handler.
    if (ErrCode != 0) {
      ConnectError = ErrCode;
      return;
    }
    S.SendStr(Address + "\r\n");
  };
  S.OnDataAvailable = [&](TCustomWSocket*, std::uint16_t) {
    char Buffer[kReceiveBlock];
    for (;;) {
      const std::int32_t N = S.Receive(Buffer, kReceiveBlock);
      if (N <= 0) break;
      if (Cut) continue;
      const std::size_t Got = static_cast<std::size_t>(N);
      const std::size_t Take = std::min(Got, ReplyCap - Bytes);
      Bytes += Take;
      R.Text += CleanReplyBlock(std::string_view(Buffer, Take));
      if (Take < Got) {
        Cut = true;
        R.Text += "\r\n" + ReplyCutLine + "\r\n";
        S.Close();
        break;
      }
    }
  };
  S.OnSessionClosed = [&](TCustomWSocket*, std::uint16_t ErrCode) {
    CloseError = ErrCode;
    Closed = true;
  };
  // The socket aborts the session after this handler.
  S.OnBgException = [&](TCustomWSocket*, const std::exception& E, bool&) {
    if (BgError.empty()) BgError = PlainCause(E.what());
  };

  QTimer Timer;
  Timer.setSingleShot(true);
  QObject::connect(&Timer, &QTimer::timeout, [&] {
    TimedOut = true;
    if (!Connecting) return;
    R.Text += "\r\nConnection timeout\r\n";
    try {
      S.Close();
    } catch (...) {
      try {
        S.Abort();
      } catch (...) {
      }
    }
  });
  Timer.start(TimeoutMs);

  const TLookup Found = LookUp(S, Host, TimedOut);
  if (!Found.Failure.empty()) {
    R.Failed = true;
    R.FailLine = Found.Failure;
    return R;
  }
  if (From) {
    R.Refusal = RefusalOf(Host, Found.Addresses, *From);
    if (!R.Refusal.empty()) return R;
  }
  const std::string& Target = Found.Addresses.front();
  R.Kind = AddressKindOf(Target).value_or(TAddressKind::Public);

  try {
    Connecting = true;
    S.SetAddr(Target);
    S.SetPort(std::to_string(Port));
    S.Connect();
    while (!Closed) {
      // After the time-out or an error that left no session, nothing more will come.
      if (S.State() == wsClosed && (TimedOut || !BgError.empty())) break;
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    }
  } catch (const std::exception& E) {
    R.Failed = true;
    R.FailLine = PlainCause(E.what());
  }
  Timer.stop();
  S.OnSessionConnected = nullptr;
  S.OnDataAvailable = nullptr;
  S.OnSessionClosed = nullptr;
  S.OnBgException = nullptr;
  if (S.State() != wsClosed) {
    try {
      S.Abort();
    } catch (...) {
    }
  }

  if (R.Failed) return R;
  if (ConnectError != 0) {
    R.Failed = true;
    R.FailLine = ErrorCause(ConnectError);
  } else if (TimedOut) {
    R.Failed = true;  // the pane's "Connection timeout" line says it
  } else if (!BgError.empty()) {
    R.Failed = true;
    R.FailLine = BgError;
  } else if (CloseError != 0 && !Cut) {
    R.Failed = true;
    R.FailLine = ErrorCause(CloseError);
  } else if (!HasVisible(R.Text)) {
    R.Failed = true;
    R.FailLine = "the server closed the connection without a reply";
  }
  return R;
}

// The kind of network the first server is on: the address it was reached at when known,
// else what its name resolves to. Servers whose addresses differ in kind, or that cannot be
// looked up, count as public, the kind that may refer least.
TAddressKind FirstServerKind(const std::string& Host, const TFollowSettings& Settings)
{
  if (const auto Kind = AddressKindOf(Settings.FirstAddress.empty() ? Host : Settings.FirstAddress)) return *Kind;
  bool TimedOut = false;
  QTimer Timer;
  Timer.setSingleShot(true);
  QObject::connect(&Timer, &QTimer::timeout, [&TimedOut] { TimedOut = true; });
  Timer.start(Settings.TimeoutMs);
  TWSocket S;
  const TLookup Found = LookUp(S, Host, TimedOut);
  if (Found.Addresses.empty()) return TAddressKind::Public;
  const auto Kind = AddressKindOf(Found.Addresses.front());
  for (const std::string& A : Found.Addresses)
    if (AddressKindOf(A) != Kind) return TAddressKind::Public;
  return Kind.value_or(TAddressKind::Public);
}

}  // namespace

TFollowResult FollowReferrals(const std::string& Address, const std::string& FirstHost, std::uint16_t FirstPort,
                              std::string_view FirstReply, const TFollowSettings& Settings,
                              const TFollowPrint& Print)
{
  TFollowResult Result;
  std::vector<std::pair<std::string, std::uint16_t>> Asked = {{CanonicalHost(FirstHost), FirstPort}};
  std::optional<TAddressKind> LastKind;  // of the server that gave Reply, once needed
  std::string Reply(FirstReply);
  for (;;) {
    const TReferralScan Scan = ScanReferral(Reply);
    std::string Block;
    for (const std::string& Note : Scan.Notes) Block += Note + "\r\n";

    std::string Host;
    std::uint16_t Port = 43;
    std::string Line;
    if (Scan.Referral) {
      Host = Scan.Referral->Host;
      Port = Scan.Referral->Port;
      Line = "Referred to " + Host + " port " + std::to_string(Port) + (Scan.Referral->Rwhois ? " (rwhois).." : "..");
    } else if (Scan.Stub) {
      Host = Settings.IanaHost;
      Port = Settings.IanaPort;
      Line = "Not managed by this registry, asking " + Host + " port " + std::to_string(Port) + "..";
    } else {
      if (!Block.empty()) Print(Block);
      return Result;
    }

    const std::string Where = Host + " port " + std::to_string(Port);
    const std::pair<std::string, std::uint16_t> Server{CanonicalHost(Host), Port};
    if (std::find(Asked.begin(), Asked.end(), Server) != Asked.end()) {
      Print(Block + "Not asking " + Where + ": that server was asked already.");
      return Result;
    }
    if (Result.Asked >= Settings.MaxHops) {
      Print(Block + "Not asking " + Where + ": at most " + std::to_string(Settings.MaxHops) +
            " referrals are followed.");
      return Result;
    }

    // Only a server the reply names is held to the rule on where it may lead; IANA's server
    // after a stub is this command's own choice.
    std::optional<TAddressKind> From;
    if (Scan.Referral) {
      if (!LastKind) LastKind = FirstServerKind(FirstHost, Settings);
      From = LastKind;
    }
    THopReply Hop = AskServer(Host, Port, Address, Settings.TimeoutMs, From);
    if (!Hop.Refusal.empty()) {
      Print(Block + "Referral ignored (" + Hop.Refusal + "): " + Scan.Referral->Line);
      return Result;
    }
    Asked.push_back(Server);
    ++Result.Asked;
    LastKind = Hop.Kind;

    Block += Line + "\r\n\r\n" + Hop.Text;
    if (!Hop.FailLine.empty()) {
      TrimRight(Block);
      Block += "\r\n\r\nReferral failed: " + Where + ": " + Hop.FailLine + ".";
    }
    TrimRight(Block);
    Block += "\r\n\r\nDone.";
    Print(Block);
    if (Hop.Failed) {
      Result.Failed = true;
      return Result;
    }
    Reply = std::move(Hop.Text);
  }
}
