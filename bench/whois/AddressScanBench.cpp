// SPDX-License-Identifier: MIT
// The address scanner's throughput on 1 MiB of log lines, of random bytes, of address
// characters only (one endless run, skipped) and of distinct addresses (the set grows), fed
// in 64 KiB chunks; and 100 MB of log lines in one run, with the process's peak resident size
// before and after, which should not move.
//
// usage: address-scan-bench [benchmark options]
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include <sys/resource.h>

#include "whois/AddressScan.h"

namespace {

std::string Input(int Kind, std::size_t Size)
{
  std::string Text;
  std::mt19937 Random(5);
  while (Text.size() < Size) {
    switch (Kind) {
      case 1: Text += static_cast<char>(Random()); break;
      case 2: Text += "0123456789abcdef:."[Random() % 18]; break;
      case 3: {
        const unsigned N = static_cast<unsigned>(Text.size() / 16);
        Text += std::to_string(10 + N % 200) + '.' + std::to_string(N / 200 % 256) + '.' +
                std::to_string(N / 51200 % 256) + ".1, 2001:db8::" + std::to_string(N % 9999) + '\n';
        break;
      }
      default:
        Text += "Dec  1 10:00:00 host sshd[1234]: Failed password for root from 203.0.113." +
                std::to_string(Random() % 256) + " port 22 ssh2\n";
    }
  }
  Text.resize(Size);
  return Text;
}

void Scan(const std::string& Text, TAddressScanner& Scanner)
{
  for (std::size_t At = 0; At < Text.size(); At += 65536) Scanner.Feed(std::string_view(Text).substr(At, 65536));
  Scanner.Finish();
}

void BM_ScanMebibyte(benchmark::State& State)
{
  const std::string Text = Input(static_cast<int>(State.range(0)), 1u << 20);
  std::size_t Found = 0;
  for (auto _ : State) {
    TAddressScanner Scanner([&Found](const std::string&) { ++Found; });
    Scan(Text, Scanner);
  }
  benchmark::DoNotOptimize(Found);
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * (1 << 20));
}
BENCHMARK(BM_ScanMebibyte)->ArgName("logs0_random1_runs2_distinct3")->DenseRange(0, 3);

long PeakKib()
{
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return Usage.ru_maxrss;
}

void BM_Scan100Megabytes(benchmark::State& State)
{
  const std::string Chunk = Input(0, 1u << 20);
  const long Before = PeakKib();
  std::size_t Distinct = 0;
  for (auto _ : State) {
    TAddressScanner Scanner(nullptr);
    for (int I = 0; I < 100; ++I) Scanner.Feed(Chunk);
    Scanner.Finish();
    Distinct = Scanner.DistinctCount();
  }
  State.counters["distinct"] = static_cast<double>(Distinct);
  State.counters["peak_kib_before"] = static_cast<double>(Before);
  State.counters["peak_kib_after"] = static_cast<double>(PeakKib());
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * 100 * (1 << 20));
}
BENCHMARK(BM_Scan100Megabytes)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
