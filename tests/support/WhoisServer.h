// SPDX-License-Identifier: MIT
// The scripted loopback server of every suite and benchmark: listens on one loopback address
// and port, reads the query line of each connection and answers in one of several ways, from
// a well-behaved reply to the hostile ones (endless, dripping, NUL floods, resets, silence),
// or plays a script of steps the test drives (gates it opens), or hands the connection whole
// to the test's own code for byte-level socket tests. Each connection runs on its own thread
// unless OneAtATime is set; the destructor stops and joins all of them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
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
  Script,      // reads the query line, plays TServerOptions::Script, closes
};

// One step of a script, played in order after the query line; a step that fails (the client
// has gone) or ends the connection (Hold, Reset) ends the script.
struct TScriptStep {
  enum TKind { Send, Gate, Flood, Hold, Reset } Kind = Send;
  std::string Data;       // Send: bytes ("%q" becomes the query line); Flood: the pattern
  std::size_t Count = 0;  // Flood: bytes in all
  int GateNo = 0;         // Gate: waits until TWhoisServer::Open(GateNo)
};

inline TScriptStep SendStep(std::string Data) { return {TScriptStep::Send, std::move(Data), 0, 0}; }
inline TScriptStep GateStep(int No) { return {TScriptStep::Gate, {}, 0, No}; }
inline TScriptStep FloodStep(std::string Pattern, std::size_t Count)
{
  return {TScriptStep::Flood, std::move(Pattern), Count, 0};
}
// Until the client closes its side (or resets), reading and dropping what comes.
inline TScriptStep HoldStep() { return {TScriptStep::Hold, {}, 0, 0}; }
// An abortive close (RST) at once.
inline TScriptStep ResetStep() { return {TScriptStep::Reset, {}, 0, 0}; }

// The reply with every "%q" replaced by the query line.
std::string ExpandReply(const std::string& Reply, const std::string& Query);

// Parses "reply", "endless", ... (the names above in lower case, Script aside: a script is
// no word of a command line); false for anything else.
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
  // Mode Script: the steps played on every connection.
  std::vector<TScriptStep> Script;
  // When set, each connection is handed to it instead of Mode, before anything is read, as a
  // blocking descriptor (SessionIo below); the server closes it when Session returns.
  std::function<void(int Fd)> Session;
  // Connections served one after another on a single thread in the order they came: a later
  // one is connected but waits unanswered until the one before it is done.
  bool OneAtATime = false;
  // With OneAtATime: the number of connections served at all; later ones wait for ever.
  // 0: no limit.
  int MaxConnections = 0;
};

// A server on 127.0.0.1 that plays Script on each connection, one connection at a time.
TServerOptions ScriptOptions(std::vector<TScriptStep> Script);
// A server on 127.0.0.1 that hands its first Connections connections, one after another, to
// Session.
TServerOptions SessionOptions(std::function<void(int Fd)> Session, int Connections = 1);
// A port on 127.0.0.1 that refuses every connection while the server lives.
TServerOptions RefusingOptions();

class TWhoisServer {
 public:
  // Throws std::runtime_error when the address can't be bound.
  explicit TWhoisServer(TServerOptions Options);
  ~TWhoisServer();
  TWhoisServer(const TWhoisServer&) = delete;
  TWhoisServer& operator=(const TWhoisServer&) = delete;

  std::uint16_t Port() const { return m_Port; }
  std::string PortText() const { return std::to_string(m_Port); }
  int Accepted() const { return m_Accepted.load(); }
  // Connections whose handling has ended (the server closed it or the client went away).
  int Finished() const { return m_Finished.load(); }
  // The query lines received so far, oldest first, without CR LF.
  std::vector<std::string> Queries() const;
  // Bytes the server has sent over all connections.
  std::uint64_t BytesSent() const { return m_BytesSent.load(); }
  // Lets every script waiting at (or coming to) GateStep(GateNo) go on.
  void Open(int GateNo);

 private:
  void AcceptLoop();
  void Serve(int Fd);
  void PlayScript(int Fd, const std::string& Query);
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
  std::condition_variable m_GateOpened;
  std::set<int> m_OpenGates;
  std::vector<std::string> m_Queries;
  std::vector<std::thread> m_Workers;
  std::thread m_Acceptor;
};

// Blocking reads and writes for a connection handed to TServerOptions::Session.
namespace SessionIo {
// Up to and with the first LF, or what came before the peer closed.
std::string ReadLine(int Fd);
// Everything until the peer closes (or resets) the connection.
std::string ReadAll(int Fd);
// As much of Data as the peer takes before it goes away.
void SendAll(int Fd, const std::string& Data);
// The close that follows sends a reset instead of an orderly close.
void ResetClose(int Fd);
// Waits until the peer has closed (or reset) the connection.
void WaitPeerClose(int Fd);
}  // namespace SessionIo
