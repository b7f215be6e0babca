// SPDX-License-Identifier: MIT
#include "whois/PaneText.h"

#include <algorithm>

#include "text/AsciiText.h"

const std::string ReplyCutLine = "Reply cut after 8 MiB; the rest was dropped.";

namespace {

bool IsContinuation(unsigned char C) { return (C & 0xC0) == 0x80; }

}  // namespace

std::string TrimBlanks(std::string_view S) { return std::string(TrimBlankOrControl(S)); }

std::size_t RightTrimmedLength(std::string_view S) { return TrimRightBlankOrControl(S).size(); }

int DecodeUtf8(const unsigned char* S, std::size_t N, char32_t& Code)
{
  const unsigned char C = S[0];
  int Len = 0;
  unsigned char Lo = 0x80, Hi = 0xBF;
  if (C >= 0xC2 && C <= 0xDF) {
    Len = 2;
  } else if (C >= 0xE0 && C <= 0xEF) {
    Len = 3;
    if (C == 0xE0) Lo = 0xA0;
    if (C == 0xED) Hi = 0x9F;  // no surrogates
  } else if (C >= 0xF0 && C <= 0xF4) {
    Len = 4;
    if (C == 0xF0) Lo = 0x90;
    if (C == 0xF4) Hi = 0x8F;
  } else {
    return 0;
  }
  if (N < static_cast<std::size_t>(Len)) return 0;
  if (S[1] < Lo || S[1] > Hi) return 0;
  for (int I = 2; I < Len; ++I)
    if (!IsContinuation(S[I])) return 0;
  char32_t V = C & (0xFF >> (Len + 1));
  for (int I = 1; I < Len; ++I) V = (V << 6) | (S[I] & 0x3F);
  Code = V;
  return Len;
}

void AppendCodePoint(QString& Out, char32_t Code)
{
  if (Code >= 0x10000) {
    Out += QChar(QChar::highSurrogate(Code));
    Out += QChar(QChar::lowSurrogate(Code));
  } else {
    Out += QChar(static_cast<char16_t>(Code));
  }
}

QString FromEightBit(std::string_view Text)
{
  QString Out;
  Out.reserve(static_cast<qsizetype>(Text.size()));
  const auto* S = reinterpret_cast<const unsigned char*>(Text.data());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    char32_t Code = S[I];
    if (S[I] >= 0x80) {
      const int Len = DecodeUtf8(S + I, Text.size() - I, Code);
      if (Len == 0)
        Code = S[I];
      else
        I += static_cast<std::size_t>(Len - 1);
    }
    AppendCodePoint(Out, Code);
  }
  return Out;
}

// One pass equal to the three replacements in turn. Once the NULs are gone, a LF that
// follows a CR stays as it is (CR LF -> CR CR LF -> CR LF) and any other LF gains a CR.
// Runs without NUL or LF are copied whole and runs of NULs skipped whole; the next LF and the
// next NUL are each looked for again only once passed. So every byte is looked at a bounded
// number of times: a hostile block of NULs costs no more than a block of text.
void AppendCleanBlock(std::string& Out, std::string_view Block)
{
  char Previous = '\0';
  std::size_t I = 0;
  const std::size_t N = Block.size();
  std::size_t NextLf = Block.find('\n'), NextNul = Block.find('\0');
  while (I < N) {
    if (NextLf < I) NextLf = Block.find('\n', I);
    if (NextNul < I) NextNul = Block.find('\0', I);
    const std::size_t J = std::min({NextLf, NextNul, N});
    if (J > I) {
      Out.append(Block.data() + I, J - I);
      Previous = Block[J - 1];
    }
    if (J == N) break;
    if (Block[J] == '\n') {
      if (Previous != '\r') Out += '\r';
      Out += '\n';
      Previous = '\n';
      I = J + 1;
    } else {
      I = std::min(Block.find_first_not_of('\0', J), N);
    }
  }
}

std::string CleanReplyBlock(std::string_view Block)
{
  std::string Out;
  AppendCleanBlock(Out, Block);
  return Out;
}

std::string CutHeader(const std::string& PaneText)
{
  const std::size_t Start = PaneText.find(", querying ");
  if (Start == std::string::npos) return PaneText;
  std::size_t P = Start;
  while (P < PaneText.size() && static_cast<unsigned char>(PaneText[P]) >= 32) ++P;
  // Positions count from 1 in the rule: "p less than the length" is P + 1 < size here.
  if (P + 1 < PaneText.size()) return TrimBlanks(std::string_view(PaneText).substr(P));
  return PaneText;
}

std::size_t CountLines(std::string_view PaneText)
{
  // Every LF ends a line, and so does every CR that no LF follows.
  std::size_t Breaks = 0;
  for (std::size_t P = PaneText.find('\n'); P != std::string_view::npos; P = PaneText.find('\n', P + 1)) ++Breaks;
  for (std::size_t P = PaneText.find('\r'); P != std::string_view::npos; P = PaneText.find('\r', P + 1))
    if (P + 1 == PaneText.size() || PaneText[P + 1] != '\n') ++Breaks;
  const bool OpenLine = !PaneText.empty() && PaneText.back() != '\r' && PaneText.back() != '\n';
  return Breaks + (OpenLine ? 1 : 0);
}
