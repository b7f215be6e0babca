// SPDX-License-Identifier: MIT
// whoisd: the scripted WHOIS server as a program, for the end-to-end test and the
// benchmarks. One process serves any number of ADDR:PORT[=NAME] listeners until SIGTERM or
// SIGINT; in reply mode each answers with a short record naming NAME, so a test sees which
// server was asked. With --referrals the listeners named after the registries' servers
// answer addresses outside their region as the registries do: referrals and stubs.
#include "tests/support/WhoisServer.h"

#include <arpa/inet.h>

#include <csignal>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

void Usage(std::FILE* To)
{
  std::fputs(
      "usage: whoisd [options] ADDR:PORT[=NAME]...\n"
      "  --mode M         reply (default), endless, drip, nulflood, garbage, hugeline,\n"
      "                   reset, silent, refuse, closeearly\n"
      "  --reply-file F   the reply text (every %q becomes the query line)\n"
      "  --flood-bytes N  size of nulflood/garbage/hugeline replies (default 4194304)\n"
      "  --drip-ms N      pause before each byte in drip mode (default 1000)\n"
      "  --log FILE       append \"NAME QUERY\" for each query received\n"
      "  --referrals      registry-shaped referrals and \"not managed here\" stubs by the\n"
      "                   address's first number (see ReferralReply in whoisd.cpp)\n"
      "  --records        as --referrals, and each registry answers its own space with\n"
      "                   records in its own shape (see RecordReply in whoisd.cpp)\n"
      "Prints one \"listening\" line per listener, then serves until SIGTERM or SIGINT.\n",
      To);
}

std::string DefaultReply(const std::string& Name)
{
  return "% " + Name +
         " test server\r\n"
         "% query %q\r\n"
         "\r\n"
         "inetnum:        %q\r\n"
         "netname:        QUORVEX-TEST\r\n"
         "descr:          answered by " +
         Name +
         "\r\n"
         "source:         " +
         Name +
         "\r\n"
         "\r\n";
}

// The registry that holds a /8, roughly as IANA hands them out; everything else is ARIN's.
std::string RegionOf(int FirstOctet)
{
  static const std::set<int> Afrinic = {41, 102, 105, 154, 196, 197};
  static const std::set<int> Ripe = {2,   5,   31,  37,  46,  62,  77,  78,  79,  80,  81,  82,  83,
                                     84,  85,  86,  87,  88,  89,  90,  91,  92,  93,  94,  95,  109,
                                     141, 145, 151, 176, 178, 185, 188, 193, 194, 195, 212, 213, 217};
  static const std::set<int> Apnic = {1,   14,  27,  36,  39,  42,  43,  49,  58,  59,  60,  61,  101, 103, 106, 110,
                                      111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126,
                                      175, 180, 182, 183, 202, 203, 210, 211, 218, 219, 220, 221, 222, 223};
  static const std::set<int> Lacnic = {177, 179, 181, 186, 187, 189, 190, 191, 200, 201};
  if (Afrinic.count(FirstOctet)) return "whois.afrinic.net";
  if (Ripe.count(FirstOctet)) return "whois.ripe.net";
  if (Apnic.count(FirstOctet)) return "whois.apnic.net";
  if (Lacnic.count(FirstOctet)) return "whois.lacnic.net";
  return "whois.arin.net";
}

std::string Crlf(const std::vector<std::string>& Lines)
{
  std::string Out;
  for (const std::string& L : Lines) Out += L + "\r\n";
  return Out;
}

// An ARIN-shaped answer for a block handed to another registry: the /8, then the organisation
// with the referral lines. Lines holds the referral lines.
std::string ArinReferral(int Octet, const std::string& Holder, const std::vector<std::string>& Lines)
{
  const std::string Net = std::to_string(Octet);
  std::vector<std::string> Out = {
      "#",
      "# Registry test double: the block below belongs to another registry.",
      "#",
      "",
      "NetRange:       " + Net + ".0.0.0 - " + Net + ".255.255.255",
      "CIDR:           " + Net + ".0.0.0/8",
      "NetName:        " + Holder + "-CIDR-" + Net,
      "NetHandle:      NET-" + Net + "-0-0-0-1",
      "NetType:        Allocated to " + Holder,
      "Organization:   " + Holder + " (" + Holder + ")",
      "RegDate:        1999-12-01",
      "Comment:        Registration data for addresses in this block are kept by " + Holder + ".",
      "",
      "OrgName:        " + Holder,
      "OrgId:          " + Holder,
      "Country:        ZZ",
  };
  Out.insert(Out.end(), Lines.begin(), Lines.end());
  Out.push_back("");
  return Crlf(Out);
}

