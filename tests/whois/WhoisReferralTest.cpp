// SPDX-License-Identifier: MIT
// The referral reader on reply shapes of the registries (ARIN's networks with their
// ReferralServer and ResourceLink lines, IANA's refer:, the "not managed here" stubs) and on
// hostile lines that must never be followed.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "whois/WhoisReferral.h"

namespace {

std::string Lines(const std::vector<std::string>& L)
{
  std::string Out;
  for (const std::string& Line : L) Out += Line + "\r\n";
  return Out;
}

// An ARIN network block and its organisation section, as ARIN prints them one after another.
std::vector<std::string> ArinNet(const std::string& Range, const std::string& Name, const std::vector<std::string>& Org)
{
  std::vector<std::string> Out = {
      "NetRange:       " + Range,          "NetName:        " + Name, "NetType:        Direct Allocation", "",
      "OrgName:        Holder of " + Name,
  };
  Out.insert(Out.end(), Org.begin(), Org.end());
  Out.push_back("");
  return Out;
}

std::vector<std::string> Join(std::vector<std::string> A, const std::vector<std::string>& B)
{
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

struct TRow {
  const char* Name;
  std::string Reply;
  std::string Host;  // empty: no referral
  int Port;
  bool Rwhois;
  bool Stub;
  std::vector<std::string> NoteParts;  // one per note, in order: a part of that note
};

void PrintTo(const TRow& R, std::ostream* Out) { *Out << R.Name; }

const std::vector<TRow>& Rows()
{
  static const std::vector<TRow> R = {
      {"ArinToRipe",
       Lines(Join({"#", "# ARIN-shaped reply", "#", ""}, ArinNet("193.0.0.0 - 193.255.255.255", "RIPE-CIDR-193",
                                                                 {"ReferralServer: whois://whois.ripe.net",
                                                                  "ResourceLink:   https://search.ripe.example/q"}))),
       "whois.ripe.net",
       43,
       false,
       false,
       {}},
      {"ResourceLinkOnly",
       Lines(ArinNet("1.0.0.0 - 1.255.255.255", "APNIC-1", {"ResourceLink:  whois.apnic.net"})),
       "whois.apnic.net",
       43,
       false,
       false,
       {}},
      {"ReferralServerOutranksResourceLinkInOneNetwork",
       Lines(ArinNet("5.0.0.0 - 5.255.255.255", "RIPE-5",
                     {"ReferralServer: whois://whois.ripe.net", "ResourceLink:  whois.other.example"})),
       "whois.ripe.net",
       43,
       false,
       false,
       {}},
      {"MoreSpecificNetworkListedLastWins",
       Lines(Join(
           ArinNet("8.0.0.0 - 8.255.255.255", "LVLT-ORG-8-8", {"ReferralServer: whois://whois.big.example"}),
           ArinNet("8.8.8.0 - 8.8.8.255", "CUSTOMER", {"ReferralServer: rwhois://rwhois.customer.example:4321/"}))),
       "rwhois.customer.example",
       4321,
       true,
       false,
       {}},
      {"MoreSpecificNetworkListedFirstStillWins",
       Lines(Join(ArinNet("8.8.8.0 - 8.8.8.255", "CUSTOMER", {"ReferralServer: whois://whois.small.example"}),
                  ArinNet("8.0.0.0 - 8.255.255.255", "BIG", {"ReferralServer: whois://whois.big.example"}))),
       "whois.small.example",
       43,
       false,
       false,
       {}},
      {"CidrSizesCount",
       Lines({"inetnum: 10.0.0.0/8", "refer: whois.big.example", "inetnum: 10.1.0.0/16", "refer: whois.mid.example",
              "inetnum: 10.1.2.0 - 10.255.255.255", "refer: whois.odd.example"}),
       "whois.mid.example",
       43,
       false,
       false,
       {}},
      {"EqualSizeLaterNetworkWins",
       Lines(Join(ArinNet("8.8.8.0 - 8.8.8.255", "A", {"ReferralServer: whois://whois.first.example"}),
                  ArinNet("8.8.9.0 - 8.8.9.255", "B", {"ReferralServer: whois://whois.second.example"}))),
       "whois.second.example",
       43,
       false,
       false,
       {}},
      {"ExplicitPortAndTrailingDot",
       Lines({"ReferralServer: whois://Whois.Example.NET.:4343"}),
       "whois.example.net",
       4343,
       false,
       false,
       {}},
      {"RwhoisWithoutPortUsesItsOwn",
       Lines({"ReferralServer: rwhois://rwhois.example.net"}),
       "rwhois.example.net",
       4321,
       true,
       false,
       {}},
      {"DottedAddressHost", Lines({"ReferralServer: whois://127.0.0.3:4343"}), "127.0.0.3", 4343, false, false, {}},
      {"IanaRefer",
       Lines({"% IANA-shaped reply", "", "refer:        whois.afrinic.net", "",
              "inetnum:      41.0.0.0 - 41.255.255.255", "organisation: AFRINIC", "status:       ALLOCATED", "",
              "whois:        whois.afrinic.net", "", "source:       IANA"}),
       "whois.afrinic.net",
       43,
       false,
       false,
       {}},
      {"IanaWhoisLineAlone",
       Lines({"inetnum: 41.0.0.0 - 41.255.255.255", "whois: whois.afrinic.net"}),
       "whois.afrinic.net",
       43,
       false,
       false,
       {}},
      {"LoneLfAndLoneCrEndLines",
       "NetName: X\nReferralServer: whois://whois.a.example\rsource: X",
       "whois.a.example",
       43,
       false,
       false,
       {}},
      {"KeysIgnoreLetterCase",
       Lines({"REFERRALSERVER: WHOIS://WHOIS.RIPE.NET"}),
       "whois.ripe.net",
       43,
       false,
       false,
       {}},
      {"RipeStub",
       Lines({"% RIPE-shaped reply", "", "inetnum:        41.0.0.0 - 41.255.255.255",
              "netname:        NON-RIPE-NCC-MANAGED-ADDRESS-BLOCK",
              "descr:          IPv4 address block not managed by the RIPE NCC",
              "remarks:        AFRINIC (Africa) whois.afrinic.net", "source:         RIPE"}),
       "",
       0,
       false,
       true,
       {}},
      {"RipeWholeSpaceObject",
       Lines({"inetnum: 0.0.0.0 - 255.255.255.255", "netname: IANA-BLK"}),
       "",
       0,
       false,
       true,
       {}},
      {"RipeStubByDescrOnly",
       Lines({"inetnum: 102.0.0.0 - 102.255.255.255", "netname: SOME-BLOCK",
              "descr: This address space is not allocated to the RIPE NCC"}),
       "",
       0,
       false,
       true,
       {}},
      {"ApnicStub",
       Lines({"inetnum:        41.0.0.0 - 41.255.255.255", "netname:        IANA-NETBLOCK-41",
              "descr:          This network range is not allocated to APNIC.", "source:         APNIC"}),
       "",
       0,
       false,
       true,
       {}},
      {"ApnicErxIsARealRecord",
       Lines({"inetnum:        133.0.0.0 - 133.255.255.255", "netname:        ERX-NETBLOCK",
              "descr:          Early registration addresses, transferred to APNIC from another registry",
              "remarks:        Records for parts of this range are kept here.", "source:         APNIC"}),
       "",
       0,
       false,
       false,
       {}},
      {"ApnicNetblockNameAloneIsNoStub",
       Lines({"inetnum: 27.0.0.0 - 27.0.0.255", "netname: IANA-NETBLOCK-27-CUSTOMER", "descr: A customer network"}),
       "",
       0,
       false,
       false,
       {}},
      {"LacnicStub",
       Lines({"% Joint whois test", "", "% This address is not administered by LACNIC."}),
       "",
       0,
       false,
       true,
       {}},
      {"AfrinicStub",
       Lines({"inetnum: 193.0.0.0 - 193.255.255.255", "netname: NON-AFRINIC-MANAGED-ADDRESS-BLOCK",
              "descr: Address block not managed by AFRINIC"}),
       "",
       0,
       false,
       true,
       {}},
      {"ArinHandedOnWithoutReferralIsAStub",
       Lines({"NetRange: 41.0.0.0 - 41.255.255.255", "NetType: Allocated to AFRINIC"}),
       "",
       0,
       false,
       true,
       {}},
      {"ArinOwnAllocationIsNoStub",
       Lines({"NetRange: 8.0.0.0 - 8.255.255.255", "NetType: Allocated to ARIN", "Comment: Direct allocation"}),
       "",
       0,
       false,
       false,
       {}},
      {"RecordThatMentionsRipeIsNoStub",
       Lines({"inetnum: 193.0.6.0 - 193.0.6.255", "netname: EXAMPLE-NET", "descr: Managed by the RIPE NCC staff",
              "remarks: not managed by the owner's parent", "source: RIPE"}),
       "",
       0,
       false,
       false,
       {}},
      {"ReferralBeatsStub",
       Lines({"netname: NON-RIPE-NCC-MANAGED-ADDRESS-BLOCK", "refer: whois.afrinic.net"}),
       "whois.afrinic.net",
       43,
       false,
       false,
       {}},
      {"PlainRecord",
       Lines({"inetnum: 193.0.6.0 - 193.0.6.255", "netname: RIPE-NCC", "remarks: see http://www.ripe.net/whois",
              "Comment: ReferralServer: whois://in.a.comment.example", "source: RIPE"}),
       "",
       0,
       false,
       false,
       {}},
      {"Empty", "", "", 0, false, false, {}},

      // Placeholders a registry answers with for space it does not hold.
      {"ApnicPlaceholderForAllIpv4",
       Lines({"inetnum:        0.0.0.0 - 255.255.255.255", "netname:        IANA-BLOCK",
              "descr:          General placeholder reference for all IPv4 addresses", "source:         APNIC"}),
       "",
       0,
       false,
       true,
       {}},
      {"ApnicPlaceholderForAllIpv6",
       Lines({"inet6num:       ::/0", "netname:        IANA-BLOCK",
              "descr:          General placeholder reference for all IPv6 addresses", "source:         APNIC"}),
       "",
       0,
       false,
       true,
       {}},
      {"RipeIpv6RootObject",
       Lines({"inet6num:       ::/0", "netname:        ROOT", "descr:          Root inet6num object",
              "remarks:        This network in not allocated.", "status:         ALLOCATED-BY-RIR"}),
       "",
       0,
       false,
       true,
       {}},
      {"ApnicStubOfABlockMovedAway",
       Lines({"inetnum:        43.225.112.0 - 43.225.115.255", "netname:        STUB-43-225-112SLASH22",
              "descr:          Transferred to the RIPE region on 2018-12-04T08:38:56Z.", "mnt-by:         APNIC-STUB"}),
       "",
       0,
       false,
       true,
       {}},
      {"WholeSpaceAboveARealRecordIsNoStub",
       Lines({"inet6num: ::/0", "netname: ROOT", "", "inet6num: 2001:db8::/32", "netname: EXAMPLE-NET",
              "descr: Example network", "source: RIPE"}),
       "",
       0,
       false,
       false,
       {}},

      // IPv6 networks.
      {"ArinIpv6BlockOfRipe",
       Lines({"NetRange:       2001:600:: - 2001:7FF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF", "CIDR:           2001:600::/23",
              "NetName:        RIPE-IPV6-BLOCK", "NetType:        Allocated to RIPE NCC",
              "Ref:            https://rdap.arin.example/registry/ip/2001:600::", "",
              "ResourceLink:  https://apps.db.ripe.example/search/query.html", "ResourceLink:  whois.ripe.net", "",
              "OrgName:        RIPE Network Coordination Centre", "ReferralServer:  whois://whois.ripe.net",
              "ResourceLink:  https://apps.db.ripe.example/search/query.html"}),
       "whois.ripe.net",
       43,
       false,
       false,
       {}},
      {"Ipv6PrefixesCount",
       Lines({"inet6num: 2001:db8::/32", "refer: whois.big.example", "inet6num: 2001:db8:1::/48",
              "refer: whois.mid.example", "inet6num: 2001:db8:1:: - 2001:db8:ffff:ffff:ffff:ffff:ffff:ffff",
              "refer: whois.odd.example"}),
       "whois.mid.example",
       43,
       false,
       false,
       {}},
      {"OneAddressBeatsTheWholeSpace",
       Lines({"inet6num: 2001:db8::1/128", "refer: whois.one.example", "inet6num: ::/0", "refer: whois.all.example"}),
       "whois.one.example",
       43,
       false,
       false,
       {}},
      {"IanaAnswerForIpv6",
       Lines({"% IANA WHOIS server", "% This query returned 1 object", "", "refer:        whois.ripe.net", "",
              "inet6num:     2001:600:0:0:0:0:0:0/23", "organisation: RIPE NCC", "status:       ALLOCATED", "",
              "whois:        whois.ripe.net", "", "source:       IANA"}),
       "whois.ripe.net",
       43,
       false,
       false,
       {}},

      // Hostile or broken referral lines: ignored, with a note, the good one still found.
      {"OtherSchemes",
       Lines({"ReferralServer: http://whois.example.net", "ReferralServer: ldap://whois.example.net:389",
              "ResourceLink: ftp://whois.example.net", "ReferralServer: whois://ok.example.net"}),
       "ok.example.net",
       43,
       false,
       false,
       {"(not a whois or rwhois server): ReferralServer: http://",
        "(not a whois or rwhois server): ReferralServer: ldap://"}},
      {"AbsurdPorts",
       Lines({"ReferralServer: whois://a.example:0", "ReferralServer: whois://a.example:65536",
              "ReferralServer: whois://a.example:99999999", "ReferralServer: whois://a.example:43a",
              "ReferralServer: whois://a.example:", "ReferralServer: whois://a.example:-1"}),
       "",
       0,
       false,
       false,
       {"bad port", "bad port", "bad port", "bad port", "bad port", "bad port"}},
      {"HighestPortIsFine", Lines({"ReferralServer: whois://a.example:65535"}), "a.example", 65535, false, false, {}},
      {"BadHosts",
       Lines({"ReferralServer: whois://", "ReferralServer: whois://:43",
              "ReferralServer:", "ReferralServer: whois://who_is.example", "ReferralServer: whois://a..example",
              "ReferralServer: whois://-a.example", "ReferralServer: whois://a.example/path",
              "ReferralServer: whois://user@a.example"}),
       "",
       0,
       false,
       false,
       {"no server named", "no server named", "no server named", "bad host name", "bad host name", "bad host name",
        "bad host name", "bad host name"}},
      {"NumericTricks",
       Lines({"refer: 2130706433", "refer: 0x7f.1", "refer: 127.1", "refer: 256.0.0.1", "refer: 1.2.3.4.5"}), "", 0,
       false, false, std::vector<std::string>(5, "(bad host name)")},
      // Names the resolver reads as another address than they spell: 10.0.0.1, 127.0.0.1, ...
      {"OtherSpellingsOfAnAddress",
       Lines({"refer: 012.0.0.1", "refer: 127.000.000.001", "refer: 1.0x7f", "refer: 0x7f000001", "refer: 10.0.0.1"}),
       "10.0.0.1", 43, false, false, std::vector<std::string>(4, "(bad host name)")},
      {"Ipv6LiteralsAreBadHosts",
       Lines({"ReferralServer: whois://[::1]", "ReferralServer: whois://[2001:db8::43]:43",
              "ReferralServer: whois://::1", "refer: 2001:db8::1"}),
       "", 0, false, false, std::vector<std::string>(4, "(bad host name)")},
      {"WebLinksAreNoReferralsButBadServersAreNoted",
       Lines({"ResourceLink: https://search.arin.example/", "ResourceLink: http://search.arin.example/",
              "ResourceLink: who_is.example"}),
       "",
       0,
       false,
       false,
       {"(bad host name): ResourceLink: who_is.example"}},
      {"LongLabelAndName",
       Lines({"refer: " + std::string(64, 'a') + ".example", "refer: " + std::string(63, 'a') + ".example"}),
       std::string(63, 'a') + ".example",
       43,
       false,
       false,
       {"bad host name"}},
      {"VeryLongLine",
       Lines({"ReferralServer: whois://" + std::string(100000, 'a') + ".example"}),
       "",
       0,
       false,
       false,
       {"line too long"}},
      {"ControlBytesInLine",
       Lines({"ReferralServer: whois://evil" + std::string(1, '\x1b') + "[2J.example" + std::string(1, '\0') + "x"}),
       "",
       0,
       false,
       false,
       {"(bad host name): ReferralServer: whois://evil?[2J.example?x"}},
  };
  return R;
}

class TReferralTable : public ::testing::TestWithParam<TRow> {};

TEST_P(TReferralTable, FindsTheServerToAskOrNone)
{
  const TRow& Row = GetParam();
  const TReferralScan Scan = ScanReferral(Row.Reply);
  if (Row.Host.empty()) {
    EXPECT_FALSE(Scan.Referral.has_value()) << Scan.Referral->Host;
  } else {
    ASSERT_TRUE(Scan.Referral.has_value());
    EXPECT_EQ(Scan.Referral->Host, Row.Host);
    EXPECT_EQ(Scan.Referral->Port, Row.Port);
    EXPECT_EQ(Scan.Referral->Rwhois, Row.Rwhois);
  }
  EXPECT_EQ(Scan.Stub, Row.Stub);
  ASSERT_EQ(Scan.Notes.size(), Row.NoteParts.size()) << (Scan.Notes.empty() ? "" : Scan.Notes.front());
  for (std::size_t I = 0; I < Scan.Notes.size(); ++I)
    EXPECT_NE(Scan.Notes[I].find(Row.NoteParts[I]), std::string::npos) << Scan.Notes[I];
  for (const std::string& Note : Scan.Notes) {
    EXPECT_LE(Note.size(), 160u);
    for (const char C : Note) EXPECT_TRUE(C >= 0x20 && C < 0x7F) << "note byte " << int(static_cast<unsigned char>(C));
  }
}

INSTANTIATE_TEST_SUITE_P(Replies, TReferralTable, ::testing::ValuesIn(Rows()),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(WhoisReferral, NotesStayBoundedOnAFloodOfBadLines)
{
  std::string Reply;
  for (int I = 0; I < 100000; ++I) Reply += "ReferralServer: http://h" + std::to_string(I) + ".example\r\n";
  Reply += "ReferralServer: whois://whois.good.example\r\n";
  const TReferralScan Scan = ScanReferral(Reply);
  ASSERT_TRUE(Scan.Referral.has_value());
  EXPECT_EQ(Scan.Referral->Host, "whois.good.example");
  ASSERT_EQ(Scan.Notes.size(), kReferralNotesMax + 1);
  EXPECT_EQ(Scan.Notes.back(), "Referral ignored: " + std::to_string(100000 - kReferralNotesMax) + " more such lines.");
}

TEST(WhoisReferral, RepeatedNotesAreShownOnce)
{
  const TReferralScan Scan =
      ScanReferral(Lines({"ReferralServer: https://a.example/", "ReferralServer: https://a.example/"}));
  EXPECT_EQ(Scan.Notes.size(), 1u);
}

TEST(WhoisReferral, HostNameLimits)
{
  const std::string Label63(63, 'a');
  const std::string Name253 = Label63 + "." + Label63 + "." + Label63 + "." + std::string(61, 'b');
  ASSERT_EQ(Name253.size(), 253u);
  EXPECT_TRUE(IsValidReferralHost(Name253));
  EXPECT_TRUE(IsValidReferralHost(Name253 + "."));
  EXPECT_FALSE(IsValidReferralHost(Name253 + "b"));
  EXPECT_FALSE(IsValidReferralHost("."));
  EXPECT_FALSE(IsValidReferralHost("a-.example"));
  EXPECT_FALSE(IsValidReferralHost(std::string("a\0b.example", 11)));
  EXPECT_TRUE(IsValidReferralHost("1.2.3.4"));
  EXPECT_TRUE(IsValidReferralHost("4chan-like.example"));
  EXPECT_TRUE(IsValidReferralHost("localhost"));
  EXPECT_TRUE(IsValidReferralHost("0x7f.example"));
}

TEST(WhoisReferral, AddressKinds)
{
  using enum TAddressKind;
  const std::vector<std::pair<std::string, std::optional<TAddressKind>>> Rows = {
      {"198.51.100.43", Public},
      {"172.32.0.1", Public},
      {"100.128.0.1", Public},
      {"2001:db8::1", Public},
      {"127.255.255.254", Loopback},
      {"::ffff:127.0.0.1", Loopback},
      {"::1", Loopback},
      {"172.31.255.255", Private},
      {"100.64.0.1", Private},
      {"192.168.1.1", Private},
      {"fd00::1", Private},
      {"169.254.1.1", LinkLocal},
      {"febf::1", LinkLocal},
      {"239.255.255.255", Multicast},
      {"ff02::1", Multicast},
      {"0.1.2.3", Unspecified},
      {"::", Unspecified},
      {"240.0.0.1", Reserved},
      {"012.0.0.1", std::nullopt},
      {"localhost", std::nullopt},
      {"[::1]", std::nullopt},
  };
  for (const auto& [Address, Kind] : Rows) EXPECT_EQ(AddressKindOf(Address), Kind) << Address;

  // Public is reached from anywhere; the user's own kinds only from the same kind; the rest never.
  const TAddressKind All[] = {Public, Loopback, Private, LinkLocal, Multicast, Unspecified, Reserved};
  for (const TAddressKind From : All) {
    for (const TAddressKind To : All) {
      const bool Own = To == Loopback || To == Private || To == LinkLocal;
      EXPECT_EQ(MayReferTo(From, To), To == Public || (Own && From == To))
          << AddressKindText(From) << " -> " << AddressKindText(To);
    }
  }
}

}  // namespace
