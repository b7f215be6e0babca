// SPDX-License-Identifier: MIT
// The query flow without a window: real sockets to scripted WHOIS servers on 127.0.0.1, a
// QCoreApplication, and a view that records what the flow asks of it. Links no GUI library.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "geo/LibOstrand.h"
#include "net/SocketErrors.h"
#include "net/WSocketLookup.h"
#include "tests/support/OwnNetwork.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/WhoisServer.h"
#include "tests/whois/TestRangeFile.h"
#include "whois/AddressCleanup.h"
#include "whois/Ipv6Address.h"
#include "whois/PaneText.h"
#include "whois/QuerySession.h"
#include "whois/RegistryChoice.h"

namespace {

// Every request of the flow, in order, as short lines; reply data is one "reply" line per
// run of pieces, as the network cuts them where it likes.
class TRecordingView : public TQueryView {
 public:
  std::string Box;
  std::vector<std::string> Calls;
  std::vector<std::string> WhoisErrors, TopLevelErrors;

  std::string AddressText() const override { return Box; }
  void SetAddressText(const std::string& Text) override
  {
    Box = Text;
    Calls.push_back("box " + Text);
  }
  void PaneChanged(std::size_t From, bool Reply) override
  {
    if (Reply) {
      if (Calls.empty() || Calls.back() != "reply") Calls.push_back("reply");
      return;
    }
    Calls.push_back("pane from " + std::to_string(From));
  }
  void ShowPaneNow() override { Calls.push_back("show now"); }
  void QueryRunningChanged(bool Running) override { Calls.push_back(Running ? "running" : "idle"); }
  void ReplyStored(const std::string& Item) override { Calls.push_back("stored " + Item); }
  void ShowWhoisError(const std::string& Message) override
  {
    WhoisErrors.push_back(Message);
    Calls.push_back("whois error");
  }
  void ShowTopLevelError(const std::string& Message) override
  {
    TopLevelErrors.push_back(Message);
    Calls.push_back("top-level error");
  }
};

const std::string Global = "Address is Global, querying ARIN..\r\n\r\n";

class QuerySessionTest : public ::testing::Test {
 protected:
  void SetUp() override
  {
    ASSERT_TRUE(m_Dir.isValid());
    m_OldDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_Dir.path()));
    RangeTable.clear();
    RangeTable6.clear();
    TQuerySession::WhoisServerFor = [this](const std::string& Registry) {
      Asked.push_back(Registry);
      return std::make_pair(ServerHost, ServerPort);
    };
    Session = std::make_unique<TQuerySession>(View);
  }
  void TearDown() override
  {
    Session.reset();
    TQuerySession::WhoisServerFor = &TQuerySession::DefaultWhoisServer;
    SetHostResolverForTest({});
    SetHost6ResolverForTest({});
    WaitUntil([] { return RunningHostLookups() == 0; });
    RangeTable.clear();
    RangeTable6.clear();
    QDir::setCurrent(m_OldDir);
  }

  void Use(const TWhoisServer& Server) { ServerPort = Server.PortText(); }
  void Start(const std::string& Text)
  {
    View.Box = Text;
    View.Calls.clear();
    Session->DoQuery();
  }
  bool Idle() const { return !Session->QueryRunning() && !Session->WHOIStimer->isActive(); }
  bool Query(const std::string& Text, int TimeoutMs = 10000)
  {
    Start(Text);
    return WaitUntil([this] { return Idle(); }, TimeoutMs);
  }
  std::string Pane() const { return Session->ResponseText(); }

  TRecordingView View;
  std::unique_ptr<TQuerySession> Session;
  std::vector<std::string> Asked;
  std::string ServerHost = "127.0.0.1";
  std::string ServerPort;

 private:
  QTemporaryDir m_Dir;
  QString m_OldDir;
};

