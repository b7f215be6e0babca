// SPDX-License-Identifier: MIT
#include "whois/Ipv6Address.h"

#include <string>

#include "text/AsciiText.h"

namespace {

// "[IPv6:" + the longest address (45) + '%' + zone + "]:65535".
constexpr std::size_t kMaxText = 6 + 45 + 1 + kMaxIpv6Zone + 7;

bool IsZoneChar(char C)
{
  return IsAsciiDigit(C) || IsAsciiLetter(C) || C == '-' || C == '.' || C == '_' || C == '~' || C == '%';
}

}  // namespace

bool IsPortText(std::string_view Text)
{
  if (Text.empty() || Text.size() > 5) return false;
  unsigned Value = 0;
  for (const char C : Text) {
    if (!IsAsciiDigit(C)) return false;
    Value = Value * 10 + static_cast<unsigned>(C - '0');
  }
  return Value <= 65535;
}

std::optional<TIpv6Address> ParseIpv6Address(std::string_view Text)
{
  if (Text.size() > kMaxText) return std::nullopt;
  std::string_view S = Text;
  if (!S.empty() && S.front() == '[') {
    const std::size_t Close = S.find(']');
    if (Close == std::string_view::npos) return std::nullopt;
    const std::string_view After = S.substr(Close + 1);
    if (!After.empty() && (After.front() != ':' || !IsPortText(After.substr(1)))) return std::nullopt;
    S = S.substr(1, Close - 1);
  }
  if (StartsWithNoCase(S, "ipv6:")) S.remove_prefix(5);
  if (const std::size_t Percent = S.find('%'); Percent != std::string_view::npos) {
    const std::string_view Zone = S.substr(Percent + 1);
    if (Zone.empty() || Zone.size() > kMaxIpv6Zone) return std::nullopt;
    for (const char C : Zone) {
      if (!IsZoneChar(C)) return std::nullopt;
    }
    S = S.substr(0, Percent);
  }

  TIpv6Address Address;
  if (!WSocketParseAddress6(S, Address.Bytes)) return std::nullopt;
  Address.Text = WSocketFormatAddress6(Address.Bytes);
  if (WSocketIsMappedAddress6(Address.Bytes)) {
    for (std::size_t I = 12; I < 16; ++I) {
      if (I > 12) Address.MappedIpv4 += '.';
      Address.MappedIpv4 += std::to_string(Address.Bytes[I]);
    }
  }
  return Address;
}
