// SPDX-License-Identifier: MIT
// The road of one WHOIS query without a window: from the address box's text through
// cleaning, resolving, the location and registry lines and the connection on port 43 to the
// reply in the pane's 8-bit text and "Done."; the time-out, the error paths and the stored
// replies. A view (the query window, the terminal command) hands the address in, shows the
// text and answers the requests of TQueryView. Everything runs on the thread of the Qt event
// loop; the session needs a QCoreApplication and nothing of QtGui.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QObject>
#include <QTimer>

#include "net/WSocket.h"

// What the flow asks of its view. Each call comes from inside the flow's handlers; a view
// may run a nested event loop only in the two Show calls, as a modal box does.
class TQueryView {
 public:
  virtual ~TQueryView() = default;

  // The address box's text as it reads now. Read when a query starts and when its reply is
  // stored.
  virtual std::string AddressText() const = 0;
  // The cleaned text goes back into the box (the flow then reads the box again).
  virtual void SetAddressText(const std::string& Text) = 0;
  // The pane's text changed: its bytes before From are as they were. Reply is true for
  // received data, which may come in many small pieces.
  virtual void PaneChanged(std::size_t From, bool Reply) = 0;
  // The flow is about to block the thread in the synchronous lookup: the "Resolving" line
  // should be on the screen before that.
  virtual void ShowPaneNow() {}
  // A query began or ended: "Go!" is disabled while one runs.
  virtual void QueryRunningChanged(bool Running) = 0;
  // A reply was stored: Item, the address box's text at that moment, becomes the first
  // item of the drop-down list.
  virtual void ReplyStored(const std::string& Item) = 0;
  // An exception inside a socket event: the modal box with WhoisErrorHeading and Message.
  virtual void ShowWhoisError(const std::string& Message) = 0;
  // An exception that left the start of a query or the timer: the program's top-level
  // error box (Message without the full stop the box adds).
  virtual void ShowTopLevelError(const std::string& Message) = 0;
};

class TQuerySession : public QObject {
 public:
  explicit TQuerySession(TQueryView& View, QObject* parent = nullptr);
  ~TQuerySession() override;
  TQuerySession(const TQuerySession&) = delete;
  TQuerySession& operator=(const TQuerySession&) = delete;

  // The socket component and the 90-second timer of the flow, owned by the session.
  TWSocket* const WHOIS;
  QTimer* const WHOIStimer;

  // The host and port of a registry's WHOIS server. Default: WhoisServerPrefix + lower-case
  // registry + WhoisServerSuffix, port "43". Tests point it at their loopback servers.
  using TServerLookup = std::function<std::pair<std::string, std::string>(const std::string& Registry)>;
  static TServerLookup WhoisServerFor;
  static std::pair<std::string, std::string> DefaultWhoisServer(const std::string& Registry);
  static const std::string WhoisServerPrefix;
  static const std::string WhoisServerSuffix;
  // The first line of the box that FlagWHOISerror asks for.
  static constexpr std::string_view WhoisErrorHeading = "Unhandled WHOIS error:";

  // The flow's handlers. The socket's events and the timer's tick are bound to them here.
  void DoQuery();
  void HostResolved(TCustomWSocket* Sender, std::uint16_t ErrCode);
  void FlagWHOISerror(TCustomWSocket* Sender, const std::exception& E, bool& CanClose);
  void SendWHOISquery(TCustomWSocket* Sender, std::uint16_t ErrCode);
  void DisplayWHOISdata(TCustomWSocket* Sender, std::uint16_t ErrCode);
  void WHOISdone(TCustomWSocket* Sender, std::uint16_t ErrCode);
  void WHOIStimeout();

  // The pane's 8-bit text, and a rewrite of it as a whole.
  const std::string& ResponseText() const { return m_Text; }
  void SetResponseText(const std::string& Text);
  // Shows the stored reply of list item Index (0 is the newest); other indexes do nothing.
  void RecallReply(int Index);
  // Number of stored replies; the list items run parallel, newest first.
  std::size_t HistorySize() const { return ResponseHistory.size(); }
  // True from step 4 of DoQuery until the flow is Idle again.
  bool QueryRunning() const { return m_Running; }
  // The address the last query sent (for a host name, its resolved address): a dotted
  // address or the canonical text of an IPv6 one.
  const std::string& QueriedAddress() const { return QueryAddress; }
  // The dotted address the last query's connection reached, empty when none was made.
  const std::string& ConnectedAddress() const { return m_ConnectedAddress; }

 private:
  void AddResponseLine(const std::string& Text, int Breaks);
  // A host name, resolved first blocking, then with the socket's lookup; a name without an
  // IPv4 address is looked up once more for IPv6 addresses.
  void ResolveQueryAddress();
  // Starts the IPv6 lookup of Name, whose IPv4 lookup found nothing; FailLine ends the query
  // when this one finds nothing too. False, with nothing started, for a text that names no
  // host.
  bool LookUpIpv6(const std::string& Name, const std::string& FailLine);
  void StartWhoisQuery();
  void StoreReply();
  // Idle again after a failure that no WHOISdone will follow.
  void ReturnToIdle();
  void SetRunning(bool Running);

  TQueryView& m_View;
  TWSocket m_Socket;
  QTimer m_Timer;

  std::string QueryAddress;
  // The socket's lookup that HostResolved answers, and what it looked up.
  enum class TLookupStep { None, Ipv4, Ipv6 };
  TLookupStep m_Lookup = TLookupStep::None;
  std::string m_LookupName;
  std::string m_Ipv6FailLine;
  std::string m_ConnectedAddress;
  std::vector<std::string> ResponseHistory;  // oldest first
  std::vector<std::string> m_ListItems;      // the drop-down list's texts, oldest first

  std::string m_Text;  // the pane's text
  std::size_t m_ReplyBytes = 0;
  bool m_ReplyCut = false;
  bool m_Running = false;
  bool m_Discarding = false;  // a forced abort whose OnSessionClosed ends no query
};
