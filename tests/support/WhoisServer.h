// SPDX-License-Identifier: MIT
// A scripted WHOIS server for tests and benchmarks: listens on one loopback address and
// port, reads the query line of each connection and answers in one of several ways, from a
// well-behaved reply to the hostile ones (endless, dripping, NUL floods, resets, silence).
// Each connection runs on its own thread; the destructor stops and joins all of them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class TServerMode {
  Reply,       // reads the query line, sends the reply text, closes
  Endless,     // sends lines until the client goes away
  Drip,        // sends one byte of the reply per DripIntervalMs, then closes
  NulFlood,    // FloodBytes of NULs with a few readable words among them, then closes
  Garbage,     // FloodBytes of pseudo-random bytes, many of them >= 0x80, then closes
  HugeLine,    // one line of FloodBytes letters without a line end, then closes
  Reset,       // half the reply, then an abortive close (RST)
  Silent,      // accepts, reads, never answers; holds the connection until the client closes
  Refuse,      // port bound but not listening: every connect is refused
  CloseEarly,  // closes each connection at once, before the query line arrives
};

// The reply with every "%q" replaced by the query line.
std::string ExpandReply(const std::string& Reply, const std::string& Query);

// Parses "reply", "endless", ... (the names above in lower case); false for anything else.
bool ParseServerMode(const std::string& Name, TServerMode& Mode);

struct TServerOptions {
  TServerMode Mode = TServerMode::Reply;
  std::string Address = "127.0.0.1";
  std::uint16_t Port = 0;  // 0: any free port, see TWhoisServer::Port()
  // The reply; every "%q" is replaced by the query line (without its CR LF).
  std::string Reply = "% test server\r\nquery: %q\r\n";
  // When set, the reply for each query line instead of Reply (called on the connection's
  // thread; "%q" is not expanded).
  std::function<std::string(const std::string& Query)> ReplyFor;
  std::size_t FloodBytes = 4 << 20;
  int DripIntervalMs = 1000;
  // Called on the connection's thread after each query line has been read.
  std::function<void(const std::string& Query)> OnQuery;
};

class TWhoisServer {
 public:
  // Throws std::runtime_error when the address can't be bound.
  explicit TWhoisServer(TServerOptions Options);
  ~TWhoisServer();
  TWhoisServer(const TWhoisServer&) = delete;
  TWhoisServer& operator=(const TWhoisServer&) = delete;

  std::uint16_t Port() const { return m_Port; }
  int Accepted() const { return m_Accepted.load(); }
  // Connections whose handling has ended (the server closed it or the client went away).
  int Finished() const { return m_Finished.load(); }
  // The query lines received so far, oldest first, without CR LF.
  std::vector<std::string> Queries() const;
  // Bytes the server has sent over all connections.
  std::uint64_t BytesSent() const { return m_BytesSent.load(); }

 private:
  void AcceptLoop();
  void Serve(int Fd);
  bool SendAll(int Fd, const char* Data, std::size_t Size);
  bool ReadQuery(int Fd, std::string& Query);

  TServerOptions m_Options;
  int m_Listen = -1;
  int m_StopPipe[2] = {-1, -1};
  std::uint16_t m_Port = 0;
  std::atomic<bool> m_Stop{false};
  std::atomic<int> m_Accepted{0};
  std::atomic<int> m_Finished{0};
  std::atomic<std::uint64_t> m_BytesSent{0};
  mutable std::mutex m_Mutex;
  std::vector<std::string> m_Queries;
  std::vector<std::thread> m_Workers;
  std::thread m_Acceptor;
};
