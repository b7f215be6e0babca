// SPDX-License-Identifier: MIT
// The answer engine against scripted registries on 127.0.0.x: one query per network, a
// followed chain answered by the registry that holds the network, stub ranges remembered,
// pacing per server with servers side by side, answers in the order added whatever order the
// servers answer in, space no registry holds answered without a query, AS numbers through
// IANA, prefixes, failures, the plain output's panes and a stop half way.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include "net/WSocketLookup.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/WhoisServer.h"
#include "tests/whois/AnswerRunSupport.h"
#include "whois/AnswerRun.h"

#include <arpa/inet.h>

namespace {

using TClock = std::chrono::steady_clock;

// A registry double: ReplyFor answers each query; the query lines and their server-side
// arrival times are kept.
class TRegistry {
 public:
  TRegistry(const std::string& Address, std::function<std::string(const std::string&)> Reply,
            TServerMode Mode = TServerMode::Reply)
  {
    TServerOptions O;
    O.Address = Address;
    O.Mode = Mode;
    O.ReplyFor = std::move(Reply);
    O.OnQuery = [this](const std::string&) {
      std::lock_guard Lock(m_Mutex);
      m_Times.push_back(TClock::now());
    };
    m_Server = std::make_unique<TWhoisServer>(O);
    m_Address = Address;
  }
  std::string Host() const { return m_Address; }
  std::uint16_t Port() const { return m_Server->Port(); }
  std::string Name() const { return m_Address + ":" + std::to_string(Port()); }
  std::vector<std::string> Queries() const { return m_Server->Queries(); }
  std::vector<TClock::time_point> Times() const
  {
    std::lock_guard Lock(m_Mutex);
    return m_Times;
  }

