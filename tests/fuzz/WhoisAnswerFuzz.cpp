// SPDX-License-Identifier: MIT
// The answer readers on arbitrary replies: never crash, and whatever the reply holds the
// answer stays within its caps: texts short and free of line ends and NULs, a few abuse
// contacts that each read as a mailbox, a network whose texts parse back into a range its
// prefixes cover, a two-letter country, a valid host as the national registry. The first
// byte picks the query and the server, so that every reader and query kind is reached.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "whois/NetworkRange.h"
#include "whois/WhoisAnswer.h"
#include "whois/WhoisReferral.h"

namespace {

constexpr std::string_view kQueries[] = {"192.0.2.1",       "2001:db8::1",     "AS15169",
                                         "198.51.100.0/24", "::ffff:10.0.0.1", "host.example"};
constexpr std::string_view kServers[] = {
    "whois.arin.net",    "whois.ripe.net",          "whois.apnic.net", "whois.lacnic.net",
    "whois.afrinic.net", "rwhois.example.net:4321", "whois.iana.org",  ""};

void CheckText(const std::string& Text)
{
  if (Text.size() > kAnswerTextMax) std::abort();
  for (const char C : Text) {
    if (C == '\r' || C == '\n' || C == '\0') std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  if (Size == 0) return 0;
  const std::string_view Query = kQueries[Data[0] % std::size(kQueries)];
  const std::string_view Server = kServers[(Data[0] / std::size(kQueries)) % std::size(kServers)];
  const std::string_view Reply(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  const TWhoisAnswer A = ReadWhoisReply(Reply, Query, Server);

  for (const std::string* Text : {&A.AsNumber, &A.AsName, &A.HolderName, &A.HolderHandle, &A.Country, &A.DetailsAt})
    CheckText(*Text);
  if (A.Abuse.size() > kAnswerAbuseMax || (A.Abuse.empty() == (A.AbuseState == TAbuseState::Found))) std::abort();
  for (const TAbuseContact& C : A.Abuse) {
    CheckText(C.Email);
    CheckText(C.Object);
    if (C.Email.empty() || C.Object.empty() || C.Email.find('@') == std::string::npos) std::abort();
  }
  if (!A.Country.empty()) {
    if (A.Country.size() != 2) std::abort();
    for (const char C : A.Country) {
      if (C < 'A' || C > 'Z') std::abort();
    }
  }
  if (!A.DetailsAt.empty() && !IsValidReferralHost(A.DetailsAt)) std::abort();
  if (A.Network && !A.AsNumber.empty()) std::abort();
  if (A.Network) {
    const auto Range = ParseNetworkRange(A.Network->First + " - " + A.Network->Last);
    if (!Range || A.Network->Cidrs.empty() || A.Network->Cidrs.size() > 256) std::abort();
    CheckText(A.Network->Name);
    CheckText(A.Network->Handle);
    const auto FirstPrefix = ParseNetworkRange(A.Network->Cidrs.front());
    const auto LastPrefix = ParseNetworkRange(A.Network->Cidrs.back());
    if (!FirstPrefix || !LastPrefix || FirstPrefix->First != Range->First || LastPrefix->Last != Range->Last)
      std::abort();
  }
  if (A.Server != Server) std::abort();
  return 0;
}
