// SPDX-License-Identifier: MIT
// Address to country, side by side with libGeoIP: lookups per second of FindCountryIndex /
// IpToCountry against GeoIP_id_by_ipnum / GeoIP_country_id_by_addr (memory cache) over the
// same 10 million random addresses, and how often the two answers agree on public addresses.
//
// usage: geo-peer-bench [--range FILE] [--geoip FILE] [benchmark options]
// Defaults: Ostrand.dat in the working directory, /usr/share/GeoIP/GeoIP.dat.
// libGeoIP 1.6 spells the numeric country lookup GeoIP_id_by_ipnum; GeoIP_country_id_by_ipnum
// of older releases was the same function.
#include "geo/LibOstrand.h"

#include <benchmark/benchmark.h>
#include <GeoIP.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kAddressCount = 10'000'000;
// Text lookups format every address first; a tenth of the set keeps that buffer small.
constexpr std::size_t kTextCount = 1'000'000;
constexpr std::size_t kAgreementSample = 200'000;

GeoIP* Geo = nullptr;
std::vector<std::uint32_t> Numbers;
std::vector<char> TextBuffer;  // kTextCount NUL-terminated dotted addresses, 16 bytes each

std::string Dotted(std::uint32_t N) {
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "%u.%u.%u.%u", N >> 24, (N >> 16) & 255, (N >> 8) & 255,
                N & 255);
  return Buf;
}

// Unicast addresses that some registry hands out: no private, loopback, link-local,
// shared, documentation, multicast or reserved blocks.
bool IsPublic(std::uint32_t N) {
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

void BM_FindCountryIndex(benchmark::State& State) {
  unsigned Sum = 0;
  for (auto _ : State) {
    for (std::uint32_t N : Numbers) Sum += FindCountryIndex(N);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * Numbers.size()));
}

void BM_GeoIP_id_by_ipnum(benchmark::State& State) {
  long Sum = 0;
  for (auto _ : State) {
    for (std::uint32_t N : Numbers) Sum += GeoIP_id_by_ipnum(Geo, N);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * Numbers.size()));
}

void BM_IpToCountry_text(benchmark::State& State) {
  unsigned Sum = 0;
  for (auto _ : State) {
    for (std::size_t I = 0; I < kTextCount; ++I) Sum += IpToCountry(&TextBuffer[I * 16]);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * kTextCount));
}

void BM_GeoIP_country_id_by_addr_text(benchmark::State& State) {
  long Sum = 0;
  for (auto _ : State) {
    for (std::size_t I = 0; I < kTextCount; ++I)
      Sum += GeoIP_country_id_by_addr(Geo, &TextBuffer[I * 16]);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * kTextCount));
}

void ReportAgreement() {
  std::size_t Sampled = 0, Same = 0, BothUnknown = 0, OnlyOurs = 0, OnlyGeo = 0, Differ = 0;
  for (std::uint32_t N : Numbers) {
    if (Sampled == kAgreementSample) break;
    if (!IsPublic(N)) continue;
    ++Sampled;
    const CountryIndex Ours = FindCountryIndex(N);
    const char* GeoCode = GeoIP_code_by_id(GeoIP_id_by_ipnum(Geo, N));
    const bool GeoKnown = GeoCode && std::strlen(GeoCode) == 2 && std::strcmp(GeoCode, "--") != 0 &&
                          std::strcmp(GeoCode, "A1") != 0 && std::strcmp(GeoCode, "A2") != 0 &&
                          std::strcmp(GeoCode, "O1") != 0;
    const bool OursKnown = IsKnownCountry(Ours);
    if (!GeoKnown && !OursKnown) {
      ++BothUnknown;
    } else if (!GeoKnown) {
      ++OnlyOurs;
    } else if (!OursKnown) {
      ++OnlyGeo;
    } else {
      std::string Upper(CountryCodes[Ours]);
      for (char& C : Upper) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
      // The two lists spell the United Kingdom differently.
      const bool Match = Upper == GeoCode || (Upper == "UK" && std::strcmp(GeoCode, "GB") == 0) ||
                         (Upper == "GB" && std::strcmp(GeoCode, "UK") == 0);
      Match ? ++Same : ++Differ;
    }
  }
  const double Known = static_cast<double>(Same + Differ);
  std::printf("agreement on %zu public addresses: same country %zu, different %zu (%.2f%% of "
              "those both know), only range file knows %zu, only GeoIP knows %zu, neither %zu\n",
              Sampled, Same, Differ, Known > 0 ? 100.0 * static_cast<double>(Same) / Known : 0.0,
              OnlyOurs, OnlyGeo, BothUnknown);
}

}  // namespace

int main(int Argc, char** Argv) {
  std::string RangeFile = "Ostrand.dat";
  std::string GeoFile = "/usr/share/GeoIP/GeoIP.dat";
  std::vector<char*> Rest{Argv[0]};
  for (int I = 1; I < Argc; ++I) {
    if (std::strcmp(Argv[I], "--range") == 0 && I + 1 < Argc) {
      RangeFile = Argv[++I];
    } else if (std::strcmp(Argv[I], "--geoip") == 0 && I + 1 < Argc) {
      GeoFile = Argv[++I];
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
  std::printf("range file %s: %zu ranges; GeoIP %s\n", RangeFile.c_str(), RangeTable.size(),
              GeoFile.c_str());
  ReportAgreement();

  benchmark::RegisterBenchmark("IpToCountry/FindCountryIndex (10M numbers)", BM_FindCountryIndex)
      ->Unit(benchmark::kMillisecond)->Iterations(3);
  benchmark::RegisterBenchmark("libGeoIP/GeoIP_id_by_ipnum (10M numbers)", BM_GeoIP_id_by_ipnum)
      ->Unit(benchmark::kMillisecond)->Iterations(3);
  benchmark::RegisterBenchmark("IpToCountry (1M texts)", BM_IpToCountry_text)
      ->Unit(benchmark::kMillisecond)->Iterations(3);
  benchmark::RegisterBenchmark("libGeoIP/GeoIP_country_id_by_addr (1M texts)",
                               BM_GeoIP_country_id_by_addr_text)
      ->Unit(benchmark::kMillisecond)->Iterations(3);
  int RestArgc = static_cast<int>(Rest.size());
  benchmark::Initialize(&RestArgc, Rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  GeoIP_delete(Geo);
  LibOstrandShutdown();
  return 0;
}
