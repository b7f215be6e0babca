// SPDX-License-Identifier: MIT
#include "net/SocketApi.h"
#include "net/SocketErrors.h"

#include <cerrno>
#include <functional>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 5000;

sockaddr_in Loopback(std::uint16_t Port)
{
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_port = htons(Port);
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return A;
}

bool WaitFor(int Fd, short Events)
{
  pollfd P{Fd, Events, 0};
  return ::poll(&P, 1, kWaitMs) == 1;
}

// A listener on 127.0.0.1, a client connected to it and the accepted server side.
struct TConnectedPair {
  TSocket Listener = InvalidSocket;
  TSocket Client = InvalidSocket;
  TSocket Server = InvalidSocket;

  TConnectedPair()
  {
    Listener = WSocket_socket(AF_INET, SOCK_STREAM, 0);
    if (Listener == InvalidSocket || WSocket_bind(Listener, Loopback(0)) != 0 || WSocket_listen(Listener, 4) != 0)
      return;
    sockaddr_in Bound{};
    WSocket_getsockname(Listener, &Bound);
    Client = WSocket_socket(AF_INET, SOCK_STREAM, 0);
    if (WSocket_connect(Client, Bound) != 0 && WSocket_WSAGetLastError() != kWsaEWouldBlock) return;
    if (!WaitFor(Listener, POLLIN)) return;
    Server = WSocket_accept(Listener, nullptr);
    WaitFor(Client, POLLOUT);
  }
  ~TConnectedPair()
  {
    for (TSocket S : {Listener, Client, Server}) {
      if (S != InvalidSocket) WSocket_closesocket(S);
    }
  }
  bool Ok() const { return Client != InvalidSocket && Server != InvalidSocket; }
};

TEST(SocketApiTest, SocketsAreNonBlockingAndCloseOnExec)
{
  TConnectedPair Pair;
  ASSERT_TRUE(Pair.Ok());
  for (TSocket S : {Pair.Listener, Pair.Client, Pair.Server}) {
    EXPECT_TRUE(::fcntl(S, F_GETFL) & O_NONBLOCK) << S;
    EXPECT_TRUE(::fcntl(S, F_GETFD) & FD_CLOEXEC) << S;
  }
}

TEST(SocketApiTest, LastErrorBelongsToTheThread)
{
  WSocket_WSASetLastError(kWsaEConnRefused);
  int Seen = -1;
  std::thread([&] { Seen = WSocket_WSAGetLastError(); }).join();
  EXPECT_EQ(Seen, 0);
  EXPECT_EQ(WSocket_WSAGetLastError(), kWsaEConnRefused);
}

TEST(SocketApiTest, DataFlowAndWouldBlock)
{
  TConnectedPair Pair;
  ASSERT_TRUE(Pair.Ok());
  char Buf[16];
  EXPECT_EQ(WSocket_recv(Pair.Client, Buf, sizeof Buf, 0), SocketError);
  EXPECT_EQ(WSocket_WSAGetLastError(), kWsaEWouldBlock);

  ASSERT_EQ(WSocket_send(Pair.Server, "hello", 5, 0), 5);
  ASSERT_TRUE(WaitFor(Pair.Client, POLLIN));
  std::uint32_t Waiting = 0;
  EXPECT_EQ(WSocket_ioctlsocket_FIONREAD(Pair.Client, &Waiting), 0);
  EXPECT_EQ(Waiting, 5u);
  EXPECT_EQ(WSocket_recv(Pair.Client, Buf, sizeof Buf, 0), 5);

  sockaddr_in Peer{};
  sockaddr_in Local{};
  ASSERT_EQ(WSocket_getpeername(Pair.Client, &Peer), 0);
  ASSERT_EQ(WSocket_getsockname(Pair.Server, &Local), 0);
  EXPECT_EQ(Peer.sin_port, Local.sin_port);
  EXPECT_EQ(WSocket_inet_ntoa(Peer.sin_addr.s_addr), "127.0.0.1");

  // Orderly close on the other side reads as 0 bytes.
  WSocket_shutdown(Pair.Server, SHUT_WR);
  ASSERT_TRUE(WaitFor(Pair.Client, POLLIN));
  EXPECT_EQ(WSocket_recv(Pair.Client, Buf, sizeof Buf, 0), 0);
}

