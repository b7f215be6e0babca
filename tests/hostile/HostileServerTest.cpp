// SPDX-License-Identifier: MIT
// The query window against WHOIS servers that misbehave: endless, dripping, NUL floods,
// binary garbage, one huge line, resets, silence, refusal, early close. For each the window
// stays responsive, memory stays bounded, the pane ends in "Done." and the next query works.
#include "tests/hostile/QueryHarness.h"
#include "tests/support/WhoisServer.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

const std::string kDone = "\r\n\r\nDone.";
// What the pane may hold beyond the capped reply: header lines, cut note, time-out, "Done.".
constexpr std::size_t kPaneSlack = 64 * 1024;
// Generous for sanitizer builds; a frozen window stalls for seconds.
#if defined(__SANITIZE_ADDRESS__)
// An unoptimised sanitizer build runs the same bounded work several times slower.
constexpr qint64 kMaxStallMs = 6000;
#else
constexpr qint64 kMaxStallMs = 1500;
#endif
constexpr long kMaxGrowthKiB = 256 * 1024;

struct THostileCase {
  const char* Name;
  TServerMode Mode;
  int TimerMs;  // the query's time-out, shortened
  std::size_t FloodBytes;
  std::function<void(const std::string& Pane)> Check;
};

bool Contains(const std::string& Text, const std::string& Part) { return Text.find(Part) != std::string::npos; }

// The pane right after the header: no reply at all, "Done." after one empty line.
void NothingReceived(const std::string& Pane) { EXPECT_TRUE(EndsWith(Pane, "querying ARIN.." + kDone)) << Pane; }

const THostileCase kCases[] = {
    {"Endless", TServerMode::Endless, 5000, 0,
     [](const std::string& Pane) { EXPECT_TRUE(Contains(Pane, "endless line of an endless reply")); }},
    {"Drip", TServerMode::Drip, 1200, 0,
     [](const std::string& Pane) {
       EXPECT_TRUE(Contains(Pane, "..\r\n\r\n% t")) << "the first dripped bytes arrive";
       EXPECT_TRUE(EndsWith(Pane, "\r\nConnection timeout" + kDone)) << Pane;
     }},
    {"NulFlood", TServerMode::NulFlood, 20000, 4 << 20,
     [](const std::string& Pane) {
       EXPECT_EQ(Pane.find('\0'), std::string::npos);
       EXPECT_TRUE(Contains(Pane, "nul-oknul-ok"));
       EXPECT_TRUE(Contains(Pane, "end of nuls"));
     }},
    {"Garbage", TServerMode::Garbage, 20000, 4 << 20,
     [](const std::string& Pane) {
       EXPECT_TRUE(std::any_of(Pane.begin(), Pane.end(), [](char C) { return static_cast<unsigned char>(C) >= 0x80; }))
           << "bytes >= 0x80 are kept in the pane's text";
       EXPECT_EQ(Pane.find('\0'), std::string::npos);
     }},
    {"HugeLine", TServerMode::HugeLine, 20000, 24 << 20,
     [](const std::string& Pane) { EXPECT_TRUE(Contains(Pane, std::string(4096, 'A'))); }},
    {"ResetMidReply", TServerMode::Reset, 20000, 0,
     [](const std::string& Pane) { EXPECT_TRUE(Contains(Pane, "% test server")) << Pane; }},
    {"NeverAnswers", TServerMode::Silent, 1000, 0,
     [](const std::string& Pane) {
       EXPECT_TRUE(EndsWith(Pane, "querying ARIN..\r\n\r\n\r\nConnection timeout" + kDone)) << Pane;
     }},
    {"Refuses", TServerMode::Refuse, 20000, 0, NothingReceived},
    {"ClosesBeforeQuery", TServerMode::CloseEarly, 20000, 0, NothingReceived},
};

void PrintTo(const THostileCase& C, std::ostream* Out) { *Out << C.Name; }

class HostileServer : public ::testing::TestWithParam<THostileCase> {};

