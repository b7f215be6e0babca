// SPDX-License-Identifier: MIT
#include "whois/AddressRescue.h"

#include <cstddef>

#include "net/WSocketResolve.h"
#include "text/AsciiText.h"
#include "whois/AddressCleanup.h"
#include "whois/Ipv6Address.h"

namespace {

constexpr std::size_t kMaxHostName = 253;
constexpr std::size_t kMaxLabel = 63;
// A name, a port and a few layers of brackets and quotes; what the clean-up leaves longer
// than this is no pasted address (and unwrapping it layer by layer would take its square).
constexpr std::size_t kMaxWrapped = 512;

bool IsLabelChar(char C) { return IsAsciiLetter(C) || IsAsciiDigit(C) || C == '-' || C == '_'; }

// What stands between the brackets of a defanging marker, and what it stands for.
struct TMarker {
  std::string_view Inner;
  std::string_view Meaning;
};
constexpr TMarker kMarkers[] = {
    {".", "."}, {"dot", "."}, {"://", "://"}, {":", ":"}, {"@", "@"}, {"at", "@"},
};
constexpr std::string_view kOpeners = "([{";
constexpr std::string_view kClosers = ")]}";

bool IsAddress(std::string_view S) { return IsDottedAddress(S) || ParseIpv6Address(S).has_value(); }

// Labels of letters, digits, '-' (not at either end) and '_', one trailing dot allowed, the
// last label starting with a letter: a name, never one of the number forms the resolver reads ("127.1",
// "0x7f000001").
bool IsHostName(std::string_view S)
{
  if (!S.empty() && S.back() == '.') S.remove_suffix(1);
  if (S.empty() || S.size() > kMaxHostName) return false;
  std::size_t LabelStart = 0;
  for (std::size_t I = 0; I <= S.size(); ++I) {
    if (I < S.size() && S[I] != '.') {
      if (!IsLabelChar(S[I])) return false;
      continue;
    }
    const std::size_t Length = I - LabelStart;
    if (Length == 0 || Length > kMaxLabel || S[LabelStart] == '-' || S[I - 1] == '-') return false;
    if (I == S.size()) return IsAsciiLetter(S[LabelStart]);
    LabelStart = I + 1;
  }
  return false;
}

// The brackets and quotes put around an address, opening and closing alike.
constexpr std::string_view kWrapStarts = "([{<\"'`";
constexpr std::string_view kWrapEnds = ")]}>\"'`";

bool IsPair(char Open, char Close)
{
  const std::size_t At = kWrapStarts.find(Open);
  return At != std::string_view::npos && kWrapEnds[At] == Close;
}

// Takes off what surrounds an address or a host name in pasted text, one layer at a time,
// until an address shows or nothing more comes off; then S must be an address or a name.
std::string_view Unwrap(std::string_view S)
{
  while (!S.empty()) {
    if (IsAddress(S)) return S;
    if (S.size() >= 2 && IsPair(S.front(), S.back())) {
      S = S.substr(1, S.size() - 2);
      continue;
    }
    // The clean-up cuts "hxxp[://]host" and "user[@]host" inside the marker, leaving its
    // closing bracket in front.
    if (kClosers.find(S.front()) != std::string_view::npos) {
      S.remove_prefix(1);
      continue;
    }
    if (S.back() == ',' || S.back() == ';') {
      S.remove_suffix(1);
      continue;
    }
    // A full stop ends the sentence after an address or a closing bracket; after a name it
    // may be the name's own root dot, which stays.
    if (S.back() == '.' && S.size() >= 2) {
      const std::string_view Rest = S.substr(0, S.size() - 1);
      if (IsAddress(Rest) || kWrapEnds.find(Rest.back()) != std::string_view::npos) {
        S = Rest;
        continue;
      }
    }
    // A port after an IPv4 address, a name or a bracketed address; an IPv6 address without
    // brackets has no port to take off.
    if (const std::size_t Colon = S.rfind(':');
        Colon != std::string_view::npos && Colon > 0 && IsPortText(S.substr(Colon + 1))) {
      const std::string_view Host = S.substr(0, Colon);
      if (Host.back() == ']' || Host.find(':') == std::string_view::npos) {
        S = Host;
        continue;
      }
    }
    break;
  }
  return IsHostName(S) ? S : std::string_view();
}

}  // namespace

std::string RefangText(std::string_view Text)
{
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size();) {
    bool Matched = false;
    if (const std::size_t Kind = kOpeners.find(Text[I]); Kind != std::string_view::npos) {
      for (const TMarker& M : kMarkers) {
        const std::size_t Close = I + 1 + M.Inner.size();
        if (Close < Text.size() && Text[Close] == kClosers[Kind] && StartsWithNoCase(Text.substr(I + 1), M.Inner)) {
          Out += M.Meaning;
          I = Close + 1;
          Matched = true;
          break;
        }
      }
    }
    if (!Matched) Out += Text[I++];
  }
  // The scheme last: "hxxps[:]//" is a scheme only once its colon is back.
  std::string Schemes;
  Schemes.reserve(Out.size());
  for (std::size_t I = 0; I < Out.size();) {
    const std::string_view From = std::string_view(Out).substr(I);
    if (StartsWithNoCase(From, "hxxp://") || StartsWithNoCase(From, "hxxps://")) {
      Schemes += "http";
      I += 4;
      continue;
    }
    Schemes += Out[I++];
  }
  return Schemes;
}

std::string RescueAddress(std::string_view Text)
{
  const std::string Cleaned = CleanAddress(Text);
  if (Cleaned.empty() || IsAddress(Cleaned)) return {};
  bool NameLike = true;
  for (const char C : Cleaned) NameLike = NameLike && (IsLabelChar(C) || C == '.');
  if (NameLike) {
    // Letters, digits and dots go to the resolver as they are (a name, "example.com.", a
    // number); only a dotted address with a full stop after it is no name at all.
    const std::string_view Rest = std::string_view(Cleaned).substr(0, Cleaned.size() - 1);
    if (Cleaned.back() == '.' && IsDottedAddress(Rest)) return std::string(Rest);
    return {};
  }
  // Refanged before the clean-up, which would cut "hxxps[:]//host/x" at its first "/".
  const std::string Again = CleanAddress(RefangText(Text));
  if (Again.size() > kMaxWrapped) return {};
  return std::string(Unwrap(Again));
}
