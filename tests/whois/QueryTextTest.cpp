// SPDX-License-Identifier: MIT
// The query window's text rules without a window: block cleaning, line count, header cut,
// 8-bit decoding and the error box's full stop.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "whois/ErrorBox.h"
#include "whois/Query.h"

namespace {

// The three replacements exactly as worded: each over the whole block, left to right,
// without rescanning inserted text.
std::string ReplaceAll(std::string S, const std::string& From, const std::string& To)
{
  std::string Out;
  std::size_t P = 0;
  for (std::size_t Q; (Q = S.find(From, P)) != std::string::npos; P = Q + From.size()) Out += S.substr(P, Q - P) + To;
  return Out + S.substr(P);
}

std::string ReferenceClean(const std::string& Block)
{
  std::string S = ReplaceAll(Block, std::string(1, '\0'), "");
  S = ReplaceAll(S, "\n", "\r\n");
  return ReplaceAll(S, "\r\r\n", "\r\n");
}

TEST(QueryTextTest, CleanReplyBlockCases)
{
  const struct {
    std::string In, Out;
  } Rows[] = {
      {"", ""},
      {"a\nb", "a\r\nb"},
      {"a\r\nb", "a\r\nb"},
      {"a\rb", "a\rb"},  // a lone CR stays
      {"\n", "\r\n"},    // the second half of a split CR LF
      {"a\r", "a\r"},    // the first half
      {"\r\r\n", "\r\r\n"},
      {std::string("a\0b\r\0\nc", 8), "ab\r\nc"},  // NULs go first, then the pairs are seen
      {std::string(3, '\0'), ""},
      {"\xff\x80\n", "\xff\x80\r\n"},
  };
  for (const auto& R : Rows) EXPECT_EQ(TQueryForm::CleanReplyBlock(R.In), R.Out) << "input size " << R.In.size();
}

TEST(QueryTextTest, CleanReplyBlockMatchesTheThreeReplacements)
{
  std::mt19937 Gen(7);
  const char Alphabet[] = {'\0', '\r', '\n', 'x', ' '};
  for (int Round = 0; Round < 3000; ++Round) {
    std::string Block(Gen() % 12, ' ');
    for (char& C : Block) C = Alphabet[Gen() % sizeof Alphabet];
    ASSERT_EQ(TQueryForm::CleanReplyBlock(Block), ReferenceClean(Block)) << "round " << Round;
  }
}

TEST(QueryTextTest, CountLinesIgnoresAnEmptyLastLine)
{
  EXPECT_EQ(TQueryForm::CountLines(""), 0u);
  EXPECT_EQ(TQueryForm::CountLines("a"), 1u);
  EXPECT_EQ(TQueryForm::CountLines("a\r\n"), 1u);
  EXPECT_EQ(TQueryForm::CountLines("a\r\nb"), 2u);
  EXPECT_EQ(TQueryForm::CountLines("\r\n\r\n"), 2u);
  EXPECT_EQ(TQueryForm::CountLines("a\rb\nc"), 3u);
  EXPECT_EQ(TQueryForm::CountLines("a\r\r\nb"), 3u);  // a split CR LF shows as two breaks
}

TEST(QueryTextTest, CutHeaderKeepsTheReplyOnly)
{
  const std::string Header = "1.2.3.4 is based in Italy\r\n\r\nAddress is European, querying RIPE..\r\n\r\n";
  EXPECT_EQ(TQueryForm::CutHeader(Header + "  reply\r\nline 2 \r\n\r\n"), "reply\r\nline 2");
  EXPECT_EQ(
      TQueryForm::CutHeader("Resolving x..\r\nAddress is Global, querying ARIN..\r\n\r\n\r\nConnection timeout\r\n"),
      "Connection timeout");
  // No ", querying ": the whole text.
  EXPECT_EQ(TQueryForm::CutHeader("just a reply\r\n"), "just a reply\r\n");
  // The control character is the text's last one, or there is none: the whole text.
  EXPECT_EQ(TQueryForm::CutHeader("Address is Global, querying ARIN..\r"), "Address is Global, querying ARIN..\r");
  EXPECT_EQ(TQueryForm::CutHeader("Address is Global, querying ARIN.."), "Address is Global, querying ARIN..");
  // Only the first ", querying " counts; bytes >= 0x80 are no control characters.
  EXPECT_EQ(TQueryForm::CutHeader("x, querying \xe9\xe9\r\n, querying again"), ", querying again");
  // Something after the control character, if only blanks: the trimmed rest, empty here.
  EXPECT_EQ(TQueryForm::CutHeader("x, querying ARIN..\r\n "), "");
}

TEST(QueryTextTest, FromEightBitDecodesUtf8ElseLatin1)
{
  EXPECT_EQ(TQueryForm::FromEightBit("plain"), QString("plain"));
  EXPECT_EQ(TQueryForm::FromEightBit("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
  EXPECT_EQ(TQueryForm::FromEightBit("caf\xe9"), QString::fromLatin1("caf\xe9"));
  // An invalid sequence falls back byte by byte; the valid one after it still decodes.
  EXPECT_EQ(TQueryForm::FromEightBit("\xe2\x82\xc3\xa9"), QString::fromLatin1("\xe2\x82") + QChar(0xE9));
  EXPECT_EQ(TQueryForm::FromEightBit("\xf0\x9f\x98\x80"), QString::fromUtf8("\xf0\x9f\x98\x80"));
  EXPECT_EQ(TQueryForm::FromEightBit("\xed\xa0\x80").size(), 3);                     // no surrogates from UTF-8
  EXPECT_EQ(TQueryForm::FromEightBit("\xc0\xaf"), QString::fromLatin1("\xc0\xaf"));  // overlong
}

TEST(QueryTextTest, WithFullStopRule)
{
  EXPECT_EQ(WithFullStop("Cannot open clipboard"), "Cannot open clipboard.");
  EXPECT_EQ(WithFullStop("Done."), "Done.");
  EXPECT_EQ(WithFullStop("Why?"), "Why?.");   // '?' sorts after '.'
  EXPECT_EQ(WithFullStop("Stop!"), "Stop!");  // '!' sorts before it
  EXPECT_EQ(WithFullStop("error #10061"), "error #10061.");
  EXPECT_EQ(WithFullStop("x)"), "x)");
  EXPECT_EQ(WithFullStop("caf\xe9"), "caf\xe9.");
  EXPECT_EQ(WithFullStop(""), "");
}

TEST(QueryTextTest, ShowApplicationErrorGoesToTheSink)
{
  std::vector<std::string> Seen;
  ApplicationErrorSink = [&](const std::string& M) { Seen.push_back(M); };
  ShowApplicationError("Connect: No Port Specified");
  ApplicationErrorSink = nullptr;
  ASSERT_EQ(Seen.size(), 1u);
  EXPECT_EQ(Seen[0], "Connect: No Port Specified.");
}

TEST(QueryTextTest, DefaultServerIsPrefixLowerCaseRegistrySuffix)
{
  EXPECT_EQ(TQueryForm::DefaultWhoisServer("LACNIC"),
            std::make_pair(std::string("whois.lacnic.net"), std::string("43")));
  EXPECT_EQ(TQueryForm::DefaultWhoisServer("RIPE").first, "whois.ripe.net");
}

}  // namespace
