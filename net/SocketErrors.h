// SPDX-License-Identifier: MIT
// Socket error codes in the Windows Sockets 1.1 numbering, their English texts, their plain
// words for the terminal's reports, and the one mapping from native (errno, resolver) codes
// onto that numbering. Everything in the program names a code by the constants below.
#pragma once

#include <string>

// Windows Sockets 1.1 codes: 10000 plus the classic BSD error number, the library's own
// state (10091..10093), and the resolver's (11001..11004). 0 is success.
constexpr int kWsaBaseError = 10000;
constexpr int kWsaEIntr = 10004;
constexpr int kWsaEBadF = 10009;
constexpr int kWsaEAcces = 10013;
constexpr int kWsaEFault = 10014;
constexpr int kWsaEInval = 10022;
constexpr int kWsaEMFile = 10024;
constexpr int kWsaEWouldBlock = 10035;
constexpr int kWsaEInProgress = 10036;
constexpr int kWsaEAlready = 10037;
constexpr int kWsaENotSock = 10038;
constexpr int kWsaEDestAddrReq = 10039;
constexpr int kWsaEMsgSize = 10040;
constexpr int kWsaEProtoType = 10041;
constexpr int kWsaENoProtoOpt = 10042;
constexpr int kWsaEProtoNoSupport = 10043;
constexpr int kWsaESocktNoSupport = 10044;
constexpr int kWsaEOpNotSupp = 10045;
constexpr int kWsaEPfNoSupport = 10046;
constexpr int kWsaEAfNoSupport = 10047;
constexpr int kWsaEAddrInUse = 10048;
constexpr int kWsaEAddrNotAvail = 10049;
constexpr int kWsaENetDown = 10050;
constexpr int kWsaENetUnreach = 10051;
constexpr int kWsaENetReset = 10052;
constexpr int kWsaEConnAborted = 10053;
constexpr int kWsaEConnReset = 10054;
constexpr int kWsaENoBufs = 10055;
constexpr int kWsaEIsConn = 10056;
constexpr int kWsaENotConn = 10057;
constexpr int kWsaEShutdown = 10058;
constexpr int kWsaETooManyRefs = 10059;
constexpr int kWsaETimedOut = 10060;
constexpr int kWsaEConnRefused = 10061;
constexpr int kWsaELoop = 10062;
constexpr int kWsaENameTooLong = 10063;
constexpr int kWsaEHostDown = 10064;
constexpr int kWsaEHostUnreach = 10065;
constexpr int kWsaENotEmpty = 10066;
constexpr int kWsaEProcLim = 10067;
constexpr int kWsaEUsers = 10068;
constexpr int kWsaEDQuot = 10069;
constexpr int kWsaEStale = 10070;
constexpr int kWsaERemote = 10071;
constexpr int kWsaSysNotReady = 10091;
constexpr int kWsaVerNotSupported = 10092;
constexpr int kWsaNotInitialised = 10093;
// The resolver's codes: no such name; no answer yet (try again); the name server failed;
// the name exists without an address of the kind asked for.
constexpr int kWsaHostNotFound = 11001;
constexpr int kWsaTryAgain = 11002;
constexpr int kWsaNoRecovery = 11003;
constexpr int kWsaNoData = 11004;

// Where codes without a Windows Sockets counterpart start (see MapNativeError).
constexpr int kUnmappedErrorBase = 20000;

// Text of a socket error code; "Not a WinSock error" for any code outside the table.
std::string SocketErrorText(int Code);

// A failed connection's code (connect, send, receive) in plain words, to stand after a
// colon in a sentence: the code's text with its first letter in lower case ("connection
// refused"); "the connection failed" for 0 and codes outside the sockets' range.
std::string SocketErrorCause(int Code);
// A failed host lookup's code in plain words ("no such host", ...); "the name could not be
// looked up" for any code that is not the resolver's.
std::string LookupErrorCause(int Code);

// errno value -> Windows Sockets code (EWOULDBLOCK -> kWsaEWouldBlock, ECONNREFUSED ->
// kWsaEConnRefused, ...). 0 stays 0. A native code without a counterpart maps to
// kUnmappedErrorBase + errno, which SocketErrorText answers with "Not a WinSock error".
int MapNativeError(int Errno);
// As MapNativeError, for a non-blocking connect: EINPROGRESS also means "would block".
int MapConnectError(int Errno);
// Resolver codes (h_errno of gethostbyname, or an EAI_* of getaddrinfo) -> kWsaHostNotFound
// .. kWsaNoData. MapAddrInfoError reads errno for EAI_SYSTEM: call it straight after
// getaddrinfo returns.
int MapResolverError(int HErrno);
int MapAddrInfoError(int EaiCode);
