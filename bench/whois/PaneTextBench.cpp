// SPDX-License-Identifier: MIT
// Cleaning received blocks for the pane (NULs out, LF to CR LF): 4096-byte blocks of text,
// of NULs and of line ends. A hostile server chooses the bytes, so a block of NULs or of
// line ends should cost about what a block of text does; the ratios say how close it is.
//
// usage: pane-text-bench [benchmark options]
#include <benchmark/benchmark.h>

#include <string>

#include "whois/PaneText.h"

namespace {

std::string Block(int Kind)
{
  switch (Kind) {
    case 1: return std::string(4096, '\0');
    case 2: return std::string(4096, '\n');
    case 3: {
      std::string B(4096, '\0');
      B.back() = '\n';  // NULs before one LF at the end
      return B;
    }
    default: {
      std::string B;
      while (B.size() < 4096) B += "descr:          example network line of a reply\r\n";
      B.resize(4096);
      return B;
    }
  }
}

void BM_CleanReplyBlock(benchmark::State& State)
{
  const std::string In = Block(static_cast<int>(State.range(0)));
  std::string Out;
  for (auto _ : State) {
    Out.clear();
    AppendCleanBlock(Out, In);
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * 4096);
}

BENCHMARK(BM_CleanReplyBlock)->ArgName("text0_nuls1_lfs2_nulslf3")->DenseRange(0, 3);

}  // namespace

BENCHMARK_MAIN();
