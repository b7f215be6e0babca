// SPDX-License-Identifier: MIT
#include "whois/WhoisExchange.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "net/SocketErrors.h"
#include "text/AsciiText.h"
#include "whois/PaneText.h"

namespace {

constexpr int kReceiveBlock = 4096;

// The last line of an exception's text, without its full stop, starting in lower case: the
// socket layer's messages end in the error's own text after the step that failed.
std::string PlainCause(std::string Text)
{
  const std::size_t Break = Text.find_last_of("\r\n");
  if (Break != std::string::npos) Text.erase(0, Break + 1);
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '.')) Text.pop_back();
  if (Text.empty()) return "the connection failed";
  LowerSentenceStart(Text);
  return Text;
}

// A socket error code in words: "connection refused", "no route to host", ...
std::string ErrorCause(std::uint16_t Code) { return SocketErrorCause(Code); }

std::string LookupCause(std::uint16_t Code) { return LookupErrorCause(Code); }

bool HasVisible(const std::string& Text)
{
  return std::any_of(Text.begin(), Text.end(), [](char C) { return static_cast<unsigned char>(C) > 32; });
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

}  // namespace

TWhoisExchange::TWhoisExchange(QObject* parent) : TServerAsk(parent)
{
  m_Socket.SetLineMode(false);
  m_Socket.SetProto("tcp");
  m_Socket.SetLingerOnOff(wsLingerOn);
  m_Socket.SetLingerTimeout(0);
  m_Timer.setSingleShot(true);
  QObject::connect(&m_Timer, &QTimer::timeout, this, [this] { TimeOut(); });
}

TWhoisExchange::~TWhoisExchange()
{
  Detach();
  if (m_Socket.State() != wsClosed) {
    try {
      m_Socket.Abort();
    } catch (...) {
    }
  }
}

void TWhoisExchange::Detach()
{
  m_Socket.OnDnsLookupDone = nullptr;
  m_Socket.OnSessionConnected = nullptr;
  m_Socket.OnDataAvailable = nullptr;
  m_Socket.OnSessionClosed = nullptr;
  m_Socket.OnBgException = nullptr;
}

void TWhoisExchange::Start(const TAskRequest& Request, TAskDone Done)
{
  if (m_Step != TStep::Idle) return;
  m_Request = Request;
  m_Done = std::move(Done);
  m_Socket.OnDnsLookupDone = [this](TCustomWSocket*, std::uint16_t ErrCode) { LookedUp(ErrCode); };
  m_Socket.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t ErrCode) {
    // A failed connect: the socket closes the session itself right after this handler.
    if (ErrCode != 0) {
      m_ConnectError = ErrCode;
      return;
    }
    m_Socket.SendStr(m_Request.Query + "\r\n");
  };
  m_Socket.OnDataAvailable = [this](TCustomWSocket*, std::uint16_t) { Received(); };
  m_Socket.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t ErrCode) {
    m_CloseError = ErrCode;
    m_Closed = true;
    FinishSoon();
  };
  // The socket aborts the session after this handler.
  m_Socket.OnBgException = [this](TCustomWSocket*, const std::exception& E, bool&) {
    if (m_BgError.empty()) m_BgError = PlainCause(E.what());
    FinishSoon();
  };
  m_Timer.start(m_Request.TimeoutMs);
  Lookup();
}

// The IPv4 addresses of the host through the socket's own background lookup (a dotted
// address answers itself, inside DnsLookup), so the loop and the time-out keep running.
void TWhoisExchange::Lookup()
{
  m_Step = TStep::LookingUp;
  try {
    m_Socket.DnsLookup(m_Request.Host);
  } catch (const std::exception&) {
    LookedUp(0xFFFF);
  }
}

