// SPDX-License-Identifier: MIT
// The answer engine with an answer source (as quorvex-query --rdap gives it): lanes by the
// first server, answers remembered for the addresses of their network, a server's request
// for a pause honoured by its lane, retries bounded, failures kept, a run gone before its
// source answers.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QTimer>

#include "tests/support/WaitUntil.h"
#include "tests/whois/AnswerRunSupport.h"
#include "whois/AnswerRun.h"

namespace {

using TClock = std::chrono::steady_clock;

// A scripted source: Reply decides each answer; every question and when it came is kept.
struct TFakeSource {
  std::function<TSourceReply(const std::string& Query, int Nth)> Reply;
  std::vector<std::pair<std::string, TClock::time_point>> Asked;
  std::vector<std::function<void(const TSourceReply&)>> Held;  // with Hold: never answered
  bool Hold = false;

  TAnswerSource Source()
  {
    TAnswerSource S;
    S.FirstServer = [](const std::string& Query) { return Query.rfind("AS", 0) == 0 ? "" : "rdap.example"; };
    S.Ask = [this](const std::string& Query, std::function<void(const TSourceReply&)> Done) {
      int Nth = 0;
      for (const auto& A : Asked) Nth += A.first == Query;
      Asked.emplace_back(Query, TClock::now());
      if (Hold) {
        Held.push_back(std::move(Done));
        return;
      }
      const TSourceReply R = Reply(Query, Nth);
      QTimer::singleShot(5, [Done = std::move(Done), R] { Done(R); });
    };
    return S;
  }
};

// The /24 of an address, answered.
TSourceReply Network24(const std::string& Query)
{
  TSourceReply R;
  const std::string Net = Query.substr(0, Query.rfind('.'));
  R.Answer.Source = "rdap";
  R.Answer.Server = "rdap.example";
  R.Answer.Asked = {"rdap.example"};
  R.Answer.Network = TWhoisNetwork{Net + ".0", Net + ".255", {Net + ".0/24"}, "NET", ""};
  return R;
}

TSourceReply Pause(int Ms)
{
  TSourceReply R;
  R.Failed = true;
  R.Answer.Error = "rate limited by rdap.example";
  R.RetryAfterMs = Ms;
  R.RetryServer = "rdap.example";
  return R;
}

// The fake source answers at once and its pauses last a fraction of a second: a run that
// takes longer than this has stopped.
constexpr int kWaitMs = 20000;

TAnswerSettings Settings(TFakeSource& F)
{
  TAnswerSettings S;
  S.PaceMs = 0;
  S.Source = F.Source();
  return S;
}

TEST(AnswerSource, OneQuestionPerNetworkAndAsNumbersToo)
{
  TFakeSource F;
  F.Reply = [](const std::string& Q, int) {
    if (Q.rfind("AS", 0) != 0) return Network24(Q);
    TSourceReply R;
    R.Answer.AsNumber = Q;
    return R;
  };
  TAnswerRun Run(Settings(F));
  const auto Out = RunAll(
      Run,
      {Address("192.0.2.1"), Address("192.0.2.200"), {TTargetKind::AsNumber, "AS64496", {}}, Address("198.51.100.7")},
      kWaitMs);
  ASSERT_EQ(Out.size(), 4u);
  ASSERT_EQ(F.Asked.size(), 3u);
  EXPECT_TRUE(Out[1].Answer.Cached);
  EXPECT_EQ(Out[1].Answer.CachedFrom, "192.0.2.1");
  EXPECT_EQ(Out[1].Answer.Query, "192.0.2.200");
  EXPECT_EQ(Out[1].Answer.Source, "rdap");
  EXPECT_EQ(Out[2].Answer.AsNumber, "AS64496");
  EXPECT_FALSE(Out[3].Failed);
  EXPECT_EQ(Run.Counts().Queries, 3u);
}

TEST(AnswerSource, APauseAskedForHoldsTheLaneThenTheQuestionComesAgain)
{
  TFakeSource F;
  F.Reply = [](const std::string& Q, int Nth) { return Q == "192.0.2.1" && Nth == 0 ? Pause(300) : Network24(Q); };
  TAnswerRun Run(Settings(F));
  const auto Out = RunAll(Run, {Address("192.0.2.1"), Address("198.51.100.1")}, kWaitMs);
  ASSERT_EQ(Out.size(), 2u);
  EXPECT_FALSE(Out[0].Failed) << Out[0].Answer.Error;
  EXPECT_EQ(Out[0].Answer.Network->First, "192.0.2.0");
  ASSERT_EQ(F.Asked.size(), 3u);
  // The next question on the lane waited for the pause; the first one came back after it.
  EXPECT_EQ(F.Asked[1].first, "198.51.100.1");
  EXPECT_GE(F.Asked[1].second - F.Asked[0].second, std::chrono::milliseconds(300));
  EXPECT_EQ(F.Asked[2].first, "192.0.2.1");
}

TEST(AnswerSource, RetriesAreBoundedAndFailuresKept)
{
  TFakeSource F;
  F.Reply = [](const std::string& Q, int) {
    if (Q == "192.0.2.1") return Pause(10);
    TSourceReply R;
    R.Failed = true;
    R.Answer.Error = "rdap.example failed: 500";
    return R;
  };
  TAnswerSettings S = Settings(F);
  S.MaxRetries = 2;
  TAnswerRun Run(S);
  const auto Out = RunAll(Run, {Address("192.0.2.1"), Address("198.51.100.1"), Address("198.51.100.2")}, kWaitMs);
  ASSERT_EQ(Out.size(), 3u);
  EXPECT_TRUE(Out[0].Failed);
  EXPECT_EQ(Out[0].Answer.Error, "rate limited by rdap.example");
  EXPECT_EQ(Out[1].Answer.Error, "rdap.example failed: 500");
  // A failure answers nothing for its neighbours: each is asked.
  EXPECT_TRUE(Out[2].Failed);
  EXPECT_EQ(F.Asked.size(), 3u + 2u);
}

TEST(AnswerSource, ARunGoneBeforeItsSourceAnswers)
{
  TFakeSource F;
  F.Hold = true;
  {
    TAnswerRun Run(Settings(F));
    Run.Add(Address("192.0.2.1"));
    WaitUntil([&] { return !F.Held.empty(); }, 5000);
  }
  ASSERT_EQ(F.Held.size(), 1u);
  F.Held.front()(Network24("192.0.2.1"));  // nothing left to reach
}

TEST(AnswerSource, RdapHostsArePacedAsTheirRegistries)
{
  const char* const Pairs[][2] = {{"rdap.arin.net", "whois.arin.net"},
                                  {"rdap.db.ripe.net", "whois.ripe.net"},
                                  {"rdap.apnic.net", "whois.apnic.net"},
                                  {"rdap.lacnic.net", "whois.lacnic.net"},
                                  {"rdap.afrinic.net", "whois.afrinic.net"}};
  for (const auto& P : Pairs) EXPECT_EQ(DefaultPaceMs(P[0]), DefaultPaceMs(P[1])) << P[0];
}

}  // namespace
