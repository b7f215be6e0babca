// SPDX-License-Identifier: MIT
// Following referrals against scripted WHOIS servers on 127.0.0.x, each on a port of its
// own, so referrals name their port: ARIN to RIPE, a stub through IANA to AFRINIC, loops,
// refusal, silence, endless replies, the hop limit and hostile referral lines; IPv6 queries;
// and, in a network namespace of the test's own, servers on public and private addresses
// that try to send the command to the user's own machine or network.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "net/SocketErrors.h"
#include "net/WSocketLookup.h"
#include "tests/support/OwnNetwork.h"
#include "tests/support/WhoisServer.h"
#include "whois/Query.h"
#include "whois/WhoisFollow.h"

namespace {

const std::string kAddress = "193.0.6.139";

std::unique_ptr<TWhoisServer> Server(const std::string& Address, const std::string& Reply,
                                     TServerMode Mode = TServerMode::Reply)
{
  TServerOptions O;
  O.Address = Address;
  O.Reply = Reply;
  O.Mode = Mode;
  return std::make_unique<TWhoisServer>(O);
}

std::string Where(const std::string& Address, const TWhoisServer& S)
{
  return Address + ":" + std::to_string(S.Port());
}

std::string PortOf(const TWhoisServer& S) { return std::to_string(S.Port()); }

struct TRun {
  TFollowResult Result;
  std::vector<std::string> Blocks;
};

TRun Follow(const std::string& FirstReply, TFollowSettings Settings = {}, const std::string& FirstHost = "127.0.0.2",
            std::uint16_t FirstPort = 43, const std::string& Address = kAddress)
{
  TRun Run;
  if (Settings.TimeoutMs == TFollowSettings{}.TimeoutMs) Settings.TimeoutMs = 20000;
  Run.Result = FollowReferrals(Address, FirstHost, FirstPort, FirstReply, Settings,
                               [&Run](const std::string& Block) { Run.Blocks.push_back(Block); });
  return Run;
}

// Host names the socket's lookups answer from a table while it lives (kWsaHostNotFound for others).
class TNames {
 public:
  explicit TNames(std::map<std::string, std::vector<std::string>> Table)
  {
    SetHostResolverForTest([Table = std::move(Table)](const std::string& Name, std::vector<std::uint32_t>& Out) {
      const auto It = Table.find(Name);
      if (It == Table.end()) return kWsaHostNotFound;
      for (const std::string& A : It->second) Out.push_back(::inet_addr(A.c_str()));
      return Out.empty() ? kWsaNoData : 0;
    });
  }
  ~TNames() { SetHostResolverForTest({}); }
  TNames(const TNames&) = delete;
  TNames& operator=(const TNames&) = delete;
};

bool EndsWith(const std::string& Text, const std::string& Tail)
{
  return Text.size() >= Tail.size() && Text.compare(Text.size() - Tail.size(), Tail.size(), Tail) == 0;
}

TEST(WhoisFollow, ArinReferralToRipe)
{
  auto Ripe = Server("127.0.0.3", "% RIPE test double\r\n\r\ninetnum:        %q\r\nsource:         RIPE\r\n\r\n");
  const std::string Arin =
      "NetRange:       193.0.0.0 - 193.255.255.255\r\n"
      "NetType:        Allocated to RIPE NCC\r\n\r\n"
      "OrgName:        RIPE Network Coordination Centre\r\n"
      "ReferralServer: whois://" +
      Where("127.0.0.3", *Ripe) +
      "\r\n"
      "ResourceLink:   https://search.ripe.example/\r\n";
  const TRun Run = Follow(Arin);
  ASSERT_EQ(Run.Blocks.size(), 1u);
  // ARIN's web link on every reply is no referral: nothing is said about it.
  EXPECT_EQ(Run.Blocks[0],
            "Referred to 127.0.0.3 port " + PortOf(*Ripe) +
                "..\r\n\r\n"
                "% RIPE test double\r\n\r\ninetnum:        193.0.6.139\r\nsource:         RIPE\r\n\r\nDone.");
  EXPECT_EQ(Ripe->Queries(), std::vector<std::string>{kAddress});
  EXPECT_EQ(Run.Result.Asked, 1);
  EXPECT_FALSE(Run.Result.Failed);
}

TEST(WhoisFollow, StubGoesThroughIanaToAfrinic)
{
  auto Afrinic = Server("127.0.0.7", "% AFRINIC test double\r\ninetnum: %q\r\nsource: AFRINIC\r\n");
  auto Iana = Server("127.0.0.6", "% IANA test double\r\n\r\nrefer:        " + Where("127.0.0.7", *Afrinic) +
                                      "\r\n\r\ninetnum:      41.0.0.0 - 41.255.255.255\r\n");
  const std::string RipeStub =
      "inetnum:        41.0.0.0 - 41.255.255.255\r\n"
      "netname:        NON-RIPE-NCC-MANAGED-ADDRESS-BLOCK\r\n"
      "descr:          IPv4 address block not managed by the RIPE NCC\r\n";
  TFollowSettings Settings;
  Settings.IanaHost = "127.0.0.6";
  Settings.IanaPort = Iana->Port();
  const TRun Run = Follow(RipeStub, Settings, "127.0.0.3");
  ASSERT_EQ(Run.Blocks.size(), 2u);
  EXPECT_TRUE(Run.Blocks[0].starts_with("Not managed by this registry, asking 127.0.0.6 port " + PortOf(*Iana) +
                                        "..\r\n\r\n% IANA test double\r\n"))
      << Run.Blocks[0];
  EXPECT_EQ(Run.Blocks[1],
            "Referred to 127.0.0.7 port " + PortOf(*Afrinic) +
                "..\r\n\r\n% AFRINIC test double\r\ninetnum: 193.0.6.139\r\nsource: AFRINIC\r\n\r\nDone.");
  EXPECT_EQ(Iana->Queries().size(), 1u);
  EXPECT_EQ(Afrinic->Queries(), std::vector<std::string>{kAddress});
  EXPECT_EQ(Run.Result.Asked, 2);
  EXPECT_FALSE(Run.Result.Failed);
}

TEST(WhoisFollow, LoopStopsAtTheServerAskedBefore)
{
  std::atomic<std::uint16_t> PortA{0};
  auto A = Server("127.0.0.2", "% A\r\n");
  PortA = A->Port();
  TServerOptions O;
  O.Address = "127.0.0.3";
  O.ReplyFor = [&PortA](const std::string&) {
    return "ReferralServer: whois://127.0.0.2:" + std::to_string(PortA.load()) + "\r\n";
  };
  TWhoisServer B(O);
  const TRun Run = Follow("ReferralServer: whois://" + Where("127.0.0.3", B) + "\r\n", {}, "127.0.0.2", A->Port());
  ASSERT_EQ(Run.Blocks.size(), 2u);
  EXPECT_EQ(Run.Blocks[1], "Not asking 127.0.0.2 port " + PortOf(*A) + ": that server was asked already.");
  EXPECT_TRUE(A->Queries().empty());
  EXPECT_EQ(B.Queries().size(), 1u);
  EXPECT_EQ(Run.Result.Asked, 1);
  EXPECT_FALSE(Run.Result.Failed);
}

TEST(WhoisFollow, SameServerIsKnownWhateverTheLetterCaseOrTrailingDot)
{
  const TRun Run = Follow("ReferralServer: whois://LocalHost.:4343\r\n", {}, "localhost", 4343);
  ASSERT_EQ(Run.Blocks.size(), 1u);
  EXPECT_EQ(Run.Blocks[0], "Not asking localhost port 4343: that server was asked already.");
  EXPECT_EQ(Run.Result.Asked, 0);
}

TEST(WhoisFollow, HopLimitEndsALongChain)
{
  // Server I refers to server I + 1; the first reply refers to server 0.
  std::vector<std::unique_ptr<TWhoisServer>> Chain(5);
  for (int I = 4; I >= 0; --I) {
    const std::string Next =
        I == 4 ? "% end\r\n" : "refer: " + Where("127.0.0." + std::to_string(I + 11), *Chain[I + 1]) + "\r\n";
    Chain[I] = Server("127.0.0." + std::to_string(I + 10), "% server " + std::to_string(I) + "\r\n" + Next);
  }
  const TRun Run = Follow("refer: " + Where("127.0.0.10", *Chain[0]) + "\r\n");
  ASSERT_EQ(Run.Blocks.size(), 4u);
  EXPECT_EQ(Run.Blocks[3], "Not asking 127.0.0.13 port " + PortOf(*Chain[3]) + ": at most 3 referrals are followed.");
  for (int I = 0; I < 3; ++I) EXPECT_EQ(Chain[I]->Queries().size(), 1u) << I;
  EXPECT_TRUE(Chain[3]->Queries().empty());
  EXPECT_EQ(Run.Result.Asked, 3);
  EXPECT_FALSE(Run.Result.Failed);
}

TEST(WhoisFollow, FailuresNameTheServerAndTheCauseInWords)
{
  auto Refuser = Server("127.0.0.4", "", TServerMode::Refuse);
  const TNames Names({});
  const std::string Refused = "127.0.0.4 port " + PortOf(*Refuser);
  const std::string Unknown = "nosuch.quorvex.test port 43";
  const std::pair<std::string, std::string> Rows[] = {
      {"ReferralServer: whois://" + Where("127.0.0.4", *Refuser), Refused + ": connection refused."},
      {"refer: nosuch.quorvex.test", Unknown + ": no such host."},
  };
  for (const auto& [Line, Failure] : Rows) {
    const TRun Run = Follow(Line + "\r\n");
    ASSERT_EQ(Run.Blocks.size(), 1u);
    const std::string Server = Failure.substr(0, Failure.find(':'));
    EXPECT_EQ(Run.Blocks[0], "Referred to " + Server + "..\r\n\r\nReferral failed: " + Failure + "\r\n\r\nDone.");
    EXPECT_EQ(Run.Result.Asked, 1);
    EXPECT_TRUE(Run.Result.Failed);
  }
}

TEST(WhoisFollow, ServerClosingWithoutAReplyIsAFailure)
{
  auto Closer = Server("127.0.0.4", "", TServerMode::CloseEarly);
  const TRun Run = Follow("refer: " + Where("127.0.0.4", *Closer) + "\r\n");
  ASSERT_EQ(Run.Blocks.size(), 1u);
  // Whether the query line still reaches the closing server decides which of the two it is.
  const std::string& Block = Run.Blocks[0];
  const std::string Where = "..\r\n\r\nReferral failed: 127.0.0.4 port " + PortOf(*Closer) + ": ";
  EXPECT_TRUE(EndsWith(Block, Where + "the server closed the connection without a reply.\r\n\r\nDone.") ||
              EndsWith(Block, Where + "connection reset by peer.\r\n\r\nDone."))
      << Block;
  EXPECT_TRUE(Run.Result.Failed);
}

TEST(WhoisFollow, SilentServerTimesOutLikeThePane)
{
  auto Silent = Server("127.0.0.4", "", TServerMode::Silent);
  TFollowSettings Settings;
  Settings.TimeoutMs = 1000;
  const TRun Run = Follow("refer: " + Where("127.0.0.4", *Silent) + "\r\n", Settings);
  ASSERT_EQ(Run.Blocks.size(), 1u);
  EXPECT_EQ(Run.Blocks[0],
            "Referred to 127.0.0.4 port " + PortOf(*Silent) + "..\r\n\r\n\r\nConnection timeout\r\n\r\nDone.");
  EXPECT_TRUE(Run.Result.Failed);
}

TEST(WhoisFollow, EndlessReplyIsCutAtThePaneCap)
{
  TServerOptions O;
  O.Address = "127.0.0.4";
  O.Mode = TServerMode::Endless;
  TWhoisServer Endless(O);
  const TRun Run = Follow("refer: " + Where("127.0.0.4", Endless) + "\r\n");
  ASSERT_EQ(Run.Blocks.size(), 1u);
  const std::string& Block = Run.Blocks[0];
  EXPECT_LE(Block.size(), TQueryForm::ReplyCap + 64 * 1024);
  EXPECT_GE(Block.size(), TQueryForm::ReplyCap);
  EXPECT_TRUE(EndsWith(Block, TQueryForm::ReplyCutLine + "\r\n\r\nDone.")) << Block.substr(Block.size() - 200);
  EXPECT_FALSE(Run.Result.Failed) << "a cut reply is still a reply";
}

TEST(WhoisFollow, RepliesAreCleanedLikeThePane)
{
  auto S = Server("127.0.0.4", std::string("a\0b\nc\r\nd\r\r\n  \n", 14));
  const TRun Run = Follow("refer: " + Where("127.0.0.4", *S) + "\r\n");
  ASSERT_EQ(Run.Blocks.size(), 1u);
  EXPECT_EQ(Run.Blocks[0], "Referred to 127.0.0.4 port " + PortOf(*S) + "..\r\n\r\nab\r\nc\r\nd\r\n\r\nDone.");
}

TEST(WhoisFollow, HostileLinesAreNotedAndNeverFollowed)
{
  auto Rwhois = Server("127.0.0.5", "% rwhois test double\r\nnetwork:Org-Name:Example\r\n");
  const std::string Reply = "ReferralServer: whois://" + std::string(2000, 'x') +
                            ".example\r\n"
                            "ReferralServer: whois://127.0.0.5:0\r\n"
                            "ReferralServer: whois://127.0.0.5:65536\r\n"
                            "ReferralServer: http://127.0.0.5:" +
                            PortOf(*Rwhois) +
                            "\r\n"
                            "ReferralServer: ldap://127.0.0.5\r\n"
                            "ReferralServer: whois://127.0.0.5;rm -rf\r\n"
                            "ReferralServer: rwhois://" +
                            Where("127.0.0.5", *Rwhois) + "/\r\n";
  const TRun Run = Follow(Reply);
  ASSERT_EQ(Run.Blocks.size(), 1u);
  const std::string& Block = Run.Blocks[0];
  const char* const Reasons[] = {"(line too long): ReferralServer: whois://xxx",
                                 "(bad port)",
                                 "(bad port)",
                                 "(not a whois or rwhois server): ReferralServer: http://",
                                 "(not a whois or rwhois server): ReferralServer: ldap://",
                                 "(bad host name)"};
  std::size_t At = 0;
  for (const char* Reason : Reasons) {
    const std::size_t Line = Block.find("Referral ignored " + std::string(Reason), At);
    ASSERT_NE(Line, std::string::npos) << Reason << "\n" << Block;
    At = Block.find("\r\n", Line);
  }
  EXPECT_NE(Block.find("\r\nReferred to 127.0.0.5 port " + PortOf(*Rwhois) + " (rwhois)..\r\n\r\n% rwhois test double"),
            std::string::npos)
      << Block;
  EXPECT_EQ(Rwhois->Queries(), std::vector<std::string>{kAddress}) << "one query, the address, by the line protocol";
  EXPECT_FALSE(Run.Result.Failed);
}

TEST(WhoisFollow, NothingToFollowPrintsOnlyTheNotes)
{
  EXPECT_TRUE(Follow("inetnum: 193.0.6.0 - 193.0.6.255\r\nnetname: RIPE-NCC\r\n").Blocks.empty());
  const TRun Run = Follow("ReferralServer: https://www.example.net/\r\n");
  ASSERT_EQ(Run.Blocks.size(), 1u);
  EXPECT_EQ(Run.Blocks[0],
            "Referral ignored (not a whois or rwhois server): ReferralServer: https://www.example.net/\r\n");
  EXPECT_EQ(Run.Result.Asked, 0);
}

// An IPv6 query: ARIN's IPv6 block of RIPE refers to RIPE, whose root object says it holds
// nothing there, so IANA's server is asked, and names APNIC.
TEST(WhoisFollow, Ipv6QueryThroughArinRipeAndIana)
{
  const std::string Address = "2001:200::1";
  auto Apnic = Server("127.0.0.7", "inet6num: 2001:200::/23\r\nquery: %q\r\n");
  auto Iana = Server("127.0.0.6", "refer:        " + Where("127.0.0.7", *Apnic) +
                                      "\r\n\r\ninet6num:     2001:200:0:0:0:0:0:0/23\r\nsource:       IANA\r\n");
  auto Ripe = Server("127.0.0.3", "inet6num:       ::/0\r\nnetname:        ROOT\r\nsource:         RIPE\r\n");
  const std::string Arin =
      "NetRange:       2001:200:: - 2001:3FF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF\r\n"
      "NetType:        Allocated to RIPE NCC\r\nResourceLink:  https://apps.db.ripe.example/\r\n\r\n"
      "ReferralServer:  whois://" +
      Where("127.0.0.3", *Ripe) + "\r\n";
  TFollowSettings Settings;
  Settings.IanaHost = "127.0.0.6";
  Settings.IanaPort = Iana->Port();
  const TRun Run = Follow(Arin, Settings, "127.0.0.2", 43, Address);
  ASSERT_EQ(Run.Blocks.size(), 3u);
  EXPECT_TRUE(Run.Blocks[0].starts_with("Referred to 127.0.0.3 port " + PortOf(*Ripe) + "..\r\n")) << Run.Blocks[0];
  EXPECT_TRUE(Run.Blocks[1].starts_with("Not managed by this registry, asking 127.0.0.6")) << Run.Blocks[1];
  EXPECT_EQ(Run.Blocks[2], "Referred to 127.0.0.7 port " + PortOf(*Apnic) +
                               "..\r\n\r\ninet6num: 2001:200::/23\r\nquery: 2001:200::1\r\n\r\nDone.");
  for (const auto* S : {Ripe.get(), Iana.get(), Apnic.get()})
    EXPECT_EQ(S->Queries(), std::vector<std::string>{Address});
  EXPECT_FALSE(Run.Result.Failed);
}

// A server with a public address cannot send the command to the user's own machine or
// network, by address or by a name that resolves there; a server on the user's own network
// may refer within it. The servers live on test addresses inside a network namespace of the
// test's own (on its loopback device: this kernel may have no dummy devices).
TEST(WhoisFollow, ReferralsCannotReachTheUsersOwnMachineOrNetwork)
{
  TOwnNetwork Net;
  if (!Net.Entered()) GTEST_SKIP() << "needs root for a network namespace";
  if (std::system("ip link set lo up && for a in 198.51.100.43 198.51.100.44 10.9.9.9 10.9.9.10; do "
                  "ip addr add $a/32 dev lo || exit 1; done") != 0)
    GTEST_SKIP() << "cannot add test addresses with ip";

  // The targets all answer on one port; the loopback one is also what 0.0.0.0 reaches.
  auto Loopback = Server("127.0.0.1", "% loopback\r\n");
  const std::string Port = PortOf(*Loopback);
  const auto OnPort = [&](const std::string& Address, const std::string& Reply) {
    TServerOptions O;
    O.Address = Address;
    O.Port = Loopback->Port();
    O.Reply = Reply;
    return std::make_unique<TWhoisServer>(O);
  };
  auto Private = OnPort("10.9.9.10", "% private\r\n");
  auto Public = OnPort("198.51.100.44", "% public\r\n");
  // A registry on a public address whose own reply refers to loopback.
  auto Turncoat = OnPort("198.51.100.43", "% public registry\r\nReferralServer: whois://127.0.0.1:" + Port + "\r\n");
  const TNames Names({{"loopback.quorvex.test", {"127.0.0.1"}},
                      {"two.quorvex.test", {"198.51.100.44", "127.0.0.1"}},
                      {"public.quorvex.test", {"198.51.100.44"}}});

  const struct {
    std::string From;      // the first server
    std::string Referral;  // host[:port]
    TWhoisServer* Asked;   // the server that answers, or none
    std::string Note;      // part of the note when ignored
  } Rows[] = {
      {"198.51.100.43", "127.0.0.1:" + Port, nullptr,
       "(127.0.0.1 is a loopback address, and the server that refers to it is not): ReferralServer: whois://127.0.0.1:"},
      {"198.51.100.43", "loopback.quorvex.test:" + Port, nullptr,
       "(loopback.quorvex.test is 127.0.0.1, a loopback address, and"},
      {"198.51.100.43", "two.quorvex.test:" + Port, nullptr, "(two.quorvex.test is 127.0.0.1, a loopback address, and"},
      {"198.51.100.43", "10.9.9.10:" + Port, nullptr, "(10.9.9.10 is a private network address, and"},
      {"198.51.100.43", "169.254.1.1:" + Port, nullptr, "(169.254.1.1 is a link-local address, and"},
      {"198.51.100.43", "0.0.0.0:" + Port, nullptr, "(0.0.0.0 is an unspecified address, never asked)"},
      {"198.51.100.43", "224.0.0.1:" + Port, nullptr, "(224.0.0.1 is a multicast address, never asked)"},
      {"198.51.100.43", "public.quorvex.test:" + Port, Public.get(), ""},
      {"10.9.9.9", "10.9.9.10:" + Port, Private.get(), ""},
      {"10.9.9.9", "127.0.0.1:" + Port, nullptr, "(127.0.0.1 is a loopback address, and"},
      {"127.0.0.2", "10.9.9.10:" + Port, nullptr, "(10.9.9.10 is a private network address, and"},
      {"127.0.0.2", "127.0.0.1:" + Port, Loopback.get(), ""},
      // The kind that counts is that of the server the reply came from.
      {"127.0.0.2", "198.51.100.43:" + Port, Turncoat.get(), "(127.0.0.1 is a loopback address, and"},
  };
  for (const auto& Row : Rows) {
    SCOPED_TRACE(Row.From + " -> " + Row.Referral);
    std::map<TWhoisServer*, std::size_t> Before;
    for (TWhoisServer* S : {Loopback.get(), Private.get(), Public.get(), Turncoat.get()})
      Before[S] = S->Queries().size();
    const TRun Run = Follow("ReferralServer: whois://" + Row.Referral + "\r\n", {}, Row.From, 43);
    for (const auto& [S, N] : Before) EXPECT_EQ(S->Queries().size(), N + (S == Row.Asked ? 1 : 0));
    ASSERT_FALSE(Run.Blocks.empty());
    const std::string& Last = Run.Blocks.back();
    if (Row.Note.empty()) {
      EXPECT_TRUE(EndsWith(Last, "\r\n\r\nDone.")) << Last;
    } else {
      EXPECT_NE(Last.find("Referral ignored " + Row.Note), std::string::npos) << Last;
      EXPECT_EQ(Last.find("Done."), std::string::npos) << Last;
    }
    EXPECT_FALSE(Run.Result.Failed);
  }
}

}  // namespace
