// SPDX-License-Identifier: MIT
// The layers above TCustomWSocket: SOCKS, line mode and the wait layer. With no SOCKS server
// and LineMode false, which is all they accept, they pass every call through.
#include "net/WSocket.h"

#include "text/AsciiText.h"

TCustomSocksWSocket::TCustomSocksWSocket(QObject* Owner) : TCustomWSocket(Owner) {}

void TCustomSocksWSocket::ResetToDefaults() { TCustomWSocket::ResetToDefaults(); }
std::int32_t TCustomSocksWSocket::RcvdCount() { return TCustomWSocket::RcvdCount(); }
bool TCustomSocksWSocket::TriggerDataAvailable(std::uint16_t ErrCode)
{
  return TCustomWSocket::TriggerDataAvailable(ErrCode);
}
void TCustomSocksWSocket::TriggerSessionConnectedHook(std::uint16_t ErrCode)
{
  TCustomWSocket::TriggerSessionConnectedHook(ErrCode);
}
void TCustomSocksWSocket::TriggerSessionClosed(std::uint16_t ErrCode) { TCustomWSocket::TriggerSessionClosed(ErrCode); }
std::int32_t TCustomSocksWSocket::DoRecv(void* Buffer, std::int32_t BufferSize, int Flags)
{
  return TCustomWSocket::DoRecv(Buffer, BufferSize, Flags);
}
void TCustomSocksWSocket::Connect() { TCustomWSocket::Connect(); }
void TCustomSocksWSocket::Listen() { TCustomWSocket::Listen(); }

void TCustomSocksWSocket::SetSocksServer(const std::string& Value)
{
  // A SOCKS server would silently be bypassed: refuse it instead.
  if (!TrimBlankOrControl(Value).empty()) {
    RaiseSocketException("SOCKS is not supported");
    return;
  }
  m_SocksServer.clear();
}

void TCustomSocksWSocket::SetSocksPort(const std::string& Value) { m_SocksPort = TrimBlankOrControl(Value); }

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
bool TCustomLineWSocket::TriggerDataAvailable(std::uint16_t ErrCode)
{
  return TCustomSocksWSocket::TriggerDataAvailable(ErrCode);
}
void TCustomLineWSocket::TriggerSessionClosed(std::uint16_t ErrCode)
{
  TCustomSocksWSocket::TriggerSessionClosed(ErrCode);
}
std::int32_t TCustomLineWSocket::DoRecv(void* Buffer, std::int32_t BufferSize, int Flags)
{
  return TCustomSocksWSocket::DoRecv(Buffer, BufferSize, Flags);
}

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
