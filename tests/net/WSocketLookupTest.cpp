// SPDX-License-Identifier: MIT
// DnsLookup / CancelHostLookup: synchronous dotted addresses, one pending lookup per socket,
// cancellation, stale and late completions. A scripted resolver stands in for the system's
// so that timing is under the test's control and no query leaves the machine.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

#include <QCoreApplication>

#include "WSocketTestSupport.h"
#include "net/SocketErrors.h"
#include "net/WSocketAddress6.h"
#include "net/WSocketLookup.h"

namespace {

// Answers from a table, IPv4 and IPv6 addresses alike (a name known without an address of
// the family asked gives kWsaNoData); holds every answer until Release() when gated.
class TScriptedResolver {
 public:
  explicit TScriptedResolver(bool Gated) : m_Open(!Gated)
  {
    SetHostResolverForTest([this](const std::string& Name, std::vector<std::uint32_t>& Out) {
      return Resolve(Name, [&](const std::string& A) {
        if (A.find(':') != std::string::npos) return false;
        Out.push_back(inet_addr(A.c_str()));
        return true;
      });
    });
    SetHost6ResolverForTest([this](const std::string& Name, std::vector<TIpv6Bytes>& Out) {
      return Resolve(Name, [&](const std::string& A) {
        TIpv6Bytes B;
        if (!WSocketParseAddress6(A, B)) return false;
        Out.push_back(B);
        return true;
      });
    });
  }
  ~TScriptedResolver()
  {
    Release();
    // Workers still running would call into this object.
    WaitUntil([] { return RunningHostLookups() == 0; });
    SetHostResolverForTest({});
    SetHost6ResolverForTest({});
  }
  void Answer(const std::string& Name, std::vector<std::string> Addresses)
  {
    std::lock_guard Guard(m_Lock);
    m_Answers[Name] = std::move(Addresses);
  }
  void Release()
  {
    {
      std::lock_guard Guard(m_Lock);
      m_Open = true;
    }
    m_Cond.notify_all();
  }

 private:
  template <typename TTake>
  int Resolve(const std::string& Name, TTake Take)
  {
    std::unique_lock Lock(m_Lock);
    m_Cond.wait(Lock, [this] { return m_Open; });
    const auto It = m_Answers.find(Name);
    if (It == m_Answers.end()) return kWsaHostNotFound;
    bool Found = false;
    for (const auto& A : It->second) Found = Take(A) || Found;
    return Found ? 0 : kWsaNoData;
  }

