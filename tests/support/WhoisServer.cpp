// SPDX-License-Identifier: MIT
#include "tests/support/WhoisServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How long a worker waits for a query line before it answers anyway; a client that sends
// nothing must not pin a thread forever.
constexpr int kQueryWaitMs = 5000;
constexpr int kPollSliceMs = 100;

struct TModeName {
  const char* Name;
  TServerMode Mode;
};
constexpr TModeName kModeNames[] = {
    {"reply", TServerMode::Reply},           {"endless", TServerMode::Endless}, {"drip", TServerMode::Drip},
    {"nulflood", TServerMode::NulFlood},     {"garbage", TServerMode::Garbage}, {"hugeline", TServerMode::HugeLine},
    {"reset", TServerMode::Reset},           {"silent", TServerMode::Silent},   {"refuse", TServerMode::Refuse},
    {"closeearly", TServerMode::CloseEarly},
};

}  // namespace

std::string ExpandReply(const std::string& Reply, const std::string& Query)
{
  std::string Out;
  for (std::size_t I = 0; I < Reply.size(); ++I) {
    if (Reply[I] == '%' && I + 1 < Reply.size() && Reply[I + 1] == 'q') {
      Out += Query;
      ++I;
    } else {
      Out += Reply[I];
    }
  }
  return Out;
}

bool ParseServerMode(const std::string& Name, TServerMode& Mode)
{
  for (const auto& Row : kModeNames) {
    if (Name == Row.Name) {
      Mode = Row.Mode;
      return true;
    }
  }
  return false;
}

TServerOptions ScriptOptions(std::vector<TScriptStep> Script)
{
  TServerOptions O;
  O.Mode = TServerMode::Script;
  O.Script = std::move(Script);
  O.OneAtATime = true;
  return O;
}

TServerOptions SessionOptions(std::function<void(int Fd)> Session, int Connections)
{
  TServerOptions O;
  O.Session = std::move(Session);
  O.OneAtATime = true;
  O.MaxConnections = Connections;
  return O;
}

TServerOptions RefusingOptions()
{
  TServerOptions O;
  O.Mode = TServerMode::Refuse;
  return O;
}

TWhoisServer::TWhoisServer(TServerOptions Options) : m_Options(std::move(Options))
{
  if (::pipe2(m_StopPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  m_Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_Listen < 0) throw std::runtime_error("socket failed");
  int One = 1;
  ::setsockopt(m_Listen, SOL_SOCKET, SO_REUSEADDR, &One, sizeof One);
  sockaddr_in Addr{};
  Addr.sin_family = AF_INET;
  Addr.sin_port = htons(m_Options.Port);
  if (::inet_pton(AF_INET, m_Options.Address.c_str(), &Addr.sin_addr) != 1 ||
      ::bind(m_Listen, reinterpret_cast<sockaddr*>(&Addr), sizeof Addr) != 0) {
    const std::string Reason = std::strerror(errno);
    ::close(m_Listen);
    throw std::runtime_error("cannot bind " + m_Options.Address + ":" + std::to_string(m_Options.Port) + ": " + Reason);
  }
  socklen_t Len = sizeof Addr;
  ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&Addr), &Len);
  m_Port = ntohs(Addr.sin_port);
  // Bound but not listening: the kernel answers every SYN with a reset, so connect is
  // refused while the port stays reserved for this server.
  if (m_Options.Mode == TServerMode::Refuse) return;
  if (::listen(m_Listen, 64) != 0) throw std::runtime_error("listen failed");
  m_Acceptor = std::thread([this] { AcceptLoop(); });
}

TWhoisServer::~TWhoisServer()
{
  {
    // Under the lock, so that a script between its look at m_Stop and its wait for a gate
    // cannot miss the wake-up.
    std::lock_guard Lock(m_Mutex);
    m_Stop = true;
  }
  m_GateOpened.notify_all();
  const char Byte = 1;
  [[maybe_unused]] auto Ignored = ::write(m_StopPipe[1], &Byte, 1);
  if (m_Acceptor.joinable()) m_Acceptor.join();
  for (auto& Worker : m_Workers) Worker.join();
  ::close(m_Listen);
  ::close(m_StopPipe[0]);
  ::close(m_StopPipe[1]);
}

std::vector<std::string> TWhoisServer::Queries() const
{
  std::lock_guard Lock(m_Mutex);
  return m_Queries;
}

void TWhoisServer::Open(int GateNo)
{
  {
    std::lock_guard Lock(m_Mutex);
    m_OpenGates.insert(GateNo);
  }
  m_GateOpened.notify_all();
}

