// SPDX-License-Identifier: MIT
// Address to country, side by side with libGeoIP: lookups per second of FindCountryIndex /
// IpToCountry against GeoIP_id_by_ipnum / GeoIP_country_id_by_addr (memory cache) over the
// same 10 million random addresses, and how often the two answers agree on public addresses.
// For IPv6, FindCountryIndex6 against GeoIP_id_by_ipnum_v6 over the same 2 million random
// routed addresses (inside ranges of Debian's IPv6 list that name a country), and their
// agreement on 200,000 of them with the biggest differences (geoiplookup6 answers with the
// same database and call).
//
// usage: geo-peer-bench [--range FILE] [--geoip FILE] [--range6 FILE] [--geoip6 FILE]
//                       [--list6 FILE] [benchmark options]
// Defaults: Ostrand.dat and Ostrand6.dat in the working directory, /usr/share/GeoIP/GeoIP.dat
// and GeoIPv6.dat, /usr/share/tor/geoip6. Without the IPv6 files only IPv4 is measured.
// libGeoIP 1.6 spells the numeric country lookup GeoIP_id_by_ipnum; GeoIP_country_id_by_ipnum
// of older releases was the same function.
#include "geo/LibOstrand.h"
#include "text/AsciiText.h"

#include <benchmark/benchmark.h>
#include <GeoIP.h>

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kAddressCount = 10'000'000;
// Text lookups format every address first; a tenth of the set keeps that buffer small.
constexpr std::size_t kTextCount = 1'000'000;
constexpr std::size_t kAgreementSample = 200'000;
constexpr std::size_t kAddress6Count = 2'000'000;

GeoIP* Geo = nullptr;
GeoIP* Geo6 = nullptr;
std::vector<std::uint32_t> Numbers;
std::vector<std::array<std::uint8_t, 16>> Addresses6;
std::vector<char> TextBuffer;  // kTextCount NUL-terminated dotted addresses, 16 bytes each

std::string Dotted(std::uint32_t N)
{
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "%u.%u.%u.%u", N >> 24, (N >> 16) & 255, (N >> 8) & 255, N & 255);
  return Buf;
}

// Unicast addresses that some registry hands out: no private, loopback, link-local,
// shared, documentation, multicast or reserved blocks.
bool IsPublic(std::uint32_t N)
{
  const std::uint32_t A = N >> 24, B = (N >> 16) & 255;
  if (A == 0 || A == 10 || A == 127 || A >= 224) return false;
  if (A == 100 && B >= 64 && B < 128) return false;
  if (A == 169 && B == 254) return false;
  if (A == 172 && B >= 16 && B < 32) return false;
  if (A == 192 && B == 168) return false;
  if (A == 192 && B == 0) return false;
  if (A == 198 && (B == 18 || B == 19 || B == 51)) return false;
  if (A == 203 && B == 0) return false;
  return true;
}

void BM_FindCountryIndex(benchmark::State& State)
{
  unsigned Sum = 0;
  for (auto _ : State) {
    for (std::uint32_t N : Numbers) Sum += FindCountryIndex(N);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * Numbers.size()));
}

void BM_GeoIP_id_by_ipnum(benchmark::State& State)
{
  long Sum = 0;
  for (auto _ : State) {
    for (std::uint32_t N : Numbers) Sum += GeoIP_id_by_ipnum(Geo, N);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * Numbers.size()));
}

void BM_IpToCountry_text(benchmark::State& State)
{
  unsigned Sum = 0;
  for (auto _ : State) {
    for (std::size_t I = 0; I < kTextCount; ++I) Sum += IpToCountry(&TextBuffer[I * 16]);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * kTextCount));
}

void BM_GeoIP_country_id_by_addr_text(benchmark::State& State)
{
  long Sum = 0;
  for (auto _ : State) {
    for (std::size_t I = 0; I < kTextCount; ++I) Sum += GeoIP_country_id_by_addr(Geo, &TextBuffer[I * 16]);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * kTextCount));
}

