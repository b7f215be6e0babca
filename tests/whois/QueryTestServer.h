// SPDX-License-Identifier: MIT
// A scripted WHOIS server on 127.0.0.1 for the query window's tests and benchmark: accepts
// connections one after another, reads each query line, then plays its script (send, wait
// for a gate the test opens, flood, hold the line open, close or reset).
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

struct TScriptStep {
  enum TKind { Send, Gate, Flood, Hold, Reset } Kind = Send;
  std::string Data;          // Send: bytes ("%q" becomes the query line); Flood: the pattern
  std::size_t Count = 0;     // Flood: bytes in all
  int GateNo = 0;            // Gate: waits until Open(GateNo)
};

inline TScriptStep SendStep(std::string Data) { return {TScriptStep::Send, std::move(Data), 0, 0}; }
inline TScriptStep GateStep(int No) { return {TScriptStep::Gate, {}, 0, No}; }
inline TScriptStep FloodStep(std::string Pattern, std::size_t Count) { return {TScriptStep::Flood, std::move(Pattern), Count, 0}; }
inline TScriptStep HoldStep() { return {TScriptStep::Hold, {}, 0, 0}; }
inline TScriptStep ResetStep() { return {TScriptStep::Reset, {}, 0, 0}; }

class TQueryTestServer {
 public:
  explicit TQueryTestServer(std::vector<TScriptStep> Script) : m_Script(std::move(Script))
  {
    m_Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t L = sizeof A;
    if (m_Listen < 0 || ::bind(m_Listen, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 ||
        ::listen(m_Listen, 8) != 0 || ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&A), &L) != 0)
      throw std::runtime_error("test server: cannot listen on 127.0.0.1");
    m_Port = ntohs(A.sin_port);
    m_Thread = std::thread([this] { Run(); });
  }
  ~TQueryTestServer()
  {
    {
      std::lock_guard<std::mutex> Lock(m_Mutex);
      m_Stop = true;
    }
    m_Cv.notify_all();
    m_Thread.join();
    ::close(m_Listen);
  }
  TQueryTestServer(const TQueryTestServer&) = delete;
  TQueryTestServer& operator=(const TQueryTestServer&) = delete;

  std::string PortText() const { return std::to_string(m_Port); }
  void Open(int GateNo)
  {
    {
      std::lock_guard<std::mutex> Lock(m_Mutex);
      m_Open.insert(GateNo);
    }
    m_Cv.notify_all();
  }
  std::vector<std::string> Queries() const
  {
    std::lock_guard<std::mutex> Lock(m_Mutex);
    return m_Queries;
  }
  int Finished() const { return m_Finished.load(); }
  std::uint64_t BytesSent() const { return m_Sent.load(); }

 private:
  bool Stopping()
  {
    std::lock_guard<std::mutex> Lock(m_Mutex);
    return m_Stop;
  }
  // Waits up to Ms for Fd to become readable; false when stopping.
  bool WaitReadable(int Fd, int Ms)
  {
    pollfd P{Fd, POLLIN, 0};
    return ::poll(&P, 1, Ms) > 0;
  }
  void Run()
  {
    while (!Stopping()) {
      if (!WaitReadable(m_Listen, 20)) continue;
      const int Fd = ::accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC);
      if (Fd < 0) continue;
      Serve(Fd);
      ++m_Finished;
    }
  }
  bool SendAll(int Fd, const char* Data, std::size_t Size)
  {
    while (Size > 0) {
      if (Stopping()) return false;
      pollfd P{Fd, POLLOUT, 0};
      if (::poll(&P, 1, 20) <= 0) continue;
      const ssize_t N = ::send(Fd, Data, Size, MSG_NOSIGNAL);
      if (N <= 0) return false;  // the client has gone
      Data += N;
      Size -= static_cast<std::size_t>(N);
      m_Sent += static_cast<std::uint64_t>(N);
    }
    return true;
  }
  void Serve(int Fd)
  {
    std::string Line;
    char C;
    while (!Stopping()) {
      if (!WaitReadable(Fd, 20)) continue;
      if (::recv(Fd, &C, 1, 0) != 1 || C == '\n') break;
      if (C != '\r') Line += C;
    }
    {
      std::lock_guard<std::mutex> Lock(m_Mutex);
      m_Queries.push_back(Line);
    }
    for (const TScriptStep& Step : m_Script) {
      bool Go = true;
      switch (Step.Kind) {
        case TScriptStep::Send: {
          std::string Data = Step.Data;
          for (std::size_t P; (P = Data.find("%q")) != std::string::npos;) Data.replace(P, 2, Line);
          Go = SendAll(Fd, Data.data(), Data.size());
          break;
        }
        case TScriptStep::Gate: {
          std::unique_lock<std::mutex> Lock(m_Mutex);
          m_Cv.wait(Lock, [&] { return m_Stop || m_Open.count(Step.GateNo) > 0; });
          Go = !m_Stop;
          break;
        }
        case TScriptStep::Flood: {
          std::string Chunk;
          while (Chunk.size() < 65536) Chunk += Step.Data;
          for (std::size_t Left = Step.Count; Go && Left > 0;) {
            const std::size_t N = std::min(Left, Chunk.size());
            Go = SendAll(Fd, Chunk.data(), N);
            Left -= N;
          }
          break;
        }
        case TScriptStep::Hold: {
          // Until the client closes its side (or resets), reading and dropping what comes.
          char Buf[256];
          while (!Stopping()) {
            if (!WaitReadable(Fd, 20)) continue;
            if (::recv(Fd, Buf, sizeof Buf, 0) <= 0) break;
          }
          Go = false;
          break;
        }
        case TScriptStep::Reset: {
          linger L{1, 0};
          ::setsockopt(Fd, SOL_SOCKET, SO_LINGER, &L, sizeof L);
          Go = false;
          break;
        }
      }
      if (!Go) break;
    }
    ::close(Fd);
  }

  std::vector<TScriptStep> m_Script;
  int m_Listen = -1;
  std::uint16_t m_Port = 0;
  mutable std::mutex m_Mutex;
  std::condition_variable m_Cv;
  bool m_Stop = false;
  std::set<int> m_Open;
  std::vector<std::string> m_Queries;
  std::atomic<int> m_Finished{0};
  std::atomic<std::uint64_t> m_Sent{0};
  std::thread m_Thread;
};

// A loopback port that refuses every connection: bound, never listening, held open.
class TRefusingPort {
 public:
  TRefusingPort()
  {
    m_Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t L = sizeof A;
    if (m_Fd < 0 || ::bind(m_Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 ||
        ::getsockname(m_Fd, reinterpret_cast<sockaddr*>(&A), &L) != 0)
      throw std::runtime_error("test: cannot bind 127.0.0.1");
    m_Port = ntohs(A.sin_port);
  }
  ~TRefusingPort() { ::close(m_Fd); }
  TRefusingPort(const TRefusingPort&) = delete;
  TRefusingPort& operator=(const TRefusingPort&) = delete;
  std::string PortText() const { return std::to_string(m_Port); }

 private:
  int m_Fd = -1;
  std::uint16_t m_Port = 0;
};