std::string RipeStub(int Octet)
{
  const std::string Net = std::to_string(Octet);
  return Crlf({
      "% Test double of the RIPE Database query service.",
      "",
      "inetnum:        " + Net + ".0.0.0 - " + Net + ".255.255.255",
      "netname:        NON-RIPE-NCC-MANAGED-ADDRESS-BLOCK",
      "descr:          IPv4 address block not managed by the RIPE NCC",
      "remarks:        Another regional registry holds this block; IANA's",
      "remarks:        whois server says which one.",
      "country:        EU # Country is really world wide",
      "status:         ALLOCATED UNSPECIFIED",
      "source:         RIPE",
      "",
  });
}

std::string IanaReply(int Octet, const std::string& Holder)
{
  const std::string Net = std::to_string(Octet);
  return Crlf({
      "% IANA WHOIS server (test double)",
      "% This query returned 1 object",
      "",
      "refer:        " + Holder,
      "",
      "inetnum:      " + Net + ".0.0.0 - " + Net + ".255.255.255",
      "status:       ALLOCATED",
      "",
      "whois:        " + Holder,
      "",
      "source:       IANA",
      "",
  });
}

// IPv6 blocks of the registries other than ARIN, by their first 32 bits, roughly as IANA
// hands them out.
struct TBlock6 {
  std::uint32_t First, Last;
  const char* Region;
  const char* Cidr;
  const char* Range;
};
constexpr TBlock6 kBlocks6[] = {
    {0x20010600, 0x200107ff, "whois.ripe.net", "2001:600::/23", "2001:600:: - 2001:7FF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"},
    {0x20014200, 0x200143ff, "whois.afrinic.net", "2001:4200::/23",
     "2001:4200:: - 2001:43FF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"},
    {0x24000000, 0x240fffff, "whois.apnic.net", "2400::/12", "2400:: - 240F:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"},
    {0x28000000, 0x280fffff, "whois.lacnic.net", "2800::/12", "2800:: - 280F:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"},
    {0x2a000000, 0x2a0fffff, "whois.ripe.net", "2a00::/12", "2A00:: - 2A0F:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"},
    {0x2c000000, 0x2c0fffff, "whois.afrinic.net", "2c00::/12", "2C00:: - 2C0F:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"},
};

// The answers for an IPv6 query, in the registries' IPv6 shapes: ARIN's NetRange with a
// ReferralServer, RIPE's ::/0 root object for space it does not hold, IANA's inet6: with
// refer:. None when Query is no IPv6 address, or ARIN's, or the server's own.
std::optional<std::string> ReferralReply6(const std::string& Name, const std::string& Query)
{
  in6_addr A{};
  if (::inet_pton(AF_INET6, Query.c_str(), &A) != 1) return std::nullopt;
  const std::uint32_t Top = (std::uint32_t{A.s6_addr[0]} << 24) | (std::uint32_t{A.s6_addr[1]} << 16) |
                            (std::uint32_t{A.s6_addr[2]} << 8) | A.s6_addr[3];
  const TBlock6* Block = nullptr;
  for (const TBlock6& B : kBlocks6)
    if (Top >= B.First && Top <= B.Last) Block = &B;
  const std::string Region = Block ? Block->Region : "whois.arin.net";
  if (Region == Name || !Block) return std::nullopt;
  std::string Holder = Region.substr(6, Region.size() - 10);  // "whois.ripe.net" -> "RIPE"
  for (char& C : Holder) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  if (Name == "whois.arin.net")
    return Crlf({"#", "# Registry test double: the IPv6 block below belongs to another registry.", "#", "",
                 std::string("NetRange:       ") + Block->Range, std::string("CIDR:           ") + Block->Cidr,
                 "NetName:        " + Holder + "-IPV6", "NetType:        Allocated to " + Holder,
                 "Organization:   " + Holder + " (" + Holder + ")", "", "ReferralServer: whois://" + Region,
                 "ResourceLink:   https://rdap.example/" + Holder, ""});
  if (Name == "whois.ripe.net")
    return Crlf({"% Test double of the RIPE Database query service.", "", "inet6num:       ::/0",
                 "netname:        IANA-BLK", "descr:          The whole IPv6 address space",
                 "country:        EU # Country is really world wide", "status:         ALLOCATED-BY-RIR",
                 "remarks:        This network is not allocated to the RIPE NCC.", "source:         RIPE", ""});
  if (Name == "whois.iana.org")
    return Crlf({"% IANA WHOIS server (test double)", "", "refer:        " + Region, "",
                 std::string("inet6:        ") + Block->Cidr, "status:       ALLOCATED", "", "whois:        " + Region,
                 "", "source:       IANA", ""});
  return std::nullopt;
}

