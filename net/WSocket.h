// SPDX-License-Identifier: MIT
// TWSocket: the event-driven, non-blocking TCP client socket, in layers
// TCustomWSocket <- TCustomSocksWSocket <- TCustomLineWSocket <- TCustomSyncWSocket <- TWSocket.
// Operations start work and return at once; outcomes come back as the On... handlers, always
// on the thread that created the socket, from its Qt event loop. With LineMode false and no
// SOCKS server the middle layers pass every call through.
//
// Lifetime: never delete a socket from inside one of its own handlers; call Release(), which
// defers the deletion to the event loop. Failures raise ESocketException, or fire OnError
// instead when that handler is assigned.
//
// The sources by job: WSocket.cpp the session and its events, WSocketProperties.cpp the
// properties and their defaults, WSocketSend.cpp the send queue, WSocketDnsLookup.cpp the
// host lookups (their worker is WSocketLookup.cpp), WSocketSurface.cpp what the socket offers
// beyond the TCP client path, WSocketLayers.cpp the layers above TCustomWSocket.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/time.h>

#include <QObject>

#include "net/SocketApi.h"
#include "net/SocketErrors.h"
#include "net/SocketException.h"
#include "net/WSockBuf.h"
#include "net/WSocketResolve.h"

class TCustomWSocket;
class TSocketWindow;
class TSocketWatcher;
struct TLookupCompletion;
enum class TLookupFamily;

enum TSocketState : std::uint8_t {
  wsInvalidState = 0,
  wsOpened = 1,
  wsBound = 2,
  wsConnecting = 3,
  wsSocksConnected = 4,
  wsConnected = 5,
  wsAccepting = 6,
  wsListening = 7,
  wsClosed = 8,
};

enum TSocketSendFlags : std::uint8_t { wsSendNormal = 0, wsSendUrgent = 1 };

enum TSocketLingerOnOff : std::uint8_t { wsLingerOff = 0, wsLingerOn = 1, wsLingerNoSet = 2 };

// Bits of TWSocketOptions (the ComponentOptions property).
enum TWSocketOption : std::uint32_t { wsoNoReceiveLoop = 1, wsoTcpNoDelay = 2 };
using TWSocketOptions = std::uint32_t;

enum TSocksAuthentication : std::uint8_t { socksNoAuthentication = 0, socksAuthenticateUsercode = 1 };

// Private messages of the hidden window.
constexpr std::uint32_t MsgSocketEvent = 1025;
constexpr std::uint32_t MsgHostLookupDone = 1026;
constexpr std::uint32_t MsgAddrLookupDone = 1027;
constexpr std::uint32_t MsgCloseDelayed = 1028;
constexpr std::uint32_t MsgReleaseSocket = 1029;
constexpr std::uint32_t MsgTestException = 1030;
constexpr std::uint32_t MsgDeliverLines = 1044;

// Network event bits in the low word of a MsgSocketEvent's lParam.
constexpr std::uint16_t FD_READ_BIT = 1;
constexpr std::uint16_t FD_WRITE_BIT = 2;
constexpr std::uint16_t FD_ACCEPT_BIT = 8;
constexpr std::uint16_t FD_CONNECT_BIT = 16;
constexpr std::uint16_t FD_CLOSE_BIT = 32;

using TChangeState = std::function<void(TCustomWSocket* Sender, TSocketState OldState, TSocketState NewState)>;
using TSessionConnected = std::function<void(TCustomWSocket* Sender, std::uint16_t ErrCode)>;
using TDataAvailable = std::function<void(TCustomWSocket* Sender, std::uint16_t ErrCode)>;
using TDataSent = std::function<void(TCustomWSocket* Sender, std::uint16_t ErrCode)>;
using TSendData = std::function<void(TCustomWSocket* Sender, std::int32_t BytesSent)>;
using TSessionClosed = std::function<void(TCustomWSocket* Sender, std::uint16_t ErrCode)>;
using TSessionAvailable = std::function<void(TCustomWSocket* Sender, std::uint16_t ErrCode)>;
using TDnsLookupDone = std::function<void(TCustomWSocket* Sender, std::uint16_t ErrCode)>;
using TNotifyEvent = std::function<void(TCustomWSocket* Sender)>;
using TBgExceptionEvent = std::function<void(TCustomWSocket* Sender, const std::exception& E, bool& CanClose)>;