void TWhoisExchange::LookedUp(std::uint16_t Error)
{
  if (m_Step != TStep::LookingUp) return;
  m_Step = TStep::Finishing;
  const std::vector<std::string> Addresses = m_Socket.DnsResultList();
  if (Error != 0 || Addresses.empty()) {
    m_Reply.Failed = true;
    m_Reply.FailLine = LookupCause(Error);
    FinishSoon();
    return;
  }
  if (m_Request.From) {
    m_Reply.Refusal = RefusalOf(m_Request.Host, Addresses, *m_Request.From);
    if (!m_Reply.Refusal.empty()) {
      FinishSoon();
      return;
    }
  }
  const std::string Target = Addresses.front();
  m_Reply.Kind = AddressKindOf(Target).value_or(TAddressKind::Public);
  try {
    m_Step = TStep::Connecting;
    m_Reply.ConnectedAddress = Target;
    m_Socket.SetAddr(Target);
    m_Socket.SetPort(std::to_string(m_Request.Port));
    m_Socket.Connect();
  } catch (const std::exception& E) {
    m_Step = TStep::Finishing;
    m_Reply.ConnectedAddress.clear();
    m_Reply.Failed = true;
    m_Reply.FailLine = PlainCause(E.what());
    FinishSoon();
  }
}

void TWhoisExchange::Received()
{
  char Buffer[kReceiveBlock];
  for (;;) {
    const std::int32_t N = m_Socket.Receive(Buffer, kReceiveBlock);
    if (N <= 0) break;
    if (m_Cut) continue;
    const std::size_t Got = static_cast<std::size_t>(N);
    const std::size_t Take = std::min(Got, ReplyCap - m_Bytes);
    m_Bytes += Take;
    AppendCleanBlock(m_Reply.Text, std::string_view(Buffer, Take));
    if (Take < Got) {
      m_Cut = true;
      m_Reply.Text += "\r\n" + ReplyCutLine + "\r\n";
      m_Socket.Close();
      break;
    }
  }
}

void TWhoisExchange::TimeOut()
{
  m_Reply.TimedOut = true;
  if (m_Step == TStep::LookingUp) {
    // Also when the answer comes later: the one time-out of the ask is spent.
    m_Step = TStep::Finishing;
    m_Socket.CancelHostLookup();
    m_Reply.Failed = true;
    m_Reply.FailLine = "the name lookup took longer than the time-out";
    FinishSoon();
    return;
  }
  if (m_Step != TStep::Connecting) return;
  m_Reply.Text += "\r\nConnection timeout\r\n";
  try {
    m_Socket.Close();
  } catch (...) {
    try {
      m_Socket.Abort();
    } catch (...) {
    }
  }
  FinishSoon();
}

void TWhoisExchange::FinishSoon()
{
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (m_Step == TStep::Finished) return;
        // While connected, only the end of the session, or the time-out or an error that left
        // no session, ends the ask.
        if (m_Step == TStep::Connecting && !m_Closed &&
            !(m_Socket.State() == wsClosed && (m_Reply.TimedOut || !m_BgError.empty())))
          return;
        Finish();
      },
      Qt::QueuedConnection);
}

void TWhoisExchange::Finish()
{
  const bool Connected = m_Step == TStep::Connecting;
  m_Step = TStep::Finished;
  m_Timer.stop();
  Detach();
  if (m_Socket.State() != wsClosed) {
    try {
      m_Socket.Abort();
    } catch (...) {
    }
  }
  if (Connected && !m_Reply.Failed) {
    if (m_ConnectError != 0) {
      m_Reply.Failed = true;
      m_Reply.FailLine = ErrorCause(m_ConnectError);
    } else if (m_Reply.TimedOut) {
      m_Reply.Failed = true;  // the pane's "Connection timeout" line says it
    } else if (!m_BgError.empty()) {
      m_Reply.Failed = true;
      m_Reply.FailLine = m_BgError;
    } else if (m_CloseError != 0 && !m_Cut) {
      m_Reply.Failed = true;
      m_Reply.FailLine = ErrorCause(m_CloseError);
    } else if (!HasVisible(m_Reply.Text)) {
      m_Reply.Failed = true;
      m_Reply.FailLine = "the server closed the connection without a reply";
    }
  }
  TAskDone Done = std::move(m_Done);
  m_Done = nullptr;
  if (Done) Done(m_Reply);
}
