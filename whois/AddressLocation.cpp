// SPDX-License-Identifier: MIT
#include "whois/AddressLocation.h"

#include "net/WSocketAddress6.h"
#include "whois/RegistryChoice.h"

TAddressLocation LocateAddress(const std::string& Address, std::string_view Shown)
{
  TAddressLocation L;
  TIpv6Bytes Ipv6{};
  const bool IsIpv6 = WSocketParseAddress6(Address, Ipv6);
  if (IsIpv6 ? RangeFile6InUse() : RangeFileInUse()) {
    // Bytes 245..254 of a range file name no country; they must not index the tables.
    const CountryIndex Found = IsIpv6 ? FindCountryIndex6(Ipv6) : IpToCountry(Address);
    if (IsKnownCountry(Found)) {
      L.Country = Found;
      L.Continent = CountryContinents[Found];
      if (L.Continent >= ContinentAdjectives.size()) L.Continent = 0;
      L.CountryName = std::string(CountryNames[Found]);
      L.LocationLine = std::string(Shown) + " is based in " + L.CountryName;
    }
  }
  L.Registry = ChooseRegistry(L.Continent, L.Country);
  L.RegistryLine = "Address is " + std::string(ContinentAdjectives[L.Continent]) + ", querying " + L.Registry + "..";
  return L;
}
