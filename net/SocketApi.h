// SPDX-License-Identifier: MIT
// Thin wrappers over the POSIX socket calls, the only place in the program that touches
// errno. Each wrapper records a failure as the thread's last socket error, already mapped
// onto the Windows Sockets numbering (SocketErrors.h), where WSocket_WSAGetLastError reads it.
//
// The socket functions are linked in directly on this platform, so there is no library to
// load, no startup or cleanup call, and the loader's failure messages cannot occur.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

using TSocket = int;
constexpr TSocket InvalidSocket = -1;
constexpr int SocketError = -1;

// Count of live socket objects; the socket constructor increments it, the destructor
// decrements it, both atomically.
extern std::atomic<std::int32_t> SocketUserCount;

// Nothing to unload on this platform; kept for the destructor's and program end's call.
// Sets SocketUserCount to 0.
void UnloadSocketLibrary();

int WSocket_WSAGetLastError();
void WSocket_WSASetLastError(int Code);

// Creates a non-blocking, close-on-exec socket. InvalidSocket on failure.
TSocket WSocket_socket(int Family, int Type, int Protocol);
int WSocket_setsockopt(TSocket S, int Level, int OptName, const void* OptVal, socklen_t OptLen);
int WSocket_getsockopt(TSocket S, int Level, int OptName, void* OptVal, socklen_t* OptLen);
// 0 when connected at once; SocketError with last error kWsaEWouldBlock while in progress.
int WSocket_connect(TSocket S, const sockaddr_in& Addr);
int WSocket_bind(TSocket S, const sockaddr_in& Addr);
int WSocket_listen(TSocket S, int Backlog);
TSocket WSocket_accept(TSocket S, sockaddr_in* Addr);
int WSocket_getsockname(TSocket S, sockaddr_in* Addr);
int WSocket_getpeername(TSocket S, sockaddr_in* Addr);
// Never raises SIGPIPE. Bytes accepted, or SocketError (kWsaEWouldBlock when the kernel buffer
// is full).
int WSocket_send(TSocket S, const void* Buf, int Len, int Flags);
// Bytes received, 0 after the peer's orderly close, or SocketError (kWsaEWouldBlock when nothing
// waits).
int WSocket_recv(TSocket S, void* Buf, int Len, int Flags);
// FIONREAD: bytes waiting to be read.
int WSocket_ioctlsocket_FIONREAD(TSocket S, std::uint32_t* Count);
int WSocket_shutdown(TSocket S, int How);
// Never retried, even on EINTR.
int WSocket_closesocket(TSocket S);

// The platform's dotted-address parser: a leading 0 reads as octal; INADDR_NONE (all ones)
// reports failure, which is also the value of "255.255.255.255". Network byte order.
std::uint32_t WSocket_inet_addr(const char* Text);
// Four decimal parts, no leading zeros.
std::string WSocket_inet_ntoa(std::uint32_t AddrNetworkOrder);

// Blocking lookups. A null result leaves the reason in the last error (kWsaHostNotFound ..
// kWsaNoData for hosts).
hostent* WSocket_gethostbyname(const char* Name);
servent* WSocket_getservbyname(const char* Name, const char* Proto);
// Falls back to 6 for "tcp" and 17 for "udp" when the protocol database lacks them.
protoent* WSocket_getprotobyname(const char* Name);

// Tests only: replaces the protocol database lookup behind WSocket_getprotobyname (a null
// Lookup restores the database), so that the fallback for a missing database can be reached.
using TProtocolLookup = protoent* (*)(const char* Name);
void SetProtocolLookupForTest(TProtocolLookup Lookup);