// The order of everything a view sees: the pane emptied before the box is rewritten, "Go!"
// off before the first line, the location line before the registry line, the reply stored
// (with the box's text as it reads when the connection closes) before "Done.", and "Go!"
// on again last.
TEST_F(QuerySessionTest, OrderOfAWholeQuery)
{
  WriteRangeFile({{0, NoCountry}, {IpNumber(192, 0, 2, 0), 225}, {IpNumber(192, 0, 3, 0), NoCountry}});
  TWhoisServer Server(
      ScriptOptions({SendStep("% reply for %q\r\n2\r\n3\r\n"), GateStep(1), SendStep("4\r\n  \r\n\n")}));
  Use(Server);
  Start(" http://192.0.2.1/x ");
  ASSERT_TRUE(WaitUntil([&] { return Pane().find("3\r\n") != std::string::npos; }));
  View.Box = "edited meanwhile";
  Server.Open(1);
  ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
  EXPECT_EQ(Pane(),
            "192.0.2.1 is based in the United States\r\n\r\n"
            "Address is North American, querying ARIN..\r\n\r\n"
            "% reply for 192.0.2.1\r\n2\r\n3\r\n4\r\n\r\nDone.");
  const std::size_t Header = std::string("192.0.2.1 is based in the United States\r\n\r\n").size();
  const std::size_t Kept = Pane().size() - std::string("\r\n\r\nDone.").size();
  EXPECT_EQ(View.Calls,
            (std::vector<std::string>{"pane from 0", "box 192.0.2.1", "running", "pane from 0",
                                      "pane from " + std::to_string(Header), "reply", "stored edited meanwhile",
                                      "pane from " + std::to_string(Kept), "idle"}));
  EXPECT_EQ(Server.Queries(), std::vector<std::string>{"192.0.2.1"});
  EXPECT_EQ(Asked, std::vector<std::string>{"ARIN"});
  ASSERT_EQ(Session->HistorySize(), 1u);
  Session->RecallReply(0);
  EXPECT_EQ(Pane(), "% reply for 192.0.2.1\r\n2\r\n3\r\n4");
}

TEST_F(QuerySessionTest, RegistryLinesByLocation)
{
  const CountryIndex Germany = CountryOf("de"), Brazil = CountryOf("br"), Mexico = CountryOf("mx");
  WriteRangeFile({{IpNumber(10, 0, 0, 0), Germany},
                  {IpNumber(10, 0, 1, 0), Brazil},
                  {IpNumber(10, 0, 2, 0), Mexico},
                  {IpNumber(10, 0, 3, 0), 250},
                  {IpNumber(10, 0, 4, 0), NoCountry}});
  TWhoisServer Server(ScriptOptions({SendStep("reply\r\n")}));
  Use(Server);
  const struct {
    const char* Address;
    CountryIndex Country;
    const char* Registry;
  } Rows[] = {
      {"10.0.0.5", Germany, "RIPE"},   {"10.0.1.5", Brazil, "LACNIC"},
      {"10.0.2.5", Mexico, "LACNIC"},  // North American, moved by the LACNIC list
      {"10.0.3.5", 250, "ARIN"},       // a byte without a row counts as no country
      {"10.0.4.5", NoCountry, "ARIN"},
  };
  for (const auto& R : Rows) {
    Asked.clear();
    ASSERT_TRUE(Query(R.Address)) << R.Address;
    std::string Header;
    if (IsKnownCountry(R.Country))
      Header = std::string(R.Address) + " is based in " + std::string(CountryNames[R.Country]) + "\r\n\r\n" +
               "Address is " + std::string(ContinentAdjectives[CountryContinents[R.Country]]) + ", querying " +
               R.Registry + "..\r\n\r\n";
    else
      Header = Global;
    EXPECT_EQ(Pane(), Header + "reply\r\n\r\nDone.") << R.Address;
    EXPECT_EQ(Asked, std::vector<std::string>{R.Registry}) << R.Address;
  }

  // A table in memory does not count without the file on disk.
  std::remove("Ostrand.dat");
  ASSERT_TRUE(Query("10.0.0.5"));
  EXPECT_EQ(Pane(), Global + "reply\r\n\r\nDone.");
}