  std::mutex m_Lock;
  std::condition_variable m_Cond;
  bool m_Open;
  std::map<std::string, std::vector<std::string>> m_Answers;
};

// Lets every posted completion reach its socket.
void SettleLookups()
{
  ASSERT_TRUE(WaitUntil([] { return RunningHostLookups() == 0; }));
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
}

TEST(WSocketLookup, DottedAddressCompletesBeforeDnsLookupReturns)
{
  struct TRow {
    const char* Name;
    const char* Result;
  };
  for (const TRow& R : {TRow{"10.0.0.1", "10.0.0.1"}, TRow{"010.0.0.1", "8.0.0.1"}}) {
    SCOPED_TRACE(R.Name);
    TWSocket S;
    std::vector<std::string> Seen;
    S.OnDnsLookupDone = [&](TCustomWSocket* Sender, std::uint16_t E) {
      Seen.push_back(std::to_string(E) + " " + Sender->DnsResult());
    };
    S.DnsLookup(R.Name);
    ASSERT_EQ(1u, Seen.size());
    EXPECT_EQ(std::string("0 ") + R.Result, Seen[0]);
    EXPECT_EQ(std::vector<std::string>{R.Result}, S.DnsResultList());
  }
}

TEST(WSocketLookup, EmptyNameRaisesOrReportsThroughOnError)
{
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  try {
    S.DnsLookup("");
    FAIL();
  } catch (const ESocketException& E) {
    EXPECT_STREQ("DNS lookup: invalid host name.", E.what());
  }
  EXPECT_TRUE(Log.Events.empty());
  int Errors = 0;
  S.OnError = [&](TCustomWSocket*) { ++Errors; };
  S.DnsLookup("");
  EXPECT_EQ(1, Errors);
  EXPECT_EQ("Dns10022", Log.Joined());
}

TEST(WSocketLookup, NameResolvesLaterWithEveryAddressInOrder)
{
  TScriptedResolver Resolver(false);
  Resolver.Answer("whois.example", {"192.0.2.7", "192.0.2.8"});
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  S.DnsLookup("whois.example");
  EXPECT_TRUE(Log.Events.empty());  // never inside the call
  SettleLookups();
  EXPECT_EQ("Dns0", Log.Joined());
  EXPECT_EQ("192.0.2.7", S.DnsResult());
  EXPECT_EQ((std::vector<std::string>{"192.0.2.7", "192.0.2.8"}), S.DnsResultList());
}

TEST(WSocketLookup, UnknownNameFailsWithResolverCodeAndEmptyResult)
{
  TScriptedResolver Resolver(false);
  TWSocket S;
  S.DnsLookup("10.0.0.1");  // leaves a result that the next lookup must clear
  TEventLog Log;
  Log.Attach(S);
  S.DnsLookup("no-such-host.example");
  SettleLookups();
  EXPECT_EQ("Dns11001", Log.Joined());
  EXPECT_TRUE(S.DnsResult().empty());
  EXPECT_TRUE(S.DnsResultList().empty());
}

TEST(WSocketLookup, AllOnesAddressGoesToTheResolver)
{
  TScriptedResolver Resolver(false);
  Resolver.Answer("255.255.255.255", {"255.255.255.255"});
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  S.DnsLookup("255.255.255.255");
  EXPECT_TRUE(Log.Events.empty());
  SettleLookups();
  EXPECT_EQ("Dns0", Log.Joined());
}

TEST(WSocketLookup, SecondLookupReplacesFirstSilently)
{
  TScriptedResolver Resolver(true);
  Resolver.Answer("first.example", {"192.0.2.1"});
  Resolver.Answer("second.example", {"192.0.2.2"});
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  S.DnsLookup("first.example");
  S.DnsLookup("second.example");
  Resolver.Release();
  SettleLookups();
  EXPECT_EQ("Dns0", Log.Joined());
  EXPECT_EQ("192.0.2.2", S.DnsResult());
}

TEST(WSocketLookup, AbortCancelsWith10004AndIgnoresTheLateCompletion)
{
  TScriptedResolver Resolver(true);
  Resolver.Answer("slow.example", {"192.0.2.9"});
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  S.DnsLookup("slow.example");
  S.Abort();
  EXPECT_EQ("Dns10004", Log.Joined());
  Resolver.Release();
  SettleLookups();
  EXPECT_EQ("Dns10004", Log.Joined());
  EXPECT_TRUE(S.DnsResult().empty());
  // A later lookup is not confused by the completion that was put aside.
  S.DnsLookup("10.1.1.1");
  EXPECT_EQ("Dns10004 Dns0", Log.Joined());
  SettleLookups();
  EXPECT_EQ("Dns10004 Dns0", Log.Joined());
}

TEST(WSocketLookup, CloseLeavesPendingLookupAlone)
{
  TScriptedResolver Resolver(true);
  Resolver.Answer("later.example", {"192.0.2.3"});
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  S.DnsLookup("later.example");
  S.Close();
  Resolver.Release();
  SettleLookups();
  EXPECT_EQ("Dns0", Log.Joined());
}

TEST(WSocketLookup, SocketDestroyedDuringLookupIsNeverTouched)
{
  for (const bool Ipv6 : {false, true}) {
    SCOPED_TRACE(Ipv6 ? "DnsLookup6" : "DnsLookup");
    TScriptedResolver Resolver(true);
    Resolver.Answer("gone.example", {"192.0.2.4", "2001:db8::4"});
    int Fired = 0;
    {
      auto S = std::make_unique<TWSocket>();
      S->OnDnsLookupDone = [&](TCustomWSocket*, std::uint16_t) { ++Fired; };
      Ipv6 ? S->DnsLookup6("gone.example") : S->DnsLookup("gone.example");
      S.reset();  // no OnDnsLookupDone while being destroyed
    }
    // Another socket takes the same memory, perhaps; the late completion must not reach it.
    TWSocket Other;
    Other.OnDnsLookupDone = [&](TCustomWSocket*, std::uint16_t) { ++Fired; };
    Resolver.Release();
    SettleLookups();
    EXPECT_EQ(0, Fired);
  }
}

TEST(WSocketLookup, SystemResolverFindsLocalhost)
{
  TWSocket S;
  std::uint16_t Code = 0xFFFF;
  S.OnDnsLookupDone = [&](TCustomWSocket*, std::uint16_t E) { Code = E; };
  S.DnsLookup("localhost");
  ASSERT_TRUE(WaitUntil([&] { return Code != 0xFFFF; }));
  EXPECT_EQ(0, Code);
  EXPECT_EQ("127.0.0.1", S.DnsResult());
}

TEST(WSocketLookup, ConnectFromLookupDoneHandler)
{
  TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::SendAll(Fd, "hi"); }));
  TScriptedResolver Resolver(false);
  Resolver.Answer("server.example", {"127.0.0.1"});
  TWSocket S;
  std::string Got;
  S.OnDnsLookupDone = [&](TCustomWSocket* Sender, std::uint16_t) {
    Sender->SetAddr(Sender->DnsResult());
    Sender->SetPort(Server.PortText());
    Sender->Connect();
  };
  S.OnDataAvailable = [&](TCustomWSocket* Sender, std::uint16_t) {
    char Buf[16];
    const auto N = Sender->Receive(Buf, sizeof Buf);
    if (N > 0) Got.append(Buf, static_cast<std::size_t>(N));
  };
  S.DnsLookup("server.example");
  ASSERT_TRUE(WaitUntil([&] { return Got == "hi" && S.State() == wsClosed; }));
}

