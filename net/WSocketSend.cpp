// SPDX-License-Identifier: MIT
// TCustomWSocket's send queue: data copied into blocks of SendBlockSize bytes and handed to
// the platform block by block, until it takes less than it was offered; the rest goes when
// the handle is writable again.
#include "net/WSocket.h"

#include "net/WSocketWatcher.h"

void TCustomWSocket::DiscardSendQueue() { m_SendQueue.clear(); }

void TCustomWSocket::QueueSendData(const void* Data, std::int32_t Len)
{
  if (Len <= 0) return;
  const char* P = static_cast<const char*>(Data);
  if (m_SendQueue.empty()) m_SendQueue.push_back(std::make_unique<TBuffer>(SendBlockSize));
  for (;;) {
    const std::int32_t N = m_SendQueue.back()->Append(P, Len);
    if (N >= Len) return;
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
  if (m_HSocket == InvalidSocket || m_SendQueue.empty()) return;
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
      if (Session != m_Session || m_SendQueue.empty()) return;
    }
    if (Count == 0) return;
    if (Count < 0) {
      SendRefused(WSocket_WSAGetLastError());
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

void TCustomWSocket::SendRefused(int Code)
{
  // Linux answers a send on a stream that is not (or no longer) connected with EPIPE;
  // unless we shut the sending side ourselves, that is "not connected".
  if (Code == kWsaEShutdown && !m_SendShut) Code = kWsaENotConn;
  if (Code == kWsaEInval || Code == kWsaENotSock || Code == kWsaEConnAborted || Code == kWsaEConnReset ||
      Code == kWsaENotConn) {
    // The session ends with the send's code, not with the close's 0.
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
  if (Str.empty()) return 0;
  return Send(Str.data(), static_cast<std::int32_t>(Str.size()));
}
