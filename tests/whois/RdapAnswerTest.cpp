// SPDX-License-Identifier: MIT
#include "whois/RdapAnswer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Fixture(const std::string& Name)
{
  std::ifstream In(std::string(QUORVEX_RDAP_FIXTURES) + "/" + Name + ".json", std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

std::string AbuseList(const TWhoisAnswer& A)
{
  std::string Out;
  for (const TAbuseContact& C : A.Abuse) Out += (Out.empty() ? "" : "; ") + C.Email + " (" + C.Object + ")";
  return Out;
}

std::string Join(const std::vector<std::string>& V)
{
  std::string Out;
  for (const std::string& S : V) Out += (Out.empty() ? "" : " ") + S;
  return Out;
}

struct TShape {
  const char* File;
  const char* Query;
  const char* Server;
  const char* Range;  // "First - Last", "" for no network
  const char* Cidrs;
  const char* Name;
  const char* Holder;  // "name / handle"
  const char* Country;
  const char* Abuse;
  const char* Elsewhere;  // "" when the answer is the registry's own, else "REGISTRY: why"
};

const TShape kShapes[] = {
    {"arin-ip-8.8.8.8", "8.8.8.8", "rdap.arin.net", "8.8.8.0 - 8.8.8.255", "8.8.8.0/24", "GOGL", "Google LLC / GOGL",
     "",
     "dns-abuse@google.com (entity ABUSE8888-ARIN in NET-8-8-8-0-2); network-abuse@google.com (entity ABUSE5250-ARIN in GOGL)",
     ""},
    {"arin-ip-padded", "74.125.1.1", "rdap.arin.net", "74.125.0.0 - 74.125.255.255", "74.125.0.0/16", "GOOGLE",
     "Google LLC / GOGL", "", "", ""},
    {"arin-ip-41-stub", "41.58.1.1", "rdap.arin.net", "41.0.0.0 - 41.255.255.255", "41.0.0.0/8", "NET41",
     "African Network Information Center / AFRINIC", "", "", "AFRINIC: its holder is AFRINIC"},
    {"ripe-ip-193.0.6.139", "193.0.6.139", "rdap.db.ripe.net", "193.0.0.0 - 193.0.7.255", "193.0.0.0/21", "RIPE-NCC",
     "Reseaux IP Europeens Network Coordination Centre (RIPE NCC) / ORG-RIEN1-RIPE", "NL",
     "abuse@ripe.net (entity OPS4-RIPE in 193.0.0.0 - 193.0.7.255)", ""},
    {"ripe-ip6-2001-67c-2e8", "2001:67c:2e8:22::c100:68b", "rdap.db.ripe.net",
     "2001:67c:2e8:: - 2001:67c:2e8:ffff:ffff:ffff:ffff:ffff", "2001:67c:2e8::/48", "RIPE-NCC",
     "Reseaux IP Europeens Network Coordination Centre (RIPE NCC) / ORG-RIEN1-RIPE", "NL",
     "abuse@ripe.net (entity OPS4-RIPE in 2001:67c:2e8::/48)", ""},
    {"apnic-ip-1.1.1.1", "1.1.1.1", "rdap.apnic.net", "1.1.1.0 - 1.1.1.255", "1.1.1.0/24", "APNIC-LABS",
     "APNIC Research and Development / ORG-ARAD1-AP", "AU",
     "helpdesk@apnic.net (entity IRT-APNICRANDNET-AU in 1.1.1.0 - 1.1.1.255)", ""},
    {"apnic-ip-placeholder", "41.58.1.1", "rdap.apnic.net", "0.0.0.0 - 255.255.255.255", "0.0.0.0/0", "IANA-BLOCK",
     " / ", "AU", "", ": its network is the whole address space"},
    {"lacnic-ip-echo", "200.160.2.3", "rdap.lacnic.net", "200.160.0.0 - 200.160.15.255", "200.160.0.0/20", "",
     "Núcleo de Inf. e Coord. do Ponto BR - NIC.BR / BR-NICB-LACNIC", "BR",
     "abuse@nic.br (entity FAN in BR-NICB-LACNIC)", ""},
    {"afrinic-ip-196.216.2.1", "196.216.2.1", "rdap.afrinic.net", "196.216.2.0 - 196.216.3.255", "196.216.2.0/23",
     "AFRINIC-Ops-Net", "African Network Information Center - ( AFRINIC ) / ORG-AFNC1-AFRINIC", "MU",
     "abuse@afrinic.net (entity GENERAL-AFRINIC in 196.216.2.0 - 196.216.3.255)", ""},
    {"arin-autnum-15169", "AS15169", "rdap.arin.net", "", "", "", "Google LLC / GOGL", "",
     "network-abuse@google.com (entity ABUSE5250-ARIN in GOGL)", ""},
};

TEST(RdapAnswerTest, RegistryShapes)
{
  for (const TShape& S : kShapes) {
    SCOPED_TRACE(S.File);
    const TRdapReading R = ReadRdapResponse(Fixture(S.File), S.Query, S.Server);
    ASSERT_TRUE(R.Object == TRdapObject::Network || R.Object == TRdapObject::Autnum) << R.Problem;
    EXPECT_EQ(R.Problem, "");
    const TWhoisAnswer& A = R.Answer;
    EXPECT_EQ(A.Source, "rdap");
    EXPECT_EQ(A.Server, S.Server);
    EXPECT_EQ(A.Query, S.Query);
    EXPECT_EQ(A.Network ? A.Network->First + " - " + A.Network->Last : "", S.Range);
    EXPECT_EQ(A.Network ? Join(A.Network->Cidrs) : "", S.Cidrs);
    EXPECT_EQ(A.Network ? A.Network->Name : "", S.Name);
    EXPECT_EQ(A.HolderName + " / " + A.HolderHandle, S.Holder);
    EXPECT_EQ(A.Country, S.Country);
    EXPECT_EQ(AbuseList(A), S.Abuse);
    EXPECT_EQ(A.AbuseState, A.Abuse.empty() ? TAbuseState::NotStated : TAbuseState::Found);
    const TRdapElsewhere E = RdapElsewhere(R);
    EXPECT_EQ(E.Stub ? E.Registry + ": " + E.Why : "", S.Elsewhere);
  }
}

TEST(RdapAnswerTest, ErrorObjects)
{
  const TRdapReading R = ReadRdapResponse(Fixture("error-404"), "10.0.0.1", "rdap.arin.net");
  EXPECT_EQ(R.Object, TRdapObject::Error);
  EXPECT_EQ(R.ErrorCode, 404);
  EXPECT_EQ(R.ErrorTitle, "Not Found");
  EXPECT_EQ(R.ErrorDescription, "The server has not found anything matching the Request-URI.");
  const TRdapReading Odd =
      ReadRdapResponse(R"({"errorCode": 1e9, "title": ["x"], "description": "one line\u0007 \u202e"})", "1.2.3.4", "x");
  EXPECT_EQ(Odd.Object, TRdapObject::Error);
  EXPECT_EQ(Odd.ErrorCode, 0);
  EXPECT_EQ(Odd.ErrorTitle, "");
  EXPECT_EQ(Odd.ErrorDescription, "one line");
}

// An ip network with the given extra members, for the cases below.
std::string Net(const std::string& Members)
{
  return R"({"objectClassName": "ip network", "startAddress": "192.0.2.0", "endAddress": "192.0.2.255", "handle": "N")" +
         std::string(Members.empty() ? "" : ", ") + Members + "}";
}

std::string Entity(const std::string& Handle, const std::string& Roles, const std::string& Email,
                   const std::string& Inner = "")
{
  return R"({"handle": ")" + Handle + R"(", "roles": )" + Roles + R"(, "vcardArray": ["vcard", [["fn", {}, "text", ")" +
         Handle + R"("], ["email", {}, "text", ")" + Email + R"("]]])" +
         (Inner.empty() ? "" : R"(, "entities": [)" + Inner + "]") + "}";
}