// With OnError assigned, a failure met by a handler of the withdrawal is that handler's own:
// Abort still closes the session.
TEST(WSocketLookup, AbortClosesWhenTheWithdrawnLookupsHandlerFails)
{
  TWhoisServer Server(SessionOptions([&](int Fd) { SessionIo::WaitPeerClose(Fd); }));
  TScriptedResolver Resolver(true);
  Resolver.Answer("slow.example", {"192.0.2.9"});
  TWSocket S;
  TEventLog Log;
  Log.Attach(S);
  int Errors = 0;
  S.OnError = [&](TCustomWSocket*) { ++Errors; };
  S.SetAddr("127.0.0.1");
  S.SetPort(Server.PortText());
  S.Connect();
  ASSERT_TRUE(WaitUntil([&] { return S.State() == wsConnected; }));
  S.OnDnsLookupDone = [&](TCustomWSocket* Sender, std::uint16_t E) {
    Log.Events.push_back("Dns" + std::to_string(E));
    Sender->SetAddr("192.0.2.1");  // refused while connected
  };
  Log.Events.clear();
  S.DnsLookup("slow.example");
  S.Abort();
  EXPECT_EQ(1, Errors);
  EXPECT_EQ(wsClosed, S.State());
  EXPECT_EQ("Dns10004 State5>8 Closed0", Log.Joined());
  Resolver.Release();
  SettleLookups();
  EXPECT_EQ("Dns10004 State5>8 Closed0", Log.Joined());
}