void TWhoisServer::AcceptLoop()
{
  // Finished workers are joined as new ones arrive, so a soak of thousands of connections
  // does not pile up unjoined threads.
  std::vector<std::shared_ptr<std::atomic<bool>>> Done;
  const TServerOptions& O = m_Options;
  // A session's code reads and writes with plain blocking calls.
  const int AcceptFlags = SOCK_CLOEXEC | (O.Session ? 0 : SOCK_NONBLOCK);
  int Served = 0;
  while (!m_Stop) {
    if (O.OneAtATime && O.MaxConnections > 0 && Served == O.MaxConnections) return;
    pollfd Fds[2] = {{m_Listen, POLLIN, 0}, {m_StopPipe[0], POLLIN, 0}};
    if (::poll(Fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (Fds[1].revents != 0) return;
    const int Fd = ::accept4(m_Listen, nullptr, nullptr, AcceptFlags);
    if (Fd < 0) continue;
    ++m_Accepted;
    if (O.OneAtATime) {
      ++Served;
      Serve(Fd);
      ::close(Fd);
      ++m_Finished;
      continue;
    }
    for (std::size_t I = 0; I < m_Workers.size();) {
      if (Done[I]->load()) {
        m_Workers[I].join();
        m_Workers.erase(m_Workers.begin() + static_cast<std::ptrdiff_t>(I));
        Done.erase(Done.begin() + static_cast<std::ptrdiff_t>(I));
      } else {
        ++I;
      }
    }
    auto Flag = std::make_shared<std::atomic<bool>>(false);
    Done.push_back(Flag);
    m_Workers.emplace_back([this, Fd, Flag] {
      Serve(Fd);
      ::close(Fd);
      ++m_Finished;
      *Flag = true;
    });
  }
}

// Waits until Fd shows one of Events; false when the server stops first.
static bool WaitFd(int Fd, short Events, int StopFd, int TimeoutMs, short* Got = nullptr)
{
  pollfd Fds[2] = {{Fd, Events, 0}, {StopFd, POLLIN, 0}};
  for (;;) {
    const int N = ::poll(Fds, 2, TimeoutMs);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) {
      if (Got) *Got = 0;
      return N == 0;  // a time-out is not a stop
    }
    if (Fds[1].revents != 0) return false;
    if (Got) *Got = Fds[0].revents;
    return true;
  }
}

bool TWhoisServer::ReadQuery(int Fd, std::string& Query)
{
  int Waited = 0;
  while (Waited < kQueryWaitMs && Query.find('\n') == std::string::npos && Query.size() < 4096) {
    short Got = 0;
    if (!WaitFd(Fd, POLLIN, m_StopPipe[0], kPollSliceMs, &Got)) return false;
    if (Got == 0) {
      Waited += kPollSliceMs;
      continue;
    }
    char Buf[512];
    const ssize_t N = ::recv(Fd, Buf, sizeof Buf, 0);
    if (N == 0) return false;
    if (N < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return false;
    }
    Query.append(Buf, static_cast<std::size_t>(N));
  }
  while (!Query.empty() && (Query.back() == '\n' || Query.back() == '\r')) Query.pop_back();
  {
    std::lock_guard Lock(m_Mutex);
    m_Queries.push_back(Query);
  }
  if (m_Options.OnQuery) m_Options.OnQuery(Query);
  return true;
}

bool TWhoisServer::SendAll(int Fd, const char* Data, std::size_t Size)
{
  while (Size > 0) {
    if (m_Stop) return false;
    const ssize_t N = ::send(Fd, Data, Size, MSG_NOSIGNAL);
    if (N > 0) {
      Data += N;
      Size -= static_cast<std::size_t>(N);
      m_BytesSent += static_cast<std::uint64_t>(N);
      continue;
    }
    if (N < 0 && (errno == EAGAIN || errno == EINTR)) {
      short Got = 0;
      if (!WaitFd(Fd, POLLOUT, m_StopPipe[0], kPollSliceMs, &Got)) return false;
      if (Got & (POLLERR | POLLHUP)) return false;
      continue;
    }
    return false;
  }
  return true;
}

// True while the peer is still there; drains whatever it sends.
static bool PeerAlive(int Fd)
{
  char Buf[256];
  for (;;) {
    const ssize_t N = ::recv(Fd, Buf, sizeof Buf, 0);
    if (N > 0) continue;
    if (N == 0) return false;
    return errno == EAGAIN || errno == EINTR;
  }
}

// Until the peer goes away or the server stops, reading and dropping what comes.
static void HoldUntilPeerCloses(int Fd, int StopFd, const std::atomic<bool>& Stop)
{
  while (!Stop) {
    short Got = 0;
    if (!WaitFd(Fd, POLLIN, StopFd, kPollSliceMs, &Got)) return;
    if (Got != 0 && !PeerAlive(Fd)) return;
  }
}

void TWhoisServer::Serve(int Fd)
{
  const TServerOptions& O = m_Options;
  if (O.Session) {
    O.Session(Fd);
    return;
  }
  if (O.Mode == TServerMode::CloseEarly) return;
  std::string Query;
  if (!ReadQuery(Fd, Query)) return;
  if (O.Mode == TServerMode::Script) {
    PlayScript(Fd, Query);
    return;
  }
  const std::string Reply = O.ReplyFor ? O.ReplyFor(Query) : ExpandReply(O.Reply, Query);
  switch (O.Mode) {
    case TServerMode::Reply:
      SendAll(Fd, Reply.data(), Reply.size());
      ::shutdown(Fd, SHUT_WR);
      break;
    case TServerMode::Endless: {
      std::string Chunk;
      for (int I = 0; I < 256; ++I) Chunk += "endless line of an endless reply, never closed\r\n";
      while (SendAll(Fd, Chunk.data(), Chunk.size())) {
      }
      break;
    }
    case TServerMode::Drip:
      for (char C : Reply) {
        short Got = 0;
        if (!WaitFd(Fd, POLLIN, m_StopPipe[0], O.DripIntervalMs, &Got)) return;
        if (Got != 0 && !PeerAlive(Fd)) return;
        if (!SendAll(Fd, &C, 1)) return;
      }
      break;
    case TServerMode::NulFlood: {
      std::string Block(64 * 1024, '\0');
      Block.replace(100, 6, "nul-ok");
      for (std::size_t Sent = 0; Sent < O.FloodBytes; Sent += Block.size())
        if (!SendAll(Fd, Block.data(), Block.size())) return;
      SendAll(Fd, "\r\nend of nuls\r\n", 15);
      break;
    }
    case TServerMode::Garbage: {
      std::string Block(64 * 1024, '\0');
      std::uint32_t Seed = 12345;
      for (std::size_t Sent = 0; Sent < O.FloodBytes; Sent += Block.size()) {
        for (char& C : Block) {
          Seed = Seed * 1664525u + 1013904223u;
          C = static_cast<char>(Seed >> 24);
        }
        if (!SendAll(Fd, Block.data(), Block.size())) return;
      }
      SendAll(Fd, "\r\nend of garbage\r\n", 18);
      break;
    }
    case TServerMode::HugeLine: {
      std::string Block(64 * 1024, 'A');
      for (std::size_t Sent = 0; Sent < O.FloodBytes; Sent += Block.size())
        if (!SendAll(Fd, Block.data(), Block.size())) return;
      break;
    }
    case TServerMode::Reset: {
      SendAll(Fd, Reply.data(), Reply.size() / 2);
      // Let the half reply leave before the reset, so the client sees data, then RST.
      ::usleep(50 * 1000);
      SessionIo::ResetClose(Fd);
      break;
    }
    case TServerMode::Silent: HoldUntilPeerCloses(Fd, m_StopPipe[0], m_Stop); break;
    case TServerMode::Refuse:
    case TServerMode::CloseEarly:
    case TServerMode::Script: break;
  }
}

void TWhoisServer::PlayScript(int Fd, const std::string& Query)
{
  for (const TScriptStep& Step : m_Options.Script) {
    switch (Step.Kind) {
      case TScriptStep::Send: {
        const std::string Data = ExpandReply(Step.Data, Query);
        if (!SendAll(Fd, Data.data(), Data.size())) return;
        break;
      }
      case TScriptStep::Gate: {
        std::unique_lock Lock(m_Mutex);
        m_GateOpened.wait(Lock, [&] { return m_Stop || m_OpenGates.count(Step.GateNo) > 0; });
        if (m_Stop) return;
        break;
      }
      case TScriptStep::Flood: {
        std::string Chunk;
        while (Chunk.size() < 65536) Chunk += Step.Data;
        for (std::size_t Left = Step.Count; Left > 0;) {
          const std::size_t N = std::min(Left, Chunk.size());
          if (!SendAll(Fd, Chunk.data(), N)) return;
          Left -= N;
        }
        break;
      }
      case TScriptStep::Hold: HoldUntilPeerCloses(Fd, m_StopPipe[0], m_Stop); return;
      case TScriptStep::Reset: SessionIo::ResetClose(Fd); return;
    }
  }
}

namespace SessionIo {

std::string ReadLine(int Fd)
{
  std::string Line;
  char C;
  while (::recv(Fd, &C, 1, 0) == 1) {
    Line += C;
    if (C == '\n') break;
  }
  return Line;
}

std::string ReadAll(int Fd)
{
  std::string Data;
  char Buf[65536];
  for (;;) {
    const auto N = ::recv(Fd, Buf, sizeof Buf, 0);
    if (N <= 0) return Data;
    Data.append(Buf, static_cast<std::size_t>(N));
  }
}

void SendAll(int Fd, const std::string& Data)
{
  std::size_t Done = 0;
  while (Done < Data.size()) {
    const auto N = ::send(Fd, Data.data() + Done, Data.size() - Done, MSG_NOSIGNAL);
    if (N <= 0) return;
    Done += static_cast<std::size_t>(N);
  }
}

void ResetClose(int Fd)
{
  linger L{1, 0};
  ::setsockopt(Fd, SOL_SOCKET, SO_LINGER, &L, sizeof L);
}

void WaitPeerClose(int Fd) { ReadAll(Fd); }

}  // namespace SessionIo
