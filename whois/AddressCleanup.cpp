// SPDX-License-Identifier: MIT
#include "whois/AddressCleanup.h"

#include <algorithm>

#include "net/WSocketResolve.h"
#include "text/AsciiText.h"

namespace {

std::string_view After(std::string_view S, std::string_view Marker)
{
  const std::size_t At = S.find(Marker);
  return At == std::string_view::npos ? S : S.substr(At + Marker.size());
}

std::string_view Before(std::string_view S, std::string_view Marker)
{
  const std::size_t At = S.find(Marker);
  return At == std::string_view::npos ? S : S.substr(0, At);
}

}  // namespace

std::string CleanAddress(std::string_view Text)
{
  std::string_view S = TrimBlankOrControl(Text);
  if (IsDottedAddress(S)) return std::string(S);

  // Only the first word can be the address: "Help Desk <u@h>" leaves "Help".
  S = S.substr(0, static_cast<std::size_t>(std::find_if(S.begin(), S.end(), IsBlankOrControl) - S.begin()));

  // The order matters: an "@" in a URL's query part wins over the URL's host.
  S = After(S, "<");
  S = Before(S, ">");
  S = After(S, "@");
  S = After(S, "://");
  S = Before(S, "/");
  S = Before(S, "?");
  return std::string(S);
}