void BM_FindCountryIndex6(benchmark::State& State)
{
  unsigned Sum = 0;
  for (auto _ : State) {
    for (const auto& A : Addresses6) Sum += FindCountryIndex6(A);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * Addresses6.size()));
}

void BM_GeoIP_id_by_ipnum_v6(benchmark::State& State)
{
  long Sum = 0;
  for (auto _ : State) {
    for (const auto& A : Addresses6) {
      in6_addr Address;
      std::memcpy(&Address, A.data(), sizeof Address);
      Sum += GeoIP_id_by_ipnum_v6(Geo6, Address);
    }
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * Addresses6.size()));
}

// The row ostrand-build gives a list's code, later codes on their former names' rows; so
// GeoIP's "RS" and our "yu" for the same address count as the same answer.
int RowOf(std::string Code)
{
  Code = AsciiLowerCopy(Code);
  if (Code == "gb") Code = "uk";  // the two lists spell the United Kingdom differently
  static const std::map<std::string, std::string> Former = {{"rs", "yu"}, {"me", "yu"}, {"cs", "yu"}, {"tl", "tp"},
                                                            {"cw", "an"}, {"sx", "an"}, {"bq", "an"}, {"bl", "gp"},
                                                            {"mf", "gp"}, {"ax", "fi"}, {"ss", "sd"}};
  if (const auto It = Former.find(Code); It != Former.end()) Code = It->second;
  for (std::size_t I = 0; I < CountryCount; ++I)
    if (CountryCodes[I] == Code) return I == 244 ? 223 : static_cast<int>(I);  // "gb" row: "uk"
  return -1;
}

bool GeoKnows(const char* GeoCode)
{
  return GeoCode && std::strlen(GeoCode) == 2 && std::strcmp(GeoCode, "--") != 0 && std::strcmp(GeoCode, "A1") != 0 &&
         std::strcmp(GeoCode, "A2") != 0 && std::strcmp(GeoCode, "O1") != 0;
}

void ReportAgreement6()
{
  std::size_t Same = 0, BothUnknown = 0, OnlyOurs = 0, OnlyGeo = 0, Differ = 0;
  // "ours/GeoIP's" -> addresses, where the two name different countries, and where only
  // one of them names one.
  std::map<std::string, std::size_t> Pairs, OneSided;
  const std::size_t Sample = std::min(kAgreementSample, Addresses6.size());
  for (std::size_t I = 0; I < Sample; ++I) {
    in6_addr Address;
    std::memcpy(&Address, Addresses6[I].data(), sizeof Address);
    const CountryIndex Ours = FindCountryIndex6(Addresses6[I]);
    const char* GeoCode = GeoIP_code_by_id(GeoIP_id_by_ipnum_v6(Geo6, Address));
    const bool GeoKnown = GeoKnows(GeoCode), OursKnown = IsKnownCountry(Ours);
    const std::string OurCode = OursKnown ? std::string(CountryCodes[Ours]) : "--";
    if (!GeoKnown && !OursKnown) {
      ++BothUnknown;
    } else if (!GeoKnown) {
      ++OnlyOurs;
      ++OneSided[OurCode + "/" + (GeoCode ? GeoCode : "--")];
    } else if (!OursKnown) {
      ++OnlyGeo;
      ++OneSided[OurCode + "/" + GeoCode];
    } else if (RowOf(OurCode) == RowOf(GeoCode)) {
      ++Same;
    } else {
      ++Differ;
      ++Pairs[OurCode + "/" + GeoCode];
    }
  }
  const double Known = static_cast<double>(Same + Differ);
  std::printf(
      "IPv6 agreement on %zu random routed addresses: same country %zu, different %zu (%.2f%% of "
      "those both know; %.2f%% of all), only the range file knows %zu, only GeoIPv6 knows %zu, neither %zu\n",
      Sample, Same, Differ, Known > 0 ? 100.0 * static_cast<double>(Same) / Known : 0.0,
      Sample > 0 ? 100.0 * static_cast<double>(Same) / static_cast<double>(Sample) : 0.0, OnlyOurs, OnlyGeo,
      BothUnknown);
  for (const auto* Tally : {&Pairs, &OneSided}) {
    std::vector<std::pair<std::size_t, std::string>> Biggest;
    for (const auto& [Pair, Count] : *Tally) Biggest.emplace_back(Count, Pair);
    std::sort(Biggest.rbegin(), Biggest.rend());
    std::printf("IPv6 biggest %s (range file/GeoIPv6: addresses):",
                Tally == &Pairs ? "differences" : "one-sided answers");
    for (std::size_t I = 0; I < Biggest.size() && I < 10; ++I)
      std::printf(" %s: %zu", Biggest[I].second.c_str(), Biggest[I].first);
    std::printf("\n");
  }
}