// --records: the registries' own answers in their own shapes, so that a reader of replies
// finds network, holder, country and abuse contacts where each registry writes them. The
// network is the /24 that holds an IPv4 query (the prefix itself for "A/LEN"), the /48 of an
// IPv6 one. AS numbers: IANA refers AS3333 to RIPE and every other to ARIN, which answer with
// their aut-num and ASNumber records. 2001:db8:bad::/48 is answered with control bytes and
// bytes that are no UTF-8 in its names.
struct TRecordNet {
  std::string First, Last, Cidr, Tag;
  bool V6 = false;
};

std::optional<TRecordNet> RecordNetOf(const std::string& Query)
{
  const std::string Address = Query.substr(0, Query.find('/'));
  const int Length = Query.find('/') == std::string::npos ? -1 : std::atoi(Query.c_str() + Query.find('/') + 1);
  in_addr A4{};
  if (::inet_pton(AF_INET, Address.c_str(), &A4) == 1) {
    const int Len = Length >= 8 && Length <= 32 ? Length : 24;
    const std::uint32_t N = ntohl(A4.s_addr);
    const std::uint32_t Mask = Len == 32 ? ~0u : ~((1u << (32 - Len)) - 1);
    auto Dotted = [](std::uint32_t V) {
      return std::to_string(V >> 24) + "." + std::to_string((V >> 16) & 255) + "." + std::to_string((V >> 8) & 255) +
             "." + std::to_string(V & 255);
    };
    TRecordNet R{Dotted(N & Mask), Dotted((N & Mask) | ~Mask), "", "", false};
    R.Cidr = R.First + "/" + std::to_string(Len);
    R.Tag = R.First;
    for (char& C : R.Tag)
      if (C == '.') C = '-';
    return R;
  }
  in6_addr A6{};
  if (::inet_pton(AF_INET6, Address.c_str(), &A6) != 1) return std::nullopt;
  for (int I = 6; I < 16; ++I) A6.s6_addr[I] = 0;
  char Text[INET6_ADDRSTRLEN];
  ::inet_ntop(AF_INET6, &A6, Text, sizeof Text);
  TRecordNet R{Text, "", "", "", true};
  for (int I = 6; I < 16; ++I) A6.s6_addr[I] = 0xFF;
  ::inet_ntop(AF_INET6, &A6, Text, sizeof Text);
  R.Last = Text;
  R.Cidr = R.First + "/48";
  R.Tag = R.First;
  for (char& C : R.Tag)
    if (C == ':') C = '-';
  while (!R.Tag.empty() && R.Tag.back() == '-') R.Tag.pop_back();
  return R;
}