// The roads of a query that are decided by the text and the server, one row each.
TEST_F(QuerySessionTest, RoadsOfAQuery)
{
  const struct {
    const char* Name;
    std::vector<TScriptStep> Script;
    std::string Text, Pane, Box;
    std::vector<std::string> Sent;
    bool Split = false;  // the server waits after its first block
  } Rows[] = {
      {"host name in a URL: queried by its address",
       {SendStep("reply for %q\r\n")},
       "http://localhost/some/page",
       "Resolving localhost..\r\n" + Global + "reply for 127.0.0.1\r\n\r\nDone.",
       "localhost",
       {"127.0.0.1"}},
      {"bare number: the resolver's reading",
       {SendStep("ok\r\n")},
       "12345",
       "Resolving 12345..\r\n" + Global + "ok\r\n\r\nDone.",
       "12345",
       {"0.0.48.57"}},
      // All digits and dots but no address: the resolver answers without asking the network.
      {"unknown host", {}, "1.2.3.4.5", "Resolving 1.2.3.4.5..\r\nNo such host\r\n", "1.2.3.4.5", {}},
      {"cleans to nothing", {}, "  <> ", "", "", {}},
      {"trailing blanks trimmed before Done.",
       {SendStep("r \t\r\n\r\n  \r\n\n")},
       "192.0.2.1",
       Global + "r\r\n\r\nDone.",
       "192.0.2.1",
       {"192.0.2.1"}},
      {"reset by peer",
       {SendStep("half a reply\r\n"), ResetStep()},
       "192.0.2.1",
       Global + "half a reply\r\n\r\nDone.",
       "192.0.2.1",
       {"192.0.2.1"}},
      // The first block is exactly 4096 bytes and ends in CR; its LF comes in the next one.
      {"line ends split across blocks, NULs",
       {SendStep(std::string(4095, 'a') + "\r"), GateStep(1), SendStep(std::string("\nb\0c\nd\r\ne\rf", 12))},
       "192.0.2.1",
       Global + std::string(4095, 'a') + "\r\r\nbc\r\nd\r\ne\rf\r\n\r\nDone.",
       "192.0.2.1",
       {"192.0.2.1"},
       true},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TWhoisServer Server(ScriptOptions(R.Script));
    Use(Server);
    Start(R.Text);
    if (R.Split) {
      ASSERT_TRUE(WaitUntil([&] { return Pane().size() == Global.size() + 4096; }));
      Server.Open(1);
    }
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
    EXPECT_EQ(Pane(), R.Pane);
    // Only a query with an address to ask about starts: "Go!" stays on for empty text.
    EXPECT_EQ(std::count(View.Calls.begin(), View.Calls.end(), "running"), R.Text == "  <> " ? 0 : 1);
    EXPECT_EQ(View.Box, R.Box);
    EXPECT_EQ(Server.Queries(), R.Sent);
    EXPECT_TRUE(View.WhoisErrors.empty() && View.TopLevelErrors.empty());
  }
}

// A time-out appends CR LF and "Connection timeout": an empty line above it when the reply
// ended its line, none when it did not; the connection is closed.
TEST_F(QuerySessionTest, TimeOutTail)
{
  const struct {
    const char* Reply;
    const char* Tail;
  } Rows[] = {
      {"partial line", "partial line\r\nConnection timeout\r\n\r\nDone."},
      {"whole line\r\n", "whole line\r\n\r\nConnection timeout\r\n\r\nDone."},
      {"", "\r\nConnection timeout\r\n\r\nDone."},
  };
  for (const auto& R : Rows) {
    TWhoisServer Server(ScriptOptions({SendStep(R.Reply), HoldStep()}));
    Use(Server);
    Session->WHOIStimer->setInterval(300);
    ASSERT_TRUE(Query("192.0.2.1"));
    EXPECT_EQ(Pane(), Global + R.Tail);
    EXPECT_TRUE(WaitUntil([&] { return Server.Finished() == 1; }));
  }
}

