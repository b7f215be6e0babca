// SPDX-License-Identifier: MIT
// Socket error codes in the Windows Sockets 1.1 numbering, their English texts, and the
// one mapping from native (errno, resolver) codes onto that numbering.
#pragma once

#include <string>

// Text of a socket error code; "Not a WinSock error" for any code outside the table.
std::string SocketErrorText(int Code);

// errno value -> Windows Sockets code (EWOULDBLOCK -> 10035, ECONNREFUSED -> 10061, ...).
// 0 stays 0. A native code without a counterpart maps to kUnmappedErrorBase + errno, which
// SocketErrorText answers with "Not a WinSock error".
int MapNativeError(int Errno);
// As MapNativeError, for a non-blocking connect: EINPROGRESS also means "would block" (10035).
int MapConnectError(int Errno);
// Resolver codes (h_errno of gethostbyname, or an EAI_* of getaddrinfo) -> 11001..11004.
// MapAddrInfoError reads errno for EAI_SYSTEM: call it straight after getaddrinfo returns.
int MapResolverError(int HErrno);
int MapAddrInfoError(int EaiCode);

constexpr int kUnmappedErrorBase = 20000;
