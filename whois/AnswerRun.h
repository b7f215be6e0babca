// SPDX-License-Identifier: MIT
// The answer engine: who holds each of many addresses, AS numbers or prefixes, with one query
// per network. Each target is a job that locates its address, asks its registry's server,
// follows referrals by the rules of whois/FollowChain.h and reads the last reply into a
// TWhoisAnswer. A network already answered in the run answers the addresses inside it without
// a query, and the range of a reply that sent a job on (an ARIN stub for space that RIPE
// holds) sends later addresses inside it straight to the server it led to. Asks go through
// one lane per server (whois/ServerLanes.h): one at a time, paced; servers side by side.
// Answers are handed out in the order the targets were added.
//
// GUI thread only, with a Qt application object; everything runs from the event loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QObject>

#include "whois/NetworkCache.h"
#include "whois/ServerLanes.h"
#include "whois/WhoisAnswer.h"
#include "whois/WhoisExchange.h"

enum class TTargetKind {
  Address,   // a dotted address or the canonical text of an IPv6 one
  Host,      // a host name: looked up first (IPv4, then IPv6)
  AsNumber,  // "AS15169": asked of IANA's server, then followed
  Prefix,    // a canonical prefix, "193.0.0.0/21": located by its first address
};

struct TAnswerTarget {
  TTargetKind Kind = TTargetKind::Address;
  std::string Text;   // the address, the name, "AS15169" or the prefix
  std::string First;  // for a prefix: its first address, canonical
};

struct TAnswerOutcome {
  std::string Target;  // the target's text as added
  TTargetKind Kind = TTargetKind::Address;
  TWhoisAnswer Answer;
  std::string Address;  // the address located and asked about; empty for AS numbers
                        // and names that did not resolve
  std::string Located;  // the range file's country name, when it names one
  // The pane texts of the plain output (CR LF line ends), when TAnswerSettings::Blocks is set:
  // the first server's pane, then one block per further step, each standing alone.
  std::vector<std::string> Blocks;
  bool Failed = false;          // no answer: the name, the first server or a shortcut failed
  bool ReferralFailed = false;  // a server referred to gave no reply; the answer is the last one
};

// A source that answers a target's question whole, its redirects and other registries
// included (RDAP, whois/RdapClient.h), in place of the port-43 asks and their following.
struct TSourceReply {
  TWhoisAnswer Answer;  // Query, Source, Asked and Server set; Error when Failed
  bool Failed = false;
  // Set when a server asked for a pause (HTTP 429): the question goes back into its lane,
  // which waits this long, and so does RetryServer's lane.
  int RetryAfterMs = -1;
  std::string RetryServer;
};
struct TAnswerSource {
  // The server the question about Query (an address, a prefix, "AS15169") starts at: the
  // lane it waits in. Empty when no server is known; the question is still asked.
  std::function<std::string(const std::string& Query)> FirstServer;
  // Asks; Done follows once, from the event loop, unless the source is gone first.
  std::function<void(const std::string& Query, std::function<void(const TSourceReply&)> Done)> Ask;
};

struct TAnswerSettings {
  int TimeoutMs = 90000;  // per server asked, its name lookup included
  bool Follow = true;     // follow referrals (AS numbers always are)
  bool Cache = true;      // answer from networks answered before, remember stub ranges
  bool Blocks = false;    // keep the plain output's pane texts
  int PaceMs = -1;        // one pause for every server; below 0, DefaultPaceMs of each
  int MaxHops = 3;
  std::string IanaHost = "whois.iana.org";
  std::uint16_t IanaPort = 43;
  // The first server of a registry; empty: TQuerySession::WhoisServerFor.
  std::function<std::pair<std::string, std::string>(const std::string& Registry)> ServerFor;
  // One ask to one server; empty: TWhoisExchange.
  TAskMaker MakeAsk;
  // Set: every target is answered by it (Follow, MaxHops, ServerFor and MakeAsk are then
  // unused, and no pane texts are kept). A question is asked again at most MaxRetries times.
  TAnswerSource Source;
  int MaxRetries = 3;
};

struct TAnswerCounts {
  std::size_t Added = 0;
  std::size_t HandedOut = 0;
  std::size_t Queries = 0;    // asks started
  std::size_t FromCache = 0;  // answered from a network answered before
};

class TAnswerRun : public QObject {
 public:
  explicit TAnswerRun(TAnswerSettings Settings, QObject* parent = nullptr);
  ~TAnswerRun() override;
  TAnswerRun(const TAnswerRun&) = delete;
  TAnswerRun& operator=(const TAnswerRun&) = delete;

  // Adds a target; its job starts from the loop. Returns its place in the order (from 0).
  std::size_t Add(TAnswerTarget Target);
  // Targets added and not yet handed out.
  std::size_t Waiting() const { return m_Jobs.size(); }
  // Ends every job that has not finished, hands out the finished ones that wait in order
  // (skipping the others) and returns how many were handed out in all. Nothing runs after.
  std::size_t Stop();
  const TAnswerCounts& Counts() const { return m_Counts; }

  // Each finished target, in the order added, from the loop; it may call Add.
  std::function<void(const TAnswerOutcome&)> OnAnswer;
  // The counts changed.
  std::function<void()> OnChange;

 private:
  struct TJob;
  struct TCachedAnswer;
  struct TStubTarget;

  TJob* JobAt(std::size_t Index);
  void StartJob(std::size_t Index);
  void Resolved(std::size_t Index);
  void StartAddress(TJob& Job);
  void QueueAsk(TJob& Job);
  bool Dispatch(const std::string& Lane, std::size_t Index);
  bool AnswerFromCache(TJob& Job, const std::string& Lane);
  void Asked(std::size_t Index, const std::string& Lane, const TAskReply& Reply);
  void QueueSource(TJob& Job);
  void SourceAnswered(std::size_t Index, const std::string& Lane, const TSourceReply& Reply);
  void GoOn(TJob& Job);
  void FinishFailed(TJob& Job, const std::string& Pane, const std::string& Error);
  void FinishWithReply(TJob& Job);
  void Remember(TJob& Job, const TWhoisAnswer& Answer);
  void RememberStub(TJob& Job, const std::string& Reply, const std::string& Host, std::uint16_t Port,
                    std::optional<TAddressKind> From);
  // A stub range at At that leads to Host:Port leads nowhere any more.
  void ForgetStub(TAddressKey At, const std::string& Host, std::uint16_t Port);
  void Finished(TJob& Job);
  void HandOutSoon();
  void HandOut();
  void Changed();

  TAnswerSettings m_Settings;
  TServerLanes m_Lanes;
  std::deque<std::unique_ptr<TJob>> m_Jobs;  // m_Jobs[0] is target m_Base
  std::size_t m_Base = 0;
  TAnswerCounts m_Counts;
  bool m_Stopped = false;
  bool m_HandOutQueued = false;

  TRangeMap m_AnswerRanges;
  std::vector<TCachedAnswer> m_Answers;
  TRangeMap m_StubRanges;
  std::vector<TStubTarget> m_Stubs;
  std::map<std::string, int> m_Holds;  // lanes a server asked to wait: the pause, in ms
};
