// SPDX-License-Identifier: MIT
#include "whois/NetworkRange.h"

#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "net/WSocketAddress6.h"
#include "text/AsciiText.h"

namespace {

TUint128 AllOnes(int Bits) { return Bits >= 128 ? ~TUint128{0} : (TUint128{1} << Bits) - 1; }

// LACNIC's "200.57.128" of "200.57.128/19": one to three dotted numbers, the rest zero.
bool ParseShortDotted(std::string_view S, std::uint32_t& Value)
{
  const auto Dots = std::count(S.begin(), S.end(), '.');
  if (Dots < 0 || Dots > 2) return false;
  std::string Full(S);
  for (auto I = Dots; I < 3; ++I) Full += ".0";
  return ParseDottedAddress(Full, Value);
}

}  // namespace

bool ParseDottedAddress(std::string_view S, std::uint32_t& Value, bool Strict)
{
  if (Strict) return WSocketParseAddress4(S, Value);
  std::uint32_t V = 0;
  int Parts = 0;
  std::size_t I = 0;
  while (Parts < 4) {
    std::size_t Digits = 0;
    std::uint32_t Part = 0;
    while (I < S.size() && IsAsciiDigit(S[I]) && Digits < 4) {
      Part = Part * 10 + static_cast<std::uint32_t>(S[I] - '0');
      ++I;
      ++Digits;
    }
    if (Digits == 0 || Digits > 3 || Part > 255) return false;
    V = (V << 8) | Part;
    ++Parts;
    if (Parts < 4) {
      if (I >= S.size() || S[I] != '.') return false;
      ++I;
    }
  }
  if (I != S.size()) return false;
  Value = V;
  return true;
}

bool ParseIpv6Number(std::string_view S, TUint128& Value)
{
  if (S.empty() || S.size() > INET6_ADDRSTRLEN) return false;
  in6_addr A{};
  if (::inet_pton(AF_INET6, std::string(S).c_str(), &A) != 1) return false;
  Value = 0;
  for (const std::uint8_t Byte : A.s6_addr) Value = (Value << 8) | Byte;
  return true;
}

bool ParseNetworkAddress(std::string_view S, TUint128& Value, int& Bits)
{
  std::uint32_t V4 = 0;
  if (ParseDottedAddress(S, V4)) {
    Value = V4;
    Bits = 32;
    return true;
  }
  Bits = 128;
  return ParseIpv6Number(S, Value);
}

std::optional<TNetworkRange> ParseNetworkRange(std::string_view Value, bool Abbreviated)
{
  TNetworkRange Range;
  TUint128 A = 0, B = 0;
  int BitsA = 0, BitsB = 0;
  const std::size_t Dash = Value.find('-');
  if (Dash != std::string_view::npos) {
    if (!ParseNetworkAddress(TrimSpaceOrTab(Value.substr(0, Dash)), A, BitsA) ||
        !ParseNetworkAddress(TrimSpaceOrTab(Value.substr(Dash + 1)), B, BitsB) || BitsA != BitsB || A > B)
      return std::nullopt;
    Range.First = A;
    Range.Last = B;
    Range.Bits = BitsA;
    return Range;
  }
  const std::size_t Slash = Value.find('/');
  if (Slash == std::string_view::npos) return std::nullopt;
  const std::string_view Address = TrimSpaceOrTab(Value.substr(0, Slash));
  if (!ParseNetworkAddress(Address, A, BitsA)) {
    std::uint32_t V4 = 0;
    if (!Abbreviated || Address.size() > 11 || !ParseShortDotted(Address, V4)) return std::nullopt;
    A = V4;
    BitsA = 32;
  }
  const std::string_view Len = TrimSpaceOrTab(Value.substr(Slash + 1));
  if (Len.empty() || Len.size() > 3 || !std::all_of(Len.begin(), Len.end(), IsAsciiDigit)) return std::nullopt;
  const int Prefix = std::stoi(std::string(Len));
  if (Prefix > BitsA) return std::nullopt;
  const TUint128 Host = AllOnes(BitsA - Prefix);
  Range.First = A & ~Host;
  Range.Last = Range.First | Host;
  Range.Bits = BitsA;
  return Range;
}

std::string NetworkAddressText(TUint128 Value, int Bits)
{
  if (Bits == 32) {
    std::string Text;
    for (int Shift = 24; Shift >= 0; Shift -= 8) {
      if (!Text.empty()) Text += '.';
      Text += std::to_string(static_cast<unsigned>((Value >> Shift) & 0xFF));
    }
    return Text;
  }
  TIpv6Bytes Bytes{};
  for (std::size_t I = 0; I < Bytes.size(); ++I)
    Bytes[I] = static_cast<std::uint8_t>(Value >> (8 * (Bytes.size() - 1 - I)));
  return WSocketFormatAddress6(Bytes);
}

std::vector<std::string> NetworkRangeCidrs(const TNetworkRange& Range)
{
  std::vector<std::string> Out;
  if (Range.First > Range.Last || (Range.Bits != 32 && Range.Bits != 128)) return Out;
  TUint128 First = Range.First;
  for (;;) {
    const TUint128 Remaining = Range.Last - First;
    // The largest block aligned at First that ends no later than Last.
    int HostBits = 0;
    while (HostBits < Range.Bits && ((First >> HostBits) & 1) == 0 && AllOnes(HostBits + 1) <= Remaining) ++HostBits;
    Out.push_back(NetworkAddressText(First, Range.Bits) + "/" + std::to_string(Range.Bits - HostBits));
    if (AllOnes(HostBits) == Remaining) break;
    First += AllOnes(HostBits) + 1;
  }
  return Out;
}
