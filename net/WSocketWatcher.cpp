// SPDX-License-Identifier: MIT
#include "net/WSocketWatcher.h"

#include <QSocketNotifier>

#include "net/SocketErrors.h"
#include "net/WSocket.h"

TSocketWatcher::TSocketWatcher(TCustomWSocket& Socket) : m_Socket(Socket) {}

TSocketWatcher::~TSocketWatcher()
{
  Stop();
  m_Graveyard.clear();
}

void TSocketWatcher::SetRead(bool On)
{
  if (m_Read && m_Read->isEnabled() != On) m_Read->setEnabled(On);
}

void TSocketWatcher::SetWrite(bool On)
{
  if (m_Write && m_Write->isEnabled() != On) m_Write->setEnabled(On);
}

void TSocketWatcher::BuryNotifiers()
{
  SetRead(false);
  SetWrite(false);
  if (m_Read) m_Graveyard.push_back(std::move(m_Read));
  if (m_Write) m_Graveyard.push_back(std::move(m_Write));
  if (m_SlotDepth == 0) m_Graveyard.clear();
}

void TSocketWatcher::Start(TSocket S)
{
  Stop();
  m_Handle = S;
  ++m_Generation;
  m_Phase = TPhase::Idle;
  m_Paused = false;
  m_InRead = false;
  m_ReadHeldBack = false;
  m_EndOfStream = false;
  // Created without a descriptor; setSocket leaves it disabled, so nothing is registered
  // (each registration costs a wakeup) until it is wanted.
  m_Read = std::make_unique<QSocketNotifier>(QSocketNotifier::Read);
  m_Read->setSocket(S);
  QObject::connect(m_Read.get(), &QSocketNotifier::activated, m_Read.get(), [this] { OnReadable(); });
  m_Write = std::make_unique<QSocketNotifier>(QSocketNotifier::Write);
  m_Write->setSocket(S);
  QObject::connect(m_Write.get(), &QSocketNotifier::activated, m_Write.get(), [this] { OnWritable(); });
}

void TSocketWatcher::BeginConnect()
{
  m_Phase = TPhase::Connecting;
  SetWrite(true);
}

void TSocketWatcher::EndWatching()
{
  m_Phase = TPhase::Ended;
  SetRead(false);
  SetWrite(false);
}

void TSocketWatcher::Stop()
{
  // Disabled before the descriptor goes, so the event dispatcher never polls a closed fd.
  BuryNotifiers();
  m_Handle = InvalidSocket;
  m_Phase = TPhase::Idle;
}

void TSocketWatcher::WantWrite()
{
  if (m_Phase == TPhase::Connected && !m_Paused) SetWrite(true);
}

void TSocketWatcher::Pause()
{
  m_Paused = true;
  SetRead(false);
  SetWrite(false);
}

void TSocketWatcher::Resume()
{
  m_Paused = false;
  if (m_Phase != TPhase::Connected) return;
  SetRead(true);
  SetWrite(true);
}

void TSocketWatcher::Deliver(std::uint16_t Bits, std::uint16_t ErrCode)
{
  const auto LParam = static_cast<std::intptr_t>((static_cast<std::uint32_t>(ErrCode) << 16) | Bits);
  m_Socket.DeliverSocketEvent(static_cast<std::uintptr_t>(m_Handle), LParam);
}

namespace {

struct TSlotScope {
  explicit TSlotScope(int& Depth) : m_Depth(Depth) { ++m_Depth; }
  ~TSlotScope() { --m_Depth; }
  int& m_Depth;
};

}  // namespace

void TSocketWatcher::OnWritable()
{
  if (m_SlotDepth == 0) m_Graveyard.clear();
  TSlotScope Scope(m_SlotDepth);
  SetWrite(false);
  const std::uint64_t Generation = m_Generation;
  if (m_Phase == TPhase::Connecting) {
    // The outcome of a non-blocking connect is the socket's pending error, never assumed.
    int Pending = 0;
    socklen_t Len = sizeof Pending;
    int Code;
    if (WSocket_getsockopt(m_Handle, SOL_SOCKET, SO_ERROR, &Pending, &Len) != 0)
      Code = WSocket_WSAGetLastError();
    else
      Code = MapNativeError(Pending);
    m_Phase = Code == 0 ? TPhase::Connected : TPhase::Ended;
    Deliver(FD_CONNECT_BIT, static_cast<std::uint16_t>(Code));
    if (Code != 0 || Generation != m_Generation || m_Phase != TPhase::Connected) return;
    // Windows Sockets reports a connected socket as writable once.
    Deliver(FD_WRITE_BIT, 0);
    if (Generation == m_Generation && m_Phase == TPhase::Connected && !m_Paused) SetRead(true);
    return;
  }
  if (m_Phase == TPhase::Connected) Deliver(FD_WRITE_BIT, 0);
}

void TSocketWatcher::OnReadable()
{
  if (m_SlotDepth == 0) m_Graveyard.clear();
  if (m_Phase != TPhase::Connected) {
    SetRead(false);
    return;
  }
  if (m_InRead) {
    // A nested event loop inside a read handler: hold back until that handler returns.
    SetRead(false);
    m_ReadHeldBack = true;
    return;
  }
  TSlotScope Scope(m_SlotDepth);
  char Probe;
  const int N = WSocket_recv(m_Handle, &Probe, 1, MSG_PEEK);
  const std::uint64_t Generation = m_Generation;
  if (N > 0) {
    m_InRead = true;
    Deliver(FD_READ_BIT, 0);
    if (Generation != m_Generation) return;  // a new handle's state was set up by Start
    m_InRead = false;
    if (m_EndOfStream && m_Phase == TPhase::Connected && !m_Paused) {
      // The handler already read up to the orderly close: report it now instead of
      // after another trip through poll().
      EndWatching();
      Deliver(FD_CLOSE_BIT, 0);
      return;
    }
    if (m_ReadHeldBack && m_Phase == TPhase::Connected && !m_Paused) {
      m_ReadHeldBack = false;
      SetRead(true);
    }
    return;
  }
  const int Code = N == 0 ? 0 : WSocket_WSAGetLastError();
  if (Code == kWsaEWouldBlock) return;
  // Orderly close (0) or a reset: only reached once every byte before it has been read,
  // so the data is delivered before the close. The notifier stays off from here on: an
  // ended stream stays readable forever.
  EndWatching();
  Deliver(FD_CLOSE_BIT, static_cast<std::uint16_t>(Code));
}
