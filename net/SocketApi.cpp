// SPDX-License-Identifier: MIT
#include "net/SocketApi.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "net/SocketErrors.h"
#include "text/AsciiText.h"

std::atomic<std::int32_t> SocketUserCount{0};

namespace {

thread_local int LastSocketError = 0;

// Records errno, mapped, as this thread's last socket error; returns Result for chaining.
template <typename T>
T FailWithErrno(T Result)
{
  LastSocketError = MapNativeError(errno);
  return Result;
}

// Runs a system call again while a signal interrupts it.
template <typename F>
auto RetryOnEintr(F Call)
{
  decltype(Call()) Result;
  do {
    Result = Call();
  } while (Result == -1 && errno == EINTR);
  return Result;
}

// The re-entrant lookups need caller storage; one buffer per thread keeps the returned
// entry valid until the next lookup of the same kind on that thread, as the callers expect.
// Grown on ERANGE, up to a bound so a broken database cannot make it grow without end.
constexpr std::size_t kLookupBufferStart = 4096;
constexpr std::size_t kLookupBufferMax = 1024 * 1024;

struct THostStorage {
  hostent Entry{};
  std::vector<char> Buffer = std::vector<char>(kLookupBufferStart);
};
thread_local THostStorage HostStorage;

struct TServStorage {
  servent Entry{};
  std::vector<char> Buffer = std::vector<char>(kLookupBufferStart);
};
thread_local TServStorage ServStorage;

struct TProtoStorage {
  protoent Entry{};
  std::vector<char> Buffer = std::vector<char>(kLookupBufferStart);
};
thread_local TProtoStorage ProtoStorage;

protoent* DatabaseProtocolLookup(const char* Name)
{
  protoent* Result = nullptr;
  for (;;) {
    const int Rc =
        getprotobyname_r(Name, &ProtoStorage.Entry, ProtoStorage.Buffer.data(), ProtoStorage.Buffer.size(), &Result);
    if (Rc == ERANGE && ProtoStorage.Buffer.size() < kLookupBufferMax) {
      ProtoStorage.Buffer.resize(ProtoStorage.Buffer.size() * 2);
      continue;
    }
    return Rc == 0 ? Result : nullptr;
  }
}

TProtocolLookup ProtocolLookup = &DatabaseProtocolLookup;

// A machine without /etc/protocols (a minimal container) would otherwise fail every
// connect, since the socket asks for "tcp" by name.
protoent* FallbackProtocol(const char* Name)
{
  static char TcpName[] = "tcp";
  static char UdpName[] = "udp";
  static char* NoAliases[] = {nullptr};
  static protoent Tcp{TcpName, NoAliases, IPPROTO_TCP};
  static protoent Udp{UdpName, NoAliases, IPPROTO_UDP};
  if (EqualNoCase(Name, "tcp")) return &Tcp;
  if (EqualNoCase(Name, "udp")) return &Udp;
  return nullptr;
}

}  // namespace

void UnloadSocketLibrary() { SocketUserCount.store(0); }

int WSocket_WSAGetLastError() { return LastSocketError; }

void WSocket_WSASetLastError(int Code) { LastSocketError = Code; }

TSocket WSocket_socket(int Family, int Type, int Protocol)
{
  const int S = ::socket(Family, Type | SOCK_NONBLOCK | SOCK_CLOEXEC, Protocol);
  if (S < 0) return FailWithErrno(InvalidSocket);
  return S;
}

int WSocket_setsockopt(TSocket S, int Level, int OptName, const void* OptVal, socklen_t OptLen)
{
  if (RetryOnEintr([&] { return ::setsockopt(S, Level, OptName, OptVal, OptLen); }) < 0)
    return FailWithErrno(SocketError);
  return 0;
}

int WSocket_getsockopt(TSocket S, int Level, int OptName, void* OptVal, socklen_t* OptLen)
{
  if (RetryOnEintr([&] { return ::getsockopt(S, Level, OptName, OptVal, OptLen); }) < 0)
    return FailWithErrno(SocketError);
  return 0;
}

int WSocket_connect(TSocket S, const sockaddr_in& Addr)
{
  // Not retried on EINTR: the attempt goes on in the background after the signal, and a
  // second connect() would only report EALREADY. So EINTR means "pending" as well.
  if (::connect(S, reinterpret_cast<const sockaddr*>(&Addr), sizeof Addr) == 0) return 0;
  LastSocketError = errno == EINTR ? MapConnectError(EINPROGRESS) : MapConnectError(errno);
  return SocketError;
}

int WSocket_bind(TSocket S, const sockaddr_in& Addr)
{
  if (RetryOnEintr([&] { return ::bind(S, reinterpret_cast<const sockaddr*>(&Addr), sizeof Addr); }) < 0)
    return FailWithErrno(SocketError);
  return 0;
}

int WSocket_listen(TSocket S, int Backlog)
{
  if (RetryOnEintr([&] { return ::listen(S, Backlog); }) < 0) return FailWithErrno(SocketError);
  return 0;
}

TSocket WSocket_accept(TSocket S, sockaddr_in* Addr)
{
  sockaddr_in Peer{};
  socklen_t Len = sizeof Peer;
  // The accepted socket is non-blocking and close-on-exec like every other one.
  const int A = RetryOnEintr(
      [&] { return ::accept4(S, reinterpret_cast<sockaddr*>(&Peer), &Len, SOCK_NONBLOCK | SOCK_CLOEXEC); });
  if (A < 0) return FailWithErrno(InvalidSocket);
  if (Addr) *Addr = Peer;
  return A;
}

