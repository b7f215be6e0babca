// SPDX-License-Identifier: MIT
#include "net/WSocket.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include "net/WSocketLookup.h"
#include "net/WSocketWatcher.h"
#include "net/WSocketWindow.h"

namespace {

std::string Trim(const std::string& S)
{
    std::size_t B = 0;
    std::size_t E = S.size();
    while (B < E && static_cast<unsigned char>(S[B]) <= 32)
        ++B;
    while (E > B && static_cast<unsigned char>(S[E - 1]) <= 32)
        --E;
    return S.substr(B, E - B);
}

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
    if (CachedNumber >= 0 && Proto == CachedText)
        return CachedNumber;
    const int Number = WSocketResolveProto(Proto);
    CachedText = Proto;
    CachedNumber = Number;
    return Number;
}

std::uint16_t LowWord(std::intptr_t V)
{
    return static_cast<std::uint16_t>(static_cast<std::uintptr_t>(V) & 0xFFFF);
}

std::uint16_t HighWord(std::intptr_t V)
{
    return static_cast<std::uint16_t>((static_cast<std::uintptr_t>(V) >> 16) & 0xFFFF);
}

} // namespace

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
    if (m_HSocket != InvalidSocket)
        CloseHandle();
    if (--SocketUserCount < 1)
        UnloadSocketLibrary();
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

void TCustomWSocket::DestroySocketWindow()
{
    m_Window.reset();
}

QObject* TCustomWSocket::WindowHandle() const
{
    return m_Window.get();
}

void TCustomWSocket::PostSocketMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam)
{
    if (m_Window)
        m_Window->Post(Msg, WParam, LParam, m_Session);
}

// ---------------------------------------------------------------------------------------------
// Private messages