std::string AsRecord(const std::string& Name, const std::string& Query)
{
  const std::string Number = Query.substr(2);
  if (Name == "whois.iana.org")
    return Crlf({"% IANA WHOIS server (test double)", "",
                 "refer:        " + std::string(Number == "3333" ? "whois.ripe.net" : "whois.arin.net"), "",
                 "as-block:     AS" + Number + "-AS" + Number, "status:       ALLOCATED", "", "source:       IANA",
                 ""});
  if (Name == "whois.ripe.net")
    return Crlf({"% Test double of the RIPE Database query service.", "", "aut-num:        " + Query,
                 "as-name:        RIPE-NCC-AS", "org:            ORG-RIEN1-RIPE", "abuse-c:        AR40377-RIPE",
                 "source:         RIPE", "", "role:           Abuse Contact", "abuse-mailbox:  abuse@ripe.example",
                 "nic-hdl:        AR40377-RIPE", "source:         RIPE", ""});
  return Crlf({"#", "# ARIN test double", "#", "", "ASNumber:       " + Number, "ASName:         AS-" + Number,
               "ASHandle:       " + Query, "", "OrgName:        Holder of AS" + Number, "OrgId:          HAS" + Number,
               "Country:        US", "", "OrgAbuseHandle: ABUSE" + Number + "-ARIN",
               "OrgAbuseEmail:  abuse@as" + Number + ".example", ""});
}

std::string RecordReply(const std::string& Name, const std::string& Query)
{
  if (Query.size() > 2 && (Query[0] == 'A' || Query[0] == 'a') && (Query[1] == 'S' || Query[1] == 's') &&
      Query.find_first_not_of("0123456789", 2) == std::string::npos)
    return AsRecord(Name, Query);
  const auto Net = RecordNetOf(Query);
  if (!Net) return ExpandReply(DefaultReply(Name), Query);
  const std::string Tag = Net->Tag;
  const bool Hostile = Net->First == "2001:db8:bad::";
  const std::string Bad = Hostile ? std::string("\x1b[31m\x07\xff\xfe\xc3(\x7f") + std::string(1, '\0') + "x" : "";
  if (Name == "whois.arin.net")
    return Crlf({"#", "# ARIN test double", "#", "", "NetRange:       " + Net->First + " - " + Net->Last,
                 "CIDR:           " + Net->Cidr, "NetName:        NET-" + Tag + Bad,
                 "NetHandle:      NET-" + Tag + "-1", "NetType:        Direct Allocation",
                 "Organization:   Holder " + Tag + " (H-" + Tag + ")", "", "OrgName:        Holder " + Tag + Bad,
                 "OrgId:          H-" + Tag, "Country:        US", "", "OrgAbuseHandle: ABUSE-" + Tag + "-ARIN",
                 "OrgAbuseEmail:  abuse@" + Tag + ".example", ""});
  if (Name == "whois.ripe.net" || Name == "whois.afrinic.net") {
    const std::string Source = Name == "whois.ripe.net" ? "RIPE" : "AFRINIC";
    return Crlf(
        {"% Test double of the " + Source + " Database query service.",
         "",
         "% Abuse contact for '" + Net->First + " - " + Net->Last + "' is 'abuse@" + Tag + ".example'",
         "",
         std::string(Net->V6 ? "inet6num:       " + Net->Cidr : "inetnum:        " + Net->First + " - " + Net->Last),
         "netname:        NET-" + Tag,
         "country:        " + std::string(Source == "RIPE" ? "NL" : "ZA"),
         "org:            ORG-" + Tag + "-" + Source,
         "admin-c:        HM" + Tag + "-" + Source,
         "abuse-c:        AR" + Tag + "-" + Source,
         "status:         ASSIGNED PA",
         "source:         " + Source,
         "",
         "organisation:   ORG-" + Tag + "-" + Source,
         "org-name:       Holder " + Tag,
         "source:         " + Source,
         "",
         "role:           Abuse desk " + Tag,
         "abuse-mailbox:  abuse@" + Tag + ".example",
         "nic-hdl:        AR" + Tag + "-" + Source,
         "source:         " + Source,
         ""});
  }
  if (Name == "whois.apnic.net")
    return Crlf(
        {"% [whois.apnic.net] test double", "",
         std::string(Net->V6 ? "inet6num:       " + Net->Cidr : "inetnum:        " + Net->First + " - " + Net->Last),
         "netname:        NET-" + Tag, "descr:          Holder " + Tag, "country:        AU",
         "mnt-irt:        IRT-" + Tag + "-AP", "status:         ASSIGNED NON-PORTABLE", "source:         APNIC", "",
         "irt:            IRT-" + Tag + "-AP", "e-mail:         abuse@" + Tag + ".example",
         "abuse-mailbox:  abuse@" + Tag + ".example", "source:         APNIC", ""});
  if (Name == "whois.lacnic.net")
    return Crlf({"% LACNIC test double", "", "inetnum:     " + Net->Cidr, "status:      assigned",
                 "owner:       Holder " + Tag, "ownerid:     BR-H" + Tag + "-LACNIC", "country:     BR",
                 "abuse-c:     ABU" + Tag, "", "nic-hdl:     ABU" + Tag, "person:      Abuse desk",
                 "e-mail:      abuse@" + Tag + ".example", ""});
  return ExpandReply(DefaultReply(Name), Query);
}

