// SPDX-License-Identifier: MIT
// The RDAP reader on arbitrary bodies: never crash, never recurse or allocate past what the
// body's size allows, and whatever it holds the answer stays within its caps: texts short and
// free of control characters, a few abuse contacts that each read as a mailbox, a network
// whose range holds the query and whose prefixes cover it, a two-letter country. The first
// byte picks the query and the server.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "whois/NetworkRange.h"
#include "whois/RdapAnswer.h"

namespace {

constexpr std::string_view kQueries[] = {"192.0.2.1", "2001:db8::1", "AS15169", "198.51.100.0/24", "200.160.2.3"};
constexpr std::string_view kServers[] = {"rdap.arin.net",   "rdap.db.ripe.net", "rdap.apnic.net",
                                         "rdap.lacnic.net", "rdap.afrinic.net", "rdap.example:8443"};

void CheckText(const std::string& Text)
{
  if (Text.size() > kAnswerTextMax) std::abort();
  for (const char C : Text) {
    if (static_cast<unsigned char>(C) < 0x20 || C == 0x7f) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  if (Size == 0) return 0;
  const std::string_view Query = kQueries[Data[0] % std::size(kQueries)];
  const std::string_view Server = kServers[(Data[0] / std::size(kQueries)) % std::size(kServers)];
  const std::string_view Body(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  const TRdapReading R = ReadRdapResponse(Body, Query, Server);
  const TWhoisAnswer& A = R.Answer;
  RdapElsewhere(R);

  for (const std::string* Text : {&A.AsNumber, &A.AsName, &A.HolderName, &A.HolderHandle, &A.Country, &R.Type,
                                  &R.ParentHandle, &R.Port43, &R.ErrorTitle, &R.ErrorDescription})
    CheckText(*Text);
  if (A.Abuse.size() > kAnswerAbuseMax || (A.Abuse.empty() == (A.AbuseState == TAbuseState::Found))) std::abort();
  for (const TAbuseContact& C : A.Abuse) {
    CheckText(C.Email);
    CheckText(C.Object);
    if (C.Email.find('@') == std::string::npos || C.Object.empty()) std::abort();
  }
  if (!A.Country.empty() && (A.Country.size() != 2 || A.Country[0] < 'A' || A.Country[0] > 'Z')) std::abort();
  if (A.Network && R.Problem.empty() && !A.Network->First.empty()) {
    const auto Range = ParseNetworkRange(A.Network->First + " - " + A.Network->Last);
    const auto Asked =
        ParseNetworkRange(Query.find('/') == std::string_view::npos ? std::string(Query) + " - " + std::string(Query)
                                                                    : std::string(Query));
    if (!Range || !Asked || Range->First > Asked->First || Asked->Last > Range->Last) std::abort();
    CheckText(A.Network->Name);
    CheckText(A.Network->Handle);
    if (!A.Network->Cidrs.empty()) {
      const auto FirstPrefix = ParseNetworkRange(A.Network->Cidrs.front());
      if (!FirstPrefix || FirstPrefix->First < Range->First) std::abort();
    }
  }
  if (A.Server != Server || A.Source != "rdap") std::abort();
  return 0;
}