void TCustomWSocket::ReceiveWindowMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam,
                                          std::uint64_t Session, std::shared_ptr<TLookupCompletion> Lookup)
{
    if (Msg == MsgSocketEvent) {
        // The handle may have been closed, or closed and its number reused, since posting.
        if (Session != m_Session || m_HSocket == InvalidSocket)
            return;
        if (m_Paused)
            return; // Resume watches again
        DispatchSocketMessage(Msg, WParam, LParam);
        return;
    }
    if (Msg == MsgHostLookupDone)
        m_LookupBuffer = std::move(Lookup);
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
        case MsgSocketEvent: {
            if (static_cast<TSocket>(WParam) != m_HSocket || m_Paused)
                return;
            const std::uint16_t Bits = LowWord(LParam);
            const std::uint16_t ErrCode = HighWord(LParam);
            const std::uint64_t Session = m_Session;
            struct TBit {
                std::uint16_t Bit;
                void (TCustomWSocket::*Handler)(std::uint16_t);
            };
            static constexpr TBit Order[] = {
                {FD_CONNECT_BIT, &TCustomWSocket::HandleConnectEvent},
                {FD_READ_BIT, &TCustomWSocket::HandleReadEvent},
                {FD_WRITE_BIT, &TCustomWSocket::HandleWriteEvent},
                {FD_ACCEPT_BIT, &TCustomWSocket::HandleAcceptEvent},
                {FD_CLOSE_BIT, &TCustomWSocket::HandleCloseEvent},
            };
            for (const TBit& B : Order) {
                // Bits of one message all belong to the handle it named.
                if (!(Bits & B.Bit) || Session != m_Session)
                    continue;
                m_CurrentEvent = B.Bit;
                try {
                    (this->*B.Handler)(ErrCode);
                } catch (...) {
                    m_CurrentEvent = 0;
                    throw;
                }
                m_CurrentEvent = 0;
            }
            break;
        }
        case MsgHostLookupDone:
            HandleLookupCompletion(WParam, LParam, m_LookupBuffer);
            break;
        case MsgCloseDelayed:
            Close();
            break;
        case MsgReleaseSocket:
            deleteLater();
            break;
        case MsgTestException:
            RaiseSocketException("Test exception in WSocket");
            break;
        default:
            break;
        }
    } catch (const std::exception& E) {
        HandleEventException(E);
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
// Defaults, properties

void TCustomWSocket::ResetToDefaults()
{
    // Dropping a live handle here would leak it and leave its notifiers running.
    if (m_HSocket != InvalidSocket)
        CloseHandle();
    m_RemoteAddress.sin_family = AF_INET;
    m_AddrFamily = AF_INET;
    m_PortAssigned = false;
    m_AddrAssigned = false;
    m_AddrResolved = false;
    m_PortResolved = false;
    m_ProtoResolved = false;
    m_LocalPortResolved = false;
    m_ProtoAssigned = true;
    m_ProtocolNumber = 6;
    m_Proto = "tcp";
    m_SocketType = 1;
    m_LocalPort = "0";
    m_LocalAddr = "0.0.0.0";
    m_LingerOnOff = wsLingerOn;
    m_LingerTimeout = 0;
    m_HSocket = InvalidSocket;
    m_EventMask = 0;
    m_State = wsClosed;
    m_AllSent = true;
    m_Paused = false;
    m_ReadCount = 0;
    m_CloseInvoked = false;
    m_FlushTimeout = 60;
}

void TCustomWSocket::SetAddr(const std::string& Value)
{
    if (Value == m_Addr && m_AddrAssigned)
        return;
    if (m_State != wsClosed) {
        RaiseSocketException("Cannot change Addr if not closed");
        return;
    }
    m_Addr = Trim(Value);
    m_AddrAssigned = !m_Addr.empty();
    if (m_AddrAssigned)
        m_AddrResolved = false;
}

void TCustomWSocket::SetPort(const std::string& Value)
{
    if (Value == m_Port && m_PortAssigned)
        return;
    if (m_State != wsClosed) {
        RaiseSocketException("Cannot change Port if not closed");
        return;
    }
    m_Port = Trim(Value);
    m_PortAssigned = !m_Port.empty();
    if (m_PortAssigned)
        m_PortResolved = false;
}

void TCustomWSocket::SetProto(const std::string& Value)
{
    if (Value == m_Proto && m_ProtoAssigned)
        return;
    if (m_State != wsClosed) {
        RaiseSocketException("Cannot change Proto if not closed");
        return;
    }
    m_Proto = Trim(Value);
    m_ProtoAssigned = !m_Proto.empty();
    if (m_ProtoAssigned)
        m_ProtoResolved = false;
}

void TCustomWSocket::SetLocalAddr(const std::string& Value)
{
    if (m_State != wsClosed) {
        RaiseSocketException("Cannot change LocalAddr if not closed");
        return;
    }
    m_LocalAddr = Value.empty() ? std::string("0.0.0.0") : Value;
}

void TCustomWSocket::SetLocalPort(const std::string& Value)
{
    if (m_State != wsClosed) {
        RaiseSocketException("Cannot change LocalPort if not closed");
        return;
    }
    m_LocalPort = Value;
    m_LocalPortResolved = false;
}

TSocketSendFlags TCustomWSocket::SendFlags() const
{
    if (m_SendFlags == 0)
        return wsSendNormal;
    if (m_SendFlags == MSG_OOB)
        return wsSendUrgent;
    throw ESocketException("Invalid internal SendFlags");
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value)
{
    switch (Value) {
    case wsSendNormal:
        m_SendFlags = 0;
        return;
    case wsSendUrgent:
        m_SendFlags = MSG_OOB;
        return;
    }
    RaiseSocketException("Invalid SendFlags");
}

void TCustomWSocket::SetState(TSocketState NewState)
{
    const TSocketState Old = m_State;
    m_State = NewState;
    if (Old != NewState)
        TriggerChangeState(Old, NewState);
}

// ---------------------------------------------------------------------------------------------
// Errors

void TCustomWSocket::RaiseSocketException(const std::string& Msg)
{
    ++m_RaiseCount;
    if (OnError) {
        TriggerError();
        return;
    }
    throw ESocketException(Msg);
}

void TCustomWSocket::RaiseSocketExceptionFmt(const std::string& Fmt, const std::string& Text, int Code)
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
    RaiseSocketException(Msg);
}

void TCustomWSocket::ReportSocketError(const std::string& FunctionName)
{
    const int Code = WSocket_WSAGetLastError();
    const std::string Text =
        "Error " + std::to_string(Code) + " in function " + FunctionName + "\r\n" + SocketErrorText(Code);
    if (Code == kWsaEConnReset || Code == kWsaENotConn) {
        if (m_HSocket != InvalidSocket)
            CloseHandle();
        m_HSocket = InvalidSocket;
        if (m_State != wsClosed) {
            TriggerSessionClosed(static_cast<std::uint16_t>(Code));
            SetState(wsClosed);
        }
    }
    m_LastError = Code;
    RaiseSocketException(Text);
}

// ---------------------------------------------------------------------------------------------
// Events

bool TCustomWSocket::TriggerDataAvailable(std::uint16_t ErrCode)
{
    if (!OnDataAvailable)
        return false;
    OnDataAvailable(this, ErrCode);
    return true;
}

