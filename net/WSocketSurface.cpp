// SPDX-License-Identifier: MIT
// What TCustomWSocket offers beyond the TCP client path of the query flow: delayed close and
// release, one-way shutdown, pausing, the datagram and listening entries (which refuse),
// reverse lookup (refused), names of the two ends, time values, and the waits.
#include "net/WSocket.h"

#include <algorithm>

#include <arpa/inet.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include "net/WSocketWatcher.h"

namespace {

// Runs the event loop until Done() holds or TimeoutMs passes (< 0: no limit).
template <typename F>
bool PumpUntil(F Done, int TimeoutMs)
{
  const QDeadlineTimer Deadline(TimeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(TimeoutMs));
  QTimer Wake;
  while (!Done()) {
    if (Deadline.hasExpired()) return false;
    // Wakes the blocking wait below when the time is up.
    if (!Deadline.isForever()) Wake.start(static_cast<int>(std::max<qint64>(1, Deadline.remainingTime())));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Later close and release, one-way shutdown, pause

void TCustomWSocket::CloseDelayed() { PostSocketMessage(MsgCloseDelayed, 0, 0); }

void TCustomWSocket::Release() { PostSocketMessage(MsgReleaseSocket, 0, 0); }

void TCustomWSocket::Shutdown(int How)
{
  if (m_HSocket == InvalidSocket) return;
  WSocket_shutdown(m_HSocket, How);
  if (How == SHUT_WR || How == SHUT_RDWR) m_SendShut = true;
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
// Data

std::string TCustomWSocket::ReceiveStr()
{
  const std::int32_t Waiting = RcvdCount();
  if (Waiting <= 0) return {};
  std::string Text(static_cast<std::size_t>(Waiting), '\0');
  const std::int32_t N = Receive(Text.data(), Waiting);
  Text.resize(N > 0 ? static_cast<std::size_t>(N) : 0);
  return Text;
}

std::int32_t TCustomWSocket::SendTo(const sockaddr_in&, const void*, std::int32_t)
{
  RaiseSocketException("SendTo: datagram sockets are not supported");
  return -1;
}

std::int32_t TCustomWSocket::ReceiveFrom(void*, std::int32_t, sockaddr_in*)
{
  RaiseSocketException("ReceiveFrom: datagram sockets are not supported");
  return -1;
}

std::int32_t TCustomWSocket::DoRecvFrom(void*, std::int32_t, sockaddr_in*, int)
{
  WSocket_WSASetLastError(kWsaENotSock);
  return -1;
}

void TCustomWSocket::ReverseDnsLookup(const std::string&) { RaiseSocketException("ReverseDnsLookup: not supported"); }

// ---------------------------------------------------------------------------------------------
// Names and times

int TCustomWSocket::GetSockName(sockaddr_in& Name) { return WSocket_getsockname(m_HSocket, &Name); }

std::string TCustomWSocket::PeerAddr()
{
  if (m_State != wsConnected) return "error";
  sockaddr_in Peer{};
  if (GetPeerName(Peer) != 0) {
    ReportSocketError("GetPeerName");
    return "error";
  }
  return WSocket_inet_ntoa(Peer.sin_addr.s_addr);
}

std::string TCustomWSocket::PeerPort()
{
  if (m_State != wsConnected) return "error";
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
  if (m_HSocket == InvalidSocket || GetSockName(Local) != 0) return "error";
  return std::to_string(ntohs(Local.sin_port));
}

std::string TCustomWSocket::GetXAddr()
{
  sockaddr_in Local{};
  if (m_HSocket == InvalidSocket || GetSockName(Local) != 0) return "error";
  return WSocket_inet_ntoa(Local.sin_addr.s_addr);
}

bool TCustomWSocket::TimeValueIsSet(const timeval& T) const { return T.tv_sec != 0 || T.tv_usec != 0; }

int TCustomWSocket::TimeValueCompare(const timeval& A, const timeval& B) const
{
  if (A.tv_sec != B.tv_sec) return A.tv_sec < B.tv_sec ? -1 : 1;
  if (A.tv_usec != B.tv_usec) return A.tv_usec < B.tv_usec ? -1 : 1;
  return 0;
}

void TCustomWSocket::TimeValueClear(timeval& T) const
{
  T.tv_sec = 0;
  T.tv_usec = 0;
}

// ---------------------------------------------------------------------------------------------
// Listening

void TCustomWSocket::Listen() { RaiseSocketException("Listen: not supported"); }

TSocket TCustomWSocket::Accept()
{
  RaiseSocketException("Accept: not supported");
  return InvalidSocket;
}

void TCustomWSocket::Dup(TSocket) { RaiseSocketException("Dup: not supported"); }

// ---------------------------------------------------------------------------------------------
// Waits

bool TCustomWSocket::WaitUntilSent(int TimeoutMs)
{
  return PumpUntil([this] { return m_AllSent || m_HSocket == InvalidSocket; }, TimeoutMs) && m_AllSent;
}

bool TCustomWSocket::WaitUntilClosed(int TimeoutMs)
{
  return PumpUntil([this] { return m_State == wsClosed; }, TimeoutMs);
}
