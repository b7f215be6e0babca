// SPDX-License-Identifier: MIT
#include "whois/AddressCleanup.h"

#include <string>

#include <gtest/gtest.h>

namespace {

struct TCase {
  std::string Input;
  std::string Result;
};

void ExpectAll(std::initializer_list<TCase> Cases)
{
  for (const TCase& Case : Cases) EXPECT_EQ(CleanAddress(Case.Input), Case.Result) << '"' << Case.Input << '"';
}

TEST(AddressCleanupTest, WorkedExamples)
{
  ExpectAll({
      {"  192.0.2.1  ", "192.0.2.1"},
      {"192.0.2.1/24", "192.0.2.1"},
      {"http://example.org:8080/a/b?c=d", "example.org:8080"},
      {"<user@mail.example.org>", "mail.example.org"},
      {"Help Desk <user@mail.example.org>", "Help"},
      {"Desk<user@mail.example.org>", "mail.example.org"},
      {"mailto:user@mail.example.org", "mail.example.org"},
      {"example.org?x=1", "example.org"},
      {"192.0.2.1 and more words", "192.0.2.1"},
      {"https://example.org/?u=user@other.example", "other.example"},
      {"     ", ""},
      {"", ""},
  });
}

TEST(AddressCleanupTest, DottedAddressesComeBackTrimmedAndUntouched)
{
  ExpectAll({
      {"\t\r\n010.001.02.3\r\n", "010.001.02.3"},
      {" 192.0.2.1 ", "192.0.2.1"},
      // Not dotted as a whole, so the first word is cut out instead.
      {"192.0.2.1\t10.0.0.1", "192.0.2.1"},
      {"192.0.2.1:80", "192.0.2.1:80"},
      {"999.1.1.1", "999.1.1.1"},
  });
}

TEST(AddressCleanupTest, BlanksAndControlCharacters)
{
  std::string AllControls;
  for (int C = 0; C <= 32; ++C) AllControls += static_cast<char>(C);
  ExpectAll({
      {AllControls, ""},
      {std::string("\0\0\0", 3), ""},
      {std::string("\0example.org\0", 13), "example.org"},
      {std::string("exam\0ple.org", 12), "exam"},
      {"example.org\x7f", "example.org\x7f"},  // DEL (127) is not a control by this rule
      {"\xe4xample.org \xff", "\xe4xample.org"},
      {"line one\nline two", "line"},
  });
}

TEST(AddressCleanupTest, MarkersInOrder)
{
  ExpectAll({
      {"Example.ORG:8080", "Example.ORG:8080"},
      {">user@host", ""},  // text before the first ">" is empty
      {"<<a@b>>", "b"},    // only the first of each marker counts
      {"a@b@c", "b@c"},
      {"@", ""},
      {"://", ""},
      {"ftp://", ""},
      {"host/path?q", "host"},
      {"host?q/path", "host"},
      {"user@https://h/x", "h"},
      {"<>", ""},
      {"s://a/b://c", "a"},
  });
}

TEST(AddressCleanupTest, LargeInputs)
{
  // Megabytes of clipboard text: the result is still the first word's host.
  std::string Big = "user@host.example/" + std::string(4 * 1024 * 1024, 'x');
  EXPECT_EQ(CleanAddress(Big), "host.example");

  std::string Blanks(4 * 1024 * 1024, ' ');
  EXPECT_EQ(CleanAddress(Blanks + "example.org" + Blanks), "example.org");

  // Many near-misses of a marker must not make the search quadratic.
  std::string NearMisses;
  for (int I = 0; I < 500000; ++I) NearMisses += ":/";
  EXPECT_EQ(CleanAddress(NearMisses), ":");
}

}  // namespace