// The reply cap at its edge: exactly ReplyCap bytes are kept whole; one byte more is cut
// there, said so, and the connection closed before the sender is done.
TEST_F(QuerySessionTest, ReplyCapEdge)
{
  for (const std::size_t Extra : {std::size_t{0}, std::size_t{1}, std::size_t{12} << 20}) {
    SCOPED_TRACE(Extra);
    TWhoisServer Server(ScriptOptions({FloodStep("0123456789abcdef", ReplyCap + Extra)}));
    Use(Server);
    ASSERT_TRUE(Query("192.0.2.1", 60000));
    std::string Kept;
    while (Kept.size() < ReplyCap) Kept += "0123456789abcdef";
    Kept.resize(ReplyCap);
    const std::string Tail = Extra == 0 ? "\r\n\r\nDone." : "\r\n" + ReplyCutLine + "\r\n\r\nDone.";
    EXPECT_TRUE(Pane() == Global + Kept + Tail) << Pane().substr(Pane().size() - 80);
    if (Extra > 1) {
      EXPECT_LT(Server.BytesSent(), ReplyCap + Extra);
    }
  }
}

TEST_F(QuerySessionTest, FailedConnectionsEndWithDone)
{
  {
    TWhoisServer Refusing(RefusingOptions());
    ServerPort = Refusing.PortText();
    ASSERT_TRUE(Query("192.0.2.1"));
    EXPECT_EQ(Pane(), "Address is Global, querying ARIN..\r\n\r\nDone.");
    EXPECT_EQ(Session->WHOIS->State(), wsClosed);
  }
  // No route at all (a network namespace of the test's own, nothing up): "network
  // unreachable" at once ends the query like a refused connection.
  const TOwnNetwork Isolated;
  if (!Isolated.Entered()) GTEST_SKIP() << "no network namespace of its own here (needs root)";
  ServerHost = "192.0.2.1";
  ServerPort = "43";
  ASSERT_TRUE(Query("192.0.2.1"));
  EXPECT_EQ(Pane(), "Address is Global, querying ARIN..\r\n\r\nDone.");
  EXPECT_TRUE(View.TopLevelErrors.empty());
  EXPECT_EQ(Session->WHOIS->State(), wsClosed);
}

// An exception inside a socket event asks for the WHOIS box, then the socket is aborted: a
// connection that exists ends with "Done."; one that never existed ends the query at once.
TEST_F(QuerySessionTest, WhoisErrorsAbortAndReturnToIdle)
{
  TWhoisServer Server(ScriptOptions({SendStep("early\r\n"), GateStep(1), SendStep("late\r\n")}));
  Use(Server);
  Start("192.0.2.1");
  ASSERT_TRUE(WaitUntil([&] { return Pane().find("early") != std::string::npos; }));
  View.Calls.clear();
  bool CanClose = true;
  Session->FlagWHOISerror(Session->WHOIS, std::runtime_error("send failed"), CanClose);
  ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
  EXPECT_EQ(View.WhoisErrors, std::vector<std::string>{"send failed"});
  EXPECT_EQ(View.Calls.front(), "whois error");
  EXPECT_EQ(View.Calls.back(), "idle");
  EXPECT_EQ(Pane(), Global + "early\r\n\r\nDone.");
  Server.Open(1);

  // Connect refusing from HostResolved (no port): the box, and Idle without "Done.".
  ServerPort = "";
  ASSERT_TRUE(Query("localhost"));
  EXPECT_EQ(View.WhoisErrors.back(), "Connect: No Port Specified");
  EXPECT_EQ(Pane(), "Resolving localhost..\r\n" + Global);
  EXPECT_TRUE(View.TopLevelErrors.empty());
  EXPECT_EQ(Session->WHOIS->State(), wsClosed);
}

// The socket's lookups: Name has the IPv6 addresses given (texts), Ipv4's names an IPv4
// address, every other name nothing. The IPv6 lookup of Held waits until Release.
struct TFakeResolvers {
  std::mutex Lock;
  std::condition_variable Released;
  std::map<std::string, std::uint32_t> Ipv4;
  std::map<std::string, std::vector<std::string>> Ipv6;
  std::vector<std::string> Asked6;
  std::string Held;
  bool Free = false;