// The scripted answer of server Name for Query: ARIN refers addresses of other regions,
// RIPE answers them with its stub, IANA names the region's server. Three documentation
// networks (which no registry holds) play the cases a follower must survive:
//   192.0.2.x     ARIN refers to LACNIC, LACNIC back to ARIN (a loop);
//   198.51.100.x  ARIN refers to rwhois://127.0.0.8:4321, where nothing listens (refused);
//   203.0.113.x   ARIN's reply carries hostile referral lines before the real one (RIPE);
//                 RIPE is a stub, IANA refers to APNIC, APNIC to LACNIC (past the hop limit).
// IPv6 queries get the IPv6 shapes of ReferralReply6.
std::string ReferralReply(const std::string& Name, const std::string& Query, bool Records = false)
{
  const auto Own = [&] { return Records ? RecordReply(Name, Query) : ExpandReply(DefaultReply(Name), Query); };
  if (Records && Query.size() > 2 && (Query[0] == 'A' || Query[0] == 'a') && (Query[1] == 'S' || Query[1] == 's'))
    return Own();
  if (auto Reply6 = ReferralReply6(Name, Query)) return *Reply6;
  int Octets[4] = {0, 0, 0, 0};
  if (std::sscanf(Query.c_str(), "%d.%d.%d.%d", &Octets[0], &Octets[1], &Octets[2], &Octets[3]) != 4) return Own();
  const int A = Octets[0];
  const std::string Net24 = std::to_string(A) + "." + std::to_string(Octets[1]) + "." + std::to_string(Octets[2]);
  const std::string Region = RegionOf(A);
  if (Name == "whois.arin.net") {
    if (Net24 == "192.0.2") return ArinReferral(A, "LACNIC", {"ReferralServer: whois://whois.lacnic.net"});
    if (Net24 == "198.51.100") return ArinReferral(A, "RWHOIS", {"ReferralServer: rwhois://127.0.0.8:4321"});
    if (Net24 == "203.0.113")
      return ArinReferral(A, "RIPE",
                          {
                              "ReferralServer: whois://" + std::string(600, 'x') + ".example",
                              "ReferralServer: whois://whois.ripe.net:0",
                              "ReferralServer: whois://whois.ripe.net:99999",
                              "ReferralServer: ldap://whois.ripe.net",
                              "ResourceLink:   https://www.example.net/search",
                              "ReferralServer: whois://who_is.example",
                              "ReferralServer: whois://whois.ripe.net",
                          });
    if (Region == "whois.ripe.net")
      return ArinReferral(
          A, "RIPE", {"ReferralServer: whois://whois.ripe.net", "ResourceLink:   https://apps.db.ripe.example/search"});
    if (Region == "whois.afrinic.net") return ArinReferral(A, "AFRINIC", {"ReferralServer: whois://whois.afrinic.net"});
    if (Region == "whois.apnic.net") return ArinReferral(A, "APNIC", {"ResourceLink:   whois.apnic.net"});
    if (Region == "whois.lacnic.net") return ArinReferral(A, "LACNIC", {"ReferralServer: whois://whois.lacnic.net"});
  } else if (Name == "whois.ripe.net") {
    if (Net24 == "203.0.113" || Region != Name) return RipeStub(A);
  } else if (Name == "whois.apnic.net") {
    if (Net24 == "203.0.113") return ArinReferral(A, "LACNIC", {"ReferralServer: whois://whois.lacnic.net"});
  } else if (Name == "whois.lacnic.net") {
    if (Net24 == "192.0.2") return ArinReferral(A, "ARIN", {"ReferralServer: whois://whois.arin.net"});
  } else if (Name == "whois.iana.org") {
    return IanaReply(A, Net24 == "203.0.113" ? "whois.apnic.net" : Region);
  }
  return Own();
}

}  // namespace

