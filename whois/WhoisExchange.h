// SPDX-License-Identifier: MIT
// One ask to one server: TServerAsk is what the answer engine (whois/AnswerRun.h) and the
// referral follower use, and TWhoisExchange is its port-43 form with the query window's rules
// (the host looked up in the background and, after a referral, checked; the very address
// checked connected to; the query and CR LF out; the reply cleaned like the pane's and cut at
// its cap; one time-out over all of it; failures in plain words).
//
// GUI thread only. Done is called exactly once per Start, always from the event loop (never
// inside Start, never inside one of the socket's own events), so its caller may delete the
// ask there with deleteLater. Deleting an ask that has not finished ends it without Done.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QObject>
#include <QTimer>

#include "net/WSocket.h"
#include "whois/WhoisReferral.h"

struct TAskRequest {
  std::string Host;  // a name or a dotted address
  std::uint16_t Port = 43;
  std::string Query;  // sent as it is, with CR LF
  int TimeoutMs = 90000;
  // Set when a reply led here: the kind of the server that sent it, which decides where it
  // may lead (MayReferTo). Empty for a server of the command's own choice.
  std::optional<TAddressKind> From;
};

struct TAskReply {
  std::string Text;  // the reply as the pane would show it, with its time-out or cut line
  bool Failed = false;
  std::string FailLine;                      // why, in plain words, when Text does not already say it
  std::string Refusal;                       // set when the server may not be asked: the reason for the note
  TAddressKind Kind = TAddressKind::Public;  // of the address connected to
  std::string ConnectedAddress;              // dotted; empty when no connection was made
  bool TimedOut = false;
};

using TAskDone = std::function<void(const TAskReply& Reply)>;

// The interface a source of answers implements: port 43 here; an HTTPS GET for RDAP fits it
// as well. Servers are paced by Host and Port.
class TServerAsk : public QObject {
 public:
  explicit TServerAsk(QObject* parent = nullptr) : QObject(parent) {}
  // Starts the ask; Done follows once, from the event loop. Start is called once.
  virtual void Start(const TAskRequest& Request, TAskDone Done) = 0;
};

using TAskMaker = std::function<TServerAsk*(QObject* Parent)>;

class TWhoisExchange : public TServerAsk {
 public:
  explicit TWhoisExchange(QObject* parent = nullptr);
  ~TWhoisExchange() override;
  void Start(const TAskRequest& Request, TAskDone Done) override;

 private:
  void Lookup();
  void LookedUp(std::uint16_t Error);
  void Received();
  void TimeOut();
  // Schedules Finish from the loop, once.
  void FinishSoon();
  void Finish();
  void Detach();

  TWSocket m_Socket;
  QTimer m_Timer;
  TAskRequest m_Request;
  TAskDone m_Done;
  TAskReply m_Reply;
  enum class TStep { Idle, LookingUp, Connecting, Finishing, Finished };
  TStep m_Step = TStep::Idle;
  bool m_Closed = false;
  bool m_Cut = false;
  std::uint16_t m_LookupError = 0;
  bool m_LookupDone = false;
  std::uint16_t m_ConnectError = 0;
  std::uint16_t m_CloseError = 0;
  std::size_t m_Bytes = 0;
  std::string m_BgError;
};
