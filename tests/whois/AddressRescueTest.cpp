// SPDX-License-Identifier: MIT
// Pasted forms no resolver reads -> what they stand for; and the texts that must take the
// road they always took (each one a trap for a rescue that does too much).
#include "whois/AddressRescue.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(AddressRescueTest, PastedFormsGiveWhatTheyStandFor)
{
  const struct {
    std::string Pasted, Rescued;
  } Rows[] = {
      // Ports, brackets and punctuation around IPv4 addresses.
      {"8.8.8.8:53", "8.8.8.8"},
      {"[8.8.8.8]:53", "8.8.8.8"},
      {"  [8.8.8.8]:65535  ", "8.8.8.8"},
      {"(203.0.113.7)", "203.0.113.7"},
      {"203.0.113.7,", "203.0.113.7"},
      {"203.0.113.7;", "203.0.113.7"},
      {"203.0.113.7.", "203.0.113.7"},
      {"(203.0.113.7).", "203.0.113.7"},
      {"\"203.0.113.7\",", "203.0.113.7"},
      {"{'[203.0.113.7]'}", "203.0.113.7"},
      {"`203.0.113.7`", "203.0.113.7"},
      {"203.0.113.7:22,", "203.0.113.7"},
      {"[010.0.0.1]:53", "010.0.0.1"},  // as typed: the clean-up keeps leading zeros
      // Defanged addresses, URLs and e-mail addresses, any case.
      {"8.8.8[.]8", "8.8.8.8"},
      {"198(.)51{.}100[DOT]23", "198.51.100.23"},
      {"hxxp://203.0.113[.]7/x", "203.0.113.7"},
      {"hxxp://evil[.]example[.]com/x", "evil.example.com"},
      {"HXXPS://evil(dot)example{dot}com:8443/x?y=1", "evil.example.com"},
      {"hxxps://evil[.]example:8443/x", "evil.example"},
      {"hxxp[://]evil[.]example/x", "evil.example"},
      {"hxxps[:]//evil[.]example/x", "evil.example"},
      {"user[at]example[dot]com", "example.com"},
      {"user[@]example[.]com", "example.com"},
      {"<user(AT)mail[.]example>", "mail.example"},
      // What the clean-up of the clipboard leaves of such forms in the box.
      {"]evil[.]example", "evil.example"},
      {"]example.com", "example.com"},
      // Host names with a port, or in brackets.
      {"example.com:8080", "example.com"},
      {"http://example.com:8080/a/b?c=d", "example.com"},
      {"(mail.example.org)", "mail.example.org"},
      {"[example.com]:443", "example.com"},
      {"example.com.:8080", "example.com."},
      {"_dmarc.example-1.com,", "_dmarc.example-1.com"},
      // IPv6: what ParseIpv6Address then takes.
      {"2001:db8[:]:1", "2001:db8::1"},
      {"(2001:db8::1)", "2001:db8::1"},
      {"2001:db8::1.", "2001:db8::1"},
      {"[2001:db8::1].", "[2001:db8::1]"},
      {"([2001:db8::1]:443),", "[2001:db8::1]:443"},
      {"hxxp://[2001:db8[:]:1]:8080/", "[2001:db8::1]:8080"},
  };
  for (const auto& R : Rows) EXPECT_EQ(RescueAddress(R.Pasted), R.Rescued) << R.Pasted;
}

TEST(AddressRescueTest, TextsThatNeedNoRescueAreLeftAlone)
{
  const std::string Texts[] = {
      // Already answered as they are: addresses, names, the resolver's number forms.
      "192.0.2.1",
      "010.000.000.001",
      "192.0.2.1/24",
      "2001:db8::1",
      "[2001:db8::1]:8080",
      "::ffff:1.2.3.4",
      "example.com",
      "example.com.",
      "localhost",
      "http://example.com/x",
      "127.1",
      "12345",
      "0x7f000001",
      "user@example.com",
      "hxxp://evil.example.com/x",
      // Nothing to clean up to, or only the first word of a sentence.
      "",
      "   ",
      "<>",
      "Help Desk <user[at]example[.]com>",
      "user[at]",
      "(dot)",
      // Broken addresses that end as "No such host" and must go on doing so.
      "1.2.3.4.5",
      "1.2.3.256:53",
      "1.2.3.4:99999",
      "1.2.3.4:",
      "203.0.113.7..",
      "(1.2.3.4.5)",
      "[::1",
      "[::1]]",
      "::1%",
      ":::",
      "1:2:3:4:5:6:7:8:9",
      "[IPv6:1.2.3.4]",
      "[2001:db8::1]:99999",
      "[::1]junk",
      "(203.0.113.7",
      "203.0.113.7)",
      // A port or a bracket around no name: numbers, words with odd characters, ports that are
      // names, two ports.
      "12345,",
      "(0x7f000001)",
      "[127.1]",
      "example.com:http",
      "example.com:80:80",
      "exa$mple.com:80",
      "-.example:80",
      "a..b:80",
      "b\xc3\xbc"
      "cher.example:80",
      std::string(300, 'a') + ".com:80",
      std::string(100000, '(') + "1.2.3.4" + std::string(100000, ')'),
  };
  for (const std::string& Text : Texts) EXPECT_EQ(RescueAddress(Text), "") << Text.substr(0, 60);
}

TEST(AddressRescueTest, RefangPutsTheMarkersBack)
{
  EXPECT_EQ(RefangText("hxxps[:]//a[.]b(DOT)c{.}d/[at]x[@]y(://)z{:}"), "https://a.b.c.d/@x@y://z:");
  // Brackets that are no marker, and markers cut short, stay as they are.
  EXPECT_EQ(RefangText("[2001:db8::1] [.) (dot] [::] [:/] hxxp:// hxxpx [."),
            "[2001:db8::1] [.) (dot] [::] [:/] http:// hxxpx [.");
}

}  // namespace