// Random addresses inside the ranges of the list that name a country, each range as likely
// as any other.
bool ReadRoutedAddresses(const std::string& ListFile)
{
  using TUint128 = unsigned __int128;
  std::vector<std::pair<TUint128, TUint128>> Ranges;
  std::ifstream In(ListFile);
  std::string Line;
  while (std::getline(In, Line)) {
    const std::size_t C1 = Line.find(','), C2 = Line.rfind(',');
    if (Line.empty() || Line[0] == '#' || C1 == C2 || Line.substr(C2 + 1, 2) == "??") continue;
    std::array<std::uint8_t, 16> First, Last;
    if (::inet_pton(AF_INET6, Line.substr(0, C1).c_str(), First.data()) != 1 ||
        ::inet_pton(AF_INET6, Line.substr(C1 + 1, C2 - C1 - 1).c_str(), Last.data()) != 1)
      continue;
    TUint128 F = 0, L = 0;
    for (int I = 0; I < 16; ++I) {
      F = F << 8 | First[static_cast<std::size_t>(I)];
      L = L << 8 | Last[static_cast<std::size_t>(I)];
    }
    Ranges.emplace_back(F, L);
  }
  if (Ranges.empty()) return false;
  std::mt19937_64 Gen(20261209);
  Addresses6.resize(kAddress6Count);
  for (auto& A : Addresses6) {
    const auto& [F, L] = Ranges[Gen() % Ranges.size()];
    TUint128 V = F + ((TUint128{Gen()} << 64 | Gen()) % (L - F + 1));
    for (int I = 15; I >= 0; --I, V >>= 8) A[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(V);
  }
  return true;
}

void ReportAgreement()
{
  std::size_t Sampled = 0, Same = 0, BothUnknown = 0, OnlyOurs = 0, OnlyGeo = 0, Differ = 0;
  for (std::uint32_t N : Numbers) {
    if (Sampled == kAgreementSample) break;
    if (!IsPublic(N)) continue;
    ++Sampled;
    const CountryIndex Ours = FindCountryIndex(N);
    const char* GeoCode = GeoIP_code_by_id(GeoIP_id_by_ipnum(Geo, N));
    const bool GeoKnown = GeoKnows(GeoCode);
    const bool OursKnown = IsKnownCountry(Ours);
    if (!GeoKnown && !OursKnown) {
      ++BothUnknown;
    } else if (!GeoKnown) {
      ++OnlyOurs;
    } else if (!OursKnown) {
      ++OnlyGeo;
    } else {
      RowOf(std::string(CountryCodes[Ours])) == RowOf(GeoCode) ? ++Same : ++Differ;
    }
  }
  const double Known = static_cast<double>(Same + Differ);
  std::printf(
      "agreement on %zu public addresses: same country %zu, different %zu (%.2f%% of "
      "those both know), only range file knows %zu, only GeoIP knows %zu, neither %zu\n",
      Sampled, Same, Differ, Known > 0 ? 100.0 * static_cast<double>(Same) / Known : 0.0, OnlyOurs, OnlyGeo,
      BothUnknown);
}

}  // namespace

