// SPDX-License-Identifier: MIT
#include "text/AsciiText.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

using namespace std::string_view_literals;

TEST(AsciiText, TrimsTheCodesUpTo32AndNothingElse)
{
  struct TRow {
    std::string_view Text, Both, Right;
  };
  const TRow Rows[] = {
      {""sv, ""sv, ""sv},
      {" \t\r\n\0 "sv, ""sv, ""sv},
      {"\0a b\0"sv, "a b"sv, "\0a b"sv},
      {"\x1f!\x20"sv, "!"sv, "\x1f!"sv},
      // DEL and the bytes from 0x80 are text, not blanks: a UTF-8 name keeps its last byte.
      {"\x7f x \x7f"sv, "\x7f x \x7f"sv, "\x7f x \x7f"sv},
      {" \xc3\xa4 \xff"sv, "\xc3\xa4 \xff"sv, " \xc3\xa4 \xff"sv},
  };
  for (const TRow& R : Rows) {
    EXPECT_EQ(TrimBlankOrControl(R.Text), R.Both);
    EXPECT_EQ(TrimRightBlankOrControl(R.Text), R.Right);
    std::string Dropped(R.Text);
    DropTrailingBlankOrControl(Dropped);
    EXPECT_EQ(Dropped, R.Right);
  }
}

TEST(AsciiText, SpaceOrTabTrimKeepsOtherControls)
{
  EXPECT_EQ(TrimSpaceOrTab(" \t value\t "sv), "value"sv);
  EXPECT_EQ(TrimSpaceOrTab("\r value \n"sv), "\r value \n"sv);
  EXPECT_EQ(TrimSpaceOrTab("\0 x"sv), "\0 x"sv);
  EXPECT_EQ(TrimSpaceOrTab(" \t "sv), ""sv);
}

TEST(AsciiText, CaseFoldsOnlyAToZ)
{
  // The neighbours of the letter ranges and bytes above 0x7F stay as they are.
  EXPECT_EQ(AsciiLowerCopy("@AZ[`az{\xc4\xd6"), "@az[`az{\xc4\xd6");
  EXPECT_EQ(AsciiUpperCopy("@AZ[`az{\xe4\xf6"), "@AZ[`AZ{\xe4\xf6");
  EXPECT_TRUE(EqualNoCase("WHOIS.Arin.NET", "whois.arin.net"));
  EXPECT_FALSE(EqualNoCase("whois", "whoi"));
  EXPECT_FALSE(EqualNoCase("\xc4", "\xe4"));  // Latin-1 capital and small a-umlaut
  EXPECT_FALSE(EqualNoCase("@", "`"));
  EXPECT_TRUE(EqualNoCase("", ""));
  EXPECT_TRUE(StartsWithNoCase("IPv6:2001:db8::1", "ipv6:"));
  EXPECT_TRUE(StartsWithNoCase("as", ""));
  EXPECT_FALSE(StartsWithNoCase("a", "as"));
  EXPECT_TRUE(IsAsciiLetter('z') && IsAsciiLetter('A') && !IsAsciiLetter('\xe4') && !IsAsciiLetter('['));
  EXPECT_TRUE(IsAsciiDigit('0') && IsAsciiDigit('9') && !IsAsciiDigit('/') && !IsAsciiDigit(':'));
}

TEST(AsciiText, SentenceStartKeepsAbbreviations)
{
  struct TRow {
    std::string Text, Expected;
  };
  const TRow Rows[] = {
      {"Connection refused", "connection refused"},
      {"DNS failure", "DNS failure"},
      {"A", "a"},
      {"", ""},
      {"aB", "aB"},
      {"\xc4rger", "\xc4rger"},
      {"1 Thing", "1 Thing"},
  };
  for (TRow R : Rows) {
    LowerSentenceStart(R.Text);
    EXPECT_EQ(R.Text, R.Expected);
  }
}