 private:
  std::unique_ptr<TWhoisServer> m_Server;
  std::string m_Address;
  mutable std::mutex m_Mutex;
  std::vector<TClock::time_point> m_Times;
};

std::string Crlf(const std::vector<std::string>& Lines)
{
  std::string Out;
  for (const std::string& L : Lines) Out += L + "\r\n";
  return Out;
}

TAnswerSettings Settings(const TRegistry& First)
{
  TAnswerSettings S;
  S.TimeoutMs = 20000;
  S.PaceMs = 0;
  const std::string Host = First.Host();
  const std::string Port = std::to_string(First.Port());
  S.ServerFor = [Host, Port](const std::string&) { return std::make_pair(Host, Port); };
  return S;
}

std::vector<TAnswerOutcome> RunAll(const TAnswerSettings& S, const std::vector<TAnswerTarget>& Targets)
{
  TAnswerRun R(S);
  return RunAll(R, Targets);
}

// An ARIN-shaped record of the /24 that holds the query, or a stub for 193/8 naming RIPE.
std::string ArinReply(const std::string& Query, const std::string& Ripe)
{
  if (Query.rfind("193.", 0) == 0)
    return Crlf({"NetRange:       193.0.0.0 - 193.255.255.255", "CIDR:           193.0.0.0/8",
                 "NetName:        RIPE-CIDR-193", "NetType:        Allocated to RIPE NCC", "",
                 "OrgName:        RIPE Network Coordination Centre", "OrgAbuseEmail:  hostmaster@ripe.example",
                 "ReferralServer: whois://" + Ripe, ""});
  const std::string Net = Query.substr(0, Query.rfind('.'));
  return Crlf({"NetRange:       " + Net + ".0 - " + Net + ".255", "NetName:        NET-" + Net,
               "OrgName:        Holder of " + Net, "OrgAbuseEmail:  abuse@" + Net + ".example", ""});
}

// A RIPE-shaped record: 193.0.0.0/21 for 193.0.x.x, a /16 for the rest of 193/8.
std::string RipeReply(const std::string& Query)
{
  if (Query.rfind("193.0.", 0) == 0)
    return Crlf({"inetnum:        193.0.0.0 - 193.0.7.255", "netname:        RIPE-NCC", "country:        NL",
                 "org:            ORG-RIEN1-RIPE", "abuse-c:        AR1-RIPE", "source:         RIPE", "",
                 "organisation:   ORG-RIEN1-RIPE", "org-name:       Reseaux IP Europeens Network Coordination Centre",
                 "", "role:           Abuse desk", "abuse-mailbox:  abuse@ripe.example", "nic-hdl:        AR1-RIPE",
                 ""});
  const std::string Net16 = Query.substr(0, Query.find('.', 4));
  return Crlf({"inetnum:        " + Net16 + ".0.0 - " + Net16 + ".255.255", "netname:        NET-" + Net16,
               "country:        DE", "abuse-c:        AR2-RIPE", "source:         RIPE", "",
               "role:           Abuse desk", "abuse-mailbox:  abuse@" + Net16 + ".example", "nic-hdl:        AR2-RIPE",
               ""});
}

TEST(AnswerRun, OneQueryPerNetwork)
{
  TRegistry Arin("127.0.0.2", [](const std::string& Q) { return ArinReply(Q, "unused"); });
  const std::vector<TAnswerTarget> Targets = {Address("192.0.2.1"),   Address("192.0.2.2"),    Address("198.51.100.7"),
                                              Address("192.0.2.200"), Address("198.51.100.8"), Address("192.0.2.3")};
  TAnswerRun R(Settings(Arin));
  const auto Out = RunAll(R, Targets);
  ASSERT_EQ(Out.size(), Targets.size());
  EXPECT_EQ(Arin.Queries(), (std::vector<std::string>{"192.0.2.1", "198.51.100.7"}));
  const struct {
    bool Cached;
    const char* From;
    const char* Network;
  } Want[] = {
      {false, "", "NET-192.0.2"},         {true, "192.0.2.1", "NET-192.0.2"},       {false, "", "NET-198.51.100"},
      {true, "192.0.2.1", "NET-192.0.2"}, {true, "198.51.100.7", "NET-198.51.100"}, {true, "192.0.2.1", "NET-192.0.2"}};
  for (std::size_t I = 0; I < Out.size(); ++I) {
    SCOPED_TRACE(Targets[I].Text);
    const TWhoisAnswer& A = Out[I].Answer;
    EXPECT_EQ(Out[I].Target, Targets[I].Text);
    EXPECT_EQ(A.Query, Targets[I].Text);
    EXPECT_EQ(A.Cached, Want[I].Cached);
    EXPECT_EQ(A.CachedFrom, Want[I].From);
    ASSERT_TRUE(A.Network);
    EXPECT_EQ(A.Network->Name, Want[I].Network);
    EXPECT_EQ(A.Asked.size(), Want[I].Cached ? 0u : 1u);
    EXPECT_FALSE(Out[I].Failed);
  }
  EXPECT_EQ(R.Counts().Queries, 2u);
  EXPECT_EQ(R.Counts().FromCache, 4u);
  EXPECT_EQ(R.Counts().HandedOut, 6u);
}

TEST(AnswerRun, FollowedChainIsAnsweredByTheRegistryThatHoldsTheNetwork)
{
  TRegistry Ripe("127.0.0.3", RipeReply);
  TRegistry Arin("127.0.0.2", [&Ripe](const std::string& Q) { return ArinReply(Q, Ripe.Name()); });
  const auto Out = RunAll(Settings(Arin), {Address("193.0.6.139")});
  ASSERT_EQ(Out.size(), 1u);
  const TWhoisAnswer& A = Out[0].Answer;
  ASSERT_TRUE(A.Network);
  EXPECT_EQ(A.Network->Name, "RIPE-NCC");
  EXPECT_EQ(A.Network->First, "193.0.0.0");
  ASSERT_FALSE(A.Abuse.empty());
  // ARIN's stub names RIPE's own mailbox: the answer is RIPE's record, not that.
  EXPECT_EQ(A.Abuse[0].Email, "abuse@ripe.example");
  EXPECT_EQ(A.Asked, (std::vector<std::string>{Arin.Name(), Ripe.Name()}));
  EXPECT_EQ(A.Server, Ripe.Name());
  EXPECT_FALSE(A.Cached);
  EXPECT_FALSE(Out[0].Failed);
  EXPECT_FALSE(Out[0].ReferralFailed);
  EXPECT_EQ(Ripe.Queries(), std::vector<std::string>{"193.0.6.139"});
}

TEST(AnswerRun, StubRangesSendLaterAddressesStraightToTheServerTheyLedTo)
{
  TRegistry Ripe("127.0.0.3", RipeReply);
  TRegistry Arin("127.0.0.2", [&Ripe](const std::string& Q) { return ArinReply(Q, Ripe.Name()); });
  TAnswerSettings S = Settings(Arin);
  S.Blocks = true;
  const std::vector<TAnswerTarget> Targets = {Address("193.0.6.139"), Address("193.1.1.1"), Address("193.0.6.200"),
                                              Address("193.2.3.4"), Address("193.1.200.1")};
  const auto Out = RunAll(S, Targets);
  ASSERT_EQ(Out.size(), Targets.size());
  EXPECT_EQ(Arin.Queries(), std::vector<std::string>{"193.0.6.139"});
  EXPECT_EQ(Ripe.Queries(), (std::vector<std::string>{"193.0.6.139", "193.1.1.1", "193.2.3.4"}));
  EXPECT_EQ(Out[1].Answer.Asked, std::vector<std::string>{Ripe.Name()});
  EXPECT_EQ(Out[1].Answer.Network->Name, "NET-193.1");
  EXPECT_TRUE(Out[2].Answer.Cached);
  EXPECT_EQ(Out[2].Answer.CachedFrom, "193.0.6.139");
  EXPECT_TRUE(Out[4].Answer.Cached);
  EXPECT_EQ(Out[4].Answer.CachedFrom, "193.1.1.1");
  // The plain output says where the shortcut went and why.
  ASSERT_EQ(Out[1].Blocks.size(), 1u);
  EXPECT_TRUE(Out[1].Blocks[0].starts_with(
      "Address is Global, querying ARIN..\r\n\r\nAsking 127.0.0.3 port " + std::to_string(Ripe.Port()) +
      ", where the referrals for 193.0.6.139 led..\r\n\r\ninetnum:        193.1.0.0"))
      << Out[1].Blocks[0];
  ASSERT_EQ(Out[2].Blocks.size(), 1u);
  EXPECT_EQ(Out[2].Blocks[0],
            "Address is Global, querying ARIN..\r\n\r\n193.0.6.200 is in 193.0.0.0 - 193.0.7.255, "
            "the network of the answer for 193.0.6.139 above: not asked again.\r\n\r\nDone.");
}

TEST(AnswerRun, OneServerIsPacedWhileOthersRunBesideIt)
{
  TRegistry Iana("127.0.0.6", [](const std::string& Q) { return Crlf({"aut-num: " + Q}); });
  TRegistry Arin("127.0.0.2", [](const std::string& Q) { return ArinReply(Q, "unused"); });
  TAnswerSettings S = Settings(Arin);
  S.PaceMs = 400;
  S.IanaHost = Iana.Host();
  S.IanaPort = Iana.Port();
  S.Follow = false;
  // AS numbers go to IANA's lane, addresses to ARIN's: one run, two lanes.
  const auto Out = RunAll(S, {Address("192.0.2.1"),
                              {TTargetKind::AsNumber, "AS64496", {}},
                              Address("198.51.100.1"),
                              {TTargetKind::AsNumber, "AS64497", {}},
                              Address("203.0.113.1")});
  ASSERT_EQ(Out.size(), 5u);
  const auto TA = Arin.Times();
  const auto TI = Iana.Times();
  ASSERT_EQ(TA.size(), 3u);
  ASSERT_EQ(TI.size(), 2u);
  // Server-side arrival times: the pause runs from the end of one query to the start of the
  // next, so arrivals are at least that far apart.
  for (std::size_t I = 1; I < TA.size(); ++I)
    EXPECT_GE(TA[I] - TA[I - 1], std::chrono::milliseconds(400)) << "query " << I << " came too soon";
  EXPECT_GE(TI[1] - TI[0], std::chrono::milliseconds(400));
  // IANA's lane did not wait for ARIN's.
  EXPECT_LT(TI[0], TA[1]);
  EXPECT_LT(TI[1], TA[2]);
}

TEST(AnswerRun, AnswersComeInTheOrderAddedWhateverOrderTheServersAnswerIn)
{
  TRegistry Fast("127.0.0.3", [](const std::string& Q) { return ArinReply(Q, "unused"); });
  // The slow server holds its first reply until the fast one has had both of its queries.
  TRegistry Slow("127.0.0.2", [&Fast](const std::string& Q) {
    for (int I = 0; I < 1000 && Fast.Times().size() < 2; ++I)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ArinReply(Q, "unused");
  });
  // The slow server answers the addresses; the AS numbers go to the fast one (as IANA).
  TAnswerSettings S = Settings(Slow);
  S.IanaHost = Fast.Host();
  S.IanaPort = Fast.Port();
  S.Follow = false;
  const std::vector<TAnswerTarget> Targets = {Address("192.0.2.1"),
                                              {TTargetKind::AsNumber, "AS64496", {}},
                                              {TTargetKind::AsNumber, "AS64497", {}},
                                              Address("198.51.100.1")};
  const auto Out = RunAll(S, Targets);
  ASSERT_EQ(Out.size(), Targets.size());
  for (std::size_t I = 0; I < Targets.size(); ++I) EXPECT_EQ(Out[I].Target, Targets[I].Text);
  EXPECT_EQ(Fast.Times().size(), 2u);
}

TEST(AnswerRun, SpaceNoRegistryHoldsIsAnsweredWithoutAQuery)
{
  TRegistry Arin("127.0.0.2", [](const std::string& Q) { return ArinReply(Q, "unused"); });
  TAnswerSettings S = Settings(Arin);
  S.Blocks = true;
  const std::pair<const char*, const char*> Rows[] = {
      {"127.0.0.1", "127.0.0.1 is a loopback address, which no registry holds"},
      {"10.1.2.3", "10.1.2.3 is a private network address, which no registry holds"},
      {"169.254.9.9", "169.254.9.9 is a link-local address, which no registry holds"},
      {"224.0.0.251", "224.0.0.251 is a multicast address, which no registry holds"},
      {"0.0.0.0", "0.0.0.0 is an unspecified address, which no registry holds"},
      {"240.1.1.1", "240.1.1.1 is a reserved address, which no registry holds"},
      {"fe80::1", "fe80::1 is a link-local address, which no registry holds"},
      {"::1", "::1 is a loopback address, which no registry holds"},
      {"fd00::5", "fd00::5 is a private network address, which no registry holds"},
  };
  std::vector<TAnswerTarget> Targets;
  for (const auto& [Text, Error] : Rows) Targets.push_back(Address(Text));
  // The documentation ranges count as public, as the tests use them.
  Targets.push_back(Address("192.0.2.1"));
  Targets.push_back(Address("2001:db8::1"));
  const auto Out = RunAll(S, Targets);
  ASSERT_EQ(Out.size(), Targets.size());
  for (std::size_t I = 0; I < std::size(Rows); ++I) {
    EXPECT_EQ(Out[I].Answer.Error, Rows[I].second);
    EXPECT_FALSE(Out[I].Failed) << "answered, if only here";
    EXPECT_TRUE(Out[I].Answer.Asked.empty());
    ASSERT_EQ(Out[I].Blocks.size(), 1u);
    EXPECT_EQ(Out[I].Blocks[0], std::string(Rows[I].second) + ": not asked.\r\n");
  }
  EXPECT_EQ(Arin.Queries(), (std::vector<std::string>{"192.0.2.1", "2001:db8::1"}));
}

TEST(AnswerRun, AsNumbersGoThroughIanaToTheRegistry)
{
  TRegistry Arin("127.0.0.2", [](const std::string& Q) {
    return Crlf({"ASNumber:       15169", "ASName:         GOOGLE", "ASHandle:       " + Q, ""});
  });
  TRegistry Iana("127.0.0.6", [&Arin](const std::string& Q) {
    return Crlf({"% IANA WHOIS server", "", "refer:        " + Arin.Name(), "", "aut-num:      " + Q, ""});
  });
  TAnswerSettings S = Settings(Arin);
  S.IanaHost = Iana.Host();
  S.IanaPort = Iana.Port();
  S.Follow = false;  // AS numbers are followed all the same
  S.Blocks = true;
  const auto Out = RunAll(S, {{TTargetKind::AsNumber, "AS15169", {}}});
  ASSERT_EQ(Out.size(), 1u);
  EXPECT_EQ(Out[0].Answer.Asked, (std::vector<std::string>{Iana.Name(), Arin.Name()}));
  EXPECT_EQ(Iana.Queries(), std::vector<std::string>{"AS15169"});
  EXPECT_EQ(Arin.Queries(), std::vector<std::string>{"AS15169"});
  EXPECT_TRUE(Out[0].Address.empty());
  ASSERT_EQ(Out[0].Blocks.size(), 2u);
  EXPECT_TRUE(Out[0].Blocks[0].starts_with("Asking 127.0.0.6 port " + std::to_string(Iana.Port()) +
                                           " for AS15169..\r\n\r\n% IANA WHOIS server"))
      << Out[0].Blocks[0];
  EXPECT_TRUE(Out[0].Blocks[0].ends_with("\r\n\r\nDone."));
  EXPECT_TRUE(Out[0].Blocks[1].starts_with("Referred to 127.0.0.2 port " + std::to_string(Arin.Port()) + "..\r\n\r\n"))
      << Out[0].Blocks[1];
}

TEST(AnswerRun, PrefixAsksAboutItsNetworkAndAnswersAddressesInside)
{
  TRegistry Ripe("127.0.0.3", [](const std::string&) { return RipeReply("193.0.0.0"); });
  TAnswerSettings S = Settings(Ripe);
  S.Blocks = true;
  const auto Out = RunAll(S, {{TTargetKind::Prefix, "193.0.0.0/21", "193.0.0.0"},
                              Address("193.0.6.139"),
                              {TTargetKind::Prefix, "193.0.4.0/22", "193.0.4.0"},
                              {TTargetKind::Prefix, "193.0.0.0/16", "193.0.0.0"}});
  ASSERT_EQ(Out.size(), 4u);
  // The /16 is larger than the network answered: asked again.
  EXPECT_EQ(Ripe.Queries(), (std::vector<std::string>{"193.0.0.0/21", "193.0.0.0/16"}));
  EXPECT_EQ(Out[0].Address, "193.0.0.0");
  EXPECT_EQ(Out[0].Answer.Query, "193.0.0.0/21");
  EXPECT_TRUE(Out[1].Answer.Cached);
  EXPECT_EQ(Out[1].Answer.CachedFrom, "193.0.0.0/21");
  EXPECT_TRUE(Out[2].Answer.Cached);
  EXPECT_FALSE(Out[3].Answer.Cached);
  EXPECT_TRUE(Out[0].Blocks[0].starts_with("Address is Global, querying ARIN..\r\n\r\ninetnum:")) << Out[0].Blocks[0];
}

TEST(AnswerRun, FailuresSayWhichServerAndWhy)
{
  TRegistry Refuser("127.0.0.4", nullptr, TServerMode::Refuse);
  TAnswerSettings S = Settings(Refuser);
  S.Blocks = true;
  const auto Out = RunAll(S, {Address("192.0.2.1"), Address("192.0.2.2")});
  ASSERT_EQ(Out.size(), 2u);
  const std::string Where = "127.0.0.4 port " + std::to_string(Refuser.Port());
  for (const TAnswerOutcome& O : Out) {
    EXPECT_TRUE(O.Failed);
    EXPECT_EQ(O.Answer.Error, Where + ": connection refused");
    EXPECT_FALSE(O.Answer.Network);
    ASSERT_EQ(O.Blocks.size(), 1u);
    EXPECT_EQ(O.Blocks[0], "Address is Global, querying ARIN..\r\n\r\nQuery failed: " + Where +
                               ": connection refused.\r\n\r\nDone.");
  }

  // A referral that fails: the answer is the last reply, said to be incomplete, and its
  // network is not taken for the addresses after it.
  TRegistry Arin("127.0.0.2", [&Refuser](const std::string& Q) { return ArinReply(Q, Refuser.Name()); });
  const auto Out2 = RunAll(Settings(Arin), {Address("193.0.6.139"), Address("193.0.6.140")});
  ASSERT_EQ(Out2.size(), 2u);
  for (const TAnswerOutcome& O : Out2) {
    EXPECT_TRUE(O.ReferralFailed);
    EXPECT_FALSE(O.Failed);
    EXPECT_FALSE(O.Answer.Cached);
    EXPECT_EQ(O.Answer.Error, "referral failed: " + Where + ": connection refused");
  }
}

TEST(AnswerRun, HostNamesAreLookedUpFirst)
{
  TRegistry Arin("127.0.0.2", [](const std::string& Q) { return ArinReply(Q, "unused"); });
  // The socket's lookups answer from these tables: no name server is asked.
  SetHostResolverForTest([](const std::string& Name, std::vector<std::uint32_t>& Out) {
    if (Name != "www.quorvex.test") return 11001;
    Out.push_back(::inet_addr("192.0.2.9"));
    return 0;
  });
  SetHost6ResolverForTest([](const std::string& Name, std::vector<TIpv6Bytes>& Out) {
    if (Name != "v6.quorvex.test") return 11001;
    TIpv6Bytes A{0x20, 0x01, 0x0d, 0xb8};
    A[15] = 7;
    Out.push_back(A);
    return 0;
  });
  TAnswerSettings S = Settings(Arin);
  S.Blocks = true;
  const auto Out = RunAll(S, {{TTargetKind::Host, "www.quorvex.test", {}},
                              {TTargetKind::Host, "v6.quorvex.test", {}},
                              {TTargetKind::Host, "nosuch.quorvex.test", {}},
                              {TTargetKind::Host, "", {}}});
  SetHostResolverForTest({});
  SetHost6ResolverForTest({});
  ASSERT_EQ(Out.size(), 4u);
  EXPECT_EQ(Out[0].Address, "192.0.2.9");
  EXPECT_EQ(Out[0].Answer.Query, "192.0.2.9");
  EXPECT_TRUE(
      Out[0].Blocks.at(0).starts_with("Resolving www.quorvex.test..\r\nAddress is Global, querying ARIN..\r\n\r\n"))
      << Out[0].Blocks[0];
  EXPECT_EQ(Out[1].Address, "2001:db8::7");
  EXPECT_TRUE(Out[2].Failed);
  EXPECT_EQ(Out[2].Answer.Error, "No such host");
  EXPECT_EQ(Out[2].Blocks.at(0), "Resolving nosuch.quorvex.test..\r\nNo such host\r\n");
  EXPECT_TRUE(Out[3].Failed);
  EXPECT_EQ(Out[3].Answer.Error, "the text holds no address or host name");
  EXPECT_EQ(Arin.Queries(), (std::vector<std::string>{"192.0.2.9", "2001:db8::7"}));
}

TEST(AnswerRun, PlainPanesAreThoseOfTheQueryWindow)
{
  TRegistry Arin("127.0.0.2", [](const std::string& Q) { return "% test\r\nquery: " + Q + "\r\n\r\n\r\n"; });
  TAnswerSettings S = Settings(Arin);
  S.Blocks = true;
  S.Follow = false;
  const auto Out = RunAll(S, {Address("192.0.2.1"), Address("192.0.2.1")});
  ASSERT_EQ(Out.size(), 2u);
  // No network in the reply: nothing to answer the second one from.
  for (const TAnswerOutcome& O : Out) {
    ASSERT_EQ(O.Blocks.size(), 1u);
    EXPECT_EQ(O.Blocks[0], "Address is Global, querying ARIN..\r\n\r\n% test\r\nquery: 192.0.2.1\r\n\r\nDone.");
  }
  EXPECT_EQ(Arin.Queries().size(), 2u);
}

TEST(AnswerRun, StopHandsOutWhatWasAnsweredInOrderAndSkipsTheRest)
{
  TRegistry Arin("127.0.0.2", [](const std::string& Q) { return ArinReply(Q, "unused"); });
  TRegistry Silent("127.0.0.6", nullptr, TServerMode::Silent);
  TAnswerSettings S = Settings(Arin);
  S.IanaHost = Silent.Host();
  S.IanaPort = Silent.Port();
  TAnswerRun R(S);
  std::vector<TAnswerOutcome> Out;
  R.OnAnswer = [&](const TAnswerOutcome& O) { Out.push_back(O); };
  R.Add(Address("192.0.2.1"));
  R.Add({TTargetKind::AsNumber, "AS64496", {}});  // never answered
  R.Add(Address("198.51.100.1"));
  R.Add(Address("198.51.100.2"));
  // The last one answered from the cache: the two before it have their answers.
  WaitUntil([&] { return Out.size() >= 1 && R.Counts().FromCache >= 1 && !Silent.Queries().empty(); }, 20000);
  ASSERT_EQ(Out.size(), 1u);
  EXPECT_EQ(R.Stop(), 3u);
  ASSERT_EQ(Out.size(), 3u);
  EXPECT_EQ(Out[1].Target, "198.51.100.1");
  EXPECT_EQ(Out[2].Target, "198.51.100.2");
  EXPECT_TRUE(Out[2].Answer.Cached);
}

}  // namespace
