// SPDX-License-Identifier: MIT
// The answer readers on whole replies in the shapes each registry sends (ARIN's sections,
// the RIPE-style objects of RIPE, APNIC, AFRINIC, LACNIC and IANA, rwhois records), on the
// traps that lead to a wrong abuse contact, and on hostile bytes and sizes.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "whois/NetworkRange.h"
#include "whois/WhoisAnswer.h"

namespace {

using namespace std::string_literals;

std::string Join(const std::vector<std::string>& L, const std::string& End = "\n")
{
  std::string Out;
  for (const std::string& Line : L) Out += Line + End;
  return Out;
}

std::string Crlf(const std::vector<std::string>& L) { return Join(L, "\r\n"); }

using TContacts = std::vector<std::pair<std::string, std::string>>;  // mailbox, object

struct TExpect {
  std::string First;  // empty: no network
  std::string Last;
  std::vector<std::string> Cidrs;
  std::string Name;
  std::string Handle;
  std::string AsNumber;
  std::string AsName;
  std::string HolderName;
  std::string HolderHandle;
  std::string Country;
  TContacts Abuse;
  TAbuseState State;
  std::string Registry;
  std::string DetailsAt;
};

struct TRow {
  const char* Name;
  std::string Reply;
  std::string Query;
  std::string Server;
  TExpect Expect;
};

void PrintTo(const TRow& R, std::ostream* Out) { *Out << R.Name; }

// ARIN's answer for an address in Google's network: Level 3's block first, then the
// reassignment, each followed by its organisation and its contacts.
const std::string kArinGoogle = Join({
    "#",
    "# ARIN WHOIS data and services are subject to the Terms of Use",
    "#",
    "",
    "NetRange:       8.0.0.0 - 8.127.255.255",
    "CIDR:           8.0.0.0/9",
    "NetName:        LVLT-ORG-8-8",
    "NetHandle:      NET-8-0-0-0-1",
    "Parent:          ()",
    "NetType:        Direct Allocation",
    "Organization:   Level 3 Parent, LLC (LPL-141)",
    "RegDate:        1992-12-01",
    "Ref:            https://rdap.arin.net/registry/ip/8.0.0.0",
    "",
    "OrgName:        Level 3 Parent, LLC",
    "OrgId:          LPL-141",
    "Address:        100 CenturyLink Drive",
    "City:           Monroe",
    "Country:        US",
    "",
    "OrgAbuseHandle: IPADD5-ARIN",
    "OrgAbuseName:   ipaddressing",
    "OrgAbuseEmail:  ipaddressing@level3.com",
    "",
    "#",
    "",
    "NetRange:       8.8.8.0 - 8.8.8.255",
    "CIDR:           8.8.8.0/24",
    "NetName:        GOGL",
    "NetHandle:      NET-8-8-8-0-2",
    "Parent:         LVLT-ORG-8-8 (NET-8-0-0-0-1)",
    "NetType:        Reallocated",
    "OriginAS:",
    "Organization:   Google LLC (GOGL)",
    "RegDate:        2014-03-14",
    "Ref:            https://rdap.arin.net/registry/ip/8.8.8.0",
    "",
    "OrgName:        Google LLC",
    "OrgId:          GOGL",
    "Address:        1600 Amphitheatre Parkway",
    "City:           Mountain View",
    "StateProv:      CA",
    "Country:        US",
    "Comment:        Please note that the recommended way to file",
    "Comment:        abuse complaints are located in the following links.",
    "",
    "OrgTechHandle: ZG39-ARIN",
    "OrgTechName:   Google LLC",
    "OrgTechEmail:  arin-contact@google.com",
    "",
    "OrgAbuseHandle: ABUSE5250-ARIN",
    "OrgAbuseName:   Abuse",
    "OrgAbusePhone:  +1-650-253-0000",
    "OrgAbuseEmail:  network-abuse@google.com",
    "OrgAbuseRef:    https://rdap.arin.net/registry/entity/ABUSE5250-ARIN",
    "",
    "#",
    "# ARIN WHOIS data",
    "#",
});

// RIPE's answer for its own address: the abuse comment, the network, its organisation, its
// abuse role and a person (whose e-mail is not an abuse contact).
const std::string kRipeNcc = Join({
    "% This is the RIPE Database query service.",
    "% The objects are in RPSL format.",
    "",
    "% Information related to '193.0.0.0 - 193.0.7.255'",
    "",
    "% Abuse contact for '193.0.0.0 - 193.0.7.255' is 'abuse@ripe.net'",
    "",
    "inetnum:        193.0.0.0 - 193.0.7.255",
    "netname:        RIPE-NCC",
    "descr:          RIPE Network Coordination Centre",
    "descr:          Amsterdam, Netherlands",
    "org:            ORG-RIEN1-RIPE",
    "country:        NL",
    "admin-c:        BRD-RIPE",
    "tech-c:         OPS4-RIPE",
    "abuse-c:        AR40377-RIPE",
    "remarks:        Report spam to spam-desk@ripe.net",
    "notify:         ops-notify@ripe.net",
    "status:         ASSIGNED PA",
    "mnt-by:         RIPE-NCC-MNT",
    "created:        2003-03-17T12:15:57Z",
    "last-modified:  2017-12-04T14:42:31Z",
    "source:         RIPE # Filtered",
    "",
    "organisation:   ORG-RIEN1-RIPE",
    "org-name:       Reseaux IP Europeens Network Coordination Centre (RIPE NCC)",
    "country:        NL",
    "org-type:       RIR",
    "address:        P.O. Box 10096",
    "e-mail:         ncc@ripe.net",
    "abuse-c:        AR40377-RIPE",
    "source:         RIPE # Filtered",
    "",
    "role:           Abuse-C Role",
    "address:        Stationsplein 11",
    "e-mail:         role-mail@ripe.net",
    "abuse-mailbox:  abuse@ripe.net",
    "nic-hdl:        AR40377-RIPE",
    "mnt-by:         RIPE-NCC-HM-MNT",
    "source:         RIPE # Filtered",
    "",
    "person:         Operations Staff",
    "e-mail:         ops@ripe.net",
    "nic-hdl:        OPS4-RIPE",
    "source:         RIPE # Filtered",
    "",
    "% Information related to '193.0.0.0/21AS3333'",
    "",
    "route:          193.0.0.0/21",
    "descr:          RIPE-NCC",
    "origin:         AS3333",
    "mnt-by:         RIPE-NCC-MNT",
    "source:         RIPE",
    "",
    "% This query was served by the RIPE Database Query Service version 1.109",
});
// What it answers: the network, its organisation and the abuse role's mailbox.
const TExpect kRipeNccExpect = {"193.0.0.0",
                                "193.0.7.255",
                                {"193.0.0.0/21"},
                                "RIPE-NCC",
                                "",
                                "",
                                "",
                                "Reseaux IP Europeens Network Coordination Centre (RIPE NCC)",
                                "ORG-RIEN1-RIPE",
                                "NL",
                                {{"abuse@ripe.net", "role AR40377-RIPE"}},
                                TAbuseState::Found,
                                "RIPE",
                                ""};

// APNIC's answer for a JPNIC block: the pointer to JPNIC's server sits in remarks, the abuse
// mailbox in the response team's object; an address in remarks is none.
const std::string kApnicJpnic = Join({
    "% [whois.apnic.net]",
    "% Whois data copyright terms    http://www.apnic.net/db/dbcopyright.html",
    "",
    "% Information related to '202.216.0.0 - 202.219.255.255'",
    "",
    "% Abuse contact for '202.216.0.0 - 202.219.255.255' is 'hostmaster@nic.ad.jp'",
    "",
    "inetnum:        202.216.0.0 - 202.219.255.255",
    "netname:        JPNIC-NET-JP",
    "descr:          Japan Network Information Center",
    "country:        JP",
    "admin-c:        JNIC1-AP",
    "tech-c:         JNIC1-AP",
    "remarks:        JPNIC Allocation Block",
    "remarks:        Email address for spam or abuse complaints : spam@example.ad.jp",
    "remarks:        allocations made from within this block can also be",
    "remarks:        queried at whois.nic.ad.jp. To obtain an English",
    "mnt-by:         APNIC-HM",
    "status:         ALLOCATED PORTABLE",
    "mnt-irt:        IRT-JPNIC-JP",
    "source:         APNIC",
    "",
    "irt:            IRT-JPNIC-JP",
    "address:        Chiyoda-ku, Tokyo 101-0047, Japan",
    "e-mail:         hostmaster-irt@nic.ad.jp",
    "abuse-mailbox:  hostmaster@nic.ad.jp",
    "admin-c:        JNIC1-AP",
    "auth:           # Filtered",
    "source:         APNIC",
    "",
    "role:           Japan Network Information Center",
    "country:        JP",
    "e-mail:         hostmaster@nic.ad.jp",
    "nic-hdl:        JNIC1-AP",
    "source:         APNIC",
});

const std::vector<TRow>& Rows()
{
  static const std::vector<TRow> R = {
      // ARIN
      {"ArinReassignmentWithItsOwnOrganisation",
       kArinGoogle,
       "8.8.8.8",
       "whois.arin.net",
       {"8.8.8.0",
        "8.8.8.255",
        {"8.8.8.0/24"},
        "GOGL",
        "NET-8-8-8-0-2",
        "",
        "",
        "Google LLC",
        "GOGL",
        "US",
        {{"network-abuse@google.com", "OrgAbuseEmail ABUSE5250-ARIN"}},
        TAbuseState::Found,
        "ARIN",
        ""}},
      {"ArinLessSpecificNetworkForAnAddressOutsideTheReassignment",
       kArinGoogle,
       "8.8.4.4",
       "whois.arin.net",
       {"8.0.0.0",
        "8.127.255.255",
        {"8.0.0.0/9"},
        "LVLT-ORG-8-8",
        "NET-8-0-0-0-1",
        "",
        "",
        "Level 3 Parent, LLC",
        "LPL-141",
        "US",
        {{"ipaddressing@level3.com", "OrgAbuseEmail IPADD5-ARIN"}},
        TAbuseState::Found,
        "ARIN",
        ""}},
      {"ArinSeveralPrefixesAndTheNetworksOwnAbuseFirst",
       Join({"NetRange:       8.0.0.0 - 8.191.255.255",
             "CIDR:           8.128.0.0/10, 8.0.0.0/9",
             "NetName:        EXAMPLE-8",
             "NetHandle:      NET-8-0-0-0-9",
             "Organization:   Example Carrier (EXC-1)",
             "",
             "OrgName:        Example Carrier",
             "OrgId:          EXC-1",
             "Country:        us",
             "",
             "OrgNOCHandle:   NOC1-ARIN",
             "OrgNOCEmail:    noc@carrier.example",
             "",
             "OrgAbuseHandle: ABU1-ARIN",
             "OrgAbuseEmail:  abuse@carrier.example",
             "",
             "OrgTechHandle:  TECH1-ARIN",
             "OrgTechEmail:   tech@carrier.example",
             "",
             "RTechHandle:    RT1-ARIN",
             "RTechEmail:     rtech@carrier.example",
             "",
             "RAbuseHandle:   RA1-ARIN",
             "RAbuseEmail:    net-abuse@carrier.example",
             "",
             "RNOCEmail:      rnoc@carrier.example"}),
       "8.130.1.1",
       "whois.arin.net",
       {"8.0.0.0",
        "8.191.255.255",
        {"8.0.0.0/9", "8.128.0.0/10"},
        "EXAMPLE-8",
        "NET-8-0-0-0-9",
        "",
        "",
        "Example Carrier",
        "EXC-1",
        "US",
        {{"net-abuse@carrier.example", "RAbuseEmail RA1-ARIN"}, {"abuse@carrier.example", "OrgAbuseEmail ABU1-ARIN"}},
        TAbuseState::Found,
        "ARIN",
        ""}},
      {"ArinCustomerWithoutContactsTakesNoneOfTheParents",
       Join({"NetRange:       198.51.0.0 - 198.51.255.255",
             "CIDR:           198.51.0.0/16",
             "NetName:        BIGISP-NET",
             "NetHandle:      NET-198-51-0-0-1",
             "Organization:   Big ISP (BIGISP)",
             "",
             "OrgName:        Big ISP",
             "OrgId:          BIGISP",
             "Country:        US",
             "",
             "OrgAbuseHandle: BIGABUSE-ARIN",
             "OrgAbuseEmail:  abuse@bigisp.example",
             "",
             "",
             "NetRange:       198.51.100.0 - 198.51.100.127",
             "CIDR:           198.51.100.0/25",
             "NetName:        BIGISP-CUST-7",
             "NetHandle:      NET-198-51-100-0-1",
             "Parent:         BIGISP-NET (NET-198-51-0-0-1)",
             "NetType:        Reassigned",
             "Customer:       Small Shop Inc (C01234567)",
             "",
             "CustName:       Small Shop Inc",
             "Address:        1 Main St",
             "City:           Springfield",
             "Country:        CA",
             "RegDate:        2020-01-01"}),
       "198.51.100.20",
       "whois.arin.net",
       {"198.51.100.0",
        "198.51.100.127",
        {"198.51.100.0/25"},
        "BIGISP-CUST-7",
        "NET-198-51-100-0-1",
        "",
        "",
        "Small Shop Inc",
        "C01234567",
        "CA",
        {},
        TAbuseState::NotStated,
        "ARIN",
        ""}},
      {"ArinIpv6Network",
       Join({"NetRange:       2001:4860:: - 2001:4860:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF", "CIDR:           2001:4860::/32",
             "NetName:        GOOGLE-IPV6", "NetHandle:      NET6-2001-4860-1", "Organization:   Google LLC (GOGL)", "",
             "OrgName:        Google LLC", "OrgId:          GOGL", "Country:        US", "",
             "OrgAbuseHandle: ABUSE5250-ARIN", "OrgAbuseEmail:  network-abuse@google.com"}),
       "2001:4860:4860::8888",
       "whois.arin.net",
       {"2001:4860::",
        "2001:4860:ffff:ffff:ffff:ffff:ffff:ffff",
        {"2001:4860::/32"},
        "GOOGLE-IPV6",
        "NET6-2001-4860-1",
        "",
        "",
        "Google LLC",
        "GOGL",
        "US",
        {{"network-abuse@google.com", "OrgAbuseEmail ABUSE5250-ARIN"}},
        TAbuseState::Found,
        "ARIN",
        ""}},
      {"ArinAsNumber",
       Join({"#", "# ARIN WHOIS data", "#", "", "ASNumber:       15169", "ASName:         GOOGLE",
             "ASHandle:       AS15169", "RegDate:        2000-03-30", "Organization:   Google LLC (GOGL)", "",
             "OrgName:        Google LLC", "OrgId:          GOGL", "Country:        US", "",
             "OrgAbuseHandle: ABUSE5250-ARIN", "OrgAbuseEmail:  network-abuse@google.com", "",
             "ResourceLink:  https://rdap.arin.net/registry/autnum/15169"}),
       "AS15169",
       "whois.arin.net",
       {"",
        "",
        {},
        "",
        "",
        "AS15169",
        "GOOGLE",
        "Google LLC",
        "GOGL",
        "US",
        {{"network-abuse@google.com", "OrgAbuseEmail ABUSE5250-ARIN"}},
        TAbuseState::Found,
        "ARIN",
        ""}},
      // The stub is read as it stands; following ReferralServer is the caller's part.
      {"ArinStubOfRipeSpaceReadFaithfully",
       Join({"NetRange:       193.0.0.0 - 193.255.255.255",
             "CIDR:           193.0.0.0/8",
             "NetName:        RIPE-CIDR-193",
             "NetHandle:      NET-193-0-0-0-1",
             "NetType:        Allocated to RIPE NCC",
             "Organization:   RIPE Network Coordination Centre (RIPE)",
             "Comment:        These addresses have been further assigned to users in",
             "Comment:        the RIPE NCC region. Contact spam@ripe.net for complaints.",
             "ResourceLink:  https://apps.db.ripe.net/db-web-ui/query",
             "ResourceLink:  whois.ripe.net",
             "",
             "OrgName:        RIPE Network Coordination Centre",
             "OrgId:          RIPE",
             "Country:        NL",
             "ReferralServer:  whois://whois.ripe.net",
             "",
             "OrgTechHandle: RNO29-ARIN",
             "OrgTechEmail:  hostmaster@ripe.net",
             "",
             "OrgAbuseHandle: ABUSE3850-ARIN",
             "OrgAbuseEmail:  abuse@ripe.net"}),
       "193.0.6.139",
       "whois.arin.net",
       {"193.0.0.0",
        "193.255.255.255",
        {"193.0.0.0/8"},
        "RIPE-CIDR-193",
        "NET-193-0-0-0-1",
        "",
        "",
        "RIPE Network Coordination Centre",
        "RIPE",
        "NL",
        {{"abuse@ripe.net", "OrgAbuseEmail ABUSE3850-ARIN"}},
        TAbuseState::Found,
        "ARIN",
        ""}},
      {"ArinStubOfApnicSpace",
       Join({"NetRange:       210.0.0.0 - 210.255.255.255", "CIDR:           210.0.0.0/8",
             "NetName:        APNIC-CIDR-BLK2", "NetType:        Allocated to APNIC",
             "Organization:   Asia Pacific Network Information Centre (APNIC)", "",
             "OrgName:        Asia Pacific Network Information Centre", "OrgId:          APNIC", "Country:        AU",
             "ReferralServer:  whois://whois.apnic.net", "", "OrgAbuseHandle: AWC12-ARIN",
             "OrgAbuseEmail:  search-apnic-not-arin@apnic.net", "", "OrgTechHandle: AWC12-ARIN",
             "OrgTechEmail:  search-apnic-not-arin@apnic.net"}),
       "210.10.44.3",
       "whois.arin.net",
       {"210.0.0.0",
        "210.255.255.255",
        {"210.0.0.0/8"},
        "APNIC-CIDR-BLK2",
        "",
        "",
        "",
        "Asia Pacific Network Information Centre",
        "APNIC",
        "AU",
        {{"search-apnic-not-arin@apnic.net", "OrgAbuseEmail AWC12-ARIN"}},
        TAbuseState::Found,
        "ARIN",
        ""}},
      {"ArinShapeNamesArinForAnUnknownServer",
       Join({"NetRange: 192.0.2.0 - 192.0.2.255", "NetName: TEST-NET-1", "Organization: Test Org (TO-1)"}),
       "192.0.2.1",
       "127.0.0.1:4343",
       {"192.0.2.0",
        "192.0.2.255",
        {"192.0.2.0/24"},
        "TEST-NET-1",
        "",
        "",
        "",
        "Test Org",
        "TO-1",
        "",
        {},
        TAbuseState::NotStated,
        "ARIN",
        ""}},

      // RIPE
      {"RipeNetworkWithOrganisationAndAbuseRole", kRipeNcc, "193.0.6.139", "whois.ripe.net", kRipeNccExpect},
      {"RipeMappedAddressQueriesItsIpv4Network", kRipeNcc, "::ffff:193.0.6.139", "whois.ripe.net", kRipeNccExpect},
      {"RipeIpv6NetworkFromTheCommentAlone",
       Join({"% Information related to '2001:67c:2e8::/48'", "",
             "% Abuse contact for '2001:67c:2e8::/48' is 'abuse@ripe.net'", "", "inet6num:       2001:67c:2e8::/48",
             "netname:        RIPE-NCC", "descr:          RIPE Network Coordination Centre", "country:        NL",
             "source:         RIPE"}),
       "2001:67c:2e8:22::c100:68b",
       "whois.ripe.net",
       {"2001:67c:2e8::",
        "2001:67c:2e8:ffff:ffff:ffff:ffff:ffff",
        {"2001:67c:2e8::/48"},
        "RIPE-NCC",
        "",
        "",
        "",
        "RIPE Network Coordination Centre",
        "",
        "NL",
        {{"abuse@ripe.net", "comment"}},
        TAbuseState::Found,
        "RIPE",
        ""}},
      {"RipeNoAbuseContactRegistered",
       Join({"% No abuse contact registered for 192.0.2.0 - 192.0.2.255", "", "inetnum:        192.0.2.0 - 192.0.2.255",
             "netname:        LEGACY-NET", "descr:          Legacy Holder B.V.", "country:        NL",
             "remarks:        abuse reports: abuse@legacy.example", "notify:         notify@legacy.example",
             "changed:        hostmaster@legacy.example 19960101", "source:         RIPE"}),
       "192.0.2.9",
       "whois.ripe.net",
       {"192.0.2.0",
        "192.0.2.255",
        {"192.0.2.0/24"},
        "LEGACY-NET",
        "",
        "",
        "",
        "Legacy Holder B.V.",
        "",
        "NL",
        {},
        TAbuseState::NoneRegistered,
        "RIPE",
        ""}},
      {"RipeMailboxesInRemarksDescrAndPersonsAreNoAbuseContact",
       Join({"inetnum:        198.18.0.0 - 198.18.0.255", "netname:        SOME-NET",
             "descr:          Some Holder, abuse@holder.example", "country:        DE", "abuse-c:        PERS1-RIPE",
             "remarks:        Please report abuse to abuse@remarks.example", "source:         RIPE", "",
             "person:         Jane Doe", "e-mail:         jane@holder.example", "nic-hdl:        PERS1-RIPE",
             "source:         RIPE"}),
       "198.18.0.1",
       "whois.ripe.net",
       {"198.18.0.0",
        "198.18.0.255",
        {"198.18.0.0/24"},
        "SOME-NET",
        "",
        "",
        "",
        "Some Holder, abuse@holder.example",
        "",
        "DE",
        {},
        TAbuseState::NotStated,
        "RIPE",
        ""}},
      {"RipeCommentOfALessSpecificRangeIsNotTheNetworks",
       Join({"% Abuse contact for '198.18.0.0 - 198.19.255.255' is 'abuse@parent.example'", "",
             "inetnum:        198.18.0.0 - 198.19.255.255", "netname:        PARENT", "source: RIPE", "",
             "inetnum:        198.18.5.0 - 198.18.5.255", "netname:        CHILD", "descr: Child Ltd", "source: RIPE"}),
       "198.18.5.5",
       "whois.ripe.net",
       {"198.18.5.0",
        "198.18.5.255",
        {"198.18.5.0/24"},
        "CHILD",
        "",
        "",
        "",
        "Child Ltd",
        "",
        "",
        {},
        TAbuseState::NotStated,
        "RIPE",
        ""}},
      {"RipeAutNumWithTheCommentsMailbox",
       Join({"% Abuse contact for 'AS3333' is 'abuse@ripe.net'", "", "aut-num:        AS3333",
             "as-name:        RIPE-NCC-AS", "org:            ORG-RIEN1-RIPE", "import:         from AS12859 accept ANY",
             "source:         RIPE", "", "organisation:   ORG-RIEN1-RIPE", "org-name:       RIPE NCC",
             "country:        NL", "source:         RIPE"}),
       "AS3333",
       "whois.ripe.net",
       {"",
        "",
        {},
        "",
        "",
        "AS3333",
        "RIPE-NCC-AS",
        "RIPE NCC",
        "ORG-RIEN1-RIPE",
        "NL",
        {{"abuse@ripe.net", "comment"}},
        TAbuseState::Found,
        "RIPE",
        ""}},
      {"RipeHolderRoleOnlyOnTheOrganisation",
       Join({"inetnum:        203.0.113.0 - 203.0.113.255", "netname:        ORG-ROLE-NET",
             "org:            ORG-EX1-RIPE", "source:         RIPE", "", "organisation:   ORG-EX1-RIPE",
             "org-name:       Example Org", "country:        FR", "abuse-c:        EXR1-RIPE",
             "abuse-mailbox:  legacy-abuse@example.fr", "source:         RIPE", "", "role:           Example Abuse",
             "nic-hdl:        EXR1-RIPE", "abuse-mailbox:  abuse@example.fr", "source:         RIPE"}),
       "203.0.113.77",
       "whois.ripe.net",
       {"203.0.113.0",
        "203.0.113.255",
        {"203.0.113.0/24"},
        "ORG-ROLE-NET",
        "",
        "",
        "",
        "Example Org",
        "ORG-EX1-RIPE",
        "FR",
        {{"abuse@example.fr", "role EXR1-RIPE"}, {"legacy-abuse@example.fr", "organisation ORG-EX1-RIPE"}},
        TAbuseState::Found,
        "RIPE",
        ""}},

      // APNIC
      {"ApnicRoleThenResponseTeam",
       Join({"% Abuse contact for '1.1.1.0 - 1.1.1.255' is 'helpdesk@apnic.net'",
             "",
             "inetnum:        1.1.1.0 - 1.1.1.255",
             "netname:        APNIC-LABS",
             "descr:          APNIC and Cloudflare DNS Resolver project",
             "country:        AU",
             "abuse-c:        AA1412-AP",
             "mnt-irt:        IRT-APNICRANDNET-AU",
             "remarks:        Unresolved network abuse reports to abuse@apnic.net.",
             "source:         APNIC",
             "",
             "irt:            IRT-APNICRANDNET-AU",
             "e-mail:         irt-mail@apnic.net",
             "abuse-mailbox:  irt@apnic.net",
             "source:         APNIC",
             "",
             "role:           ABUSE APNICRANDNETAU",
             "e-mail:         helpdesk@apnic.net",
             "abuse-mailbox:  helpdesk@apnic.net",
             "nic-hdl:        AA1412-AP",
             "source:         APNIC"}),
       "1.1.1.1",
       "whois.apnic.net",
       {"1.1.1.0",
        "1.1.1.255",
        {"1.1.1.0/24"},
        "APNIC-LABS",
        "",
        "",
        "",
        "APNIC and Cloudflare DNS Resolver project",
        "",
        "AU",
        {{"helpdesk@apnic.net", "role AA1412-AP"}, {"irt@apnic.net", "irt IRT-APNICRANDNET-AU"}},
        TAbuseState::Found,
        "APNIC",
        ""}},
      {"ApnicJpnicBlockPointsToJpnicsServer",
       kApnicJpnic,
       "202.217.73.18",
       "whois.apnic.net",
       {"202.216.0.0",
        "202.219.255.255",
        {"202.216.0.0/14"},
        "JPNIC-NET-JP",
        "",
        "",
        "",
        "Japan Network Information Center",
        "",
        "JP",
        {{"hostmaster@nic.ad.jp", "irt IRT-JPNIC-JP"}},
        TAbuseState::Found,
        "APNIC",
        "whois.nic.ad.jp"}},
      {"ApnicKrnicBlockNamedInRemarks",
       Join({"inetnum:        211.104.0.0 - 211.119.255.255", "netname:        KRNIC-KR", "descr:          KRNIC",
             "country:        KR", "remarks:        For more information, using KRNIC Whois Database",
             "remarks:        whois -h whois.kisa.or.kr", "source:         APNIC"}),
       "211.110.1.1",
       "whois.apnic.net",
       {"211.104.0.0",
        "211.119.255.255",
        {"211.104.0.0/13", "211.112.0.0/13"},
        "KRNIC-KR",
        "",
        "",
        "",
        "KRNIC",
        "",
        "KR",
        {},
        TAbuseState::NotStated,
        "APNIC",
        "whois.kisa.or.kr"}},
      {"ApnicTwnicKnownByItsNetnameAlone",
       Join({"inetnum:        203.69.0.0 - 203.69.255.255", "netname:        TWNIC-TW",
             "descr:          Taiwan Network Information Center", "country:        TW", "source:         APNIC"}),
       "203.69.1.1",
       "whois.apnic.net",
       {"203.69.0.0",
        "203.69.255.255",
        {"203.69.0.0/16"},
        "TWNIC-TW",
        "",
        "",
        "",
        "Taiwan Network Information Center",
        "",
        "TW",
        {},
        TAbuseState::NotStated,
        "APNIC",
        "whois.twnic.net"}},
      {"ApnicOtherServersInRemarksAreNoNationalRegistry",
       Join({"inetnum:        203.0.113.0 - 203.0.113.255", "netname:        HOSTING-NET", "descr:          Hosting Co",
             "remarks:        see whois.hosting.example or mail whois@nic.ad.jp",
             "remarks:        or whois.nic.ad.jp.evil.example", "country:        SG", "source:         APNIC"}),
       "203.0.113.1",
       "whois.apnic.net",
       {"203.0.113.0",
        "203.0.113.255",
        {"203.0.113.0/24"},
        "HOSTING-NET",
        "",
        "",
        "",
        "Hosting Co",
        "",
        "SG",
        {},
        TAbuseState::NotStated,
        "APNIC",
        ""}},

      // LACNIC
      {"LacnicAbbreviatedRangeOwnerAndNicHdlBlock",
       Crlf({"% Copyright LACNIC lacnic.net",
             "%  The use of the data below is only permitted as described in",
             "%  full by the Use Policy.",
             "",
             "inetnum:     200.57.128/19",
             "status:      allocated",
             "aut-num:     AS18734",
             "owner:       Operbes, S.A. de C.V.",
             "ownerid:     MX-OPSA1-LACNIC",
             "responsible: Network Operations",
             "country:     MX",
             "owner-c:     VIG",
             "tech-c:      TEC",
             "abuse-c:     VIG",
             "inetrev:     200.57.128/20",
             "created:     20040701",
             "changed:     20160411",
             "",
             "nic-hdl:     TEC",
             "person:      Tech Contact",
             "e-mail:      tech@operbes.example",
             "country:     MX",
             "",
             "nic-hdl:     VIG",
             "person:      Gerente de Ingenieria",
             "e-mail:      abuse@operbes.example",
             "country:     MX",
             "",
             "% whois.lacnic.net accepts only direct match queries."}),
       "200.57.141.161",
       "whois.lacnic.net",
       {"200.57.128.0",
        "200.57.159.255",
        {"200.57.128.0/19"},
        "",
        "",
        "",
        "",
        "Operbes, S.A. de C.V.",
        "MX-OPSA1-LACNIC",
        "MX",
        {{"abuse@operbes.example", "nic-hdl VIG"}},
        TAbuseState::Found,
        "LACNIC",
        ""}},
      {"LacnicShortPrefixAndRegistryFromItsCopyright",
       Crlf({"% Copyright LACNIC lacnic.net", "", "inetnum:     177.0/16", "owner:       Example Telecom",
             "ownerid:     BR-EXTE-LACNIC", "country:     BR", "abuse-c:     EXA", "", "nic-hdl-br: EXA",
             "person:     Abuse Desk", "e-mail:     abuse@telecom.example"}),
       "177.0.200.1",
       "",
       {"177.0.0.0",
        "177.0.255.255",
        {"177.0.0.0/16"},
        "",
        "",
        "",
        "",
        "Example Telecom",
        "BR-EXTE-LACNIC",
        "BR",
        {{"abuse@telecom.example", "nic-hdl-br EXA"}},
        TAbuseState::Found,
        "LACNIC",
        ""}},
      {"LacnicIpv6",
       Crlf({"% Copyright LACNIC lacnic.net", "", "inetnum:     2001:1280::/32", "owner:       Example Uruguay",
             "ownerid:     UY-EXUY-LACNIC", "country:     UY", "tech-c:      TX"}),
       "2001:1280::1",
       "whois.lacnic.net",
       {"2001:1280::",
        "2001:1280:ffff:ffff:ffff:ffff:ffff:ffff",
        {"2001:1280::/32"},
        "",
        "",
        "",
        "",
        "Example Uruguay",
        "UY-EXUY-LACNIC",
        "UY",
        {},
        TAbuseState::NotStated,
        "LACNIC",
        ""}},
      {"LacnicAutNum",
       Crlf({"% Copyright LACNIC lacnic.net", "", "aut-num:     AS28000",
             "owner:       LACNIC - Latin American and Caribbean IP address", "ownerid:     UY-LACN-LACNIC",
             "country:     UY", "owner-c:     ARM", "abuse-c:     LIR", "", "nic-hdl:     LIR",
             "person:      LACNIC Abuse", "e-mail:      abuse@lacnic.net"}),
       "AS28000",
       "whois.lacnic.net",
       {"",
        "",
        {},
        "",
        "",
        "AS28000",
        "",
        "LACNIC - Latin American and Caribbean IP address",
        "UY-LACN-LACNIC",
        "UY",
        {{"abuse@lacnic.net", "nic-hdl LIR"}},
        TAbuseState::Found,
        "LACNIC",
        ""}},

      // AFRINIC
      {"AfrinicWithoutAbuseContact",
       Join({"% This is the AfriNIC Whois server.",
             "",
             "inetnum:        41.58.0.0 - 41.58.255.255",
             "netname:        EXAMPLE-AFRICA",
             "descr:          Example Networks Ltd",
             "country:        NG",
             "org:            ORG-ENL1-AFRINIC",
             "admin-c:        EN1-AFRINIC",
             "status:         ALLOCATED PA",
             "source:         AFRINIC",
             "",
             "organisation:   ORG-ENL1-AFRINIC",
             "org-name:       Example Networks Limited",
             "country:        NG",
             "e-mail:         info@example-networks.ng",
             "source:         AFRINIC",
             "",
             "person:         Admin Person",
             "nic-hdl:        EN1-AFRINIC",
             "e-mail:         admin@example-networks.ng",
             "source:         AFRINIC"}),
       "41.58.1.1",
       "whois.afrinic.net",
       {"41.58.0.0",
        "41.58.255.255",
        {"41.58.0.0/16"},
        "EXAMPLE-AFRICA",
        "",
        "",
        "",
        "Example Networks Limited",
        "ORG-ENL1-AFRINIC",
        "NG",
        {},
        TAbuseState::NotStated,
        "AFRINIC",
        ""}},
      {"AfrinicAbuseRoleAndRegistryFromSource",
       Join({"inetnum:        196.216.2.0 - 196.216.3.255", "netname:        AFRINIC-SERVICES",
             "descr:          AFRINIC Ltd", "country:        MU", "abuse-c:        GENE1-AFRINIC",
             "source:         AFRINIC", "", "role:           AFRINIC Abuse", "nic-hdl:        GENE1-AFRINIC",
             "abuse-mailbox:  abuse@afrinic.net", "source:         AFRINIC"}),
       "196.216.2.1",
       "whois.mirror.example",
       {"196.216.2.0",
        "196.216.3.255",
        {"196.216.2.0/23"},
        "AFRINIC-SERVICES",
        "",
        "",
        "",
        "AFRINIC Ltd",
        "",
        "MU",
        {{"abuse@afrinic.net", "role GENE1-AFRINIC"}},
        TAbuseState::Found,
        "AFRINIC",
        ""}},

      // rwhois
      {"RwhoisMostSpecificRecord",
       Join({"%rwhois V-1.5:003fff:00 rwhois.example.net (by Network Solutions, Inc. V-1.5.9.5)",
             "network:Class-Name:network", "network:ID:NET-192-0-2-0-23", "network:Network-Name:EXAMPLE-BIG",
             "network:IP-Network:192.0.2.0/23", "network:Org-Name:Example Carrier",
             "network:Abuse-Email:abuse@carrier.example", "", "network:Class-Name:network",
             "network:ID:NET-192-0-2-64-26", "network:Network-Name:EXAMPLE-CUST", "network:IP-Network:192.0.2.64/26",
             "network:IP-Network-Block:192.0.2.64 - 192.0.2.127", "network:Organization;I:Example Customer LLC",
             "network:Country-Code:us", "network:Tech-Contact;I:tech@customer.example",
             "network:Abuse-Email:abuse@customer.example", "", "%ok"}),
       "192.0.2.100",
       "rwhois.example.net:4321",
       {"192.0.2.64",
        "192.0.2.127",
        {"192.0.2.64/26"},
        "EXAMPLE-CUST",
        "NET-192-0-2-64-26",
        "",
        "",
        "Example Customer LLC",
        "",
        "US",
        {{"abuse@customer.example", "Abuse-Email NET-192-0-2-64-26"}},
        TAbuseState::Found,
        "rwhois.example.net",
        ""}},
      {"RwhoisRecordsNamedById",
       Join({"%rwhois V-1.5 rwhois.isp.example", "network:ID:NET-1.isp.example", "network:Network-Name:ISP-CUST",
             "network:IP-Network-Block:198.51.100.0 - 198.51.100.255", "network:Organization;I:ORG-7.isp.example",
             "network:Abuse-Contact;I:ABU-1.isp.example", "", "organization:ID:ORG-7.isp.example",
             "organization:Org-Name:Customer Seven", "organization:Country-Code:GB", "", "contact:ID:ABU-1.isp.example",
             "contact:Name:Abuse Desk", "contact:Email:abuse@isp.example", "", "%ok"}),
       "198.51.100.1",
       "rwhois.isp.example",
       {"198.51.100.0",
        "198.51.100.255",
        {"198.51.100.0/24"},
        "ISP-CUST",
        "NET-1.isp.example",
        "",
        "",
        "Customer Seven",
        "ORG-7.isp.example",
        "GB",
        {{"abuse@isp.example", "contact ABU-1.isp.example"}},
        TAbuseState::Found,
        "rwhois.isp.example",
        ""}},

      // IANA
      {"IanaReservedSpace",
       Join({"% IANA WHOIS server", "% for more information on IANA, visit http://www.iana.org", "",
             "inetnum:      10.0.0.0 - 10.255.255.255", "organisation: IANA - Private Use", "status:       RESERVED",
             "", "remarks:      Reserved for Private-Use Networks [RFC1918].", "", "changed:      1995-06",
             "source:       IANA"}),
       "10.1.2.3",
       "whois.iana.org",
       {"10.0.0.0",
        "10.255.255.255",
        {"10.0.0.0/8"},
        "",
        "",
        "",
        "",
        "IANA - Private Use",
        "",
        "",
        {},
        TAbuseState::NotStated,
        "whois.iana.org",
        ""}},
      {"IanaAllocation",
       Join({"refer:        whois.ripe.net", "", "inetnum:      193.0.0.0 - 193.255.255.255", "organisation: RIPE NCC",
             "status:       ALLOCATED", "", "whois:        whois.ripe.net", "", "source:       IANA"}),
       "193.0.6.139",
       "WHOIS.IANA.ORG.",
       {"193.0.0.0",
        "193.255.255.255",
        {"193.0.0.0/8"},
        "",
        "",
        "",
        "",
        "RIPE NCC",
        "",
        "",
        {},
        TAbuseState::NotStated,
        "whois.iana.org",
        ""}},

      // Nothing to read.
      {"EmptyReply",
       "",
       "192.0.2.1",
       "whois.ripe.net",
       {"", "", {}, "", "", "", "", "", "", "", {}, TAbuseState::NotStated, "RIPE", ""}},
      {"NoNetworkHoldsTheAddress",
       Join({"inetnum: 192.0.2.0 - 192.0.2.255", "netname: OTHER", "abuse-c: X1", "", "role: R", "nic-hdl: X1",
             "abuse-mailbox: abuse@other.example"}),
       "198.51.100.1",
       "whois.ripe.net",
       {"", "", {}, "", "", "", "", "", "", "", {}, TAbuseState::NotStated, "RIPE", ""}},
      {"ErrorTextFromAServer",
       "%ERROR:101: no entries found\n",
       "192.0.2.1",
       "whois.example.net:43",
       {"", "", {}, "", "", "", "", "", "", "", {}, TAbuseState::NotStated, "whois.example.net", ""}},
  };
  return R;
}

class WhoisAnswerShapes : public testing::TestWithParam<TRow> {};

TEST_P(WhoisAnswerShapes, ReadsTheNetworkHolderAndAbuseContacts)
{
  const TRow& Row = GetParam();
  const TExpect& E = Row.Expect;
  const TWhoisAnswer A = ReadWhoisReply(Row.Reply, Row.Query, Row.Server);
  EXPECT_EQ(A.Network.has_value(), !E.First.empty());
  if (A.Network && !E.First.empty()) {
    EXPECT_EQ(A.Network->First, E.First);
    EXPECT_EQ(A.Network->Last, E.Last);
    EXPECT_EQ(A.Network->Cidrs, E.Cidrs);
    EXPECT_EQ(A.Network->Name, E.Name);
    EXPECT_EQ(A.Network->Handle, E.Handle);
  }
  EXPECT_EQ(A.AsNumber, E.AsNumber);
  EXPECT_EQ(A.AsName, E.AsName);
  EXPECT_EQ(A.HolderName, E.HolderName);
  EXPECT_EQ(A.HolderHandle, E.HolderHandle);
  EXPECT_EQ(A.Country, E.Country);
  TContacts Abuse;
  for (const TAbuseContact& C : A.Abuse) Abuse.emplace_back(C.Email, C.Object);
  EXPECT_EQ(Abuse, E.Abuse);
  EXPECT_EQ(A.AbuseState, E.State);
  EXPECT_EQ(A.Registry, E.Registry);
  EXPECT_EQ(A.Server, Row.Server);
  EXPECT_EQ(A.DetailsAt, E.DetailsAt);
  // Left to the caller.
  EXPECT_TRUE(A.Query.empty() && A.Asked.empty() && A.Error.empty() && !A.Cached);
}

INSTANTIATE_TEST_SUITE_P(Registries, WhoisAnswerShapes, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<TRow>& I) { return std::string(I.param.Name); });

