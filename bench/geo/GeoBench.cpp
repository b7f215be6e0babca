// SPDX-License-Identifier: MIT
// The range table's speed: loading a range file against a plain read of the same file, and
// FindCountryIndex against std::upper_bound over the same table and the same addresses.
// Goals: the load within 2x the plain read, the search at least half as fast as upper_bound.
// Then the search of the file in place (what quorvex-query does): its time per address, and
// how many such searches cost as much as loading the table once.
//
// usage: geo-bench [--range FILE] [benchmark options]
// FILE defaults to Ostrand.dat in the working directory (ostrand-build makes it).
#include "geo/LibOstrand.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kAddressCount = 1 << 20;

std::string RangeFile = "Ostrand.dat";
std::vector<RangeEntry> Table;         // a copy, since the load benchmark replaces RangeTable
std::vector<std::uint32_t> Addresses;  // uniform over the space, 0 excluded

void BM_PlainRead(benchmark::State& State)
{
  struct stat St {};
  ::stat(RangeFile.c_str(), &St);
  std::vector<char> Buffer(static_cast<std::size_t>(St.st_size));
  for (auto _ : State) {
    const int Fd = ::open(RangeFile.c_str(), O_RDONLY | O_CLOEXEC);
    std::size_t Got = 0;
    while (Got < Buffer.size()) {
      const ssize_t N = ::read(Fd, Buffer.data() + Got, Buffer.size() - Got);
      if (N <= 0) break;
      Got += static_cast<std::size_t>(N);
    }
    ::close(Fd);
    benchmark::DoNotOptimize(Buffer.data());
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * St.st_size);
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMicrosecond);

void BM_LoadRangeFile(benchmark::State& State)
{
  struct stat St {};
  ::stat(RangeFile.c_str(), &St);
  for (auto _ : State) {
    LoadRangeFile(RangeFile);
    benchmark::DoNotOptimize(RangeTable.data());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * St.st_size);
  State.counters["records"] = static_cast<double>(RangeTable.size());
}
BENCHMARK(BM_LoadRangeFile)->Unit(benchmark::kMicrosecond);

void BM_UpperBound(benchmark::State& State)
{
  unsigned Sum = 0;
  for (auto _ : State) {
    for (std::uint32_t N : Addresses) {
      auto It = std::upper_bound(Table.begin(), Table.end(), N,
                                 [](std::uint32_t V, const RangeEntry& E) { return V < E.Start; });
      Sum += It == Table.begin() ? Table.front().Country : std::prev(It)->Country;
    }
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * Addresses.size()));
}
BENCHMARK(BM_UpperBound)->Unit(benchmark::kMillisecond);

void BM_FindCountryIndex(benchmark::State& State)
{
  RangeTable = Table;
  unsigned Sum = 0;
  for (auto _ : State) {
    for (std::uint32_t N : Addresses) Sum += FindCountryIndex(N);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * Addresses.size()));
}
BENCHMARK(BM_FindCountryIndex)->Unit(benchmark::kMillisecond);

// Start-up opens the working directory's Ostrand.dat in place; one pread per probe.
void BM_FindCountryIndexInPlace(benchmark::State& State)
{
  if (RangeFile != "Ostrand.dat") {
    State.SkipWithError("searches Ostrand.dat of the working directory only");
    return;
  }
  LibOstrandStartup(TRangeAccess::InPlace);
  constexpr std::size_t kCount = 4096;
  unsigned Sum = 0;
  for (auto _ : State) {
    for (std::size_t I = 0; I < kCount; ++I) Sum += FindCountryIndex(Addresses[I]);
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * kCount));
  LibOstrandShutdown();
}
// In the load's unit, as the ratio below compares the two.
BENCHMARK(BM_FindCountryIndexInPlace)->Unit(benchmark::kMicrosecond);

// Prints the usual table, then the two ratios the goals are stated in.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override
  {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& R : Runs)
      // With repetitions, the mean stands for the name.
      if ((R.run_type == Run::RT_Iteration && !m_Time.count(R.run_name.function_name)) ||
          (R.run_type == Run::RT_Aggregate && R.aggregate_name == "mean"))
        m_Time[R.run_name.function_name] = R.GetAdjustedRealTime();
  }
  void PrintRatios() const
  {
    auto Ratio = [this](const char* A, const char* B) {
      const auto IA = m_Time.find(A), IB = m_Time.find(B);
      return IA == m_Time.end() || IB == m_Time.end() || IB->second == 0 ? 0.0 : IA->second / IB->second;
    };
    std::printf("load / plain read:              %.2fx the time (goal: at most 2x)\n",
                Ratio("BM_LoadRangeFile", "BM_PlainRead"));
    std::printf("FindCountryIndex / upper_bound: %.2fx the time (goal: at most 2x)\n",
                Ratio("BM_FindCountryIndex", "BM_UpperBound"));
    // The in-place run times 4096 addresses.
    const double InPlace = Ratio("BM_FindCountryIndexInPlace", "BM_LoadRangeFile") / 4096;
    if (InPlace > 0)
      std::printf(
          "one load / one search in place:  %.0fx the time (a warm load; a fresh process also faults the table in)\n",
          1 / InPlace);
  }

 private:
  std::map<std::string, double> m_Time;
};

}  // namespace

int main(int argc, char** argv)
{
  std::vector<char*> Args;
  for (int I = 0; I < argc; ++I) {
    if (std::strcmp(argv[I], "--range") == 0 && I + 1 < argc)
      RangeFile = argv[++I];
    else
      Args.push_back(argv[I]);
  }
  int Count = static_cast<int>(Args.size());
  benchmark::Initialize(&Count, Args.data());

  try {
    LoadRangeFile(RangeFile);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "geo-bench: %s (build one with ostrand-build)\n", E.what());
    return 1;
  }
  if (RangeTable.empty()) {
    std::fprintf(stderr, "geo-bench: %s holds no record\n", RangeFile.c_str());
    return 1;
  }
  Table = RangeTable;
  std::mt19937 Rng(12345);
  Addresses.resize(kAddressCount);
  for (std::uint32_t& A : Addresses) A = static_cast<std::uint32_t>(Rng()) | 1;
  RandSeed = 1;

  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  Reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