  explicit TFakeResolvers(const std::string& Name = "", std::vector<std::string> Addresses = {})
  {
    Ipv6[Name] = std::move(Addresses);
    SetHostResolverForTest([this](const std::string& Name, std::vector<std::uint32_t>& Out) {
      std::lock_guard Guard(Lock);
      if (!Ipv4.count(Name)) return kWsaNoData;
      Out.push_back(Ipv4[Name]);
      return 0;
    });
    SetHost6ResolverForTest([this](const std::string& Name, std::vector<TIpv6Bytes>& Out) {
      std::unique_lock Guard(Lock);
      Asked6.push_back(Name);
      Released.wait(Guard, [&] { return Free || Name != Held; });
      for (const std::string& Text : Ipv6[Name]) WSocketParseAddress6(Text, Out.emplace_back());
      return Out.empty() ? kWsaHostNotFound : 0;
    });
  }
  ~TFakeResolvers()
  {
    // No worker may still be inside these resolvers, even after a failed check.
    Release();
    WaitUntil([] { return RunningHostLookups() == 0; });
    SetHostResolverForTest({});
    SetHost6ResolverForTest({});
  }
  std::vector<std::string> AskedNow()
  {
    std::lock_guard Guard(Lock);
    return Asked6;
  }
  void Release()
  {
    std::lock_guard Guard(Lock);
    Free = true;
    Released.notify_all();
  }
};

std::string Located(const std::string& Address, const char* Country, const char* Adjective, const char* Registry)
{
  return Address + " is based in " + Country + "\r\n\r\nAddress is " + Adjective + ", querying " + Registry +
         "..\r\n\r\n";
}

// Pasted IPv6 forms: the box shows the canonical text, which is located in Ostrand6.dat,
// sent and shown, with no "Resolving" line. Broken forms end as they always have, without
// asking the resolver for IPv6 addresses. (The forms themselves: Ipv6AddressTest.)
TEST_F(QuerySessionTest, Ipv6AddressesAsPasted)
{
  WriteRangeFile6({{"::", NoCountry}, {"2001:db8::", CountryOf("de")}, {"2001:db9::", NoCountry}});
  TFakeResolvers Fakes;
  TWhoisServer Server(ScriptOptions({SendStep("reply for %q\r\n")}));
  Use(Server);
  const struct {
    const char* Pasted;
    std::string Box, Header;
  } Rows[] = {
      {"http://[2001:DB8:0::1]:8080/x", "2001:db8::1", Located("2001:db8::1", "Germany", "European", "RIPE")},
      {"<user@[IPv6:fe80::1%eth0]>", "fe80::1", Global},  // in no range
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Pasted);
    ASSERT_TRUE(Query(R.Pasted));
    EXPECT_EQ(View.Box, R.Box);
    EXPECT_EQ(std::count(View.Calls.begin(), View.Calls.end(), "box " + R.Box), 1);
    EXPECT_EQ(Pane(), R.Header + "reply for " + R.Box + "\r\n\r\nDone.");
    EXPECT_EQ(Server.Queries().back(), R.Box);
  }
  std::remove("Ostrand6.dat");  // the table is not asked without its file
  ASSERT_TRUE(Query("2001:db8::1"));
  EXPECT_EQ(Pane(), Global + "reply for 2001:db8::1\r\n\r\nDone.");

  const std::string Broken[] = {"1:2:3:4:5:6:7:8:9",
                                ":::",
                                "[::1",
                                "[::1]]",
                                "::1%",
                                "[IPv6:1.2.3.4]",
                                "[2001:db8::1]:99999",
                                "[::1]junk",
                                "fe80::1%" + std::string(kMaxIpv6Zone + 1, 'e')};
  for (const std::string& Text : Broken) {
    ASSERT_TRUE(Query(Text)) << Text;
    EXPECT_EQ(Pane(), "Resolving " + Text + "..\r\nNo such host\r\n");
  }
  EXPECT_EQ(Server.Queries().size(), 3u);
  EXPECT_TRUE(Fakes.AskedNow().empty());
  EXPECT_TRUE(View.WhoisErrors.empty() && View.TopLevelErrors.empty());
}