TEST_P(HostileServer, WindowSurvivesAndNextQueryWorks)
{
  const THostileCase& C = GetParam();
  TServerOptions Options;
  Options.Mode = C.Mode;
  Options.Reply = std::string("% test server\r\nquery: %q\r\n") + std::string(200, 'x') + "\r\n";
  Options.DripIntervalMs = 100;
  if (C.FloodBytes) Options.FloodBytes = C.FloodBytes;
  TWhoisServer Server(Options);
  TWhoisServer Good({});

  TQueryHarness H;
  H.Form().WHOIStimer->setInterval(C.TimerMs);
  H.PointAt(Server.Port());
  const long RssBefore = ResidentKiB();
  ASSERT_TRUE(H.Query("192.0.2.1", C.TimerMs + 20000)) << "the query never ended; pane: " << H.Pane().substr(0, 300);
  const std::string Pane = H.Pane();
  const long Growth = ResidentKiB() - RssBefore;

  EXPECT_TRUE(EndsWith(Pane, kDone)) << Pane.substr(Pane.size() > 300 ? Pane.size() - 300 : 0);
  EXPECT_LE(Pane.size(), TQueryForm::ReplyCap + kPaneSlack);
  EXPECT_LT(H.LongestStall(), kMaxStallMs) << "the event loop was blocked";
  EXPECT_LT(Growth, kMaxGrowthKiB) << "resident memory grew by " << Growth << " KiB";
  C.Check(Pane);
  for (const auto& E : H.Errors()) std::printf("  [%s] error shown: %s\n", C.Name, E.c_str());

  // The next query, to a well-behaved server, works as if nothing had happened.
  H.Form().WHOIStimer->setInterval(20000);
  H.PointAt(Good.Port());
  ASSERT_TRUE(H.Query("192.0.2.7"));
  EXPECT_TRUE(EndsWith(H.Pane(), "query: 192.0.2.7" + kDone)) << H.Pane();
  EXPECT_TRUE(H.Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, HostileServer, ::testing::ValuesIn(kCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// A reply past the cap is cut, the connection closed at once (the server sees it go), and
// the pane says so instead of silently ending.
TEST(HostileServerCap, EndlessSenderIsCutAtTheCap)
{
  TServerOptions Options;
  Options.Mode = TServerMode::Endless;
  TWhoisServer Server(Options);
  TQueryHarness H;
  H.Form().WHOIStimer->setInterval(60000);
  H.PointAt(Server.Port());
  ASSERT_TRUE(H.Query("192.0.2.1", 60000));
  EXPECT_TRUE(Contains(H.Pane(), TQueryForm::ReplyCutLine)) << "cut note missing";
  EXPECT_FALSE(Contains(H.Pane(), "Connection timeout")) << "the cap, not the timer, ended it";
  EXPECT_TRUE(WaitUntil([&] { return Server.Finished() == 1; }, 5000)) << "server still sending";
  EXPECT_LT(Server.BytesSent(), std::uint64_t{64} << 20);
}

}  // namespace

namespace {

// A click into the pane to copy the reply takes the focus from the address box. That is no
// choice in the drop-down list: the pane keeps the query's reply, with its header lines and
// "Done.", whether the box holds the new item or the text of an older one.
TEST(QueryWindowFocus, PaneKeepsItsTextWhenFocusLeavesTheAddressBox)
{
  TServerOptions Options;
  Options.Reply = "% test server\r\nquery: %q\r\nline 3\r\nline 4\r\nline 5\r\n";
  TWhoisServer Server(Options);
  TQueryHarness H;
  H.PointAt(Server.Port());
  H.Form().show();
  for (const char* Address : {"192.0.2.1", "192.0.2.2"}) {
    H.Form().Address->setFocus();
    ASSERT_TRUE(H.Query(Address));
    const std::string Pane = H.Pane();
    ASSERT_TRUE(EndsWith(Pane, kDone)) << Pane;
    H.Form().Response->setFocus();
    WaitUntil([&] { return H.Form().Response->hasFocus(); }, 2000);
    QCoreApplication::processEvents();
    EXPECT_EQ(H.Pane(), Pane) << "after the query of " << Address;
  }
  const std::string Pane = H.Pane();
  H.Form().Address->setFocus();
  WaitUntil([&] { return H.Form().Address->hasFocus(); }, 2000);
  H.Form().Address->setEditText("192.0.2.1");
  H.Form().Response->setFocus();
  WaitUntil([&] { return H.Form().Response->hasFocus(); }, 2000);
  QCoreApplication::processEvents();
  EXPECT_EQ(H.Pane(), Pane) << "the older item's text in the box";
  H.Form().hide();
}

}  // namespace
