// SPDX-License-Identifier: MIT
// Lanes of asks per server: one ask at a time, the pause from the end of one ask to the
// start of the next, no pause after a job that needed no ask, lanes side by side; and the
// default pause of each registry's server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "tests/support/WaitUntil.h"
#include "whois/ServerLanes.h"

namespace {

using TClock = std::chrono::steady_clock;

TEST(ServerLanes, DefaultPausePerRegistry)
{
  const std::pair<const char*, int> Rows[] = {
      {"whois.ripe.net", 64000},   {"whois.afrinic.net", 18000}, {"whois.lacnic.net", 6000},
      {"whois.arin.net", 2000},    {"whois.apnic.net", 2000},    {"whois.iana.org", 1000},
      {"WHOIS.LACNIC.NET.", 6000}, {"rwhois.example.net", 2000}, {"127.0.0.2", 2000},
  };
  for (const auto& [Host, Ms] : Rows) EXPECT_EQ(DefaultPaceMs(Host), Ms) << Host;
}

struct TDispatched {
  std::string Lane;
  std::size_t Job;
  TClock::time_point At;
};

TEST(ServerLanes, OneAtATimeWithThePauseBetween)
{
  std::vector<TDispatched> Log;
  // Job 1 needs no ask (answered from what the run knows); the others ask.
  TServerLanes Lanes(
      [&](const std::string& Lane, std::size_t Job) {
        Log.push_back({Lane, Job, TClock::now()});
        return Job != 1;
      },
      [](const std::string& Lane) { return Lane == "a" ? 300 : 0; });
  for (std::size_t Job : {0, 1, 2, 3}) Lanes.Queue("a", Job);
  Lanes.Queue("b", 10);
  Lanes.Queue("b", 11);
  // Nothing is dispatched inside Queue.
  EXPECT_TRUE(Log.empty());
  ASSERT_TRUE(WaitUntil([&] { return Log.size() >= 2; }));
  // Lane a: job 0 asks; b: job 10. Job 1 waits behind the running ask.
  const auto Jobs = [&] {
    std::vector<std::size_t> J;
    for (const TDispatched& D : Log) J.push_back(D.Job);
    return J;
  };
  WaitUntil([] { return false; }, 200);
  EXPECT_EQ(Jobs(), (std::vector<std::size_t>{0, 10})) << "one ask at a time on each lane";

  const TClock::time_point EndA = TClock::now();
  Lanes.Release("a");
  Lanes.Release("b");
  ASSERT_TRUE(WaitUntil([&] { return Log.size() >= 5; }));
  // b has no pause: 11 at once; a: 1 needed no ask, so 2 went right after it, both after
  // the pause.
  const std::vector<std::size_t> After = Jobs();
  EXPECT_EQ(After, (std::vector<std::size_t>{0, 10, 11, 1, 2}));
  EXPECT_GE(Log[3].At - EndA, std::chrono::milliseconds(300));
  EXPECT_LT(Log[2].At, Log[3].At);
  const TClock::time_point End2 = TClock::now();
  Lanes.Release("a");
  ASSERT_TRUE(WaitUntil([&] { return Log.size() >= 6; }));
  EXPECT_EQ(Log[5].Job, 3u);
  EXPECT_GE(Log[5].At - End2, std::chrono::milliseconds(300));
}

}  // namespace
