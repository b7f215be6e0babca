// SPDX-License-Identifier: MIT
// TWSocket against plain POSIX clients over loopback, each against a server thread of this
// program: receiving a 64 MiB stream (vs. a blocking recv loop) and many small sessions of
// connect + send + receive + close (vs. a non-blocking poll() client). Compare the rates of
// each pair.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>

#include "net/WSocket.h"
#include "tests/support/WhoisServer.h"

namespace {

constexpr std::size_t kStreamSize = 64u * 1024 * 1024;
const std::string kRequest = "192.0.2.1\r\n";
const std::string kReply(600, 'r');

sockaddr_in Loopback(int Port)
{
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_port = htons(static_cast<std::uint16_t>(Port));
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return A;
}

// Serves every accepted connection, one after another: either the stream, or one request
// line answered with kReply.
TServerOptions BenchServer(bool Stream)
{
  return SessionOptions(
      [Stream](int Fd) {
        if (Stream) {
          static const std::vector<char> Block(256 * 1024, 'x');
          std::size_t Left = kStreamSize;
          while (Left > 0) {
            const auto N = ::send(Fd, Block.data(), std::min(Left, Block.size()), MSG_NOSIGNAL);
            if (N <= 0) break;
            Left -= static_cast<std::size_t>(N);
          }
        } else {
          char Buf[256];
          std::size_t Got = 0;
          while (Got < kRequest.size()) {
            const auto N = ::recv(Fd, Buf, sizeof Buf, 0);
            if (N <= 0) break;
            Got += static_cast<std::size_t>(N);
          }
          ::send(Fd, kReply.data(), kReply.size(), MSG_NOSIGNAL);
        }
      },
      0);
}

void BM_StreamPlainBlockingRecv(benchmark::State& State)
{
  TWhoisServer Server(BenchServer(true));
  std::vector<char> Buf(64 * 1024);
  for (auto _ : State) {
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in A = Loopback(Server.Port());
    ::connect(Fd, reinterpret_cast<const sockaddr*>(&A), sizeof A);
    std::size_t Total = 0;
    for (;;) {
      const auto N = ::recv(Fd, Buf.data(), Buf.size(), 0);
      if (N <= 0) break;
      Total += static_cast<std::size_t>(N);
    }
    ::close(Fd);
    if (Total != kStreamSize) State.SkipWithError("short stream");
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * kStreamSize));
}

void BM_StreamTWSocket(benchmark::State& State)
{
  TWhoisServer Server(BenchServer(true));
  std::vector<char> Buf(64 * 1024);
  TWSocket S;
  QEventLoop Loop;
  std::size_t Total = 0;
  S.OnDataAvailable = [&](TCustomWSocket* Sender, std::uint16_t) {
    std::int32_t N;
    while ((N = Sender->Receive(Buf.data(), static_cast<std::int32_t>(Buf.size()))) > 0)
      Total += static_cast<std::size_t>(N);
  };
  S.OnSessionClosed = [&](TCustomWSocket*, std::uint16_t) { Loop.quit(); };
  for (auto _ : State) {
    Total = 0;
    S.SetAddr("127.0.0.1");
    S.SetPort(std::to_string(Server.Port()));
    S.Connect();
    Loop.exec();
    if (Total != kStreamSize) State.SkipWithError("short stream");
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * kStreamSize));
}

bool WaitFor(int Fd, short Events)
{
  pollfd P{Fd, Events, 0};
  return ::poll(&P, 1, 5000) == 1;
}

void BM_SessionsPlainPoll(benchmark::State& State)
{
  TWhoisServer Server(BenchServer(false));
  char Buf[4096];
  const bool SameOptions = State.range(0) != 0;
  for (auto _ : State) {
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (SameOptions) {
      const int On = 1;
      ::setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &On, sizeof On);
      linger L{1, 0};
      ::setsockopt(Fd, SOL_SOCKET, SO_LINGER, &L, sizeof L);
      ::setsockopt(Fd, SOL_SOCKET, SO_KEEPALIVE, &On, sizeof On);
    }
    const sockaddr_in A = Loopback(Server.Port());
    ::connect(Fd, reinterpret_cast<const sockaddr*>(&A), sizeof A);
    WaitFor(Fd, POLLOUT);
    ::send(Fd, kRequest.data(), kRequest.size(), MSG_NOSIGNAL);
    std::size_t Total = 0;
    for (;;) {
      const auto N = ::recv(Fd, Buf, sizeof Buf, 0);
      if (N > 0) {
        Total += static_cast<std::size_t>(N);
        continue;
      }
      if (N == 0 || !WaitFor(Fd, POLLIN)) break;
    }
    if (SameOptions) ::shutdown(Fd, SHUT_WR);
    ::close(Fd);
    if (Total != kReply.size()) State.SkipWithError("short reply");
  }
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations()));
}

void BM_SessionsTWSocket(benchmark::State& State)
{
  TWhoisServer Server(BenchServer(false));
  char Buf[4096];
  TWSocket S;
  QEventLoop Loop;
  std::size_t Total = 0;
  S.OnSessionConnected = [&](TCustomWSocket* Sender, std::uint16_t) { Sender->SendStr(kRequest); };
  S.OnDataAvailable = [&](TCustomWSocket* Sender, std::uint16_t) {
    std::int32_t N;
    while ((N = Sender->Receive(Buf, sizeof Buf)) > 0) Total += static_cast<std::size_t>(N);
  };
  S.OnSessionClosed = [&](TCustomWSocket*, std::uint16_t) { Loop.quit(); };
  const std::string Port = std::to_string(Server.Port());
  for (auto _ : State) {
    Total = 0;
    S.SetAddr("127.0.0.1");
    S.SetPort(Port);
    S.Connect();
    Loop.exec();
    if (Total != kReply.size()) State.SkipWithError("short reply");
  }
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations()));
}

BENCHMARK(BM_StreamPlainBlockingRecv)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamTWSocket)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SessionsPlainPoll)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SessionsTWSocket)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
  QCoreApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