void TCustomWSocket::TriggerSessionAvailable(std::uint16_t ErrCode)
{
    if (OnSessionAvailable)
        OnSessionAvailable(this, ErrCode);
}

void TCustomWSocket::TriggerSessionConnectedHook(std::uint16_t ErrCode)
{
    TriggerSessionConnected(ErrCode);
}

void TCustomWSocket::TriggerSessionConnected(std::uint16_t ErrCode)
{
    if (OnSessionConnected)
        OnSessionConnected(this, ErrCode);
}

void TCustomWSocket::TriggerSessionClosed(std::uint16_t ErrCode)
{
    if (OnSessionClosed)
        OnSessionClosed(this, ErrCode);
}

void TCustomWSocket::TriggerDataSent(std::uint16_t ErrCode)
{
    if (OnDataSent)
        OnDataSent(this, ErrCode);
}

void TCustomWSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState)
{
    if (OnChangeState)
        OnChangeState(this, OldState, NewState);
}

void TCustomWSocket::TriggerDnsLookupDone(std::uint16_t ErrCode)
{
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, ErrCode);
}

void TCustomWSocket::TriggerError()
{
    if (OnError)
        OnError(this);
}

// ---------------------------------------------------------------------------------------------
// Network notifications

void TCustomWSocket::MarkConnected()
{
    SetState(wsConnected);
}

void TCustomWSocket::HandleConnectEvent(std::uint16_t ErrCode)
{
    if (m_State == wsConnected)
        return;
    MarkConnected();
    TriggerSessionConnectedHook(ErrCode);
    if (ErrCode != 0 && m_State != wsClosed)
        Close();
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
    if (m_AllSent)
        TriggerDataSent(ErrCode);
}

void TCustomWSocket::HandleAcceptEvent(std::uint16_t ErrCode)
{
    TriggerSessionAvailable(ErrCode);
}

void TCustomWSocket::HandleCloseEvent(std::uint16_t ErrCode)
{
    if (m_State == wsConnecting)
        return;
    const std::uint64_t Session = m_Session;
    ReceiveLoop(0, m_ComponentOptions & ~static_cast<TWSocketOptions>(wsoNoReceiveLoop));
    // A handler that closed the socket has already ended the session and reported it.
    if (Session != m_Session)
        return;
    if (!m_CloseInvoked) {
        m_CloseInvoked = true;
        TriggerSessionClosed(ErrCode);
    }
    if (m_State != wsClosed)
        Close();
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
            if (Options & wsoNoReceiveLoop)
                break;
            if (m_LastError != 0)
                break;
            // The handler may have closed the socket (and even opened another on the same
            // descriptor number).
            if (Session != m_Session || m_HSocket == InvalidSocket)
                break;
            std::uint32_t Waiting = 0;
            if (WSocket_ioctlsocket_FIONREAD(m_HSocket, &Waiting) != 0) {
                m_LastError = WSocket_WSAGetLastError();
                break;
            }
            if (Waiting == 0)
                break;
        }
    } catch (...) {
        // Exceptions of the receive loop, including the handler's, are discarded.
    }
}

// ---------------------------------------------------------------------------------------------
// Connect, close, abort