// An IPv4-mapped address is its IPv4 address typed: every request of the view (box, pane,
// stored item) and the line sent are those of the dotted text.
TEST_F(QuerySessionTest, MappedAddressRunsAsItsIpv4Address)
{
  WriteRangeFile({{IpNumber(193, 0, 0, 0), CountryOf("nl")}, {IpNumber(194, 0, 0, 0), NoCountry}});
  TWhoisServer Server(ScriptOptions({SendStep("% reply for %q\r\n2\r\n3\r\n")}));
  Use(Server);
  std::vector<std::vector<std::string>> Seen;
  for (const char* Text : {"193.0.6.139", "http://[::FFFF:193.0.6.139]/", "::ffff:c100:68b"}) {
    Session = std::make_unique<TQuerySession>(View);
    ASSERT_TRUE(Query(Text)) << Text;
    Seen.push_back(View.Calls);
    Seen.back().push_back(Pane());
  }
  EXPECT_EQ(Seen[1], Seen[0]);
  EXPECT_EQ(Seen[2], Seen[0]);
  EXPECT_EQ(Server.Queries(), std::vector<std::string>(3, "193.0.6.139"));
}

// The list compares the canonical text: two spellings of one address, and a name whose only
// address it is, store one reply.
TEST_F(QuerySessionTest, HistoryByCanonicalAddress)
{
  TFakeResolvers Fakes("v6only.invalid", {"2001:DB8::1"});
  TWhoisServer Server(ScriptOptions({SendStep("% reply for %q\r\n2\r\n3\r\n")}));
  Use(Server);
  for (const char* Text : {"2001:DB8::1", "[2001:db8:0::1]", "v6only.invalid"}) ASSERT_TRUE(Query(Text));
  EXPECT_EQ(Pane(), "Resolving v6only.invalid..\r\n" + Global + "% reply for 2001:db8::1\r\n2\r\n3\r\n\r\nDone.");
  EXPECT_EQ(Session->HistorySize(), 1u);
  Session->RecallReply(0);
  EXPECT_EQ(Pane(), "% reply for 2001:db8::1\r\n2\r\n3");
}

// Names without an IPv4 address, whether the blocking lookup or the socket's finds none: the
// first IPv6 address is queried (an IPv4-mapped one as its IPv4 address); with none, the line
// the IPv4 road ends with. A name with an IPv4 address is not looked up for IPv6 ones.
TEST_F(QuerySessionTest, NamesWithoutIpv4Addresses)
{
  WriteRangeFile6({{"::", NoCountry}, {"2001:4200::", CountryOf("ng")}, {"2001:4400::", NoCountry}});
  TWhoisServer Server(ScriptOptions({SendStep("reply for %q\r\n")}));
  Use(Server);
  const std::string NoHost = "No such host\r\n";
  const std::string NoAddress = "Could not resolve host. Please correct or enter a numeric address.\r\n";
  const struct {
    const char* Name;
    std::vector<std::string> Addresses6;
    bool Ipv4;  // the socket's IPv4 lookup finds it (the blocking one finds localhost only)
    std::string Rest;
  } Rows[] = {
      {"v6only.invalid",
       {"2001:4270::1", "2001:db8::2"},
       false,
       Located("2001:4270::1", "Nigeria", "African", "RIPE") + "reply for 2001:4270::1\r\n\r\nDone."},
      {"mapped.invalid", {"::ffff:192.0.2.7"}, false, Global + "reply for 192.0.2.7\r\n\r\nDone."},
      {"nosuch.invalid", {}, false, NoHost},
      {"localhost",
       {"2001:4270::2"},
       false,
       Located("2001:4270::2", "Nigeria", "African", "RIPE") + "reply for 2001:4270::2\r\n\r\nDone."},
      {"localhost", {}, false, NoAddress},
      {"localhost", {"2001:4270::2"}, true, Global + "reply for 127.0.0.1\r\n\r\nDone."},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name + std::string(R.Ipv4 ? " with IPv4" : ""));
    TFakeResolvers Fakes(R.Name, R.Addresses6);
    if (R.Ipv4) Fakes.Ipv4[R.Name] = htonl(INADDR_LOOPBACK);
    ASSERT_TRUE(Query(R.Name));
    EXPECT_EQ(Pane(), "Resolving " + std::string(R.Name) + "..\r\n" + R.Rest);
    EXPECT_EQ(View.Box, R.Name);
    EXPECT_EQ(Fakes.AskedNow().size(), R.Ipv4 ? 0u : 1u);
  }
}