TEST(RdapAnswerTest, RolesAndDepth)
{
  struct TCase {
    const char* Name;
    std::string Body;
    const char* Abuse;
  };
  // Entities nested N deep with an abuse role at the bottom.
  auto Nest = [](int Depth) {
    std::string E = Entity("DEEP", R"(["abuse"])", "deep@example.net");
    for (int I = 1; I < Depth; ++I) E = Entity("L" + std::to_string(I), R"(["technical"])", "t@example.net", E);
    return Net(R"("entities": [)" + E + "]");
  };
  const TCase Cases[] = {
      {"roles as one string", Net(R"("entities": [)" + Entity("A", R"("technical, abuse")", "a@example.net") + "]"),
       "a@example.net (entity A in N)"},
      {"roles upper case, blanks",
       Net(R"("entities": [)" + Entity("A", R"([" ABUSE ", "noc"])", "a@example.net") + "]"),
       "a@example.net (entity A in N)"},
      {"no abuse role", Net(R"("entities": [)" + Entity("A", R"(["technical"])", "a@example.net") + "]"), ""},
      {"same mailbox twice, the specific one kept",
       Net(R"("entities": [)" +
           Entity("O", R"(["registrant"])", "o@example.net", Entity("B", R"(["abuse"])", "A@example.net")) + ", " +
           Entity("A", R"(["abuse"])", "a@example.net") + "]"),
       "a@example.net (entity A in N)"},
      {"at the deepest level followed", Nest(kRdapEntityDepth), "deep@example.net (entity DEEP in L1)"},
      {"one level deeper, not", Nest(kRdapEntityDepth + 1), ""},
      {"not a mailbox",
       Net(R"("entities": [)" + Entity("A", R"(["abuse"])", "no mailbox@example") + ", " +
           Entity("B", R"(["abuse"])", "mailto:b@example.net") + "]"),
       "b@example.net (entity B in N)"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TRdapReading R = ReadRdapResponse(C.Body, "192.0.2.1", "rdap.example");
    ASSERT_EQ(R.Object, TRdapObject::Network) << R.Problem;
    EXPECT_EQ(AbuseList(R.Answer), C.Abuse);
  }
}

TEST(RdapAnswerTest, NoAbuseContactRegistered)
{
  const TRdapReading R = ReadRdapResponse(
      Net(R"("remarks": [{"description": ["No abuse contact registered for 192.0.2.0 - 192.0.2.255"]}])"), "192.0.2.1",
      "x");
  EXPECT_EQ(R.Answer.AbuseState, TAbuseState::NoneRegistered);
}

// Hostile and broken bodies: never a crash, never an answer made up.
TEST(RdapAnswerTest, HostileBodies)
{
  struct TCase {
    const char* Name;
    std::string Body;
    const char* Query;
    TRdapObject Object;
    const char* Problem;  // a part of it
  };
  std::string Deep(kRdapMaxNesting + 1, '[');
  std::string Wide = "[" + std::string(2 * kRdapMaxValues + 2, '0');
  for (std::size_t I = 1; I < Wide.size(); I += 2) Wide[I] = ',';
  const std::string Arin = Fixture("arin-ip-8.8.8.8");
  const TCase Cases[] = {
      {"not JSON", "<html>Service Unavailable</html>", "8.8.8.8", TRdapObject::Unreadable, "not JSON"},
      {"cut in the middle", Arin.substr(0, Arin.size() / 2), "8.8.8.8", TRdapObject::Unreadable, "not JSON"},
      {"empty", "", "8.8.8.8", TRdapObject::Unreadable, "not JSON"},
      {"a list", "[1, 2]", "8.8.8.8", TRdapObject::Unreadable, "not a JSON object"},
      {"nested too deep", Deep, "8.8.8.8", TRdapObject::Unreadable, "nested deeper than"},
      {"brackets inside strings count for nothing", "{\"a\": \"" + Deep + "\", \"objectClassName\": \"entity\"}",
       "8.8.8.8", TRdapObject::Unreadable, "an \"entity\" object"},
      {"too many values", Wide, "8.8.8.8", TRdapObject::Unreadable, "more than"},
      {"no class", R"({"startAddress": "8.8.8.0"})", "8.8.8.8", TRdapObject::Unreadable, "not an RDAP object"},
      {"an autnum for an address", Fixture("arin-autnum-15169"), "8.8.8.8", TRdapObject::Unreadable,
       "not an ip network"},
      {"a network for an AS number", Arin, "AS15169", TRdapObject::Unreadable, "not an autnum"},
      {"addresses of the wrong type",
       R"({"objectClassName": "ip network", "startAddress": 134744064, "endAddress": ["8.8.8.255"]})", "8.8.8.8",
       TRdapObject::Unreadable, "no valid startAddress"},
      {"end before start", R"({"objectClassName": "ip network", "startAddress": "8.8.8.255", "endAddress": "8.8.8.0"})",
       "8.8.8.8", TRdapObject::Unreadable, "no valid startAddress"},
      {"families mixed", R"({"objectClassName": "ip network", "startAddress": "8.8.8.0", "endAddress": "2001:db8::"})",
       "8.8.8.8", TRdapObject::Unreadable, "no valid startAddress"},
      {"octal-looking padding is decimal",
       R"({"objectClassName": "ip network", "startAddress": "010.000.000.000", "endAddress": "010.255.255.255"})",
       "8.8.8.8", TRdapObject::Network, "network 10.0.0.0 - 10.255.255.255 does not hold 8.8.8.8"},
      {"another network", Fixture("ripe-ip-193.0.6.139"), "8.8.8.8", TRdapObject::Network, "does not hold 8.8.8.8"},
      {"autnum as a string", R"({"objectClassName": "autnum", "startAutnum": "15169", "endAutnum": 15169})", "AS15169",
       TRdapObject::Unreadable, "no valid startAutnum"},
      {"autnum a fraction", R"({"objectClassName": "autnum", "startAutnum": 15168.5, "endAutnum": 15170})", "AS15169",
       TRdapObject::Unreadable, "no valid startAutnum"},
      {"autnum out of range", R"({"objectClassName": "autnum", "startAutnum": 1, "endAutnum": 2})", "AS15169",
       TRdapObject::Autnum, "do not hold 15169"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TRdapReading R = ReadRdapResponse(C.Body, C.Query, "rdap.arin.net");
    EXPECT_EQ(R.Object, C.Object);
    EXPECT_NE(R.Problem.find(C.Problem), std::string::npos) << R.Problem;
    EXPECT_TRUE(R.Answer.Abuse.empty());
  }
}

// Every field of the wrong type at once: the network is still read, nothing else is made up.
TEST(RdapAnswerTest, WrongTypesEverywhere)
{
  const std::string Body = Net(
      R"("name": 5, "country": {"cc": "US"}, "port43": [], "type": null, "links": {"href": "x"}, "cidr0_cidrs": [)"
      R"({"v4prefix": 3, "length": 24}, {"v4prefix": "192.0.2.0", "length": "24"}, {"v4prefix": "192.0.2.0", "length": 1e300},)"
      R"( {"v4prefix": "192.0.2.0", "length": 99}, "x"], "entities": [5, "x", null, {"roles": 7, "vcardArray": "vcard"},)"
      R"( {"roles": ["abuse"], "vcardArray": ["vcard", [["email", "params", "text", ["a@b.c"]], ["email"], 5,)"
      R"( ["fn", {}, "text", {"x": 1}]]]}, {"roles": ["registrant"], "handle": 12, "entities": {"roles": ["abuse"]}}])");
  const TRdapReading R = ReadRdapResponse(Body, "192.0.2.1", "rdap.example");
  ASSERT_EQ(R.Object, TRdapObject::Network) << R.Problem;
  ASSERT_TRUE(R.Answer.Network);
  EXPECT_EQ(R.Answer.Network->First + " " + Join(R.Answer.Network->Cidrs), "192.0.2.0 192.0.2.0/24");
  EXPECT_EQ(R.Answer.Network->Name, "");
  EXPECT_EQ(R.Answer.Country, "");
  EXPECT_EQ(R.Port43, "");
  EXPECT_TRUE(R.Answer.Abuse.empty());
  EXPECT_EQ(R.Answer.HolderName + R.Answer.HolderHandle, "");
}

TEST(RdapAnswerTest, TextsMadeSafe)
{
  const TRdapReading R = ReadRdapResponse(
      Net(R"("name": "EVIL\u001b[2J\u202eNET\r\nX", "entities": [{"roles": ["registrant"], "vcardArray": ["vcard", [["fn", {}, "text", ")" +
          std::string(5000, 'n') + R"("]]]}])"),
      "192.0.2.1", "x");
  ASSERT_TRUE(R.Answer.Network);
  EXPECT_EQ(R.Answer.Network->Name, "EVIL[2JNET X");
  EXPECT_EQ(R.Answer.HolderName.size(), kAnswerTextMax);
  // A cut never splits a character: 300 two-byte letters keep 128 of them.
  std::string Wide;
  for (int I = 0; I < 300; ++I) Wide += "\u00e9";
  const TRdapReading U = ReadRdapResponse(Net(R"("name": ")" + Wide + R"(")"), "192.0.2.1", "x");
  ASSERT_TRUE(U.Answer.Network);
  EXPECT_EQ(U.Answer.Network->Name.size(), 256u);
  EXPECT_EQ(U.Answer.Network->Name.substr(254), "\xc3\xa9");
  // At most kAnswerAbuseMax contacts, however many entities name one.
  std::string Many;
  for (int I = 0; I < 40; ++I)
    Many += (I ? ", " : "") + Entity("A" + std::to_string(I), R"(["abuse"])", "a" + std::to_string(I) + "@example.net");
  EXPECT_EQ(ReadRdapResponse(Net(R"("entities": [)" + Many + "]"), "192.0.2.1", "x").Answer.Abuse.size(),
            kAnswerAbuseMax);
}

