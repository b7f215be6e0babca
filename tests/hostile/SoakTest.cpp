// SPDX-License-Identifier: MIT
// Load held: 1000 queries in a row through one query window, well-behaved and hostile
// servers in turn. No descriptor may stay open, memory must settle, every query must end in
// "Done."; leaks are LeakSanitizer's to find in the sanitizer build.
#include "tests/hostile/QueryHarness.h"
#include "tests/support/WhoisServer.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kQueries = 1000;

TEST(Soak, ThousandQueriesNoDescriptorOrMemoryGrowth)
{
  // Hostile servers whose queries end quickly; the replying one gets every other query.
  std::vector<std::unique_ptr<TWhoisServer>> Servers;
  for (TServerMode Mode : {TServerMode::Reply, TServerMode::Reset, TServerMode::CloseEarly, TServerMode::Refuse,
                           TServerMode::Reply, TServerMode::NulFlood}) {
    TServerOptions O;
    O.Mode = Mode;
    O.FloodBytes = 64 * 1024;
    O.Reply = "% soak\r\nquery: %q\r\nline 3\r\nline 4\r\n" + std::string(2000, 'r') + "\r\n";
    Servers.push_back(std::make_unique<TWhoisServer>(O));
  }
  TQueryHarness H;
  H.Form().WHOIStimer->setInterval(20000);

  // Counted only while no server thread holds a connection of its own.
  const auto Quiet = [&] {
    return WaitUntil(
        [&] {
          for (const auto& S : Servers)
            if (S->Finished() != S->Accepted()) return false;
          return true;
        },
        5000);
  };
  int Baseline = -1;
  long RssAt100 = 0;
  int Done = 0;
  for (int I = 0; I < kQueries; ++I) {
    const auto& S = Servers[static_cast<std::size_t>(I) % Servers.size()];
    H.PointAt(S->Port());
    // A new address now and then, so the history grows too, as it does in use.
    const std::string Address = "192.0.2." + std::to_string(I % 250 + 1);
    ASSERT_TRUE(H.Query(Address)) << "query " << I << " never ended";
    if (EndsWith(H.Pane(), "\r\n\r\nDone.")) ++Done;
    if (I == 99) {
      ASSERT_TRUE(Quiet());
      Baseline = OpenDescriptors();
      RssAt100 = ResidentKiB();
    }
  }
  EXPECT_EQ(Done, kQueries);
  ASSERT_TRUE(Quiet());
  EXPECT_EQ(OpenDescriptors(), Baseline) << "descriptors leaked over " << kQueries - 100 << " queries";
  const long Growth = ResidentKiB() - RssAt100;
  std::printf("soak: %d queries, %zu replies stored, %d descriptors, RSS +%ld KiB after query 100\n", kQueries,
              H.Form().HistorySize(), OpenDescriptors(), Growth);
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer keeps freed memory in quarantine, so resident memory says nothing
  // here; LeakSanitizer checks for leaks at exit instead.
  (void)Growth;
#else
  EXPECT_LT(Growth, 64 * 1024) << "resident memory kept growing";
#endif
}

}  // namespace
