// SPDX-License-Identifier: MIT
// Trimming, character classes and case of the program's 8-bit texts by ASCII's rules alone:
// nothing here reads the locale, and a byte of 0x80 or above is never a blank, a control, a
// digit or a letter, so UTF-8 and Latin-1 bytes pass through every function unchanged.
// Header only: net/ and geo/ use nothing else of ours, and every folder may include this.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The codes 0 to 32: the space and the control characters (NUL, tab, CR, LF, ...). The
// program's rule for what may surround a typed, pasted or resolved text.
constexpr bool IsBlankOrControl(char C) { return static_cast<unsigned char>(C) <= 32; }
// Space and tab only: what pads the values of a registry's reply and of the text lists;
// CR, NUL and the other controls are not padding there.
constexpr bool IsSpaceOrTab(char C) { return C == ' ' || C == '\t'; }
constexpr bool IsAsciiDigit(char C) { return C >= '0' && C <= '9'; }
constexpr bool IsAsciiLetter(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z'); }

// Text without the codes 0 to 32 at either end.
constexpr std::string_view TrimBlankOrControl(std::string_view Text)
{
  while (!Text.empty() && IsBlankOrControl(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsBlankOrControl(Text.back())) Text.remove_suffix(1);
  return Text;
}
// Text without the codes 0 to 32 at its right end.
constexpr std::string_view TrimRightBlankOrControl(std::string_view Text)
{
  while (!Text.empty() && IsBlankOrControl(Text.back())) Text.remove_suffix(1);
  return Text;
}
// Text shortened by the codes 0 to 32 at its end.
inline void DropTrailingBlankOrControl(std::string& Text) { Text.resize(TrimRightBlankOrControl(Text).size()); }
// Text without spaces and tabs at either end; any other control stays.
constexpr std::string_view TrimSpaceOrTab(std::string_view Text)
{
  while (!Text.empty() && IsSpaceOrTab(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsSpaceOrTab(Text.back())) Text.remove_suffix(1);
  return Text;
}

// A to Z become a to z (and back); every other byte stays as it is.
constexpr char AsciiLower(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; }
constexpr char AsciiUpper(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; }
inline std::string AsciiLowerCopy(std::string_view Text)
{
  std::string Out(Text);
  for (char& C : Out) C = AsciiLower(C);
  return Out;
}
inline std::string AsciiUpperCopy(std::string_view Text)
{
  std::string Out(Text);
  for (char& C : Out) C = AsciiUpper(C);
  return Out;
}

// Equal when A to Z are read as a to z; other bytes must match exactly.
constexpr bool EqualNoCase(std::string_view A, std::string_view B)
{
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (AsciiLower(A[I]) != AsciiLower(B[I])) return false;
  return true;
}
constexpr bool StartsWithNoCase(std::string_view Text, std::string_view Prefix)
{
  return Text.size() >= Prefix.size() && EqualNoCase(Text.substr(0, Prefix.size()), Prefix);
}

// Text as it reads inside a sentence: a capital first letter in lower case, unless the
// second letter is a capital too (an abbreviation such as "DNS" keeps its case).
inline void LowerSentenceStart(std::string& Text)
{
  const auto IsCapital = [](char C) { return C >= 'A' && C <= 'Z'; };
  if (!Text.empty() && IsCapital(Text[0]) && (Text.size() < 2 || !IsCapital(Text[1]))) Text[0] = AsciiLower(Text[0]);
}
