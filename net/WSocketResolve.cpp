// SPDX-License-Identifier: MIT
#include "net/WSocketResolve.h"

#include <cstring>

#include <arpa/inet.h>

#include "net/SocketApi.h"
#include "net/SocketErrors.h"
#include "text/AsciiText.h"

namespace {

// Longest host name the resolvers accept, and the bound on port and protocol texts.
constexpr std::size_t kMaxHostNameLength = 256;
constexpr std::size_t kMaxServiceTextLength = 31;

// The C lookups stop at the first NUL, so "a\0b" would silently become the name "a".
// Such a text names nothing.
bool HasNul(const std::string& Text) { return Text.find('\0') != std::string::npos; }

// An exception's text is read up to its first NUL, which would drop the rest of the
// message; a NUL inside a quoted name is shown as '?'.
std::string ForMessage(std::string Text)
{
  for (char& C : Text) {
    if (C == '\0') C = '?';
  }
  return Text;
}

std::string LastErrorText() { return std::to_string(WSocket_WSAGetLastError()); }

}  // namespace

bool IsDottedAddress(std::string_view Text)
{
  std::size_t I = 0;
  const std::size_t N = Text.size();
  while (I < N && Text[I] == ' ') ++I;
  if (I == N || Text[I] == '.') return false;

  int Dots = 0;
  // Saturates just above 255: a part of any length that exceeds 255 stays "too big"
  // without overflowing.
  int Value = 0;
  for (; I < N; ++I) {
    const char C = Text[I];
    if (IsAsciiDigit(C)) {
      Value = Value * 10 + (C - '0');
      if (Value > 255) Value = 256;
    } else if (C == '.') {
      if (Dots == 3 || Value > 255 || I + 1 == N || !IsAsciiDigit(Text[I + 1])) return false;
      ++Dots;
      Value = 0;
    } else {
      for (std::size_t J = I; J < N; ++J) {
        if (Text[J] != ' ') return false;
      }
      break;
    }
  }
  return Dots == 3 && Value <= 255;
}

std::int32_t ParseLeadingNumber(std::string_view Text)
{
  std::size_t I = 0;
  while (I < Text.size() && Text[I] == ' ') ++I;
  // Accumulated modulo 2^32 so that a long run of digits cannot overflow; a port keeps
  // its low 16 bits either way.
  std::uint32_t Value = 0;
  for (; I < Text.size() && IsAsciiDigit(Text[I]); ++I) Value = Value * 10u + static_cast<std::uint32_t>(Text[I] - '0');
  return static_cast<std::int32_t>(Value);
}

hostent* WSocketGetHostByName(const std::string& Name)
{
  if (Name.empty() || Name.size() > kMaxHostNameLength)
    throw ESocketException("WSocketGetHostByName: Invalid Hostname.");
  if (HasNul(Name)) {
    WSocket_WSASetLastError(kWsaHostNotFound);
    return nullptr;
  }
  return WSocket_gethostbyname(Name.c_str());
}

std::uint32_t WSocketResolveHost(const std::string& Text)
{
  if (Text.empty() || Text.size() > kMaxHostNameLength)
    throw ESocketException("WSocketResolveHost: '" + ForMessage(Text) + "' Invalid Hostname.");
  const std::string T(TrimBlankOrControl(Text));

  if (IsDottedAddress(Text)) {
    const std::uint32_t Addr = WSocket_inet_addr(T.c_str());
    if (Addr == INADDR_NONE && T != "255.255.255.255")
      throw ESocketException("WSocketResolveHost: '" + ForMessage(Text) + "' Invalid IP address.");
    return Addr;
  }

  hostent* Entry = nullptr;
  if (T.empty() || HasNul(T))
    WSocket_WSASetLastError(kWsaHostNotFound);
  else
    Entry = WSocket_gethostbyname(T.c_str());
  if (Entry && (Entry->h_length != 4 || !Entry->h_addr_list || !Entry->h_addr_list[0])) {
    // A name that exists but has no IPv4 address.
    WSocket_WSASetLastError(kWsaNoData);
    Entry = nullptr;
  }
  if (!Entry) {
    throw ESocketException("WSocketResolveHost: Cannot convert host address '" + ForMessage(Text) + "', Error #" +
                           LastErrorText());
  }
  std::uint32_t Addr = 0;
  std::memcpy(&Addr, Entry->h_addr_list[0], sizeof Addr);
  return Addr;
}

std::uint16_t WSocketResolvePort(const std::string& PortText, const std::string& ProtoText)
{
  if (PortText.empty() || PortText.size() > kMaxServiceTextLength)
    throw ESocketException("WSocketResolvePort: Invalid Port.");
  if (ProtoText.empty() || ProtoText.size() > kMaxServiceTextLength)
    throw ESocketException("WSocketResolvePort: Invalid Proto.");

  if (IsAsciiDigit(PortText[0])) return static_cast<std::uint16_t>(ParseLeadingNumber(PortText));

  const std::string Port(TrimBlankOrControl(PortText));
  const std::string Proto(TrimBlankOrControl(ProtoText));
  servent* Entry = nullptr;
  if (HasNul(Port) || HasNul(Proto))
    WSocket_WSASetLastError(kWsaNoData);
  else
    Entry = WSocket_getservbyname(Port.c_str(), Proto.empty() ? nullptr : Proto.c_str());
  if (!Entry) {
    throw ESocketException("WSocketResolvePort: Cannot convert port '" + ForMessage(PortText) + "', Error #" +
                           LastErrorText());
  }
  return ntohs(static_cast<std::uint16_t>(Entry->s_port));
}

int WSocketResolveProto(const std::string& Text)
{
  if (Text.empty() || Text.size() > kMaxServiceTextLength)
    throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  const std::string T(TrimBlankOrControl(Text));
  if (T.empty()) throw ESocketException("WSocketResolveProto: Invalid Protocol.");

  if (IsAsciiDigit(T[0])) return ParseLeadingNumber(T);

  protoent* Entry = nullptr;
  if (HasNul(T))
    WSocket_WSASetLastError(kWsaNoData);
  else
    Entry = WSocket_getprotobyname(T.c_str());
  if (!Entry) {
    throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + ForMessage(T) + "', Error #" +
                           LastErrorText());
  }
  return Entry->p_proto;
}

void CollectAddresses(const hostent* HostEntry, std::vector<std::string>& List)
{
  if (!HostEntry || !HostEntry->h_addr_list || HostEntry->h_length != 4) return;
  for (char* const* P = HostEntry->h_addr_list; *P; ++P) {
    std::uint32_t Addr = 0;
    std::memcpy(&Addr, *P, sizeof Addr);
    List.push_back(WSocket_inet_ntoa(Addr));
  }
}
