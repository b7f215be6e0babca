// SPDX-License-Identifier: MIT
// Range files for the query tests: "Ostrand.dat" and "Ostrand6.dat" written into the working
// directory and loaded as start-up would, from (start address, country) rows.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "geo/LibOstrand.h"
#include "net/WSocketAddress6.h"

inline std::uint32_t IpNumber(int A, int B, int C, int D)
{
  return (std::uint32_t(A) << 24) | (std::uint32_t(B) << 16) | (std::uint32_t(C) << 8) | std::uint32_t(D);
}

inline CountryIndex CountryOf(std::string_view Code)
{
  for (std::size_t I = 0; I < CountryCodes.size(); ++I)
    if (CountryCodes[I] == Code) return static_cast<CountryIndex>(I);
  ADD_FAILURE() << "no country " << Code;
  return NoCountry;
}

inline void WriteRangeFile(const std::vector<std::pair<std::uint32_t, CountryIndex>>& Rows)
{
  std::ofstream Out("Ostrand.dat", std::ios::binary);
  for (const auto& [Start, Country] : Rows) {
    const char Record[5] = {char(Start & 0xFF), char((Start >> 8) & 0xFF), char((Start >> 16) & 0xFF),
                            char(Start >> 24), char(Country)};
    Out.write(Record, 5);
  }
  Out.close();
  LoadRangeFile("Ostrand.dat");
}

// Rows of (first address as IPv6 text, country).
inline void WriteRangeFile6(const std::vector<std::pair<std::string, CountryIndex>>& Rows)
{
  std::ofstream Out("Ostrand6.dat", std::ios::binary);
  for (const auto& [Start, Country] : Rows) {
    TIpv6Bytes Bytes{};
    EXPECT_TRUE(WSocketParseAddress6(Start, Bytes)) << Start;
    Out.write(reinterpret_cast<const char*>(Bytes.data()), 16);
    Out.put(static_cast<char>(Country));
  }
  Out.close();
  LoadRangeFile6("Ostrand6.dat");
}
