// SPDX-License-Identifier: MIT
// The address scanner on real log, header and CSV lines, on the texts that only look like
// addresses, and on input fed in pieces: chunk boundaries anywhere, a 10 MiB line, binary.
#include "whois/AddressScan.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using TList = std::vector<std::string>;

TEST(AddressScanTest, LinesOfLogsHeadersAndTables)
{
  const struct {
    std::string Line;
    TList Found;
  } Rows[] = {
      {"Received: from mx.example (mx.example [198.51.100.23])\r\n\tby mail.example.net (Postfix) with ESMTPS id "
       "4ABC123DEF; Tue, 1 Dec 2026 10:00:00 +0000 (UTC)",
       {"198.51.100.23"}},
      {"Received: from [IPv6:2001:DB8::25] (helo=mx.example) by mx2.example", {"2001:db8::25"}},
      {"Dec  1 10:00:00 host sshd[1234]: Failed password for root from 203.0.113.7 port 22 ssh2", {"203.0.113.7"}},
      {"Accepted publickey for git from 2001:db8:0:0:1::5 port 50022 ssh2: ED25519 SHA256:AbCdEf",
       {"2001:db8::1:0:0:5"}},
      {"203.0.113.7,2026-12-01,blocked\n198.51.100.1,2026-12-02,allowed", {"203.0.113.7", "198.51.100.1"}},
      {"203.0.113.7 - - [01/Dec/2026:10:00:00 +0000] \"GET /index.html HTTP/1.1\" 200 2326 \"http://example.com/\" "
       "\"Mozilla/5.0 (X11; Linux x86_64; rv:109.0) Gecko/20100101 Firefox/115.0 Chrome/120.0.0.0 Safari/537.36\"",
       {"203.0.113.7"}},
      {"2026/12/01 10:00:00 [error] 99#0: *5 connect() failed (111: Connection refused), client: 2001:db8::1, "
       "server: example.com, upstream: \"http://127.0.0.1:8080/\"",
       {"2001:db8::1", "127.0.0.1"}},
      {"see http://[2001:db8::1]:8080/ and http://192.0.2.1:8080/x?y=1", {"2001:db8::1", "192.0.2.1"}},
      {"mapped ::ffff:198.51.100.1 and ::FFFF:C633:6401 and 198.51.100.1 again", {"198.51.100.1"}},
      {"listening on ::1 port 22 (not on ::) and fe80::1%eth0, prefix 2001:db8::/32.",
       {"::1", "fe80::1", "2001:db8::"}},
      {"IOC: 198.51.100[.]23, hxxp://203.0.113[.]7/x, 2001:db8[:]:1, 192(.)0{.}2[DOT]9",
       {"198.51.100.23", "203.0.113.7", "2001:db8::1", "192.0.2.9"}},
      {"from=<a@b.example> ip=192.0.2.1; relay=[192.0.2.2]:25, addr:192.0.2.3: end.",
       {"192.0.2.1", "192.0.2.2", "192.0.2.3"}},
      {"Last hop 192.0.2.44.", {"192.0.2.44"}},
      {"range 192.0.2.1-192.0.2.9 and net 10.0.0.0/8", {"192.0.2.1", "192.0.2.9", "10.0.0.0"}},
      {"0.0.0.0 255.255.255.255", {"0.0.0.0", "255.255.255.255"}},
      {"2001:0DB8:0000:0000:0000:0000:0000:0001 is 2001:db8::1", {"2001:db8::1"}},
  };
  for (const auto& R : Rows) EXPECT_EQ(FindAddresses(R.Line), R.Found) << R.Line;
}

TEST(AddressScanTest, TextsThatOnlyLookLikeAddresses)
{
  const std::string Texts[] = {
      "version 1.2.3.4.5",
      "OID 1.3.6.1.4.1.311",
      "v10.0.0.1",
      "V1.2.3.4",
      "release-1.1.1.1",
      "Chrome/120.0.0.0",
      "at 12:34:56 and 12:34:56.789, 2026-12-01T10:00:00.123+00:00",
      "MAC 00:1a:2b:3c:4d:5e, EUI 00:1a:2b:ff:fe:3c:4d:5e",
      "sha256:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 md5 d41d8cd98f00b204e9800998ecf8427e",
      "std::string a::b dead::beef Foo::Bar1 :: x ::",
      "1.2.3.256 256.1.1.1 1.2.3",
      "abc1.2.3.4 xyz1.2.3.4 1.2.3.4x 1.2.3.4_5",
      "4.3.2.1.in-addr.arpa file-1.2.3.4.tar 1.2.3.4.txt",
      "010.0.0.1 192.168.001.001 1.2.3.04",
      "1:2:3:4:5:6:7:8:9 1::2::3 1:2:3:4:5:6:7:1.2.3.4",
      "x::ffff:1.2.3.4y",
      "12:34:1.2.3.4:56",
      "1.2.3[.4 1.2.3[dox]4",
      "::ffff",
  };
  for (const std::string& Text : Texts) EXPECT_EQ(FindAddresses(Text), TList{}) << Text;
}

