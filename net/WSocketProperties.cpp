// SPDX-License-Identifier: MIT
// TCustomWSocket's properties: the defaults every close returns to, and the rules for
// changing the remote and local address, port and protocol.
#include "net/WSocket.h"

#include "text/AsciiText.h"

void TCustomWSocket::ResetToDefaults()
{
  // Dropping a live handle here would leak it and leave its notifiers running.
  if (m_HSocket != InvalidSocket) CloseHandle();
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
  if (Value == m_Addr && m_AddrAssigned) return;
  if (m_State != wsClosed) {
    RaiseSocketException("Cannot change Addr if not closed");
    return;
  }
  m_Addr = TrimBlankOrControl(Value);
  m_AddrAssigned = !m_Addr.empty();
  if (m_AddrAssigned) m_AddrResolved = false;
}

void TCustomWSocket::SetPort(const std::string& Value)
{
  if (Value == m_Port && m_PortAssigned) return;
  if (m_State != wsClosed) {
    RaiseSocketException("Cannot change Port if not closed");
    return;
  }
  m_Port = TrimBlankOrControl(Value);
  m_PortAssigned = !m_Port.empty();
  if (m_PortAssigned) m_PortResolved = false;
}

void TCustomWSocket::SetProto(const std::string& Value)
{
  if (Value == m_Proto && m_ProtoAssigned) return;
  if (m_State != wsClosed) {
    RaiseSocketException("Cannot change Proto if not closed");
    return;
  }
  m_Proto = TrimBlankOrControl(Value);
  m_ProtoAssigned = !m_Proto.empty();
  if (m_ProtoAssigned) m_ProtoResolved = false;
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
  if (m_SendFlags == 0) return wsSendNormal;
  if (m_SendFlags == MSG_OOB) return wsSendUrgent;
  throw ESocketException("Invalid internal SendFlags");
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value)
{
  switch (Value) {
    case wsSendNormal: m_SendFlags = 0; return;
    case wsSendUrgent: m_SendFlags = MSG_OOB; return;
  }
  RaiseSocketException("Invalid SendFlags");
}