// Every line end a server may use gives the same answer.
TEST(WhoisAnswer, LineEndsDoNotChangeTheAnswer)
{
  std::string Cr = kRipeNcc, Crlf;
  for (char& C : Cr)
    if (C == '\n') C = '\r';
  for (const char C : kRipeNcc) Crlf += C == '\n' ? std::string("\r\n") : std::string(1, C);
  const TWhoisAnswer Lf = ReadWhoisReply(kRipeNcc, "193.0.6.139", "whois.ripe.net");
  for (const std::string& Reply : {Cr, Crlf}) {
    const TWhoisAnswer A = ReadWhoisReply(Reply, "193.0.6.139", "whois.ripe.net");
    ASSERT_TRUE(A.Network);
    EXPECT_EQ(A.Network->Cidrs, Lf.Network->Cidrs);
    EXPECT_EQ(A.HolderName, Lf.HolderName);
    ASSERT_EQ(A.Abuse.size(), 1u);
    EXPECT_EQ(A.Abuse[0].Object, "role AR40377-RIPE");
  }
}

struct TRegistryRow {
  const char* Host;
  const char* Registry;
};

TEST(WhoisAnswer, RegistryOfServer)
{
  for (const TRegistryRow& R : std::vector<TRegistryRow>{{"whois.arin.net", "ARIN"},
                                                         {"WHOIS.RIPE.NET.", "RIPE"},
                                                         {"whois.apnic.net:43", "APNIC"},
                                                         {"rdap.lacnic.net", "LACNIC"},
                                                         {"whois.afrinic.net", "AFRINIC"},
                                                         {"whois.arin.net.evil.example", ""},
                                                         {"rwhois.arin.net", ""},
                                                         {"whois.nic.ad.jp", ""},
                                                         {"", ""}})
    EXPECT_EQ(RegistryOfServer(R.Host), R.Registry) << R.Host;
}

