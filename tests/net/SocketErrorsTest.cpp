// SPDX-License-Identifier: MIT
#include "net/SocketErrors.h"

#include <cerrno>

#include <netdb.h>

#include <gtest/gtest.h>

namespace {

// Codes stand as numbers here, not as the header's names: these tests pin the numbering.

TEST(SocketErrorsTest, TextOfKnownAndUnknownCodes)
{
  const struct {
    int Code;
    const char* Text;
  } Rows[] = {
      {0, "No Error"},
      {10035, "Operation would block"},
      {10058, "Can't send after socket shutdown"},
      {11001, "Host not found"},
      {11004, "No Data"},
      {10072, "Not a WinSock error"},
      {-1, "Not a WinSock error"},
      {12000, "Not a WinSock error"},
      {10003, "Not a WinSock error"},
      {11005, "Not a WinSock error"},
  };
  for (const auto& Row : Rows) EXPECT_EQ(SocketErrorText(Row.Code), Row.Text) << Row.Code;
}

// The words the terminal's reports put after a colon: a failed connection's code reads as its
// text, a failed lookup's as what the name server said; anything else as the step that failed.
TEST(SocketErrorsTest, PlainWordsOfFailedConnectionsAndLookups)
{
  const struct {
    int Code;
    const char* Connection;
    const char* Lookup;
  } Rows[] = {
      {10061, "connection refused", "the name could not be looked up"},
      {10065, "no route to host", "the name could not be looked up"},
      {10058, "can't send after socket shutdown", "the name could not be looked up"},
      {10055, "no buffer space available", "the name could not be looked up"},
      {11001, "the connection failed", "no such host"},
      {11002, "the connection failed", "the name server did not answer; try again later"},
      {11003, "the connection failed", "the name server failed"},
      {11004, "the connection failed", "the name has no IPv4 address"},
      {0, "the connection failed", "the name could not be looked up"},
      {kUnmappedErrorBase + ENOENT, "the connection failed", "the name could not be looked up"},
      {0xFFFF, "the connection failed", "the name could not be looked up"},
  };
  for (const auto& Row : Rows) {
    EXPECT_EQ(SocketErrorCause(Row.Code), Row.Connection) << Row.Code;
    EXPECT_EQ(LookupErrorCause(Row.Code), Row.Lookup) << Row.Code;
  }
}

TEST(SocketErrorsTest, NativeErrorsMapOntoWinsockNumbers)
{
  const struct {
    int Errno;
    int Code;
  } Rows[] = {
      {0, 0},
      {EAGAIN, 10035},
      {EWOULDBLOCK, 10035},
      {EINPROGRESS, 10036},
      {EALREADY, 10037},
      {ENOTSOCK, 10038},
      {EADDRINUSE, 10048},
      {ENETUNREACH, 10051},
      {ECONNRESET, 10054},
      {ENOTCONN, 10057},
      {EPIPE, 10058},
      {ESHUTDOWN, 10058},
      {ETIMEDOUT, 10060},
      {ECONNREFUSED, 10061},
      {EHOSTUNREACH, 10065},
      {EINTR, 10004},
      {EBADF, 10009},
      {EINVAL, 10022},
      {EMFILE, 10024},
  };
  for (const auto& Row : Rows) EXPECT_EQ(MapNativeError(Row.Errno), Row.Code) << Row.Errno;
}

TEST(SocketErrorsTest, UnmappedNativeErrorsStayOutsideTheTable)
{
  // ENOENT (2) would read as a Winsock code if passed through unmapped.
  for (const int Errno : {ENOENT, EIO, ENOSPC}) {
    const int Code = MapNativeError(Errno);
    EXPECT_EQ(Code, kUnmappedErrorBase + Errno);
    EXPECT_EQ(SocketErrorText(Code), "Not a WinSock error");
  }
}

TEST(SocketErrorsTest, ConnectInProgressIsWouldBlock)
{
  EXPECT_EQ(MapConnectError(EINPROGRESS), 10035);
  EXPECT_EQ(MapConnectError(ECONNREFUSED), 10061);
  EXPECT_EQ(MapConnectError(0), 0);
}

TEST(SocketErrorsTest, ResolverCodes)
{
  EXPECT_EQ(MapResolverError(HOST_NOT_FOUND), 11001);
  EXPECT_EQ(MapResolverError(TRY_AGAIN), 11002);
  EXPECT_EQ(MapResolverError(NO_RECOVERY), 11003);
  EXPECT_EQ(MapResolverError(NO_DATA), 11004);
  EXPECT_EQ(MapResolverError(NETDB_INTERNAL), 11003);

  EXPECT_EQ(MapAddrInfoError(0), 0);
  EXPECT_EQ(MapAddrInfoError(EAI_NONAME), 11001);
  EXPECT_EQ(MapAddrInfoError(EAI_NODATA), 11001);
  EXPECT_EQ(MapAddrInfoError(EAI_AGAIN), 11002);
  EXPECT_EQ(MapAddrInfoError(EAI_FAIL), 11003);
  EXPECT_EQ(MapAddrInfoError(EAI_MEMORY), 10055);
  errno = ECONNREFUSED;
  EXPECT_EQ(MapAddrInfoError(EAI_SYSTEM), 10061);
}

}  // namespace