TEST(RdapAnswerTest, PrefixQueries)
{
  const std::string Ripe = Fixture("ripe-ip-193.0.6.139");
  const TRdapReading Inside = ReadRdapResponse(Ripe, "193.0.4.0/22", "rdap.db.ripe.net");
  EXPECT_EQ(Inside.Problem, "");
  EXPECT_EQ(Inside.Answer.Network->First, "193.0.0.0");
  EXPECT_EQ(ReadRdapResponse(Ripe, "193.0.0.0/16", "rdap.db.ripe.net").Problem,
            "its network 193.0.0.0 - 193.0.7.255 does not hold 193.0.0.0/16");
  EXPECT_EQ(ReadRdapResponse(Ripe, "193.0.0.0/33", "rdap.db.ripe.net").Object, TRdapObject::Unreadable);
}

TEST(RdapAnswerTest, CidrsComputedFromTheRange)
{
  struct TCase {
    const char* First;
    const char* Last;
    const char* Cidrs;
  };
  const TCase Cases[] = {
      {"192.0.2.0", "192.0.2.255", "192.0.2.0/24"},
      {"192.0.2.1", "192.0.2.6", "192.0.2.1/32 192.0.2.2/31 192.0.2.4/31 192.0.2.6/32"},
      {"0.0.0.0", "255.255.255.255", "0.0.0.0/0"},
      {"::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "::/0"},
      {"2001:db8::", "2001:db8:0:1:ffff:ffff:ffff:ffff", "2001:db8::/63"},
      // 2^128 - 2 addresses take 254 prefixes: none listed rather than some.
      {"::1", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe", ""},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.First);
    const std::string Body = std::string(R"({"objectClassName": "ip network", "startAddress": ")") + C.First +
                             R"(", "endAddress": ")" + C.Last + R"("})";
    const TRdapReading R = ReadRdapResponse(Body, C.First, "x");
    ASSERT_TRUE(R.Answer.Network) << R.Problem;
    EXPECT_EQ(Join(R.Answer.Network->Cidrs), C.Cidrs);
  }
}