// A pending IPv6 lookup holds the query: "Go!" stays off and another query does not start.
// The session's end withdraws it; its late answer reaches nothing.
TEST_F(QuerySessionTest, PendingIpv6Lookup)
{
  TWhoisServer Server(ScriptOptions({SendStep("reply for %q\r\n")}));
  Use(Server);
  for (const bool Destroy : {false, true}) {
    TFakeResolvers Fakes("slow.invalid", {"2001:db8::5"});
    Fakes.Held = "slow.invalid";
    Start("slow.invalid");
    ASSERT_TRUE(WaitUntil([&] { return !Fakes.AskedNow().empty(); }));
    if (Destroy) {
      Session.reset();
      View.Calls.clear();
      Fakes.Release();
      ASSERT_TRUE(WaitUntil([] { return RunningHostLookups() == 0; }));
      QCoreApplication::processEvents();
      EXPECT_TRUE(View.Calls.empty());
      Session = std::make_unique<TQuerySession>(View);
      continue;
    }
    EXPECT_TRUE(Session->QueryRunning());
    View.Box = "192.0.2.1";
    Session->DoQuery();
    EXPECT_EQ(Pane(), "Resolving slow.invalid..\r\n");
    Fakes.Release();
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
    EXPECT_EQ(Pane(), "Resolving slow.invalid..\r\n" + Global + "reply for 2001:db8::5\r\n\r\nDone.");
  }
  EXPECT_EQ(Server.Queries(), std::vector<std::string>{"2001:db8::5"});
}