class TCustomWSocket : public QObject {
 public:
  explicit TCustomWSocket(QObject* Owner = nullptr);
  ~TCustomWSocket() override;
  TCustomWSocket(const TCustomWSocket&) = delete;
  TCustomWSocket& operator=(const TCustomWSocket&) = delete;

  // Events; an unassigned one is not fired.
  TChangeState OnChangeState;
  TSessionConnected OnSessionConnected;
  TDataAvailable OnDataAvailable;
  TDataSent OnDataSent;
  TSendData OnSendData;
  TSessionClosed OnSessionClosed;
  TSessionAvailable OnSessionAvailable;
  TDnsLookupDone OnDnsLookupDone;
  TNotifyEvent OnError;
  TBgExceptionEvent OnBgException;

  // Core virtual operations, in slot order.
  virtual void DispatchSocketMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam);
  virtual void CreateSocketWindow();
  virtual void DestroySocketWindow();
  virtual void TryToSend();
  virtual void ResetToDefaults();
  virtual void CloseSession(bool ShutFirst, std::uint16_t ErrCode);
  virtual void AbortWithError(std::uint16_t ErrCode);
  virtual void SetPort(const std::string& Value);
  virtual void SetProto(const std::string& Value);
  virtual std::int32_t RcvdCount();
  virtual void BindLocal();
  virtual std::int32_t SendBlock(const void* Data, std::int32_t Len);
  // Fmt holds %s and %d, replaced in order by Text and Code.
  virtual void RaiseSocketExceptionFmt(const std::string& Fmt, const std::string& Text, int Code);
  virtual void RaiseSocketException(const std::string& Msg);
  virtual void HandleEventException(const std::exception& E);
  // Returns whether a handler is assigned.
  virtual bool TriggerDataAvailable(std::uint16_t ErrCode);
  virtual void TriggerSessionAvailable(std::uint16_t ErrCode);
  virtual void TriggerSessionConnectedHook(std::uint16_t ErrCode);
  virtual void TriggerSessionConnected(std::uint16_t ErrCode);
  virtual void TriggerSessionClosed(std::uint16_t ErrCode);
  virtual void TriggerDataSent(std::uint16_t ErrCode);
  virtual void TriggerChangeState(TSocketState OldState, TSocketState NewState);
  virtual void TriggerDnsLookupDone(std::uint16_t ErrCode);
  virtual void TriggerError();
  virtual std::int32_t DoRecv(void* Buffer, std::int32_t BufferSize, int Flags);
  virtual std::int32_t DoRecvFrom(void* Buffer, std::int32_t BufferSize, sockaddr_in* From, int Flags);
  virtual void HandleConnectEvent(std::uint16_t ErrCode);
  virtual void HandleReadEvent(std::uint16_t ErrCode);
  virtual void HandleWriteEvent(std::uint16_t ErrCode);
  virtual void HandleAcceptEvent(std::uint16_t ErrCode);
  virtual void HandleCloseEvent(std::uint16_t ErrCode);
  virtual void MarkConnected();
  virtual void Connect();
  virtual void Close();
  virtual void CloseDelayed();
  virtual void Release();
  virtual void Abort();
  // Run the event loop until the send queue is empty / the session is closed, or until
  // TimeoutMs passes (< 0: no limit). True when the condition was reached.
  virtual bool WaitUntilSent(int TimeoutMs);
  virtual bool WaitUntilClosed(int TimeoutMs);
  virtual void Listen();
  virtual TSocket Accept();
  virtual std::int32_t Receive(void* Buffer, std::int32_t BufferSize);
  virtual std::string ReceiveStr();
  virtual std::int32_t ReceiveFrom(void* Buffer, std::int32_t BufferSize, sockaddr_in* From);
  // Result is Len (0 when Len <= 0), whatever the platform accepted.
  virtual std::int32_t Send(const void* Data, std::int32_t Len);
  virtual std::int32_t SendTo(const sockaddr_in& Dest, const void* Data, std::int32_t Len);
  virtual std::int32_t SendStr(const std::string& Str);
  virtual void DnsLookup(const std::string& HostName);
  // DnsLookup of the name's IPv6 addresses: always completed later from the loop, through
  // OnDnsLookupDone, with DnsResult and DnsResultList in canonical IPv6 text. It shares the
  // one pending lookup of DnsLookup: either replaces the other, and CancelHostLookup, Abort
  // and the destructor withdraw it alike.
  void DnsLookup6(const std::string& HostName);
  virtual void ReverseDnsLookup(const std::string& HostAddr);
  virtual void CancelHostLookup();
  virtual std::string PeerAddr();
  virtual std::string PeerPort();
  virtual int GetPeerName(sockaddr_in& Name);
  virtual std::string GetXPort();
  virtual std::string GetXAddr();
  virtual bool TimeValueIsSet(const timeval& T) const;
  virtual int TimeValueCompare(const timeval& A, const timeval& B) const;
  virtual void TimeValueClear(timeval& T) const;
  virtual int GetSockName(sockaddr_in& Name);
  virtual void Dup(TSocket NewHSocket);
  virtual void Shutdown(int How);
  virtual void Pause();
  virtual void Resume();
  virtual void PumpMessages();

  // Properties.
  const std::string& Addr() const { return m_Addr; }
  void SetAddr(const std::string& Value);
  const std::string& Port() const { return m_Port; }
  const std::string& Proto() const { return m_Proto; }
  const std::string& LocalAddr() const { return m_LocalAddr; }
  void SetLocalAddr(const std::string& Value);
  const std::string& LocalPort() const { return m_LocalPort; }
  void SetLocalPort(const std::string& Value);
  TSocketLingerOnOff LingerOnOff() const { return m_LingerOnOff; }
  void SetLingerOnOff(TSocketLingerOnOff Value) { m_LingerOnOff = Value; }
  std::int32_t LingerTimeout() const { return m_LingerTimeout; }
  void SetLingerTimeout(std::int32_t Value) { m_LingerTimeout = Value; }
  TWSocketOptions ComponentOptions() const { return m_ComponentOptions; }
  void SetComponentOptions(TWSocketOptions Value) { m_ComponentOptions = Value; }
  TSocketSendFlags SendFlags() const;
  void SetSendFlags(TSocketSendFlags Value);
  bool MultiThreaded() const { return m_MultiThreaded; }
  void SetMultiThreaded(bool Value) { m_MultiThreaded = Value; }
  std::int32_t FlushTimeout() const { return m_FlushTimeout; }
  void SetFlushTimeout(std::int32_t Value) { m_FlushTimeout = Value; }
  bool MultiCast() const { return m_MultiCast; }
  void SetMultiCast(bool Value) { m_MultiCast = Value; }
  const std::string& MultiCastAddrStr() const { return m_MultiCastAddrStr; }
  void SetMultiCastAddrStr(const std::string& Value) { m_MultiCastAddrStr = Value; }
  std::int32_t MultiCastIpTTL() const { return m_MultiCastIpTTL; }
  void SetMultiCastIpTTL(std::int32_t Value) { m_MultiCastIpTTL = Value; }
  bool ReuseAddr() const { return m_ReuseAddr; }
  void SetReuseAddr(bool Value) { m_ReuseAddr = Value; }
  std::int32_t ListenBacklog() const { return m_ListenBacklog; }
  void SetListenBacklog(std::int32_t Value) { m_ListenBacklog = Value; }

  TSocketState State() const { return m_State; }
  std::int32_t LastError() const { return m_LastError; }
  std::int32_t ReadCount() const { return m_ReadCount; }
  const std::string& DnsResult() const { return m_DnsResult; }
  const std::vector<std::string>& DnsResultList() const { return m_DnsResultList; }
  bool Paused() const { return m_Paused; }
  bool AllSent() const { return m_AllSent; }
  // The platform handle of the current session, InvalidSocket when there is none.
  TSocket HSocket() const { return m_HSocket; }
  // The hidden window: the message target that receives the private messages.
  QObject* WindowHandle() const;

  // Posts a private message to this socket's hidden window, tied to the current session:
  // a MsgSocketEvent is dropped if the session ends before it is dispatched.
  void PostSocketMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam);

  static constexpr std::int32_t SendBlockSize = 1460;

 protected:
  void SetState(TSocketState NewState);
  void ReportSocketError(const std::string& FunctionName);
  void ReceiveLoop(std::uint16_t ErrCode, TWSocketOptions Options);
  void QueueSendData(const void* Data, std::int32_t Len);
  void DiscardSendQueue();
  void ApplyLinger();
  bool Destroying() const { return m_Destroying; }

 private:
  friend class TSocketWindow;
  friend class TSocketWatcher;

  // A failed step of an operation, reported once by the operation at its edge
  // (RaiseStepFailure): a message raised as it stands, or a platform error code that
  // ReportSocketError's rules turn into the message for the function that failed.
  struct TStepFailure {
    static TStepFailure Message(std::string Text) { return {std::move(Text), false, 0}; }
    // Takes the thread's last socket error as it is now, where the step failed.
    static TStepFailure PlatformError(std::string FunctionName);

    std::string Text;
    bool FromPlatform = false;
    int Code = 0;
  };
  // Empty when the step succeeded.
  using TStepResult = std::optional<TStepFailure>;
  void RaiseStepFailure(const TStepFailure& Failure);
  void ReportSocketCode(const std::string& FunctionName, int Code);

  // Connect's steps, in order; the first failure ends them. ApplyLinger, BindLocal and
  // Abort share the last two.
  TStepResult OpenSession();
  TStepResult ResolveRemote();
  TStepResult CreateHandle();
  TStepResult SetStreamOptions();
  TStepResult StartConnecting();
  TStepResult SetLingerOption();
  TStepResult BindLocalAddress();

  // Entry from the hidden window: filters stale socket notifications, then dispatches.
  void ReceiveWindowMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam, std::uint64_t Session,
                            std::shared_ptr<TLookupCompletion> Lookup);
  // Entry for the readiness watcher's notifications on the current handle.
  void DeliverSocketEvent(std::uintptr_t WParam, std::intptr_t LParam);
  // The handlers of the set bits, in the order connect, read, write, accept, close.
  void HandleNetworkEvents(std::uint16_t Bits, std::uint16_t ErrCode);
  void HandleLookupCompletion(std::uintptr_t WParam, std::intptr_t LParam,
                              const std::shared_ptr<TLookupCompletion>& Lookup);
  // A send the platform refused with Code: a closing code ends the session with it, "would
  // block" waits for the handle to be writable, any other is raised.
  void SendRefused(int Code);
  // An empty host name: raised, then the lookup ends at once with kWsaEInval.
  void RefuseLookup();
  // Forgets a pending lookup and empties the results.
  void ForgetLookup();
  TStepResult StartBackgroundLookup(const std::string& HostName, TLookupFamily Family);
  // Stops watching and closes the platform handle; the session's pending notifications die.
  int CloseHandle();

  std::unique_ptr<TSocketWindow> m_Window;
  std::unique_ptr<TSocketWatcher> m_Watcher;
  std::uint64_t m_Session = 0;

  TSocket m_HSocket = InvalidSocket;
  sockaddr_in m_RemoteAddress{};
  int m_AddrFamily = AF_INET;
  int m_ProtocolNumber = 6;
  int m_SocketType = 1;
  std::uint16_t m_RemotePort = 0;
  std::uint16_t m_LocalPortNumber = 0;

  std::string m_Addr;
  std::string m_Port;
  std::string m_Proto = "tcp";
  std::string m_LocalAddr = "0.0.0.0";
  std::string m_LocalPort = "0";
  bool m_AddrAssigned = false;
  bool m_PortAssigned = false;
  bool m_ProtoAssigned = true;
  bool m_AddrResolved = false;
  bool m_PortResolved = false;
  bool m_ProtoResolved = false;
  bool m_LocalPortResolved = false;

  std::vector<std::unique_ptr<TBuffer>> m_SendQueue;
  bool m_AllSent = true;
  bool m_CloseInvoked = false;
  bool m_Paused = false;
  std::uint32_t m_EventMask = 0;
  std::uint16_t m_CurrentEvent = 0;
  bool m_Destroying = false;
  // Our own shutdown of the sending side, which tells EPIPE apart from "not connected".
  bool m_SendShut = false;

  TSocketState m_State = wsClosed;
  std::int32_t m_LastError = 0;
  std::int32_t m_ReadCount = 0;
  int m_SendFlags = 0;
  TSocketLingerOnOff m_LingerOnOff = wsLingerOn;
  std::int32_t m_LingerTimeout = 0;
  TWSocketOptions m_ComponentOptions = 0;
  bool m_MultiThreaded = false;
  std::int32_t m_FlushTimeout = 60;
  bool m_MultiCast = false;
  std::string m_MultiCastAddrStr;
  std::int32_t m_MultiCastIpTTL = 1;
  bool m_ReuseAddr = false;
  std::int32_t m_ListenBacklog = 5;

  std::string m_DnsResult;
  std::vector<std::string> m_DnsResultList;

  // Asynchronous host lookup.
  std::uint32_t m_LookupHandle = 0;
  std::shared_ptr<TLookupCompletion> m_LookupBuffer;
  bool m_EarlyCompletion = false;
  struct TSavedCompletion {
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::shared_ptr<TLookupCompletion> Lookup;
  } m_SavedCompletion;
};

