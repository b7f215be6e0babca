// SPDX-License-Identifier: MIT
// The input of many answers: sources in order, a file that cannot be read, standard input
// that arrives in pieces without stopping the loop, and reading that stops while the engine
// holds a window of targets.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include <QCoreApplication>

#include <fcntl.h>
#include <unistd.h>

#include "app/TargetFeed.h"
#include "tests/support/WaitUntil.h"

namespace {

// An ask that never ends: the targets stay in the engine.
class THangingAsk : public TServerAsk {
 public:
  using TServerAsk::TServerAsk;
  void Start(const TAskRequest&, TAskDone) override {}
};

TAnswerTarget AsAddress(const std::string& Text) { return {TTargetKind::Address, Text, {}}; }

std::string TempFile(const std::string& Name, const std::string& Text)
{
  const std::string Path = ::testing::TempDir() + Name;
  std::ofstream(Path, std::ios::binary) << Text;
  return Path;
}

TEST(TargetFeed, SourcesInOrderEachAddressOnce)
{
  TAnswerRun Run(TAnswerSettings{});
  std::vector<std::string> Out;
  const std::string File = TempFile("feed-order.log", "from 10.0.0.2 to 10.0.0.3\n10.0.0.2 again, 127.0.0.1\n");
  std::vector<TTargetFeed::TSource> Sources = {
      {TTargetFeed::TSource::TKind::Argument, "192.168.1.1"},
      {TTargetFeed::TSource::TKind::Stream, File},
      {TTargetFeed::TSource::TKind::Stream, ::testing::TempDir() + "no-such-file"},
      {TTargetFeed::TSource::TKind::Stream, File},
      {TTargetFeed::TSource::TKind::Argument, "10.0.0.2"},
  };
  TTargetFeed Feed(Sources, Run, 100, AsAddress);
  std::vector<std::string> Errors;
  Feed.OnError = [&](const std::string& Name, const std::string& Why) { Errors.push_back(Name + ": " + Why); };
  Run.OnAnswer = [&](const TAnswerOutcome& O) {
    Out.push_back(O.Target);
    Feed.Pump();
  };
  Feed.Pump();
  ASSERT_TRUE(WaitUntil([&] { return Feed.Ended() && Run.Waiting() == 0; }));
  // The file read twice gives nothing new; an argument is a target of its own.
  EXPECT_EQ(Out, (std::vector<std::string>{"192.168.1.1", "10.0.0.2", "10.0.0.3", "127.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(Errors, std::vector<std::string>{::testing::TempDir() + "no-such-file: No such file or directory"});
}

TEST(TargetFeed, StandardInputInPiecesDoesNotStopTheLoop)
{
  int Pipe[2];
  ASSERT_EQ(::pipe(Pipe), 0);
  const int Saved = ::dup(STDIN_FILENO);
  ASSERT_GE(::dup2(Pipe[0], STDIN_FILENO), 0);
  ::close(Pipe[0]);
  {
    TAnswerRun Run(TAnswerSettings{});
    std::vector<std::string> Out;
    TTargetFeed Feed({{TTargetFeed::TSource::TKind::Stream, "-"}}, Run, 100, AsAddress);
    Run.OnAnswer = [&](const TAnswerOutcome& O) { Out.push_back(O.Target); };
    Feed.Pump();
    const std::string First = "x 10.9.9.1 y\n";
    ASSERT_EQ(::write(Pipe[1], First.data(), First.size()), static_cast<ssize_t>(First.size()));
    EXPECT_TRUE(WaitUntil([&] { return Out.size() == 1; }));
    EXPECT_FALSE(Feed.Ended());
    // Half an address, then the rest.
    ASSERT_EQ(::write(Pipe[1], "10.9.", 5), 5);
    WaitUntil([] { return false; }, 100);
    ASSERT_EQ(::write(Pipe[1], "9.2 10.9.9.1\n", 13), 13);
    ::close(Pipe[1]);
    EXPECT_TRUE(WaitUntil([&] { return Feed.Ended() && Run.Waiting() == 0; }));
    EXPECT_EQ(Out, (std::vector<std::string>{"10.9.9.1", "10.9.9.2"}));
  }
  ::dup2(Saved, STDIN_FILENO);
  ::close(Saved);
}

TEST(TargetFeed, ReadingWaitsWhileTheWindowIsFull)
{
  // 10,000 addresses in as many networks, with lines long enough that one chunk holds few.
  std::string Text;
  for (int I = 0; I < 10000; ++I)
    Text += std::string(1000, 'w') + " 11." + std::to_string(I / 100) + "." + std::to_string(I % 100) + ".1\n";
  const std::string File = TempFile("feed-window.log", Text);
  TAnswerSettings S;
  S.PaceMs = 0;
  S.MakeAsk = [](QObject* Parent) -> TServerAsk* { return new THangingAsk(Parent); };
  TAnswerRun Run(S);
  constexpr std::size_t kWindow = 100;
  TTargetFeed Feed({{TTargetFeed::TSource::TKind::Stream, File}}, Run, kWindow, AsAddress);
  Feed.Pump();
  WaitUntil([] { return false; }, 300);
  Feed.Pump();
  // One chunk of 64 KiB past the window at most.
  EXPECT_GE(Run.Counts().Added, kWindow);
  EXPECT_LE(Run.Counts().Added, kWindow + 64 * 1024 / 1010 + 1);
  EXPECT_FALSE(Feed.Ended());
  EXPECT_EQ(Run.Counts().Queries, 1u) << "one ask at a time on the one server";
}

}  // namespace
