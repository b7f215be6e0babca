// SPDX-License-Identifier: MIT
#include "whois/WhoisFollow.h"

#include <algorithm>
#include <exception>
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
  std::string FailLine;  // why, when Text does not already say it
};

std::string OneLine(std::string Text)
{
  for (char& C : Text)
    if (C == '\r' || C == '\n') C = ' ';
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '.')) Text.pop_back();
  return Text;
}

std::string ErrorLine(std::uint16_t Code)
{
  return SocketErrorText(Code) + " (error " + std::to_string(Code) + ")";
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

// One WHOIS exchange with the query window's rules: the address and CR LF out, the reply
// in blocks cleaned like the pane's, cut at the pane's cap, ended by the time-out.
THopReply AskServer(const std::string& Host, std::uint16_t Port, const std::string& Address, int TimeoutMs)
{
  THopReply R;
  bool Closed = false;
  bool TimedOut = false;
  bool Cut = false;
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
    if (BgError.empty()) BgError = OneLine(E.what());
  };

  QTimer Timer;
  Timer.setSingleShot(true);
  QObject::connect(&Timer, &QTimer::timeout, [&] {
    TimedOut = true;
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

  try {
    S.SetAddr(Host);
    S.SetPort(std::to_string(Port));
    S.Connect();
    Timer.start(TimeoutMs);
    while (!Closed) {
      // After the time-out or an error that left no session, nothing more will come.
      if (S.State() == wsClosed && (TimedOut || !BgError.empty())) break;
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    }
  } catch (const std::exception& E) {
    R.Failed = true;
    R.FailLine = OneLine(E.what());
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
    R.FailLine = ErrorLine(ConnectError);
  } else if (TimedOut) {
    R.Failed = true;  // the pane's "Connection timeout" line says it
  } else if (!BgError.empty()) {
    R.Failed = true;
    R.FailLine = BgError;
  } else if (CloseError != 0 && !Cut) {
    R.Failed = true;
    R.FailLine = ErrorLine(CloseError);
  } else if (!HasVisible(R.Text)) {
    R.Failed = true;
    R.FailLine = "the server closed the connection without a reply";
  }
  return R;
}

}  // namespace

TFollowResult FollowReferrals(const std::string& Address, const std::string& FirstHost, std::uint16_t FirstPort,
                              std::string_view FirstReply, const TFollowSettings& Settings,
                              const TFollowPrint& Print)
{
  TFollowResult Result;
  std::vector<std::pair<std::string, std::uint16_t>> Asked = {{CanonicalHost(FirstHost), FirstPort}};
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
    Asked.push_back(Server);
    ++Result.Asked;

    THopReply Hop = AskServer(Host, Port, Address, Settings.TimeoutMs);
    Block += Line + "\r\n\r\n" + Hop.Text;
    if (!Hop.FailLine.empty()) {
      TrimRight(Block);
      Block += "\r\n\r\nReferral failed: " + Hop.FailLine + ".";
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
