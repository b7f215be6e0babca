// SPDX-License-Identifier: MIT
#include "net/WSockBuf.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<char> Bytes(std::size_t Count)
{
  std::vector<char> V(Count);
  for (std::size_t I = 0; I < Count; ++I) V[I] = static_cast<char>('a' + I % 26);
  return V;
}

std::string Unread(const TBuffer& B)
{
  const char* Data = nullptr;
  const std::int32_t N = B.Peek(Data);
  return N > 0 ? std::string(Data, static_cast<std::size_t>(N)) : std::string();
}

TEST(WSockBufTest, SizeAtOrBelowZeroMeansDefault)
{
  for (const std::int32_t Size : {0, -1, -100000}) {
    TBuffer B(Size);
    EXPECT_EQ(B.Size(), 1514) << Size;
    B.SetSize(1460);
    B.SetSize(Size);
    EXPECT_EQ(B.Size(), 1514) << Size;
  }
}

TEST(WSockBufTest, AppendStopsAtCapacity)
{
  TBuffer B(1460);
  const auto Data = Bytes(2000);
  EXPECT_EQ(B.Append(Data.data(), 2000), 1460);
  EXPECT_EQ(B.WriteCount(), 1460);
  EXPECT_EQ(B.Append(Data.data(), 1), 0);
  EXPECT_EQ(Unread(B), std::string(Data.data(), 1460));
}

TEST(WSockBufTest, FreedFrontIsNotReusedUntilEmpty)
{
  TBuffer B(1460);
  const auto Data = Bytes(1460);
  ASSERT_EQ(B.Append(Data.data(), 1460), 1460);
  EXPECT_EQ(B.Consume(1000), 1000);

  const char* P = nullptr;
  EXPECT_EQ(B.Peek(P), 460);
  EXPECT_EQ(std::string(P, 460), std::string(Data.data() + 1000, 460));
  EXPECT_EQ(B.ReadPosition(), 1000);
  EXPECT_EQ(B.Append(Data.data(), 10), 0);

  // Consuming more than is left takes only what is left and resets both counters.
  EXPECT_EQ(B.Consume(5000), 460);
  EXPECT_EQ(B.ReadPosition(), 0);
  EXPECT_EQ(B.WriteCount(), 0);
  EXPECT_EQ(B.Append(Data.data(), 1460), 1460);
}

TEST(WSockBufTest, EmptyBlockAndNonPositiveCountsChangeNothing)
{
  TBuffer B(16);
  const char* P = reinterpret_cast<const char*>(&B);
  EXPECT_EQ(B.Peek(P), 0);
  EXPECT_EQ(P, nullptr);
  EXPECT_EQ(B.Consume(5), 0);

  ASSERT_EQ(B.Append("abcdef", 6), 6);
  struct TRow {
    const char* Name;
    std::int32_t Result;
  };
  const TRow Rows[] = {
      {"append 0", B.Append("x", 0)}, {"append negative", B.Append("x", -3)}, {"append null", B.Append(nullptr, 4)},
      {"consume 0", B.Consume(0)},    {"consume negative", B.Consume(-2)},
  };
  for (const TRow& Row : Rows) EXPECT_EQ(Row.Result, 0) << Row.Name;
  EXPECT_EQ(B.ReadPosition(), 0);
  EXPECT_EQ(B.WriteCount(), 6);
  EXPECT_EQ(Unread(B), "abcdef");
}

TEST(WSockBufTest, SetSizeKeepsUnreadBytes)
{
  TBuffer B(8);
  ASSERT_EQ(B.Append("abcdefgh", 8), 8);
  ASSERT_EQ(B.Consume(3), 3);

  B.SetSize(12);
  EXPECT_EQ(B.Size(), 12);
  EXPECT_EQ(Unread(B), "defgh");
  EXPECT_EQ(B.Append("ijklmn", 6), 4);
  EXPECT_EQ(Unread(B), "defghijkl");

  // Shrinking below the written bytes would drop queued data; the block keeps them.
  B.SetSize(4);
  EXPECT_EQ(B.Size(), 12);
  EXPECT_EQ(Unread(B), "defghijkl");

  // Once empty, the block shrinks as asked.
  B.Consume(100);
  B.SetSize(4);
  EXPECT_EQ(B.Size(), 4);
  EXPECT_EQ(B.Append("wxyz!", 5), 4);
  EXPECT_EQ(Unread(B), "wxyz");
}

}  // namespace