// SOCKS client layer. Without a SocksServer it passes every call through.
class TCustomSocksWSocket : public TCustomWSocket {
 public:
  explicit TCustomSocksWSocket(QObject* Owner = nullptr);

  TNotifyEvent OnSocksConnected;
  TSessionConnected OnSocksError;
  TSessionConnected OnSocksAuthState;

  void ResetToDefaults() override;
  std::int32_t RcvdCount() override;
  bool TriggerDataAvailable(std::uint16_t ErrCode) override;
  void TriggerSessionConnectedHook(std::uint16_t ErrCode) override;
  void TriggerSessionClosed(std::uint16_t ErrCode) override;
  std::int32_t DoRecv(void* Buffer, std::int32_t BufferSize, int Flags) override;
  void Connect() override;
  void Listen() override;

  const std::string& SocksServer() const { return m_SocksServer; }
  void SetSocksServer(const std::string& Value);
  const std::string& SocksPort() const { return m_SocksPort; }
  void SetSocksPort(const std::string& Value);
  const std::string& SocksLevel() const { return m_SocksLevel; }
  void SetSocksLevel(const std::string& Value);
  const std::string& SocksUsercode() const { return m_SocksUsercode; }
  void SetSocksUsercode(const std::string& Value) { m_SocksUsercode = Value; }
  const std::string& SocksPassword() const { return m_SocksPassword; }
  void SetSocksPassword(const std::string& Value) { m_SocksPassword = Value; }
  TSocksAuthentication SocksAuthentication() const { return m_SocksAuthentication; }
  void SetSocksAuthentication(TSocksAuthentication Value) { m_SocksAuthentication = Value; }

