// SPDX-License-Identifier: MIT
#include "net/WSocketWatcher.h"

#include <cerrno>

#include <QSocketNotifier>

#include "net/SocketErrors.h"
#include "net/WSocket.h"

TSocketWatcher::TSocketWatcher(TCustomWSocket& Socket) : m_Socket(Socket) {}

TSocketWatcher::~TSocketWatcher() = default;

void TSocketWatcher::Start(TSocket S)
{
    Stop();
    m_Handle = S;
    m_Phase = TPhase::Idle;
    m_Read = std::make_unique<QSocketNotifier>(S, QSocketNotifier::Read);
    m_Read->setEnabled(false);
    QObject::connect(m_Read.get(), &QSocketNotifier::activated, m_Read.get(), [this] { OnReadable(); });
    m_Write = std::make_unique<QSocketNotifier>(S, QSocketNotifier::Write);
    m_Write->setEnabled(false);
    QObject::connect(m_Write.get(), &QSocketNotifier::activated, m_Write.get(), [this] { OnWritable(); });
}

void TSocketWatcher::BeginConnect()
{
    if (!m_Write)
        return;
    m_Phase = TPhase::Connecting;
    m_Write->setEnabled(true);
}

void TSocketWatcher::EndWatching()
{
    m_Phase = TPhase::Ended;
    if (m_Read)
        m_Read->setEnabled(false);
    if (m_Write)
        m_Write->setEnabled(false);
}

void TSocketWatcher::Stop()
{
    // Disabled before the descriptor goes, so the event dispatcher never polls a closed fd.
    EndWatching();
    m_Read.reset();
    m_Write.reset();
    m_Handle = InvalidSocket;
    m_Phase = TPhase::Idle;
}

void TSocketWatcher::ReadHandled()
{
    if (m_Phase == TPhase::Connected && m_Read)
        m_Read->setEnabled(true);
}

void TSocketWatcher::WantWrite()
{
    if (m_Phase == TPhase::Connected && m_Write)
        m_Write->setEnabled(true);
}

void TSocketWatcher::Resume()
{
    // As a fresh registration would: report readability, and writability once.
    if (m_Phase != TPhase::Connected)
        return;
    m_Read->setEnabled(true);
    m_Write->setEnabled(true);
}

void TSocketWatcher::Post(std::uint16_t Bits, std::uint16_t ErrCode)
{
    const auto LParam = static_cast<std::intptr_t>((static_cast<std::uint32_t>(ErrCode) << 16) | Bits);
    m_Socket.PostSocketMessage(MsgSocketEvent, static_cast<std::uintptr_t>(m_Handle), LParam);
}

void TSocketWatcher::OnWritable()
{
    m_Write->setEnabled(false);
    if (m_Phase == TPhase::Connecting) {
        // The outcome of a non-blocking connect is the socket's pending error, never assumed.
        int Pending = 0;
        socklen_t Len = sizeof Pending;
        int Code;
        if (WSocket_getsockopt(m_Handle, SOL_SOCKET, SO_ERROR, &Pending, &Len) != 0)
            Code = WSocket_WSAGetLastError();
        else
            Code = MapNativeError(Pending);
        Post(FD_CONNECT_BIT, static_cast<std::uint16_t>(Code));
        if (Code != 0) {
            m_Phase = TPhase::Ended;
            return;
        }
        m_Phase = TPhase::Connected;
        // Windows Sockets reports a connected socket as writable once.
        Post(FD_WRITE_BIT, 0);
        m_Read->setEnabled(true);
        return;
    }
    if (m_Phase == TPhase::Connected)
        Post(FD_WRITE_BIT, 0);
}

void TSocketWatcher::OnReadable()
{
    m_Read->setEnabled(false);
    if (m_Phase != TPhase::Connected)
        return;
    char Probe;
    const int N = WSocket_recv(m_Handle, &Probe, 1, MSG_PEEK);
    if (N > 0) {
        // Re-enabled by ReadHandled once this notification has been dispatched.
        Post(FD_READ_BIT, 0);
        return;
    }
    const int Code = N == 0 ? 0 : WSocket_WSAGetLastError();
    if (Code == 10035) {
        m_Read->setEnabled(true);
        return;
    }
    // Orderly close (0) or a reset: only reached once every byte before it has been read,
    // so the data is delivered before the close. The notifier stays off from here on: an
    // ended stream stays readable forever.
    m_Phase = TPhase::Ended;
    Post(FD_CLOSE_BIT, static_cast<std::uint16_t>(Code));
}
