// SPDX-License-Identifier: MIT
#include "net/WSocketAddress6.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

// "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255"; groups have at most four digits, so no
// valid text is longer.
constexpr std::size_t kMaxAddressText = 45;
// "255.255.255.255".
constexpr std::size_t kMaxAddress4Text = 15;

// Text as the C string inet_pton reads, in Buffer; false when it cannot name an address
// (longer than Max, or with a NUL inside, where inet_pton would stop reading early).
template <std::size_t Max>
bool CString(std::string_view Text, char (&Buffer)[Max + 1])
{
  if (Text.size() > Max || Text.find('\0') != std::string_view::npos) return false;
  std::memcpy(Buffer, Text.data(), Text.size());
  Buffer[Text.size()] = '\0';
  return true;
}

// Zero groups 0 to 5 before a non-zero group 6: the deprecated IPv4-compatible form, which
// inet_ntop writes with a dotted tail ("::192.0.2.1"). Only mapped addresses get one here.
bool IsCompatibleAddress6(const TIpv6Bytes& Address)
{
  for (std::size_t I = 0; I < 12; ++I) {
    if (Address[I] != 0) return false;
  }
  return Address[12] != 0 || Address[13] != 0;
}

}  // namespace

// The C library's readers and writer follow the rules in the header exactly (glibc's
// inet_pton refuses leading zeros in a dotted part, and its inet_ntop writes RFC 5952 text),
// so they do the work; the tests hold them to those rules.
bool WSocketParseAddress6(std::string_view Text, TIpv6Bytes& Out)
{
  char Buffer[kMaxAddressText + 1];
  in6_addr Address;
  if (!CString<kMaxAddressText>(Text, Buffer) || ::inet_pton(AF_INET6, Buffer, &Address) != 1) return false;
  std::memcpy(Out.data(), &Address, Out.size());
  return true;
}

bool WSocketParseAddress4(std::string_view Text, std::uint32_t& Out)
{
  char Buffer[kMaxAddress4Text + 1];
  in_addr Address;
  if (!CString<kMaxAddress4Text>(Text, Buffer) || ::inet_pton(AF_INET, Buffer, &Address) != 1) return false;
  Out = ntohl(Address.s_addr);
  return true;
}

bool WSocketIsMappedAddress6(const TIpv6Bytes& Address)
{
  for (std::size_t I = 0; I < 10; ++I) {
    if (Address[I] != 0) return false;
  }
  return Address[10] == 0xFF && Address[11] == 0xFF;
}

std::string WSocketFormatAddress6(const TIpv6Bytes& Address)
{
  char Text[INET6_ADDRSTRLEN];
  if (IsCompatibleAddress6(Address)) {
    // The leading six zero groups are the longest run: "::" and the last two groups.
    std::snprintf(Text, sizeof Text, "::%x:%x", static_cast<unsigned>(Address[12] << 8 | Address[13]),
                  static_cast<unsigned>(Address[14] << 8 | Address[15]));
    return Text;
  }
  // Cannot fail: the family is known and the buffer holds the longest text.
  ::inet_ntop(AF_INET6, Address.data(), Text, sizeof Text);
  return Text;
}
