// SPDX-License-Identifier: MIT
// TCustomWSocket's session and its events: construction, the private messages and their
// dispatch, the network notifications and the receive loop, Connect, Close and Abort, and
// the one place where failures are raised.
#include "net/WSocket.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>

#include <QCoreApplication>

#include "net/WSocketDetail.h"
#include "net/WSocketLookup.h"
#include "net/WSocketWatcher.h"
#include "net/WSocketWindow.h"

using WSocketDetail::HighWord;
using WSocketDetail::LowWord;

namespace {

// The failures of a non-blocking connect that are outcomes of the attempt rather than misuse:
// network unreachable, timed out, refused, no route to host. Windows Sockets always reports
// these through the connect notification; Linux may already know them when connect()
// returns (an unreachable network, for one, when no route leads to the address at all).
bool IsConnectOutcome(int Code)
{
  return Code == kWsaENetUnreach || Code == kWsaETimedOut || Code == kWsaEConnRefused || Code == kWsaEHostUnreach;
}

// The protocol database does not change while the program runs, and reading it on every
// Connect (ResetToDefaults forgets the resolved number) cost more than the rest of a short
// session. Successful answers only; owner thread only, like every socket call.
int ResolveProtoCached(const std::string& Proto)
{
  static std::string CachedText;
  static int CachedNumber = -1;
  if (CachedNumber >= 0 && Proto == CachedText) return CachedNumber;
  const int Number = WSocketResolveProto(Proto);
  CachedText = Proto;
  CachedNumber = Number;
  return Number;
}

}  // namespace

// Shared with the other sources of the socket (WSocketDetail.h).

std::string WSocketDetail::FormatMessage(const std::string& Fmt, const std::string& Text, int Code)
{
  std::string Msg;
  for (std::size_t I = 0; I < Fmt.size(); ++I) {
    if (Fmt[I] == '%' && I + 1 < Fmt.size() && (Fmt[I + 1] == 's' || Fmt[I + 1] == 'd')) {
      Msg += Fmt[I + 1] == 's' ? Text : std::to_string(Code);
      ++I;
    } else {
      Msg += Fmt[I];
    }
  }
  return Msg;
}

// ---------------------------------------------------------------------------------------------
// Construction and destruction

TCustomWSocket::TCustomWSocket(QObject* Owner) : QObject(Owner)
{
  TCustomWSocket::CreateSocketWindow();
  m_Watcher = std::make_unique<TSocketWatcher>(*this);
  m_SendQueue.clear();
  m_DnsResultList.clear();
  m_MultiCastIpTTL = 1;
  m_ListenBacklog = 5;
  TCustomWSocket::ResetToDefaults();
  ++SocketUserCount;
}

TCustomWSocket::~TCustomWSocket()
{
  m_Destroying = true;
  try {
    TCustomWSocket::CancelHostLookup();
  } catch (...) {
  }
  if (m_State != wsClosed) {
    try {
      TCustomWSocket::Close();
    } catch (...) {
    }
  }
  // A failed close must not leave the descriptor or its notifiers behind.
  if (m_HSocket != InvalidSocket) CloseHandle();
  if (--SocketUserCount < 1) UnloadSocketLibrary();
  DiscardSendQueue();
  TCustomWSocket::DestroySocketWindow();
}

void TCustomWSocket::CreateSocketWindow()
{
  try {
    m_Window = std::make_unique<TSocketWindow>(*this);
  } catch (const std::exception&) {
    throw ESocketException("Cannot create a hidden window for TWSocket");
  }
}

void TCustomWSocket::DestroySocketWindow() { m_Window.reset(); }

QObject* TCustomWSocket::WindowHandle() const { return m_Window.get(); }

void TCustomWSocket::PostSocketMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam)
{
  if (m_Window) m_Window->Post(Msg, WParam, LParam, m_Session);
}

// ---------------------------------------------------------------------------------------------
// Private messages