TEST(SocketApiTest, SendToVanishedPeerFailsWithoutSigpipe)
{
  TConnectedPair Pair;
  ASSERT_TRUE(Pair.Ok());
  WSocket_closesocket(Pair.Server);
  Pair.Server = InvalidSocket;

  // The first send draws a reset from the closed end; the next one hits the dead
  // connection, which without MSG_NOSIGNAL would kill this process.
  int Result = 0;
  for (int I = 0; I < 50 && Result != SocketError; ++I) {
    Result = WSocket_send(Pair.Client, "x", 1, 0);
    WaitFor(Pair.Client, POLLIN);
  }
  ASSERT_EQ(Result, SocketError);
  const int Code = WSocket_WSAGetLastError();
  EXPECT_TRUE(Code == kWsaEShutdown || Code == kWsaEConnReset) << Code;
}

TEST(SocketApiTest, ConnectToClosedPortIsPendingThenRefused)
{
  // A port that was just bound and released has no listener.
  TSocket Probe = WSocket_socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(WSocket_bind(Probe, Loopback(0)), 0);
  sockaddr_in Addr{};
  WSocket_getsockname(Probe, &Addr);
  WSocket_closesocket(Probe);

  TSocket S = WSocket_socket(AF_INET, SOCK_STREAM, 0);
  const int Result = WSocket_connect(S, Addr);
  int Code = Result == 0 ? 0 : WSocket_WSAGetLastError();
  if (Code == kWsaEWouldBlock) {
    ASSERT_TRUE(WaitFor(S, POLLOUT));
    int Pending = 0;
    socklen_t Len = sizeof Pending;
    ASSERT_EQ(WSocket_getsockopt(S, SOL_SOCKET, SO_ERROR, &Pending, &Len), 0);
    EXPECT_EQ(Pending, ECONNREFUSED);
  } else {
    EXPECT_EQ(Code, kWsaEConnRefused);
  }
  WSocket_closesocket(S);
}

TEST(SocketApiTest, FailuresOnBadDescriptors)
{
  int Pipe[2];
  ASSERT_EQ(::pipe(Pipe), 0);
  char Buf[4];
  const struct {
    const char* Name;
    std::function<int()> Call;
    int Code;
  } Rows[] = {
      {"close -1", [] { return WSocket_closesocket(-1); }, kWsaEBadF},
      {"send on -1", [] { return WSocket_send(-1, "x", 1, 0); }, kWsaEBadF},
      {"recv on a pipe", [&] { return WSocket_recv(Pipe[0], Buf, 4, 0); }, kWsaENotSock},
      {"negative length", [&] { return WSocket_send(Pipe[1], "x", -1, 0); }, kWsaEInval},
      {"shutdown on a pipe", [&] { return WSocket_shutdown(Pipe[0], SHUT_WR); }, kWsaENotSock},
      {"FIONREAD on -1", [] { return WSocket_ioctlsocket_FIONREAD(-1, nullptr); }, kWsaEBadF},
  };
  for (const auto& Row : Rows) {
    WSocket_WSASetLastError(0);
    EXPECT_EQ(Row.Call(), SocketError) << Row.Name;
    EXPECT_EQ(WSocket_WSAGetLastError(), Row.Code) << Row.Name;
  }
  ::close(Pipe[0]);
  ::close(Pipe[1]);
}

TEST(SocketApiTest, DottedAddressParserReadings)
{
  const struct {
    const char* Text;
    std::uint32_t HostOrder;
  } Rows[] = {
      {"1.2.3.4", 0x01020304u},
      {"010.0.0.1", 0x08000001u},  // leading 0 reads as octal
      {"255.255.255.255", INADDR_NONE},
      {"1.2.3.400", INADDR_NONE},
      {"09.1.1.1", INADDR_NONE},  // 9 is no octal digit
      {"", INADDR_NONE},
  };
  for (const auto& Row : Rows) EXPECT_EQ(ntohl(WSocket_inet_addr(Row.Text)), Row.HostOrder) << Row.Text;
  EXPECT_EQ(WSocket_inet_addr(nullptr), INADDR_NONE);
  EXPECT_EQ(WSocket_inet_ntoa(htonl(0x0A00FF01u)), "10.0.255.1");
}

TEST(SocketApiTest, UnloadResetsTheUserCount)
{
  SocketUserCount += 3;
  UnloadSocketLibrary();
  EXPECT_EQ(SocketUserCount.load(), 0);
}

}  // namespace
