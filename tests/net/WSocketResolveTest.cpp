// SPDX-License-Identifier: MIT
// Lookups here use only names the machine answers itself (localhost, /etc/hosts) and
// names under .invalid with a label longer than 63 characters, which the resolver rejects
// before sending any query: no test traffic leaves the machine.
#include "net/WSocketResolve.h"

#include <string>
#include <vector>

#include <arpa/inet.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/SocketApi.h"
#include "net/SocketErrors.h"

namespace {

using ::testing::AnyOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A name of exactly Length characters that cannot exist and never reaches a name server.
std::string InvalidName(std::size_t Length)
{
  const std::string Suffix = ".invalid";
  return std::string(Length - Suffix.size(), 'q') + Suffix;
}

std::string MessageOf(const std::function<void()>& Call)
{
  try {
    Call();
  } catch (const ESocketException& E) {
    return E.what();
  }
  return "(no exception)";
}

TEST(WSocketResolveTest, IsDottedAddress)
{
  const struct {
    std::string Text;
    bool Dotted;
  } Rows[] = {
      {"1.2.3.4", true},
      {"  1.2.3.4  ", true},
      {"001.02.3.4", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"", false},
      {"   ", false},
      {"1.2.3", false},
      {"1..2.3", false},
      {"1.2.3.4.", false},
      {"1.2.3.4.5", false},
      {".1.2.3.4", false},
      {" .1.2.3", false},
      {"256.1.1.1", false},
      {"1.2.3.256", false},
      {"1.2.3.4x", false},
      {"1.2 .3.4", false},
      {"1.2.3.4 5", false},
      {"1.2.3.4 and more", false},
      {"1.2.3. 4", false},
      {"\t1.2.3.4", false},  // only code 32 counts as a blank here
      {"1.2.3.4\t", false},
      {"1.2.3.0000000000255", true},
      {"1.2.3.4294967552", false},  // 2^32 + 256: must not wrap around to a small value
      {"99999999999999999999.1.1.1", false},
      {std::string("1.2.3.4\0", 8), false},
  };
  for (const auto& Row : Rows) EXPECT_EQ(IsDottedAddress(Row.Text), Row.Dotted) << '"' << Row.Text << '"';
}

TEST(WSocketResolveTest, ParseLeadingNumber)
{
  EXPECT_EQ(ParseLeadingNumber("43"), 43);
  EXPECT_EQ(ParseLeadingNumber("   43abc"), 43);
  EXPECT_EQ(ParseLeadingNumber(""), 0);
  EXPECT_EQ(ParseLeadingNumber("  x1"), 0);
  EXPECT_EQ(ParseLeadingNumber("\t7"), 0);
  // Wraps instead of overflowing; the low 16 bits stay those of the true value.
  EXPECT_EQ(ParseLeadingNumber("4294967296043"), 43);
}

TEST(WSocketResolveTest, ResolveHostDottedAndNamed)
{
  const struct {
    std::string Text;
    std::uint32_t HostOrder;
  } Rows[] = {
      {"127.0.0.1", 0x7F000001u},
      {" 10.1.2.3 ", 0x0A010203u},
      {"010.0.0.1", 0x08000001u},
      {"255.255.255.255", 0xFFFFFFFFu},
      {"localhost", 0x7F000001u},
      {"\tlocalhost\r\n", 0x7F000001u},
      {std::string(247, ' ') + "127.0.0.1", 0x7F000001u},  // exactly 256 characters
  };
  for (const auto& Row : Rows) EXPECT_EQ(ntohl(WSocketResolveHost(Row.Text)), Row.HostOrder) << Row.Text;
}

TEST(WSocketResolveTest, ResolveHostFailures)
{
  const std::string Long(257, 'a');
  EXPECT_EQ(MessageOf([&] { WSocketResolveHost(Long); }), "WSocketResolveHost: '" + Long + "' Invalid Hostname.");
  EXPECT_EQ(MessageOf([] { WSocketResolveHost(""); }), "WSocketResolveHost: '' Invalid Hostname.");
  EXPECT_EQ(MessageOf([] { WSocketResolveHost("09.1.1.1"); }), "WSocketResolveHost: '09.1.1.1' Invalid IP address.");

  const std::string At = InvalidName(256);
  EXPECT_THAT(MessageOf([&] { WSocketResolveHost(At); }),
              StartsWith("WSocketResolveHost: Cannot convert host address '" + At + "', Error #110"));

  // A NUL must not cut "localhost\0.invalid" down to the resolvable "localhost".
  const std::string WithNul("localhost\0.invalid", 18);
  EXPECT_EQ(MessageOf([&] { WSocketResolveHost(WithNul); }),
            "WSocketResolveHost: Cannot convert host address 'localhost?.invalid', Error #11001");
  EXPECT_EQ(MessageOf([] { WSocketResolveHost("\t\r\n"); }),
            "WSocketResolveHost: Cannot convert host address '\t\r\n', Error #11001");
}

TEST(WSocketResolveTest, GetHostByNameLengths)
{
  EXPECT_EQ(MessageOf([] { WSocketGetHostByName(""); }), "WSocketGetHostByName: Invalid Hostname.");
  EXPECT_EQ(MessageOf([] { WSocketGetHostByName(InvalidName(257)); }), "WSocketGetHostByName: Invalid Hostname.");
  for (const std::size_t Length : {255u, 256u}) {
    WSocket_WSASetLastError(0);
    EXPECT_EQ(WSocketGetHostByName(InvalidName(Length)), nullptr) << Length;
    EXPECT_THAT(WSocket_WSAGetLastError(), AnyOf(kWsaHostNotFound, kWsaTryAgain, kWsaNoRecovery, kWsaNoData)) << Length;
  }
  EXPECT_EQ(WSocketGetHostByName(std::string("localhost\0x", 11)), nullptr);
  EXPECT_EQ(WSocket_WSAGetLastError(), kWsaHostNotFound);
}

TEST(WSocketResolveTest, HostEntryOfLocalhost)
{
  const hostent* Entry = WSocketGetHostByName("localhost");
  ASSERT_NE(Entry, nullptr);
  EXPECT_NE(Entry->h_name, nullptr);
  std::vector<std::string> List{"kept"};
  CollectAddresses(Entry, List);
  ASSERT_GE(List.size(), 2u);
  EXPECT_EQ(List[0], "kept");
  EXPECT_EQ(List[1], "127.0.0.1");

  CollectAddresses(nullptr, List);
  EXPECT_GE(List.size(), 2u);
}

TEST(WSocketResolveTest, CollectAddressesFormatsEveryEntry)
{
  std::uint32_t A = htonl(0x0A000001u);
  std::uint32_t B = htonl(0xC0000201u);
  char* Addrs[] = {reinterpret_cast<char*>(&A), reinterpret_cast<char*>(&B), nullptr};
  hostent Entry{};
  Entry.h_addrtype = AF_INET;
  Entry.h_length = 4;
  Entry.h_addr_list = Addrs;
  std::vector<std::string> List;
  CollectAddresses(&Entry, List);
  EXPECT_EQ(List, (std::vector<std::string>{"10.0.0.1", "192.0.2.1"}));
}

TEST(WSocketResolveTest, ResolvePort)
{
  const struct {
    std::string Port;
    std::string Proto;
    std::uint16_t Result;
  } Rows[] = {
      {"43", "tcp", 43},
      {"43abc", "tcp", 43},
      {"70000", "tcp", 4464},
      {"0", "tcp", 0},
      {"whois", "tcp", 43},
      {" http ", "tcp", 80},
      {"http", "   ", 80},  // a protocol that trims to nothing means "any"
      {std::string(30, '1') + "5", "tcp", static_cast<std::uint16_t>(ParseLeadingNumber(std::string(30, '1') + "5"))},
  };
  for (const auto& Row : Rows) EXPECT_EQ(WSocketResolvePort(Row.Port, Row.Proto), Row.Result) << Row.Port;
}

TEST(WSocketResolveTest, ResolvePortFailures)
{
  const struct {
    std::string Port;
    std::string Proto;
    std::string Message;
  } Rows[] = {
      {"", "tcp", "WSocketResolvePort: Invalid Port."},
      {std::string(32, '4'), "tcp", "WSocketResolvePort: Invalid Port."},
      {"43", "", "WSocketResolvePort: Invalid Proto."},
      {"43", std::string(32, 't'), "WSocketResolvePort: Invalid Proto."},
      {"nosuchservice", "tcp", "WSocketResolvePort: Cannot convert port 'nosuchservice', Error #11004"},
      {std::string("http\0x", 6), "tcp", "WSocketResolvePort: Cannot convert port 'http?x', Error #11004"},
  };
  for (const auto& Row : Rows) {
    EXPECT_EQ(MessageOf([&] { WSocketResolvePort(Row.Port, Row.Proto); }), Row.Message) << Row.Port;
  }
}

TEST(WSocketResolveTest, ResolveProto)
{
  EXPECT_EQ(WSocketResolveProto("tcp"), 6);
  EXPECT_EQ(WSocketResolveProto(" udp "), 17);
  EXPECT_EQ(WSocketResolveProto("6"), 6);
  EXPECT_EQ(WSocketResolveProto(" 17x"), 17);

  const struct {
    std::string Text;
    std::string Message;
  } Rows[] = {
      {"", "WSocketResolveProto: Invalid Protocol."},
      {"  \t ", "WSocketResolveProto: Invalid Protocol."},
      {std::string(32, 'p'), "WSocketResolveProto: Invalid Protocol."},
      {" nosuchproto ", "WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #11004"},
      {std::string("tcp\0x", 5), "WSocketResolveProto: Cannot convert protocol 'tcp?x', Error #11004"},
  };
  for (const auto& Row : Rows) EXPECT_EQ(MessageOf([&] { WSocketResolveProto(Row.Text); }), Row.Message) << Row.Text;
}

// A machine without a protocol database still resolves "tcp" and "udp".
TEST(WSocketResolveTest, ProtocolFallbackWithoutDatabase)
{
  struct TRestore {
    ~TRestore() { SetProtocolLookupForTest(nullptr); }
  } Restore;
  static int Calls = 0;
  Calls = 0;
  SetProtocolLookupForTest([](const char*) -> protoent* {
    ++Calls;
    return nullptr;
  });
  EXPECT_EQ(WSocketResolveProto("tcp"), 6);
  EXPECT_EQ(WSocketResolveProto("UDP"), 17);
  EXPECT_EQ(Calls, 2);
  EXPECT_EQ(MessageOf([] { WSocketResolveProto("icmp"); }),
            "WSocketResolveProto: Cannot convert protocol 'icmp', Error #11004");
  ASSERT_NE(WSocket_getprotobyname("tcp"), nullptr);
  EXPECT_STREQ(WSocket_getprotobyname("tcp")->p_name, "tcp");

  SetProtocolLookupForTest(nullptr);
  EXPECT_EQ(WSocketResolveProto("icmp"), 1);
}

}  // namespace