void TCustomWSocket::ReceiveWindowMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam,
                                          std::uint64_t Session, std::shared_ptr<TLookupCompletion> Lookup)
{
  if (Msg == MsgSocketEvent) {
    // The handle may have been closed, or closed and its number reused, since posting.
    if (Session != m_Session || m_HSocket == InvalidSocket) return;
    if (m_Paused) return;  // Resume watches again
    DispatchSocketMessage(Msg, WParam, LParam);
    return;
  }
  if (Msg == MsgHostLookupDone) m_LookupBuffer = std::move(Lookup);
  DispatchSocketMessage(Msg, WParam, LParam);
}

void TCustomWSocket::DeliverSocketEvent(std::uintptr_t WParam, std::intptr_t LParam)
{
  ReceiveWindowMessage(MsgSocketEvent, WParam, LParam, m_Session, {});
}

void TCustomWSocket::DispatchSocketMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam)
{
  try {
    switch (Msg) {
      case MsgSocketEvent:
        if (static_cast<TSocket>(WParam) == m_HSocket && !m_Paused)
          HandleNetworkEvents(LowWord(LParam), HighWord(LParam));
        break;
      case MsgHostLookupDone: HandleLookupCompletion(WParam, LParam, m_LookupBuffer); break;
      case MsgCloseDelayed: Close(); break;
      case MsgReleaseSocket: deleteLater(); break;
      case MsgTestException: RaiseSocketException("Test exception in WSocket"); break;
      default: break;
    }
  } catch (const std::exception& E) {
    HandleEventException(E);
  }
}

void TCustomWSocket::HandleNetworkEvents(std::uint16_t Bits, std::uint16_t ErrCode)
{
  struct TBit {
    std::uint16_t Bit;
    void (TCustomWSocket::*Handler)(std::uint16_t);
  };
  static constexpr TBit Order[] = {
      {FD_CONNECT_BIT, &TCustomWSocket::HandleConnectEvent}, {FD_READ_BIT, &TCustomWSocket::HandleReadEvent},
      {FD_WRITE_BIT, &TCustomWSocket::HandleWriteEvent},     {FD_ACCEPT_BIT, &TCustomWSocket::HandleAcceptEvent},
      {FD_CLOSE_BIT, &TCustomWSocket::HandleCloseEvent},
  };
  const std::uint64_t Session = m_Session;
  for (const TBit& B : Order) {
    // Bits of one message all belong to the handle it named.
    if (!(Bits & B.Bit) || Session != m_Session) continue;
    m_CurrentEvent = B.Bit;
    try {
      (this->*B.Handler)(ErrCode);
    } catch (...) {
      m_CurrentEvent = 0;
      throw;
    }
    m_CurrentEvent = 0;
  }
}