void TCustomWSocket::StartWatching()
{
    ++m_Session;
    m_Watcher->Start(m_HSocket);
}

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
    if (m_HSocket != InvalidSocket && m_State != wsClosed) {
        RaiseSocketException("Connect: Socket already in use");
        return;
    }
    if (!m_PortAssigned) {
        RaiseSocketException("Connect: No Port Specified");
        return;
    }
    if (!m_AddrAssigned) {
        RaiseSocketException("Connect: No IP Address Specified");
        return;
    }
    if (!m_ProtoAssigned) {
        RaiseSocketException("Connect: No Protocol Specified");
        return;
    }
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
        RaiseSocketException(std::string("connect: ") + E.what());
        return;
    }

    DiscardSendQueue();

    // A descriptor left behind by a session that ended without a close.
    if (m_HSocket != InvalidSocket)
        CloseHandle();
    const int Type = m_SocketType == 1 ? SOCK_STREAM : m_SocketType == 2 ? SOCK_DGRAM : SOCK_RAW;
    m_HSocket = WSocket_socket(m_AddrFamily, Type, m_ProtocolNumber);
    if (m_HSocket == InvalidSocket) {
        ReportSocketError("Connect (socket)");
        return;
    }
    ++m_Session;
    // Normally already so after the last close's reset; not when a handler of that close
    // connected again before the reset.
    m_CloseInvoked = false;

    SetState(wsOpened);
    if (m_State != wsOpened) {
        WSocket_WSASetLastError(kWsaEInval);
        ReportSocketError("Connect (Invalid operation in OnChangeState)");
        return;
    }

    if (m_SocketType == 1) {
        const int On = 1;
        if (WSocket_setsockopt(m_HSocket, SOL_SOCKET, SO_REUSEADDR, &On, sizeof On) != 0) {
            ReportSocketError("setsockopt(SO_REUSEADDR)");
            return;
        }
        if ((m_ComponentOptions & wsoTcpNoDelay)
            && WSocket_setsockopt(m_HSocket, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On) != 0) {
            ReportSocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
            return;
        }
        const auto Raised = m_RaiseCount;
        ApplyLinger();
        if (m_RaiseCount != Raised)
            return;
        if (WSocket_setsockopt(m_HSocket, SOL_SOCKET, SO_KEEPALIVE, &On, sizeof On) != 0) {
            ReportSocketError("setsockopt(SO_KEEPALIVE)");
            return;
        }
        if (m_LocalPortNumber != 0 || m_LocalAddr != "0.0.0.0") {
            BindLocal();
            if (m_RaiseCount != Raised)
                return;
        }
    }

    m_EventMask = FD_READ_BIT | FD_WRITE_BIT | FD_ACCEPT_BIT | FD_CONNECT_BIT | FD_CLOSE_BIT;
    m_Watcher->Start(m_HSocket);

    if (WSocket_connect(m_HSocket, m_RemoteAddress) == 0 || WSocket_WSAGetLastError() == kWsaEWouldBlock) {
        SetState(wsConnecting);
        m_Watcher->BeginConnect();
        return;
    }
    const int Code = WSocket_WSAGetLastError();
    if (IsConnectOutcome(Code)) {
        SetState(wsConnecting);
        m_Watcher->EndWatching();
        PostSocketMessage(MsgSocketEvent, static_cast<std::uintptr_t>(m_HSocket),
                          static_cast<std::intptr_t>((static_cast<std::uint32_t>(Code) << 16) | FD_CONNECT_BIT));
        return;
    }
    m_LastError = Code;
    ReportSocketError("Connect");
}

void TCustomWSocket::ApplyLinger()
{
    if (m_LingerOnOff == wsLingerNoSet)
        return;
    if (m_HSocket == InvalidSocket) {
        RaiseSocketException("Cannot set linger option at this time");
        return;
    }
    linger L{};
    L.l_onoff = m_LingerOnOff == wsLingerOn ? 1 : 0;
    L.l_linger = static_cast<std::uint16_t>(m_LingerTimeout);
    if (WSocket_setsockopt(m_HSocket, SOL_SOCKET, SO_LINGER, &L, sizeof L) != 0)
        ReportSocketError("setsockopt(SO_LINGER)");
}

void TCustomWSocket::BindLocal()
{
    sockaddr_in Local{};
    Local.sin_family = AF_INET;
    Local.sin_port = htons(m_LocalPortNumber);
    try {
        Local.sin_addr.s_addr = WSocketResolveHost(m_LocalAddr);
    } catch (const std::exception& E) {
        RaiseSocketException(E.what());
        return;
    }
    if (WSocket_bind(m_HSocket, Local) != 0) {
        RaiseSocketExceptionFmt("winsock.bind failed, error #%d", "", WSocket_WSAGetLastError());
        return;
    }
    sockaddr_in Bound{};
    if (WSocket_getsockname(m_HSocket, &Bound) != 0) {
        RaiseSocketExceptionFmt("winsock.getsockname failed, error #%d", "", WSocket_WSAGetLastError());
        return;
    }
    m_LocalPortNumber = ntohs(Bound.sin_port);
    m_LocalPort = std::to_string(m_LocalPortNumber);
}

void TCustomWSocket::Close()
{
    CloseSession(true, 0);
}

void TCustomWSocket::CloseSession(bool ShutFirst, std::uint16_t ErrCode)
{
    if (m_HSocket == InvalidSocket) {
        if (m_State != wsClosed) {
            SetState(wsClosed);
            ResetToDefaults();
        }
        return;
    }
    if (m_State == wsClosed)
        return;
    if (ShutFirst)
        WSocket_shutdown(m_HSocket, SHUT_WR);
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
    if (Session != m_Session)
        return;
    try {
        ResetToDefaults();
    } catch (...) {
    }
}