// Pasted forms the resolver cannot read: the box shows what they stand for, and the query
// runs exactly as if that had been typed (one box write, the same pane, the same line sent).
TEST_F(QuerySessionTest, PastedFormsRunAsWhatTheyStandFor)
{
  WriteRangeFile({{0, NoCountry}, {IpNumber(192, 0, 2, 0), 225}, {IpNumber(192, 0, 3, 0), NoCountry}});
  TWhoisServer Server(ScriptOptions({SendStep("reply for %q\r\n")}));
  Use(Server);
  const std::string Us = Located("192.0.2.1", "the United States", "North American", "ARIN");
  const std::string Local = "Resolving localhost..\r\n" + Global + "reply for 127.0.0.1\r\n\r\nDone.";
  const struct {
    const char* Pasted;
    std::string Box, Pane;
  } Rows[] = {
      {"8.8.8.8:53", "8.8.8.8", Global + "reply for 8.8.8.8\r\n\r\nDone."},
      {"[192.0.2.1]:53", "192.0.2.1", Us + "reply for 192.0.2.1\r\n\r\nDone."},
      {" (192.0.2.1) ", "192.0.2.1", Us + "reply for 192.0.2.1\r\n\r\nDone."},
      {"192.0.2.1,", "192.0.2.1", Us + "reply for 192.0.2.1\r\n\r\nDone."},
      {"192.0.2.1.", "192.0.2.1", Us + "reply for 192.0.2.1\r\n\r\nDone."},
      {"192.0.2.1;", "192.0.2.1", Us + "reply for 192.0.2.1\r\n\r\nDone."},
      {"192.0.2[.]1", "192.0.2.1", Us + "reply for 192.0.2.1\r\n\r\nDone."},
      {"hxxps[:]//192(dot)0{.}2[.]1:8443/x", "192.0.2.1", Us + "reply for 192.0.2.1\r\n\r\nDone."},
      {"[010.0.0.1]:53", "010.0.0.1", Global + "reply for 010.0.0.1\r\n\r\nDone."},
      {"2001:DB8[:]:1", "2001:db8::1", Global + "reply for 2001:db8::1\r\n\r\nDone."},
      {"([::ffff:198.51.100.7]),", "198.51.100.7", Global + "reply for 198.51.100.7\r\n\r\nDone."},
      {"localhost:8080", "localhost", Local},
      {"hxxp[://]localhost[:]8080/x", "localhost", Local},
      {"user[at]localhost", "localhost", Local},
      {"]localhost", "localhost", Local},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Pasted);
    ASSERT_TRUE(Query(R.Pasted));
    EXPECT_EQ(View.Box, R.Box);
    EXPECT_EQ(View.Calls.at(1), "box " + R.Box);
    EXPECT_EQ(
        std::count_if(View.Calls.begin(), View.Calls.end(), [](const std::string& C) { return C.starts_with("box "); }),
        1);
    EXPECT_EQ(Pane(), R.Pane);
    EXPECT_EQ(Server.Queries().back(), R.Pane == Local ? "127.0.0.1" : R.Box);
  }
  EXPECT_TRUE(View.WhoisErrors.empty() && View.TopLevelErrors.empty());
}

// Texts that need no rescue take the road they always took: names and number forms the
// resolver reads, and broken forms that end in "No such host" (asked in a network of the
// test's own, so that no name server is asked; the IPv6 lookups are the fake's).
TEST_F(QuerySessionTest, TextsWithoutARescueKeepTheirRoad)
{
  TWhoisServer Server(ScriptOptions({SendStep("reply for %q\r\n")}));
  Use(Server);
  const std::string Local = Global + "reply for 127.0.0.1\r\n\r\nDone.";
  const struct {
    const char* Text;
    std::string Box, Pane;
  } Resolved[] = {
      {"localhost", "localhost", "Resolving localhost..\r\n" + Local},
      {"127.1", "127.1", "Resolving 127.1..\r\n" + Local},
      {"hxxp://localhost/x[.]html", "localhost", "Resolving localhost..\r\n" + Local},
  };
  for (const auto& R : Resolved) {
    SCOPED_TRACE(R.Text);
    ASSERT_TRUE(Query(R.Text));
    EXPECT_EQ(View.Box, R.Box);
    EXPECT_EQ(Pane(), R.Pane);
  }

  const TOwnNetwork Isolated;
  if (!Isolated.Entered()) GTEST_SKIP() << "no network namespace of its own here (needs root)";
  TFakeResolvers Fakes;
  const std::string Unanswered[] = {
      "localhost.",    "1.2.3.4.5",      "1.2.3.256:53",    "1.2.3.4:99999",
      "203.0.113.7..", "(1.2.3.4.5)",    "12345,",          "(0x7f000001)",
      "[127.1]",       "localhost:http", "localhost:80:80", "Help Desk <user[at]localhost>",
      "user[at]",      "[IPv6:1.2.3.4]", "[::1]]",          "(203.0.113.7",
  };
  for (const std::string& Text : Unanswered) {
    SCOPED_TRACE(Text);
    ASSERT_TRUE(Query(Text));
    const std::string Box = CleanAddress(Text);
    EXPECT_EQ(View.Box, Box);
    EXPECT_EQ(Pane(), "Resolving " + Box + "..\r\nNo such host\r\n");
  }
  EXPECT_EQ(Server.Queries().size(), std::size(Resolved));
  EXPECT_TRUE(View.WhoisErrors.empty() && View.TopLevelErrors.empty());
}

}  // namespace