int main(int Argc, char** Argv)
{
  TServerOptions Base;
  std::string ReplyFile, LogFile;
  bool HaveReply = false;
  bool Referrals = false;
  bool Records = false;
  std::vector<std::string> Listeners;
  for (int I = 1; I < Argc; ++I) {
    const std::string A = Argv[I];
    auto Next = [&]() -> std::string {
      if (I + 1 >= Argc) {
        Usage(stderr);
        std::exit(2);
      }
      return Argv[++I];
    };
    if (A == "--help" || A == "-h") {
      Usage(stdout);
      return 0;
    } else if (A == "--mode") {
      if (!ParseServerMode(Next(), Base.Mode)) {
        Usage(stderr);
        return 2;
      }
    } else if (A == "--reply-file") {
      ReplyFile = Next();
    } else if (A == "--flood-bytes") {
      Base.FloodBytes = std::strtoull(Next().c_str(), nullptr, 10);
    } else if (A == "--drip-ms") {
      Base.DripIntervalMs = std::atoi(Next().c_str());
    } else if (A == "--referrals") {
      Referrals = true;
    } else if (A == "--records") {
      Referrals = Records = true;
    } else if (A == "--log") {
      LogFile = Next();
    } else if (!A.empty() && A[0] == '-') {
      Usage(stderr);
      return 2;
    } else {
      Listeners.push_back(A);
    }
  }
  if (Listeners.empty()) {
    Usage(stderr);
    return 2;
  }
  if (!ReplyFile.empty()) {
    std::ifstream In(ReplyFile, std::ios::binary);
    if (!In) {
      std::fprintf(stderr, "whoisd: cannot read %s\n", ReplyFile.c_str());
      return 2;
    }
    std::ostringstream S;
    S << In.rdbuf();
    Base.Reply = S.str();
    HaveReply = true;
  }

  // Block the stop signals before any thread starts, so only sigwait below sees them.
  sigset_t Stop;
  sigemptyset(&Stop);
  sigaddset(&Stop, SIGTERM);
  sigaddset(&Stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &Stop, nullptr);

  auto LogMutex = std::make_shared<std::mutex>();
  std::vector<std::unique_ptr<TWhoisServer>> Servers;
  for (const std::string& L : Listeners) {
    const auto Eq = L.find('=');
    const std::string HostPort = L.substr(0, Eq);
    const std::string Name = Eq == std::string::npos ? HostPort : L.substr(Eq + 1);
    const auto Colon = HostPort.rfind(':');
    if (Colon == std::string::npos) {
      Usage(stderr);
      return 2;
    }
    TServerOptions O = Base;
    O.Address = HostPort.substr(0, Colon);
    O.Port = static_cast<std::uint16_t>(std::atoi(HostPort.c_str() + Colon + 1));
    if (!HaveReply) O.Reply = DefaultReply(Name);
    if (Referrals)
      O.ReplyFor = [Name, Records](const std::string& Query) { return ReferralReply(Name, Query, Records); };
    if (!LogFile.empty()) {
      O.OnQuery = [LogFile, Name, LogMutex](const std::string& Query) {
        std::lock_guard Lock(*LogMutex);
        std::ofstream(LogFile, std::ios::app) << Name << ' ' << Query << '\n';
      };
    }
    try {
      Servers.push_back(std::make_unique<TWhoisServer>(O));
    } catch (const std::exception& E) {
      std::fprintf(stderr, "whoisd: %s\n", E.what());
      return 1;
    }
    std::printf("whoisd: listening on %s:%u (%s)\n", O.Address.c_str(), static_cast<unsigned>(Servers.back()->Port()),
                Name.c_str());
  }
  std::fflush(stdout);
  int Sig = 0;
  sigwait(&Stop, &Sig);
  return 0;
}