void TCustomWSocket::AbortWithError(std::uint16_t ErrCode)
{
    const auto Raised = m_RaiseCount;
    CancelHostLookup();
    if (m_RaiseCount != Raised)
        return;
    DiscardSendQueue();
    if (m_State == wsConnected && m_ProtocolNumber == 6) {
        m_LingerOnOff = wsLingerOff;
        ApplyLinger();
        if (m_RaiseCount != Raised)
            return;
    }
    CloseSession(false, ErrCode);
}

void TCustomWSocket::Abort()
{
    AbortWithError(0);
}

void TCustomWSocket::CloseDelayed()
{
    PostSocketMessage(MsgCloseDelayed, 0, 0);
}

void TCustomWSocket::Release()
{
    PostSocketMessage(MsgReleaseSocket, 0, 0);
}

void TCustomWSocket::Shutdown(int How)
{
    if (m_HSocket == InvalidSocket)
        return;
    WSocket_shutdown(m_HSocket, How);
    if (How == SHUT_WR || How == SHUT_RDWR)
        m_SendShut = true;
}

// ---------------------------------------------------------------------------------------------
// Sending

void TCustomWSocket::DiscardSendQueue()
{
    m_SendQueue.clear();
}

void TCustomWSocket::QueueSendData(const void* Data, std::int32_t Len)
{
    if (Len <= 0)
        return;
    const char* P = static_cast<const char*>(Data);
    if (m_SendQueue.empty())
        m_SendQueue.push_back(std::make_unique<TBuffer>(SendBlockSize));
    for (;;) {
        const std::int32_t N = m_SendQueue.back()->Append(P, Len);
        if (N >= Len)
            return;
        Len -= N;
        P += N;
        m_SendQueue.push_back(std::make_unique<TBuffer>(SendBlockSize));
    }
}

std::int32_t TCustomWSocket::SendBlock(const void* Data, std::int32_t Len)
{
    return WSocket_send(m_HSocket, Data, Len, m_SendFlags);
}

void TCustomWSocket::TryToSend()
{
    if (m_HSocket == InvalidSocket || m_SendQueue.empty())
        return;
    const std::uint64_t Session = m_Session;
    for (;;) {
        const char* Data = nullptr;
        const std::int32_t Len = m_SendQueue.front()->Peek(Data);
        if (Len <= 0) {
            if (m_SendQueue.size() > 1) {
                m_SendQueue.erase(m_SendQueue.begin());
                continue;
            }
            m_AllSent = true;
            return;
        }
        const std::int32_t Count = SendBlock(Data, Len);
        if (Count > 0 && OnSendData) {
            OnSendData(this, Count);
            // The handler may have ended the session or discarded the queue.
            if (Session != m_Session || m_SendQueue.empty())
                return;
        }
        if (Count == 0)
            return;
        if (Count < 0) {
            int Code = WSocket_WSAGetLastError();
            // Linux answers a send on a stream that is not (or no longer) connected with
            // EPIPE; unless we shut the sending side ourselves, that is "not connected".
            if (Code == kWsaEShutdown && !m_SendShut)
                Code = kWsaENotConn;
            if (Code == kWsaEInval || Code == kWsaENotSock || Code == kWsaEConnAborted
                || Code == kWsaEConnReset || Code == kWsaENotConn) {
                m_CloseInvoked = true;
                Close();
                TriggerSessionClosed(static_cast<std::uint16_t>(Code));
                return;
            }
            if (Code == kWsaEWouldBlock) {
                m_Watcher->WantWrite();
                return;
            }
            WSocket_WSASetLastError(Code);
            ReportSocketError("TryToSend failed");
            return;
        }
        m_SendQueue.front()->Consume(Count);
        if (Count < Len) {
            // The kernel took part of the block; it reports writability when it has room,
            // and the rest must not wait for an unrelated event.
            m_Watcher->WantWrite();
            return;
        }
    }
}

std::int32_t TCustomWSocket::Send(const void* Data, std::int32_t Len)
{
    if (m_State != wsConnected && m_State != wsSocksConnected) {
        WSocket_WSASetLastError(kWsaENotConn);
        ReportSocketError("Send");
        return -1;
    }
    m_AllSent = false;
    std::int32_t Result = 0;
    if (Len > 0) {
        QueueSendData(Data, Len);
        Result = Len;
    }
    TryToSend();
    if (m_AllSent && m_HSocket != InvalidSocket)
        PostSocketMessage(MsgSocketEvent, static_cast<std::uintptr_t>(m_HSocket), FD_WRITE_BIT);
    return Result;
}