// Every chunking of a text gives what the whole text gives: markers, runs and their context
// split anywhere.
TEST(AddressScanTest, ChunkBoundariesAnywhere)
{
  const std::string Text =
      "v1.2.3.4 [IPv6:2001:db8::25] 198.51.100[dot]23, 2001:db8[:]:1 Chrome/120.0.0.0 1.2.3[(x 203.0.113.7.\n"
      "4.3.2.1.in-addr.arpa ::ffff:192.0.2.1 192.0.2.1:22 (192.0.2.2)";
  const TList Whole = FindAddresses(Text);
  ASSERT_EQ(Whole, (TList{"2001:db8::25", "198.51.100.23", "2001:db8::1", "203.0.113.7", "192.0.2.1", "192.0.2.2"}));
  for (std::size_t Size = 1; Size <= 7; ++Size) {
    for (std::size_t First = 0; First < Size; ++First) {
      TList Found;
      TAddressScanner Scanner([&](const std::string& A) { Found.push_back(A); });
      Scanner.Feed(Text.substr(0, First));
      for (std::size_t At = First; At < Text.size(); At += Size) Scanner.Feed(Text.substr(At, Size));
      Scanner.Finish();
      EXPECT_EQ(Found, Whole) << "chunks of " << Size << " after " << First;
    }
  }
}

// A 10 MiB line of address characters with addresses between its runs, fed in odd-sized
// chunks: the overlong runs are skipped, every address that stands apart is found, each once.
TEST(AddressScanTest, TenMebibyteLineInOddChunks)
{
  std::string Line;
  Line.reserve(10u << 20);
  TList Want;
  std::mt19937 Random(7);
  for (int I = 0; Line.size() < (10u << 20); ++I) {
    Line.append(4000 + Random() % 3000, (I % 2) ? '1' : ':');  // far longer than any address
    const std::string Address = "10." + std::to_string(I % 200) + ".0." + std::to_string(I / 200 % 250);
    Line += " " + Address + " ";
    Want.push_back(Address);
    if (I % 97 == 0) Line += "2001:db8::" + std::to_string(I) + ",";
  }
  Line += " 2001:db8::ffff\n";
  TList Found;
  TAddressScanner Scanner([&](const std::string& A) { Found.push_back(A); });
  for (std::size_t At = 0; At < Line.size();) {
    const std::size_t N = std::min<std::size_t>(1 + Random() % 8191, Line.size() - At);
    Scanner.Feed(std::string_view(Line).substr(At, N));
    At += N;
  }
  Scanner.Finish();
  // The IPv6 addresses before a comma stand apart too.
  TList Ipv4, Ipv6;
  for (const std::string& A : Found) (A.find(':') == std::string::npos ? Ipv4 : Ipv6).push_back(A);
  EXPECT_EQ(Ipv4, Want);
  ASSERT_FALSE(Ipv6.empty());
  EXPECT_EQ(Ipv6.front(), "2001:db8::");
  EXPECT_EQ(Ipv6.back(), "2001:db8::ffff");
  EXPECT_EQ(Scanner.DistinctCount(), Found.size());
}

TEST(AddressScanTest, BinaryInputAndNuls)
{
  std::string Bytes;
  std::mt19937 Random(11);
  for (int I = 0; I < 1 << 20; ++I) Bytes += static_cast<char>(Random() % 256);
  const TList Noise = FindAddresses(Bytes);  // whatever it is, it must be addresses
  for (const std::string& A : Noise) EXPECT_EQ(FindAddresses(" " + A + " "), TList{A});

  const std::string Nuls = std::string(
                               "\0"
                               "192.0.2.1"
                               "\0\xff\xfe"
                               "2001:db8::1"
                               "\0",
                               25) +
                           "\x80"
                           "192.0.2.2"
                           "\xc3";
  EXPECT_EQ(FindAddresses(Nuls), (TList{"192.0.2.1", "2001:db8::1", "192.0.2.2"}));
}

TEST(AddressScanTest, DedupeAcrossTextsAndItsBound)
{
  TList Found;
  TAddressScanner Scanner([&](const std::string& A) { Found.push_back(A); }, 2);
  Scanner.Feed("192.0.2.1 2001:db8::1 192.0.2.");
  Scanner.Finish();  // "192.0.2." ends the text: no address
  Scanner.Feed("1 ::ffff:192.0.2.1 192.0.2.3 2001:DB8::1 192.0.2.3");
  Scanner.Finish();
  EXPECT_EQ(Found, (TList{"192.0.2.1", "2001:db8::1"}));
  EXPECT_EQ(Scanner.DistinctCount(), 2u);
  EXPECT_EQ(Scanner.Dropped(), 2u);  // 192.0.2.3, met twice once the set was full
}

}  // namespace