// DnsLookup6 gives the name's IPv6 addresses in canonical text, from the loop, and fails like
// DnsLookup. Both kinds share the one pending lookup: either replaces the other silently,
// Abort and CancelHostLookup withdraw either with kWsaEIntr, Close leaves it alone, and the
// completion of a withdrawn or replaced lookup is never delivered.
TEST(WSocketLookup, Ipv6LookupSharesThePendingLookup)
{
  struct TRow {
    const char* What;
    std::function<void(TWSocket&)> Steps;
    const char* AtOnce;  // the events before the resolver answers
    const char* Events;
    const char* Results;
  };
  const TRow Rows[] = {
      {"IPv6", [](TWSocket& S) { S.DnsLookup6("dual.example"); }, "", "Dns0", "2001:db8::1 2001:db8::2"},
      {"known without IPv6", [](TWSocket& S) { S.DnsLookup6("v4only.example"); }, "", "Dns11004", ""},
      {"unknown", [](TWSocket& S) { S.DnsLookup6("nosuch.example"); }, "", "Dns11001", ""},
      {"IPv4 replaces IPv6",
       [](TWSocket& S) {
         S.DnsLookup6("dual.example");
         S.DnsLookup("dual.example");
       },
       "", "Dns0", "192.0.2.1"},
      {"IPv6 replaces IPv4",
       [](TWSocket& S) {
         S.DnsLookup("dual.example");
         S.DnsLookup6("dual.example");
       },
       "", "Dns0", "2001:db8::1 2001:db8::2"},
      {"a dotted address replaces IPv6",
       [](TWSocket& S) {
         S.DnsLookup6("dual.example");
         S.DnsLookup("10.0.0.1");
       },
       "Dns0", "Dns0", "10.0.0.1"},
      {"Abort",
       [](TWSocket& S) {
         S.DnsLookup6("dual.example");
         S.Abort();
       },
       "Dns10004", "Dns10004", ""},
      {"CancelHostLookup",
       [](TWSocket& S) {
         S.DnsLookup6("dual.example");
         S.CancelHostLookup();
       },
       "Dns10004", "Dns10004", ""},
      {"Close",
       [](TWSocket& S) {
         S.DnsLookup6("dual.example");
         S.Close();
       },
       "", "Dns0", "2001:db8::1 2001:db8::2"},
  };
  for (const TRow& R : Rows) {
    SCOPED_TRACE(R.What);
    TScriptedResolver Resolver(true);
    Resolver.Answer("dual.example", {"192.0.2.1", "2001:DB8:0:0::1", "2001:db8::2"});
    Resolver.Answer("v4only.example", {"192.0.2.1"});
    TWSocket S;
    S.DnsLookup("10.0.0.1");  // leaves results that each lookup must clear
    TEventLog Log;
    Log.Attach(S);
    R.Steps(S);
    EXPECT_EQ(R.AtOnce, Log.Joined());
    Resolver.Release();
    SettleLookups();
    EXPECT_EQ(R.Events, Log.Joined());
    std::string Results;
    for (const std::string& A : S.DnsResultList()) Results += (Results.empty() ? "" : " ") + A;
    EXPECT_EQ(R.Results, Results);
    EXPECT_EQ(S.DnsResultList().empty() ? "" : S.DnsResultList().front(), S.DnsResult());
  }
}

// The system resolvers, on names that need no network: an IPv6 literal is read, and a name
// with a NUL in it names nothing (the C lookup would stop at the NUL and find "localhost").
TEST(WSocketLookup, SystemResolversReadLiteralsAndRefuseNamesWithNul)
{
  struct TRow {
    bool Ipv6;
    std::string Name;
    std::uint16_t Code;
    const char* Result;
  };
  const TRow Rows[] = {
      {true, "0:0::1", 0, "::1"},
      {true, std::string("::1\0x", 5), kWsaHostNotFound, ""},
      {false, std::string("localhost\0x", 11), kWsaHostNotFound, ""},
  };
  for (const TRow& R : Rows) {
    SCOPED_TRACE(R.Name.c_str());
    TWSocket S;
    std::uint16_t Code = 0xFFFF;
    S.OnDnsLookupDone = [&](TCustomWSocket*, std::uint16_t E) { Code = E; };
    R.Ipv6 ? S.DnsLookup6(R.Name) : S.DnsLookup(R.Name);
    ASSERT_TRUE(WaitUntil([&] { return Code != 0xFFFF; }));
    EXPECT_EQ(R.Code, Code);
    EXPECT_EQ(R.Result, S.DnsResult());
  }
}

}  // namespace

int main(int argc, char** argv)
{
  QCoreApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