// 10,000 nested networks in 8 MiB: the one that counts sits in the middle of the reply.
TEST(WhoisAnswer, TenThousandNetworksTakeTheMostSpecific)
{
  constexpr int kNetworks = 10000;
  const std::string Padding = "remarks:        " + std::string(760, 'x') + "\n";
  std::string Reply;
  Reply.reserve(8u << 20);
  for (int I = 0; I < kNetworks; ++I) {
    // Every network holds 10.0.0.1 except the ones after the middle; sizes shrink towards it.
    const int Shift = I <= kNetworks / 2 ? 24 - I * 16 / (kNetworks / 2) : 24;
    const std::uint32_t First = I <= kNetworks / 2 ? 0x0A000000u : 0x0B000000u + static_cast<std::uint32_t>(I) * 256;
    const std::uint32_t Last = I <= kNetworks / 2 ? First + ((1u << Shift) - 1) : First + 255;
    Reply += "inetnum: " + NetworkAddressText(First, 32) + " - " + NetworkAddressText(Last, 32) + "\n";
    Reply += "netname: NET-" + std::to_string(I) + "\nabuse-c: R" + std::to_string(I) + "\n" + Padding + "\n";
    Reply += "role: Abuse " + std::to_string(I) + "\nnic-hdl: R" + std::to_string(I) + "\nabuse-mailbox: abuse" +
             std::to_string(I) + "@example.net\n\n";
  }
  ASSERT_GT(Reply.size(), 8u << 20);
  const TWhoisAnswer A = ReadWhoisReply(Reply, "10.0.0.1", "whois.ripe.net");
  ASSERT_TRUE(A.Network);
  EXPECT_EQ(A.Network->Name, "NET-5000");
  EXPECT_EQ(A.Network->Cidrs, std::vector<std::string>{"10.0.0.0/24"});
  ASSERT_EQ(A.Abuse.size(), 1u);
  EXPECT_EQ(A.Abuse[0].Email, "abuse5000@example.net");

  std::string Arin;
  for (int I = 0; I < kNetworks; ++I)
    Arin += "NetRange: 10.0.0.0 - " +
            NetworkAddressText(0x0A000000u + static_cast<std::uint32_t>(kNetworks - I) * 256 + 255, 32) +
            "\nNetName: N" + std::to_string(I) + "\n\nOrgName: Org " + std::to_string(I) + "\nOrgAbuseEmail: a" +
            std::to_string(I) + "@example.net\n\n";
  const TWhoisAnswer B = ReadWhoisReply(Arin, "10.0.0.1", "whois.arin.net");
  ASSERT_TRUE(B.Network);
  EXPECT_EQ(B.Network->Name, "N9999");
  EXPECT_EQ(B.HolderName, "Org 9999");
  ASSERT_EQ(B.Abuse.size(), 1u);
  EXPECT_EQ(B.Abuse[0].Email, "a9999@example.net");
}