TEST(RdapAnswerTest, StubsAndWhereTheyPoint)
{
  struct TCase {
    const char* Name;
    std::string Body;
    const char* Server;
    const char* Elsewhere;
  };
  const TCase Cases[] = {
      {"port43 of another registry", Net(R"("port43": "whois.ripe.net")"), "rdap.arin.net",
       "RIPE: its port43 is whois.ripe.net"},
      {"port43 of its own", Net(R"("port43": "WHOIS.ARIN.NET")"), "rdap.arin.net", ""},
      {"a national registry's port43", Net(R"("port43": "whois.nic.ad.jp")"), "rdap.apnic.net", ""},
      {"a link to another registry's record",
       Net(R"("links": [{"rel": "related", "href": "https://rdap.apnic.net/ip/192.0.2.0/24"}])"), "rdap.arin.net",
       "APNIC: its links lead to rdap.apnic.net"},
      {"a link to another registry's help page",
       Net(R"("links": [{"rel": "help", "href": "https://rdap.apnic.net/help"}])"), "rdap.arin.net", ""},
      {"RIPE's placeholder", Net(R"("name": "NON-RIPE-NCC-MANAGED-ADDRESS-BLOCK")"), "rdap.db.ripe.net",
       ": NON-RIPE-NCC-MANAGED-ADDRESS-BLOCK is a placeholder"},
      {"its own registry as holder", Net(R"("entities": [{"handle": "RIPE", "roles": ["registrant"]}])"),
       "rdap.db.ripe.net", ""},
      {"another registry as holder, by name",
       Net(R"("entities": [{"handle": "X", "roles": ["registrant"], "vcardArray": ["vcard", [["fn", {}, "text", "Asia Pacific Network Information Centre"]]]}])"),
       "rdap.arin.net", "APNIC: its holder is APNIC"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TRdapElsewhere E = RdapElsewhere(ReadRdapResponse(C.Body, "192.0.2.1", C.Server));
    EXPECT_EQ(E.Stub ? E.Registry + ": " + E.Why : "", C.Elsewhere);
  }
}

TEST(RdapAnswerTest, RetryAfter)
{
  const std::int64_t Now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  EXPECT_EQ(RdapRetryAfter("30", Now), 30);
  EXPECT_EQ(RdapRetryAfter(" 0 ", Now), 0);
  EXPECT_EQ(RdapRetryAfter("99999999999999999999", Now), kRdapMaxRetryAfter);
  EXPECT_EQ(RdapRetryAfter("Sun, 06 Nov 1994 08:50:37 GMT", Now), 60);
  EXPECT_EQ(RdapRetryAfter("Sun, 06 Nov 1994 08:00:00 GMT", Now), 0);
  EXPECT_EQ(RdapRetryAfter("Mon, 07 Nov 1994 08:49:37 GMT", Now), kRdapMaxRetryAfter);
  EXPECT_EQ(RdapRetryAfter("-5", Now), std::nullopt);
  EXPECT_EQ(RdapRetryAfter("soon", Now), std::nullopt);
  EXPECT_EQ(RdapRetryAfter("", Now), std::nullopt);
}

}  // namespace
