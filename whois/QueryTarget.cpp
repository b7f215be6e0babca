// SPDX-License-Identifier: MIT
#include "whois/QueryTarget.h"

#include <cstddef>

#include "text/AsciiText.h"

namespace {

// A decimal number without sign or leading zeros, at most Max; nothing for anything else.
std::optional<std::uint64_t> ParseDecimal(std::string_view S, std::uint64_t Max)
{
  if (S.empty() || S.size() > 10 || (S.size() > 1 && S[0] == '0')) return std::nullopt;
  std::uint64_t Value = 0;
  for (const char C : S) {
    if (!IsAsciiDigit(C)) return std::nullopt;
    Value = Value * 10 + static_cast<std::uint64_t>(C - '0');
  }
  if (Value > Max) return std::nullopt;
  return Value;
}

std::string DottedText(std::uint32_t Ip)
{
  return std::to_string(Ip >> 24) + '.' + std::to_string((Ip >> 16) & 0xFF) + '.' + std::to_string((Ip >> 8) & 0xFF) +
         '.' + std::to_string(Ip & 0xFF);
}

std::uint32_t Ipv4Mask(unsigned Length) { return Length == 0 ? 0 : ~std::uint32_t{0} << (32 - Length); }

}  // namespace

std::optional<std::uint32_t> ParseStrictIpv4(std::string_view Text)
{
  std::uint32_t Ip = 0;
  std::size_t Start = 0;
  for (int Part = 0; Part < 4; ++Part) {
    const std::size_t Dot = Part < 3 ? Text.find('.', Start) : Text.size();
    if (Dot == std::string_view::npos || Dot - Start > 3) return std::nullopt;
    const auto Value = ParseDecimal(Text.substr(Start, Dot - Start), 255);
    if (!Value) return std::nullopt;
    Ip = Ip << 8 | static_cast<std::uint32_t>(*Value);
    Start = Dot + 1;
  }
  return Ip;
}

std::optional<TAsNumber> ParseAsNumber(std::string_view Text)
{
  std::string_view S = TrimBlankOrControl(Text);
  if (S.size() < 3 || !StartsWithNoCase(S, "AS")) return std::nullopt;
  S.remove_prefix(2);
  if (S.front() == ' ') S.remove_prefix(1);
  std::optional<std::uint64_t> Number;
  if (const std::size_t Dot = S.find('.'); Dot != std::string_view::npos) {
    const auto High = ParseDecimal(S.substr(0, Dot), 65535);
    const auto Low = ParseDecimal(S.substr(Dot + 1), 65535);
    if (High && Low) Number = *High << 16 | *Low;
  } else {
    Number = ParseDecimal(S, 4294967295u);
  }
  if (!Number || *Number == 0) return std::nullopt;
  TAsNumber As;
  As.Number = static_cast<std::uint32_t>(*Number);
  As.Text = "AS" + std::to_string(As.Number);
  return As;
}

std::optional<TQueryPrefix> ParseQueryPrefix(std::string_view Text)
{
  const std::string_view S = TrimBlankOrControl(Text);
  const std::size_t Slash = S.find('/');
  if (Slash == std::string_view::npos) return std::nullopt;
  const std::string_view AddressText = S.substr(0, Slash);
  const std::string_view LengthText = S.substr(Slash + 1);
  TQueryPrefix Prefix;

  if (const auto Ip = ParseStrictIpv4(AddressText)) {
    const auto Length = ParseDecimal(LengthText, 32);
    if (!Length) return std::nullopt;
    Prefix.Length = static_cast<unsigned>(*Length);
    Prefix.Ipv4 = *Ip & Ipv4Mask(Prefix.Length);
    Prefix.HostBitsSet = Prefix.Ipv4 != *Ip;
  } else {
    const auto Length = ParseDecimal(LengthText, 128);
    TIpv6Bytes Bytes{};
    if (!Length || !WSocketParseAddress6(AddressText, Bytes)) return std::nullopt;
    Prefix.Length = static_cast<unsigned>(*Length);
    TIpv6Bytes Network = Bytes;
    for (unsigned Bit = Prefix.Length; Bit < 128; ++Bit)
      Network[Bit / 8] = static_cast<std::uint8_t>(Network[Bit / 8] & ~(0x80u >> (Bit % 8)));
    Prefix.HostBitsSet = Network != Bytes;
    if (Prefix.Length >= 96 && WSocketIsMappedAddress6(Network)) {
      Prefix.Length -= 96;
      Prefix.Ipv4 = std::uint32_t{Network[12]} << 24 | std::uint32_t{Network[13]} << 16 |
                    std::uint32_t{Network[14]} << 8 | Network[15];
    } else {
      Prefix.Ipv6 = true;
      Prefix.Ipv6Bytes = Network;
    }
  }
  Prefix.Address = Prefix.Ipv6 ? WSocketFormatAddress6(Prefix.Ipv6Bytes) : DottedText(Prefix.Ipv4);
  Prefix.Text = Prefix.Address + "/" + std::to_string(Prefix.Length);
  return Prefix;
}
