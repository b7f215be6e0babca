// SPDX-License-Identifier: MIT
// quorvex-query's command line: the options and their checks, table-driven.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/QueryOptions.h"

namespace {

struct TRow {
  std::vector<std::string> Args;
  int Status;  // -1: goes on
};

int Parse(std::vector<std::string> Args, TQueryOptions& O)
{
  Args.insert(Args.begin(), "quorvex-query");
  std::vector<char*> Argv;
  for (std::string& A : Args) Argv.push_back(A.data());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int Status = ParseQueryOptions(static_cast<int>(Argv.size()), Argv.data(), O);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  return Status;
}

TEST(QueryOptions, StatusOfEachCommandLine)
{
  const TRow Rows[] = {
      {{}, 2},
      {{"--help"}, 0},
      {{"-h", "8.8.8.8"}, 0},
      {{"--version"}, 0},
      {{"--frobnicate", "8.8.8.8"}, 2},
      {{"--timeout"}, 2},
      {{"--timeout", "0", "8.8.8.8"}, 2},
      {{"--timeout", "2147484", "8.8.8.8"}, 2},
      {{"--timeout=1", "8.8.8.8"}, -1},
      {{"--pace", "0", "8.8.8.8"}, -1},
      {{"--pace", "0.25", "8.8.8.8"}, -1},
      {{"--pace", "86400", "8.8.8.8"}, -1},
      {{"--pace", "86401", "8.8.8.8"}, 2},
      {{"--pace", "-1", "8.8.8.8"}, 2},
      {{"--pace", "1e3", "8.8.8.8"}, 2},
      {{"--pace", "nan", "8.8.8.8"}, 2},
      {{"--pace", "", "8.8.8.8"}, 2},
      {{"--pace"}, 2},
      {{"--summary", "--json", "8.8.8.8"}, 2},
      {{"--file"}, 2},
      {{"--file", "log"}, -1},
      {{"-"}, -1},
      {{"--", "--version"}, -1},
  };
  for (const TRow& Row : Rows) {
    std::string Line;
    for (const std::string& A : Row.Args) Line += A + " ";
    TQueryOptions O;
    EXPECT_EQ(Parse(Row.Args, O), Row.Status) << Line;
  }
}

TEST(QueryOptions, ValuesAndWhetherTheEngineAnswers)
{
  TQueryOptions O;
  ASSERT_EQ(
      Parse({"--pace", "1.5", "--timeout", "7", "--follow", "8.8.8.8", "--file", "a", "--file=b", "-", "--", "-x"}, O),
      -1);
  EXPECT_EQ(O.PaceMs, 1500);
  EXPECT_EQ(O.TimeoutSeconds, 7);
  EXPECT_TRUE(O.Follow);
  EXPECT_EQ(O.Files, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(O.Arguments, (std::vector<std::string>{"8.8.8.8", "-", "-x"}));
  EXPECT_TRUE(O.Answers());

  // Bytes that are no UTF-8 reach the program unchanged.
  TQueryOptions Bytes;
  ASSERT_EQ(Parse({"caf\xe9.example", "\xff"}, Bytes), -1);
  EXPECT_EQ(Bytes.Arguments, (std::vector<std::string>{"caf\xe9.example", "\xff"}));
  EXPECT_EQ(Bytes.PaceMs, -1);
  EXPECT_FALSE(Bytes.Answers()) << "plain addresses run the query window's flow";
  TQueryOptions Json;
  ASSERT_EQ(Parse({"--json", "8.8.8.8"}, Json), -1);
  EXPECT_TRUE(Json.Answers());
}

}  // namespace