 private:
  std::string m_SocksServer;
  std::string m_SocksPort;
  std::string m_SocksLevel = "5";
  std::string m_SocksUsercode;
  std::string m_SocksPassword;
  TSocksAuthentication m_SocksAuthentication = socksNoAuthentication;
};

// Line mode layer. With LineMode false it passes every call through.
class TCustomLineWSocket : public TCustomSocksWSocket {
 public:
  explicit TCustomLineWSocket(QObject* Owner = nullptr);

  TNotifyEvent OnLineLimitExceeded;

  void DispatchSocketMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam) override;
  std::int32_t RcvdCount() override;
  bool TriggerDataAvailable(std::uint16_t ErrCode) override;
  void TriggerSessionClosed(std::uint16_t ErrCode) override;
  std::int32_t DoRecv(void* Buffer, std::int32_t BufferSize, int Flags) override;

  bool LineMode() const { return m_LineMode; }
  void SetLineMode(bool Value);
  std::int32_t LineLimit() const { return m_LineLimit; }
  void SetLineLimit(std::int32_t Value) { m_LineLimit = Value; }
  const std::string& LineEnd() const { return m_LineEnd; }
  void SetLineEnd(const std::string& Value) { m_LineEnd = Value; }
  bool LineEcho() const { return m_LineEcho; }
  void SetLineEcho(bool Value) { m_LineEcho = Value; }
  bool LineEdit() const { return m_LineEdit; }
  void SetLineEdit(bool Value) { m_LineEdit = Value; }

 private:
  bool m_LineMode = false;
  std::int32_t m_LineLimit = 65536;
  std::string m_LineEnd = "\r\n";
  bool m_LineEcho = false;
  bool m_LineEdit = false;
};

// Wait layer; adds nothing the TCP client path needs beyond the core's waits.
class TCustomSyncWSocket : public TCustomLineWSocket {
 public:
  explicit TCustomSyncWSocket(QObject* Owner = nullptr);
};

class TWSocket : public TCustomSyncWSocket {
 public:
  explicit TWSocket(QObject* Owner = nullptr);
};