int WSocket_getsockname(TSocket S, sockaddr_in* Addr)
{
  sockaddr_in Local{};
  socklen_t Len = sizeof Local;
  if (::getsockname(S, reinterpret_cast<sockaddr*>(&Local), &Len) < 0) return FailWithErrno(SocketError);
  if (Addr) *Addr = Local;
  return 0;
}

int WSocket_getpeername(TSocket S, sockaddr_in* Addr)
{
  sockaddr_in Peer{};
  socklen_t Len = sizeof Peer;
  if (::getpeername(S, reinterpret_cast<sockaddr*>(&Peer), &Len) < 0) return FailWithErrno(SocketError);
  if (Addr) *Addr = Peer;
  return 0;
}

int WSocket_send(TSocket S, const void* Buf, int Len, int Flags)
{
  if (Len < 0) {
    LastSocketError = MapNativeError(EINVAL);
    return SocketError;
  }
  const ssize_t N = RetryOnEintr([&] { return ::send(S, Buf, static_cast<std::size_t>(Len), Flags | MSG_NOSIGNAL); });
  if (N < 0) return FailWithErrno(SocketError);
  return static_cast<int>(N);
}

int WSocket_recv(TSocket S, void* Buf, int Len, int Flags)
{
  if (Len < 0) {
    LastSocketError = MapNativeError(EINVAL);
    return SocketError;
  }
  const ssize_t N = RetryOnEintr([&] { return ::recv(S, Buf, static_cast<std::size_t>(Len), Flags); });
  if (N < 0) return FailWithErrno(SocketError);
  return static_cast<int>(N);
}

int WSocket_ioctlsocket_FIONREAD(TSocket S, std::uint32_t* Count)
{
  int Waiting = 0;
  if (RetryOnEintr([&] { return ::ioctl(S, FIONREAD, &Waiting); }) < 0) return FailWithErrno(SocketError);
  if (Count) *Count = static_cast<std::uint32_t>(Waiting < 0 ? 0 : Waiting);
  return 0;
}

int WSocket_shutdown(TSocket S, int How)
{
  if (RetryOnEintr([&] { return ::shutdown(S, How); }) < 0) return FailWithErrno(SocketError);
  return 0;
}

int WSocket_closesocket(TSocket S)
{
  // Linux releases the descriptor even when close() reports EINTR; a retry could close a
  // descriptor another part of the program has just been given. So EINTR counts as done.
  if (::close(S) < 0 && errno != EINTR) return FailWithErrno(SocketError);
  return 0;
}

std::uint32_t WSocket_inet_addr(const char* Text)
{
  if (!Text) return INADDR_NONE;
  return ::inet_addr(Text);
}

std::string WSocket_inet_ntoa(std::uint32_t AddrNetworkOrder)
{
  // Formatted here rather than by inet_ntoa(), whose static buffer no thread may share.
  unsigned char Bytes[4];
  std::memcpy(Bytes, &AddrNetworkOrder, sizeof Bytes);
  std::string Text;
  Text.reserve(15);
  for (int I = 0; I < 4; ++I) {
    if (I > 0) Text += '.';
    Text += std::to_string(Bytes[I]);
  }
  return Text;
}

hostent* WSocket_gethostbyname(const char* Name)
{
  if (!Name) {
    LastSocketError = MapNativeError(EFAULT);
    return nullptr;
  }
  for (;;) {
    hostent* Result = nullptr;
    int HErrno = 0;
    const int Rc = gethostbyname_r(Name, &HostStorage.Entry, HostStorage.Buffer.data(), HostStorage.Buffer.size(),
                                   &Result, &HErrno);
    if (Rc == ERANGE && HostStorage.Buffer.size() < kLookupBufferMax) {
      HostStorage.Buffer.resize(HostStorage.Buffer.size() * 2);
      continue;
    }
    if (Rc == 0 && Result) return Result;
    if (HErrno == NETDB_INTERNAL && Rc != 0) {
      // A local failure (out of memory, no descriptors) rather than an answer.
      LastSocketError = MapNativeError(Rc);
    } else {
      LastSocketError = MapResolverError(HErrno == 0 ? HOST_NOT_FOUND : HErrno);
    }
    return nullptr;
  }
}

servent* WSocket_getservbyname(const char* Name, const char* Proto)
{
  if (!Name) {
    LastSocketError = MapNativeError(EFAULT);
    return nullptr;
  }
  for (;;) {
    servent* Result = nullptr;
    const int Rc =
        getservbyname_r(Name, Proto, &ServStorage.Entry, ServStorage.Buffer.data(), ServStorage.Buffer.size(), &Result);
    if (Rc == ERANGE && ServStorage.Buffer.size() < kLookupBufferMax) {
      ServStorage.Buffer.resize(ServStorage.Buffer.size() * 2);
      continue;
    }
    if (Rc == 0 && Result) return Result;
    LastSocketError = kWsaNoData;
    return nullptr;
  }
}

protoent* WSocket_getprotobyname(const char* Name)
{
  if (!Name) {
    LastSocketError = MapNativeError(EFAULT);
    return nullptr;
  }
  if (protoent* Entry = ProtocolLookup(Name)) return Entry;
  if (protoent* Entry = FallbackProtocol(Name)) return Entry;
  LastSocketError = kWsaNoData;
  return nullptr;
}

void SetProtocolLookupForTest(TProtocolLookup Lookup) { ProtocolLookup = Lookup ? Lookup : &DatabaseProtocolLookup; }