// Bytes no registry sends: the answer stays within its caps, never holds a line end or a
// NUL, and a cut never splits a character.
TEST(WhoisAnswer, HostileBytesAndSizes)
{
  const std::string Long(3u << 20, 'A');
  std::string Name = std::string("Caf\xC3\xA9", 5);
  while (Name.size() < 300) Name += "\xC3\xA9";  // two-byte characters across the cap
  std::string Reply = "NetRange: 192.0.2.0 - 192.0.2.255\nNetName: " + Long + "\nOrganization: X" +
                      "\0\x01\x1b[31m\xFF\xFE (ORG-X)\n\nOrgName: "s + Name + "\nCountry: U\0\n"s + "Comment: " + Long +
                      "@example.net\n";
  for (int I = 0; I < 40; ++I) Reply += "OrgAbuseEmail: a" + std::to_string(I) + "@example.net\n";
  Reply += "OrgAbuseEmail: " + std::string(300, 'b') + "@example.net\nOrgAbuseEmail: not a mailbox\n";
  const TWhoisAnswer A = ReadWhoisReply(Reply, "192.0.2.1", "whois.arin.net");
  ASSERT_TRUE(A.Network);
  EXPECT_EQ(A.Network->Name.size(), kAnswerTextMax);
  EXPECT_LE(A.HolderName.size(), kAnswerTextMax);
  EXPECT_EQ(A.HolderName.substr(0, 4), "Caf\xC3");
  EXPECT_NE(static_cast<unsigned char>(A.HolderName.back()), 0xC3);  // no half character at the end
  EXPECT_EQ(A.Country, "");
  EXPECT_EQ(A.Abuse.size(), kAnswerAbuseMax);
  for (const TAbuseContact& C : A.Abuse) EXPECT_LE(C.Email.size(), 254u);

  // A reply of control bytes, NULs and lone line ends only.
  std::string Noise;
  for (int I = 0; I < 100000; ++I) Noise += static_cast<char>(I * 7 % 256);
  for (const std::string& R : {Noise, std::string(100000, '\r'), std::string(1u << 20, ':'),
                               "inetnum: 192.0.2.0 -\0 192.0.2.255\nnetname: \0\0\n"s}) {
    const TWhoisAnswer B = ReadWhoisReply(R, "192.0.2.1", "");
    for (const std::string* F : {&B.HolderName, &B.HolderHandle, &B.Country, &B.AsName})
      EXPECT_EQ(F->find_first_of("\r\n\0"s), std::string::npos);
    EXPECT_LE(B.Abuse.size(), kAnswerAbuseMax);
  }
}