int main(int Argc, char** Argv)
{
  std::string RangeFile = "Ostrand.dat";
  std::string GeoFile = "/usr/share/GeoIP/GeoIP.dat";
  std::string RangeFile6 = "Ostrand6.dat";
  std::string GeoFile6 = "/usr/share/GeoIP/GeoIPv6.dat";
  std::string ListFile6 = "/usr/share/tor/geoip6";
  std::vector<char*> Rest{Argv[0]};
  for (int I = 1; I < Argc; ++I) {
    if (std::strcmp(Argv[I], "--range") == 0 && I + 1 < Argc) {
      RangeFile = Argv[++I];
    } else if (std::strcmp(Argv[I], "--geoip") == 0 && I + 1 < Argc) {
      GeoFile = Argv[++I];
    } else if (std::strcmp(Argv[I], "--range6") == 0 && I + 1 < Argc) {
      RangeFile6 = Argv[++I];
    } else if (std::strcmp(Argv[I], "--geoip6") == 0 && I + 1 < Argc) {
      GeoFile6 = Argv[++I];
    } else if (std::strcmp(Argv[I], "--list6") == 0 && I + 1 < Argc) {
      ListFile6 = Argv[++I];
    } else {
      Rest.push_back(Argv[I]);
    }
  }
  try {
    LoadRangeFile(RangeFile);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "geo-peer-bench: %s\n", E.what());
    return 1;
  }
  if (RangeTable.empty()) {
    std::fprintf(stderr, "geo-peer-bench: %s holds no ranges\n", RangeFile.c_str());
    return 1;
  }
  Geo = GeoIP_open(GeoFile.c_str(), GEOIP_MEMORY_CACHE);
  if (Geo == nullptr) {
    std::fprintf(stderr, "geo-peer-bench: cannot open %s\n", GeoFile.c_str());
    return 1;
  }
  std::mt19937 Gen(20240601);
  Numbers.resize(kAddressCount);
  for (auto& N : Numbers) N = static_cast<std::uint32_t>(Gen()) | 1u;  // never 0: no address
  TextBuffer.assign(kTextCount * 16, '\0');
  for (std::size_t I = 0; I < kTextCount; ++I) {
    const std::string T = Dotted(Numbers[I]);
    std::memcpy(&TextBuffer[I * 16], T.c_str(), T.size() + 1);
  }
  std::printf("range file %s: %zu ranges; GeoIP %s\n", RangeFile.c_str(), RangeTable.size(), GeoFile.c_str());
  ReportAgreement();

  bool Ipv6 = false;
  try {
    LoadRangeFile6(RangeFile6);
    Geo6 = GeoIP_open(GeoFile6.c_str(), GEOIP_MEMORY_CACHE);
    Ipv6 = Geo6 != nullptr && !RangeTable6.empty() && ReadRoutedAddresses(ListFile6);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "geo-peer-bench: %s\n", E.what());
  }
  if (Ipv6) {
    std::printf("IPv6 range file %s: %zu ranges; GeoIP %s\n", RangeFile6.c_str(), RangeTable6.size(), GeoFile6.c_str());
    ReportAgreement6();
  } else {
    std::printf("IPv6 not measured (needs %s, %s and %s)\n", RangeFile6.c_str(), GeoFile6.c_str(), ListFile6.c_str());
  }

  benchmark::RegisterBenchmark("IpToCountry/FindCountryIndex (10M numbers)", BM_FindCountryIndex)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RegisterBenchmark("libGeoIP/GeoIP_id_by_ipnum (10M numbers)", BM_GeoIP_id_by_ipnum)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RegisterBenchmark("IpToCountry (1M texts)", BM_IpToCountry_text)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RegisterBenchmark("libGeoIP/GeoIP_country_id_by_addr (1M texts)", BM_GeoIP_country_id_by_addr_text)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  if (Ipv6) {
    benchmark::RegisterBenchmark("FindCountryIndex6 (2M routed addresses)", BM_FindCountryIndex6)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("libGeoIP/GeoIP_id_by_ipnum_v6 (2M routed addresses)", BM_GeoIP_id_by_ipnum_v6)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  }
  int RestArgc = static_cast<int>(Rest.size());
  benchmark::Initialize(&RestArgc, Rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  GeoIP_delete(Geo);
  if (Geo6) GeoIP_delete(Geo6);
  LibOstrandShutdown();
  return 0;
}