void TCustomWSocket::HandleEventException(const std::exception& E)
{
  bool CanClose = true;
  if (OnBgException) {
    try {
      OnBgException(this, E, CanClose);
    } catch (...) {
    }
  }
  if (CanClose) {
    try {
      Abort();
    } catch (...) {
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Errors

void TCustomWSocket::RaiseSocketException(const std::string& Msg)
{
  if (OnError) {
    TriggerError();
    return;
  }
  throw ESocketException(Msg);
}

void TCustomWSocket::RaiseSocketExceptionFmt(const std::string& Fmt, const std::string& Text, int Code)
{
  RaiseSocketException(WSocketDetail::FormatMessage(Fmt, Text, Code));
}

void TCustomWSocket::ReportSocketError(const std::string& FunctionName)
{
  ReportSocketCode(FunctionName, WSocket_WSAGetLastError());
}

void TCustomWSocket::ReportSocketCode(const std::string& FunctionName, int Code)
{
  const std::string Text =
      "Error " + std::to_string(Code) + " in function " + FunctionName + "\r\n" + SocketErrorText(Code);
  if (Code == kWsaEConnReset || Code == kWsaENotConn) {
    if (m_HSocket != InvalidSocket) CloseHandle();
    m_HSocket = InvalidSocket;
    if (m_State != wsClosed) {
      TriggerSessionClosed(static_cast<std::uint16_t>(Code));
      SetState(wsClosed);
    }
  }
  m_LastError = Code;
  RaiseSocketException(Text);
}

TCustomWSocket::TStepFailure TCustomWSocket::TStepFailure::PlatformError(std::string FunctionName)
{
  return {std::move(FunctionName), true, WSocket_WSAGetLastError()};
}

void TCustomWSocket::RaiseStepFailure(const TStepFailure& Failure)
{
  if (Failure.FromPlatform)
    ReportSocketCode(Failure.Text, Failure.Code);
  else
    RaiseSocketException(Failure.Text);
}

// ---------------------------------------------------------------------------------------------
// Events

void TCustomWSocket::SetState(TSocketState NewState)
{
  const TSocketState Old = m_State;
  m_State = NewState;
  if (Old != NewState) TriggerChangeState(Old, NewState);
}

bool TCustomWSocket::TriggerDataAvailable(std::uint16_t ErrCode)
{
  if (!OnDataAvailable) return false;
  OnDataAvailable(this, ErrCode);
  return true;
}

void TCustomWSocket::TriggerSessionAvailable(std::uint16_t ErrCode)
{
  if (OnSessionAvailable) OnSessionAvailable(this, ErrCode);
}

void TCustomWSocket::TriggerSessionConnectedHook(std::uint16_t ErrCode) { TriggerSessionConnected(ErrCode); }

void TCustomWSocket::TriggerSessionConnected(std::uint16_t ErrCode)
{
  if (OnSessionConnected) OnSessionConnected(this, ErrCode);
}

void TCustomWSocket::TriggerSessionClosed(std::uint16_t ErrCode)
{
  if (OnSessionClosed) OnSessionClosed(this, ErrCode);
}

void TCustomWSocket::TriggerDataSent(std::uint16_t ErrCode)
{
  if (OnDataSent) OnDataSent(this, ErrCode);
}

void TCustomWSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState)
{
  if (OnChangeState) OnChangeState(this, OldState, NewState);
}

void TCustomWSocket::TriggerDnsLookupDone(std::uint16_t ErrCode)
{
  if (OnDnsLookupDone) OnDnsLookupDone(this, ErrCode);
}

void TCustomWSocket::TriggerError()
{
  if (OnError) OnError(this);
}

// ---------------------------------------------------------------------------------------------
// Network notifications

void TCustomWSocket::MarkConnected() { SetState(wsConnected); }

void TCustomWSocket::HandleConnectEvent(std::uint16_t ErrCode)
{
  if (m_State == wsConnected) return;
  MarkConnected();
  TriggerSessionConnectedHook(ErrCode);
  if (ErrCode != 0 && m_State != wsClosed) Close();
}

void TCustomWSocket::HandleReadEvent(std::uint16_t ErrCode)
{
  if (m_State != wsConnected) {
    MarkConnected();
    TriggerSessionConnectedHook(ErrCode);
  }
  ReceiveLoop(ErrCode, m_ComponentOptions);
}

void TCustomWSocket::HandleWriteEvent(std::uint16_t ErrCode)
{
  TryToSend();
  if (m_AllSent) TriggerDataSent(ErrCode);
}

void TCustomWSocket::HandleAcceptEvent(std::uint16_t ErrCode) { TriggerSessionAvailable(ErrCode); }

void TCustomWSocket::HandleCloseEvent(std::uint16_t ErrCode)
{
  if (m_State == wsConnecting) return;
  const std::uint64_t Session = m_Session;
  ReceiveLoop(0, m_ComponentOptions & ~static_cast<TWSocketOptions>(wsoNoReceiveLoop));
  // A handler that closed the socket has already ended the session and reported it.
  if (Session != m_Session) return;
  if (!m_CloseInvoked) {
    m_CloseInvoked = true;
    TriggerSessionClosed(ErrCode);
  }
  if (m_State != wsClosed) Close();
}

void TCustomWSocket::ReceiveLoop(std::uint16_t ErrCode, TWSocketOptions Options)
{
  const std::uint64_t Session = m_Session;
  try {
    for (;;) {
      m_LastError = 0;
      if (!TriggerDataAvailable(ErrCode)) {
        char Scratch[1024];
        if (DoRecv(Scratch, sizeof Scratch, 0) < 0) {
          const int Code = WSocket_WSAGetLastError();
          if (Code == kWsaEWouldBlock) {
            m_LastError = 0;
            break;
          }
          m_LastError = Code;
        }
      }
      if (Options & wsoNoReceiveLoop) break;
      if (m_LastError != 0) break;
      // The handler may have closed the socket (and even opened another on the same
      // descriptor number).
      if (Session != m_Session || m_HSocket == InvalidSocket) break;
      std::uint32_t Waiting = 0;
      if (WSocket_ioctlsocket_FIONREAD(m_HSocket, &Waiting) != 0) {
        m_LastError = WSocket_WSAGetLastError();
        break;
      }
      if (Waiting == 0) break;
    }
  } catch (...) {
    // Exceptions of the receive loop, including the handler's, are discarded.
  }
}

// ---------------------------------------------------------------------------------------------
// Connect, close, abort

int TCustomWSocket::CloseHandle()
{
  m_Watcher->Stop();
  ++m_Session;
  m_SendShut = false;
  const TSocket H = m_HSocket;
  m_HSocket = InvalidSocket;
  return H == InvalidSocket ? 0 : WSocket_closesocket(H);
}

void TCustomWSocket::Connect()
{
  if (const TStepResult Failure = OpenSession()) RaiseStepFailure(*Failure);
}

TCustomWSocket::TStepResult TCustomWSocket::OpenSession()
{
  if (m_HSocket != InvalidSocket && m_State != wsClosed) return TStepFailure::Message("Connect: Socket already in use");
  if (!m_PortAssigned) return TStepFailure::Message("Connect: No Port Specified");
  if (!m_AddrAssigned) return TStepFailure::Message("Connect: No IP Address Specified");
  if (!m_ProtoAssigned) return TStepFailure::Message("Connect: No Protocol Specified");
  if (TStepResult Failure = ResolveRemote()) return Failure;
  DiscardSendQueue();
  if (TStepResult Failure = CreateHandle()) return Failure;
  if (m_SocketType == 1) {
    if (TStepResult Failure = SetStreamOptions()) return Failure;
  }
  return StartConnecting();
}

// Each value only while its Resolved flag is clear.
TCustomWSocket::TStepResult TCustomWSocket::ResolveRemote()
{
  try {
    if (!m_ProtoResolved) {
      m_ProtocolNumber = ResolveProtoCached(m_Proto);
      m_SocketType = m_ProtocolNumber == 6 ? 1 : m_ProtocolNumber == 17 ? 2 : 3;
      m_ProtoResolved = true;
    }
    if (!m_PortResolved) {
      m_RemotePort = WSocketResolvePort(m_Port, m_Proto);
      m_RemoteAddress.sin_port = htons(m_RemotePort);
      m_PortResolved = true;
    }
    if (!m_LocalPortResolved) {
      m_LocalPortNumber = WSocketResolvePort(m_LocalPort, m_Proto);
      m_LocalPortResolved = true;
    }
    if (!m_AddrResolved) {
      m_RemoteAddress.sin_addr.s_addr = WSocketResolveHost(m_Addr);
      m_AddrResolved = true;
    }
  } catch (const std::exception& E) {
    return TStepFailure::Message(std::string("connect: ") + E.what());
  }
  return {};
}

// The platform socket of the new session, and the state wsOpened.
TCustomWSocket::TStepResult TCustomWSocket::CreateHandle()
{
  // A descriptor left behind by a session that ended without a close.
  if (m_HSocket != InvalidSocket) CloseHandle();
  const int Type = m_SocketType == 1 ? SOCK_STREAM : m_SocketType == 2 ? SOCK_DGRAM : SOCK_RAW;
  m_HSocket = WSocket_socket(m_AddrFamily, Type, m_ProtocolNumber);
  if (m_HSocket == InvalidSocket) return TStepFailure::PlatformError("Connect (socket)");
  ++m_Session;
  // Normally already so after the last close's reset; not when a handler of that close
  // connected again before the reset.
  m_CloseInvoked = false;

  SetState(wsOpened);
  if (m_State != wsOpened) {
    WSocket_WSASetLastError(kWsaEInval);
    return TStepFailure::PlatformError("Connect (Invalid operation in OnChangeState)");
  }
  return {};
}

TCustomWSocket::TStepResult TCustomWSocket::SetStreamOptions()
{
  const int On = 1;
  if (WSocket_setsockopt(m_HSocket, SOL_SOCKET, SO_REUSEADDR, &On, sizeof On) != 0)
    return TStepFailure::PlatformError("setsockopt(SO_REUSEADDR)");
  if ((m_ComponentOptions & wsoTcpNoDelay) &&
      WSocket_setsockopt(m_HSocket, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On) != 0)
    return TStepFailure::PlatformError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
  if (TStepResult Failure = SetLingerOption()) return Failure;
  if (WSocket_setsockopt(m_HSocket, SOL_SOCKET, SO_KEEPALIVE, &On, sizeof On) != 0)
    return TStepFailure::PlatformError("setsockopt(SO_KEEPALIVE)");
  if (m_LocalPortNumber != 0 || m_LocalAddr != "0.0.0.0") return BindLocalAddress();
  return {};
}

TCustomWSocket::TStepResult TCustomWSocket::StartConnecting()
{
  m_EventMask = FD_READ_BIT | FD_WRITE_BIT | FD_ACCEPT_BIT | FD_CONNECT_BIT | FD_CLOSE_BIT;
  m_Watcher->Start(m_HSocket);

  if (WSocket_connect(m_HSocket, m_RemoteAddress) == 0 || WSocket_WSAGetLastError() == kWsaEWouldBlock) {
    SetState(wsConnecting);
    m_Watcher->BeginConnect();
    return {};
  }
  const int Code = WSocket_WSAGetLastError();
  if (IsConnectOutcome(Code)) {
    SetState(wsConnecting);
    m_Watcher->EndWatching();
    PostSocketMessage(MsgSocketEvent, static_cast<std::uintptr_t>(m_HSocket),
                      static_cast<std::intptr_t>((static_cast<std::uint32_t>(Code) << 16) | FD_CONNECT_BIT));
    return {};
  }
  m_LastError = Code;
  return TStepFailure::PlatformError("Connect");
}

void TCustomWSocket::ApplyLinger()
{
  if (const TStepResult Failure = SetLingerOption()) RaiseStepFailure(*Failure);
}

TCustomWSocket::TStepResult TCustomWSocket::SetLingerOption()
{
  if (m_LingerOnOff == wsLingerNoSet) return {};
  if (m_HSocket == InvalidSocket) return TStepFailure::Message("Cannot set linger option at this time");
  linger L{};
  L.l_onoff = m_LingerOnOff == wsLingerOn ? 1 : 0;
  L.l_linger = static_cast<std::uint16_t>(m_LingerTimeout);
  if (WSocket_setsockopt(m_HSocket, SOL_SOCKET, SO_LINGER, &L, sizeof L) != 0)
    return TStepFailure::PlatformError("setsockopt(SO_LINGER)");
  return {};
}

void TCustomWSocket::BindLocal()
{
  if (const TStepResult Failure = BindLocalAddress()) RaiseStepFailure(*Failure);
}

TCustomWSocket::TStepResult TCustomWSocket::BindLocalAddress()
{
  using WSocketDetail::FormatMessage;
  sockaddr_in Local{};
  Local.sin_family = AF_INET;
  Local.sin_port = htons(m_LocalPortNumber);
  try {
    Local.sin_addr.s_addr = WSocketResolveHost(m_LocalAddr);
  } catch (const std::exception& E) {
    return TStepFailure::Message(E.what());
  }
  if (WSocket_bind(m_HSocket, Local) != 0)
    return TStepFailure::Message(FormatMessage("winsock.bind failed, error #%d", "", WSocket_WSAGetLastError()));
  sockaddr_in Bound{};
  if (WSocket_getsockname(m_HSocket, &Bound) != 0)
    return TStepFailure::Message(FormatMessage("winsock.getsockname failed, error #%d", "", WSocket_WSAGetLastError()));
  m_LocalPortNumber = ntohs(Bound.sin_port);
  m_LocalPort = std::to_string(m_LocalPortNumber);
  return {};
}

void TCustomWSocket::Close() { CloseSession(true, 0); }

void TCustomWSocket::CloseSession(bool ShutFirst, std::uint16_t ErrCode)
{
  if (m_HSocket == InvalidSocket) {
    if (m_State != wsClosed) {
      SetState(wsClosed);
      ResetToDefaults();
    }
    return;
  }
  if (m_State == wsClosed) return;
  if (ShutFirst) WSocket_shutdown(m_HSocket, SHUT_WR);
  if (CloseHandle() != 0) {
    const int Code = WSocket_WSAGetLastError();
    m_LastError = Code;
    // close() releases the descriptor whatever it reports, so it is never retried (the
    // number may already belong to someone else); only these codes count as closed.
    if (Code == kWsaEWouldBlock)
      PumpMessages();
    else if (Code != kWsaNotInitialised) {
      ReportSocketError("Disconnect (closesocket)");
      return;
    }
  }
  const std::uint64_t Session = m_Session;
  SetState(wsClosed);
  if (!m_Destroying && !m_CloseInvoked) {
    m_CloseInvoked = true;
    TriggerSessionClosed(ErrCode);
  }
  // A handler that connected again owns the socket now; resetting would drop its session.
  if (Session != m_Session) return;
  try {
    ResetToDefaults();
  } catch (...) {
  }
}

void TCustomWSocket::AbortWithError(std::uint16_t ErrCode)
{
  // Withdrawing a lookup cannot be refused here: its worker's answer just goes stale.
  CancelHostLookup();
  DiscardSendQueue();
  if (m_State == wsConnected && m_ProtocolNumber == 6) {
    m_LingerOnOff = wsLingerOff;
    if (const TStepResult Failure = SetLingerOption()) {
      RaiseStepFailure(*Failure);
      return;
    }
  }
  CloseSession(false, ErrCode);
}

void TCustomWSocket::Abort() { AbortWithError(0); }

void TCustomWSocket::PumpMessages() { QCoreApplication::processEvents(); }

// ---------------------------------------------------------------------------------------------
// Receiving

std::int32_t TCustomWSocket::DoRecv(void* Buffer, std::int32_t BufferSize, int Flags)
{
  if (m_HSocket == InvalidSocket) {
    WSocket_WSASetLastError(kWsaENotSock);
    return -1;
  }
  const std::int32_t N = WSocket_recv(m_HSocket, Buffer, BufferSize, Flags);
  if (N == 0 && BufferSize > 0 && !(Flags & MSG_PEEK)) m_Watcher->EndOfStreamSeen();
  return N;
}

std::int32_t TCustomWSocket::Receive(void* Buffer, std::int32_t BufferSize)
{
  const std::int32_t N = DoRecv(Buffer, BufferSize, 0);
  if (N < 0)
    m_LastError = WSocket_WSAGetLastError();
  else
    m_ReadCount += N;
  return N;
}

std::int32_t TCustomWSocket::RcvdCount()
{
  std::uint32_t Waiting = 0;
  if (m_HSocket == InvalidSocket)
    WSocket_WSASetLastError(kWsaENotSock);
  else if (WSocket_ioctlsocket_FIONREAD(m_HSocket, &Waiting) == 0)
    return static_cast<std::int32_t>(Waiting);
  ReportSocketError("ioctlSocket");
  return -1;
}

int TCustomWSocket::GetPeerName(sockaddr_in& Name) { return WSocket_getpeername(m_HSocket, &Name); }