// The network sizes shared with the referral scanner.
TEST(NetworkRange, ReadsTheShapesRegistriesWrite)
{
  struct TRangeRow {
    const char* Text;
    bool Abbreviated;
    const char* First;  // empty: refused
    const char* Last;
    std::vector<std::string> Cidrs;
  };
  const std::vector<TRangeRow> Rows = {
      {"193.0.0.0 - 193.0.8.255", false, "193.0.0.0", "193.0.8.255", {"193.0.0.0/21", "193.0.8.0/24"}},
      {"10.1.2.3/8", false, "10.0.0.0", "10.255.255.255", {"10.0.0.0/8"}},
      {"0.0.0.0 - 255.255.255.255", false, "0.0.0.0", "255.255.255.255", {"0.0.0.0/0"}},
      {"::/0", false, "::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", {"::/0"}},
      {"2001:0600:0000:0000:0000:0000:0000:0000/23",
       false,
       "2001:600::",
       "2001:7ff:ffff:ffff:ffff:ffff:ffff:ffff",
       {"2001:600::/23"}},
      {"8.8.8.1 - 8.8.8.6", false, "8.8.8.1", "8.8.8.6", {"8.8.8.1/32", "8.8.8.2/31", "8.8.8.4/31", "8.8.8.6/32"}},
      {"200.57.128/19", true, "200.57.128.0", "200.57.159.255", {"200.57.128.0/19"}},
      {"200.57.128/19", false, "", "", {}},
      {"177/8", true, "177.0.0.0", "177.255.255.255", {"177.0.0.0/8"}},
      {"192.0.2.255 - 192.0.2.0", false, "", "", {}},
      {"192.0.2.0 - 2001:db8::", false, "", "", {}},
      {"192.0.2.0/33", false, "", "", {}},
      {"192.0.2.0/", false, "", "", {}},
      {"1.2.3/24/8", true, "", "", {}},
  };
  for (const TRangeRow& R : Rows) {
    const auto Range = ParseNetworkRange(R.Text, R.Abbreviated);
    if (R.First[0] == '\0') {
      EXPECT_FALSE(Range) << R.Text;
      continue;
    }
    ASSERT_TRUE(Range) << R.Text;
    EXPECT_EQ(NetworkAddressText(Range->First, Range->Bits), R.First) << R.Text;
    EXPECT_EQ(NetworkAddressText(Range->Last, Range->Bits), R.Last) << R.Text;
    EXPECT_EQ(NetworkRangeCidrs(*Range), R.Cidrs) << R.Text;
  }
  // The worst case of a range, ::1 to the last address but one, needs 254 prefixes.
  const auto Worst = ParseNetworkRange("::1 - ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe");
  ASSERT_TRUE(Worst);
  EXPECT_EQ(NetworkRangeCidrs(*Worst).size(), 254u);
}

}  // namespace