std::int32_t TCustomWSocket::SendStr(const std::string& Str)
{
    if (Str.empty())
        return 0;
    return Send(Str.data(), static_cast<std::int32_t>(Str.size()));
}

std::int32_t TCustomWSocket::SendTo(const sockaddr_in&, const void*, std::int32_t)
{
    RaiseSocketException("SendTo: datagram sockets are not supported");
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Receiving

std::int32_t TCustomWSocket::DoRecv(void* Buffer, std::int32_t BufferSize, int Flags)
{
    if (m_HSocket == InvalidSocket) {
        WSocket_WSASetLastError(kWsaENotSock);
        return -1;
    }
    const std::int32_t N = WSocket_recv(m_HSocket, Buffer, BufferSize, Flags);
    if (N == 0 && BufferSize > 0 && !(Flags & MSG_PEEK))
        m_Watcher->EndOfStreamSeen();
    return N;
}

std::int32_t TCustomWSocket::DoRecvFrom(void*, std::int32_t, sockaddr_in*, int)
{
    WSocket_WSASetLastError(kWsaENotSock);
    return -1;
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

std::string TCustomWSocket::ReceiveStr()
{
    const std::int32_t Waiting = RcvdCount();
    if (Waiting <= 0)
        return {};
    std::string Text(static_cast<std::size_t>(Waiting), '\0');
    const std::int32_t N = Receive(Text.data(), Waiting);
    Text.resize(N > 0 ? static_cast<std::size_t>(N) : 0);
    return Text;
}

std::int32_t TCustomWSocket::ReceiveFrom(void*, std::int32_t, sockaddr_in*)
{
    RaiseSocketException("ReceiveFrom: datagram sockets are not supported");
    return -1;
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

// ---------------------------------------------------------------------------------------------
// Host lookup

void TCustomWSocket::DnsLookup(const std::string& HostName)
{
    if (!ResetLookup(HostName))
        return;
    if (IsDottedAddress(HostName)) {
        const std::uint32_t A = WSocket_inet_addr(HostName.c_str());
        if (A != INADDR_NONE) {
            m_DnsResult = WSocket_inet_ntoa(A);
            m_DnsResultList.push_back(m_DnsResult);
            TriggerDnsLookupDone(0);
            return;
        }
    }
    StartBackgroundLookup(HostName, TLookupFamily::Ipv4);
}

void TCustomWSocket::DnsLookup6(const std::string& HostName)
{
    if (ResetLookup(HostName))
        StartBackgroundLookup(HostName, TLookupFamily::Ipv6);
}

bool TCustomWSocket::ResetLookup(const std::string& HostName)
{
    if (HostName.empty()) {
        RaiseSocketException("DNS lookup: invalid host name.");
        TriggerDnsLookupDone(kWsaEInval);
        return false;
    }
    // The running worker cannot be stopped; forgetting its handle makes its completion stale.
    m_LookupHandle = 0;
    m_DnsResult.clear();
    m_DnsResultList.clear();
    return true;
}

void TCustomWSocket::StartBackgroundLookup(const std::string& HostName, TLookupFamily Family)
{
    if (!m_Window) {
        RaiseSocketException("DnsLookup: Window not assigned");
        return;
    }
    m_EarlyCompletion = false;
    const std::uint32_t Handle = StartHostLookup(m_Window->Token(), HostName, Family);
    if (Handle == 0) {
        RaiseSocketExceptionFmt("%s: can't start DNS lookup, error #%d", HostName, WSocket_WSAGetLastError());
        return;
    }
    m_LookupHandle = Handle;
    if (m_EarlyCompletion) {
        m_EarlyCompletion = false;
        TSavedCompletion Saved = std::move(m_SavedCompletion);
        m_SavedCompletion = {};
        HandleLookupCompletion(Saved.WParam, Saved.LParam, Saved.Lookup);
    }
}

void TCustomWSocket::HandleLookupCompletion(std::uintptr_t WParam, std::intptr_t LParam,
                                            const std::shared_ptr<TLookupCompletion>& Lookup)
{
    if (m_LookupHandle == 0) {
        // Dispatched before the start call returned its handle (or after a cancel, when
        // the next DnsLookup discards it).
        m_SavedCompletion = {MsgHostLookupDone, WParam, LParam, Lookup};
        m_EarlyCompletion = true;
        return;
    }
    if (WParam != m_LookupHandle)
        return;
    m_LookupHandle = 0;
    const std::uint16_t ErrCode = HighWord(LParam);
    if (ErrCode == 0 && Lookup && Lookup->Ipv6) {
        for (const TIpv6Bytes& A : Lookup->Addresses6)
            m_DnsResultList.push_back(WSocketFormatAddress6(A));
        if (!m_DnsResultList.empty())
            m_DnsResult = m_DnsResultList.front();
    } else if (ErrCode == 0 && Lookup) {
        std::vector<std::uint32_t> Addresses = Lookup->Addresses;
        std::vector<char*> List;
        for (std::uint32_t& A : Addresses)
            List.push_back(reinterpret_cast<char*>(&A));
        List.push_back(nullptr);
        hostent Entry{};
        Entry.h_addrtype = AF_INET;
        Entry.h_length = 4;
        Entry.h_addr_list = List.data();
        CollectAddresses(&Entry, m_DnsResultList);
        if (!m_DnsResultList.empty())
            m_DnsResult = m_DnsResultList.front();
    }
    TriggerDnsLookupDone(ErrCode);
}

void TCustomWSocket::CancelHostLookup()
{
    if (m_LookupHandle == 0)
        return;
    m_LookupHandle = 0;
    if (!m_Destroying)
        TriggerDnsLookupDone(kWsaEIntr);
}

void TCustomWSocket::ReverseDnsLookup(const std::string&)
{
    RaiseSocketException("ReverseDnsLookup: not supported");
}

// ---------------------------------------------------------------------------------------------
// Names

int TCustomWSocket::GetPeerName(sockaddr_in& Name)
{
    return WSocket_getpeername(m_HSocket, &Name);
}

int TCustomWSocket::GetSockName(sockaddr_in& Name)
{
    return WSocket_getsockname(m_HSocket, &Name);
}

std::string TCustomWSocket::PeerAddr()
{
    if (m_State != wsConnected)
        return "error";
    sockaddr_in Peer{};
    if (GetPeerName(Peer) != 0) {
        ReportSocketError("GetPeerName");
        return "error";
    }
    return WSocket_inet_ntoa(Peer.sin_addr.s_addr);
}

std::string TCustomWSocket::PeerPort()
{
    if (m_State != wsConnected)
        return "error";
    sockaddr_in Peer{};
    if (GetPeerName(Peer) != 0) {
        ReportSocketError("GetPeerPort");
        return "error";
    }
    return std::to_string(ntohs(Peer.sin_port));
}

std::string TCustomWSocket::GetXPort()
{
    sockaddr_in Local{};
    if (m_HSocket == InvalidSocket || GetSockName(Local) != 0)
        return "error";
    return std::to_string(ntohs(Local.sin_port));
}

std::string TCustomWSocket::GetXAddr()
{
    sockaddr_in Local{};
    if (m_HSocket == InvalidSocket || GetSockName(Local) != 0)
        return "error";
    return WSocket_inet_ntoa(Local.sin_addr.s_addr);
}

bool TCustomWSocket::TimeValueIsSet(const timeval& T) const
{
    return T.tv_sec != 0 || T.tv_usec != 0;
}

int TCustomWSocket::TimeValueCompare(const timeval& A, const timeval& B) const
{
    if (A.tv_sec != B.tv_sec)
        return A.tv_sec < B.tv_sec ? -1 : 1;
    if (A.tv_usec != B.tv_usec)
        return A.tv_usec < B.tv_usec ? -1 : 1;
    return 0;
}

void TCustomWSocket::TimeValueClear(timeval& T) const
{
    T.tv_sec = 0;
    T.tv_usec = 0;
}

// ---------------------------------------------------------------------------------------------
// Features the TCP client path does not use

void TCustomWSocket::Listen()
{
    RaiseSocketException("Listen: not supported");
}

TSocket TCustomWSocket::Accept()
{
    RaiseSocketException("Accept: not supported");
    return InvalidSocket;
}

void TCustomWSocket::Dup(TSocket)
{
    RaiseSocketException("Dup: not supported");
}

void TCustomWSocket::Pause()
{
    m_Paused = true;
    m_Watcher->Pause();
}

void TCustomWSocket::Resume()
{
    m_Paused = false;
    m_Watcher->Resume();
}

// ---------------------------------------------------------------------------------------------
// Message pump and waits

void TCustomWSocket::PumpMessages()
{
    QCoreApplication::processEvents();
}

namespace {

// Runs the event loop until Done() holds or TimeoutMs passes (< 0: no limit).
template <typename F>
bool PumpUntil(F Done, int TimeoutMs)
{
    const QDeadlineTimer Deadline(TimeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(TimeoutMs));
    QTimer Wake;
    while (!Done()) {
        if (Deadline.hasExpired())
            return false;
        // Wakes the blocking wait below when the time is up.
        if (!Deadline.isForever())
            Wake.start(static_cast<int>(std::max<qint64>(1, Deadline.remainingTime())));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace

bool TCustomWSocket::WaitUntilSent(int TimeoutMs)
{
    return PumpUntil([this] { return m_AllSent || m_HSocket == InvalidSocket; }, TimeoutMs) && m_AllSent;
}

bool TCustomWSocket::WaitUntilClosed(int TimeoutMs)
{
    return PumpUntil([this] { return m_State == wsClosed; }, TimeoutMs);
}

// ---------------------------------------------------------------------------------------------
// Layers: with no SOCKS server and LineMode false they pass every call through.

TCustomSocksWSocket::TCustomSocksWSocket(QObject* Owner) : TCustomWSocket(Owner) {}

void TCustomSocksWSocket::ResetToDefaults() { TCustomWSocket::ResetToDefaults(); }
std::int32_t TCustomSocksWSocket::RcvdCount() { return TCustomWSocket::RcvdCount(); }
bool TCustomSocksWSocket::TriggerDataAvailable(std::uint16_t ErrCode) { return TCustomWSocket::TriggerDataAvailable(ErrCode); }
void TCustomSocksWSocket::TriggerSessionConnectedHook(std::uint16_t ErrCode) { TCustomWSocket::TriggerSessionConnectedHook(ErrCode); }
void TCustomSocksWSocket::TriggerSessionClosed(std::uint16_t ErrCode) { TCustomWSocket::TriggerSessionClosed(ErrCode); }
std::int32_t TCustomSocksWSocket::DoRecv(void* Buffer, std::int32_t BufferSize, int Flags) { return TCustomWSocket::DoRecv(Buffer, BufferSize, Flags); }
void TCustomSocksWSocket::Connect() { TCustomWSocket::Connect(); }
void TCustomSocksWSocket::Listen() { TCustomWSocket::Listen(); }

void TCustomSocksWSocket::SetSocksServer(const std::string& Value)
{
    // A SOCKS server would silently be bypassed: refuse it instead.
    if (!Trim(Value).empty()) {
        RaiseSocketException("SOCKS is not supported");
        return;
    }
    m_SocksServer.clear();
}

void TCustomSocksWSocket::SetSocksPort(const std::string& Value)
{
    m_SocksPort = Trim(Value);
}

void TCustomSocksWSocket::SetSocksLevel(const std::string& Value)
{
    if (Value != "4" && Value != "4A" && Value != "5") {
        RaiseSocketException("Invalid SocksLevel.");
        return;
    }
    m_SocksLevel = Value;
}

TCustomLineWSocket::TCustomLineWSocket(QObject* Owner) : TCustomSocksWSocket(Owner)
{
    m_LineEnd = "\r\n";
    m_LineMode = false;
    m_LineLimit = 65536;
}

void TCustomLineWSocket::DispatchSocketMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam)
{
    TCustomSocksWSocket::DispatchSocketMessage(Msg, WParam, LParam);
}
std::int32_t TCustomLineWSocket::RcvdCount() { return TCustomSocksWSocket::RcvdCount(); }
bool TCustomLineWSocket::TriggerDataAvailable(std::uint16_t ErrCode) { return TCustomSocksWSocket::TriggerDataAvailable(ErrCode); }
void TCustomLineWSocket::TriggerSessionClosed(std::uint16_t ErrCode) { TCustomSocksWSocket::TriggerSessionClosed(ErrCode); }
std::int32_t TCustomLineWSocket::DoRecv(void* Buffer, std::int32_t BufferSize, int Flags) { return TCustomSocksWSocket::DoRecv(Buffer, BufferSize, Flags); }

void TCustomLineWSocket::SetLineMode(bool Value)
{
    // Line mode would silently deliver unsplit data: refuse it instead.
    if (Value) {
        RaiseSocketException("Line mode is not supported");
        return;
    }
    m_LineMode = false;
}

TCustomSyncWSocket::TCustomSyncWSocket(QObject* Owner) : TCustomLineWSocket(Owner) {}

TWSocket::TWSocket(QObject* Owner) : TCustomSyncWSocket(Owner) {}
