// SPDX-License-Identifier: MIT
// The response pane's 8-bit text and its rules, shared by the query flow, its views and the
// referral follower: received blocks cleaned, lines counted, the header cut off a stored
// reply, blanks trimmed, the reply cap, and the decoding of 8-bit text for display. No state.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <QString>

// Reply bytes kept per query; past this the rest is dropped and the connection closed.
inline constexpr std::size_t ReplyCap = std::size_t{8} << 20;
// The line that says so.
extern const std::string ReplyCutLine;

// A received block as it goes into the pane: NULs removed, LF made CR LF, CR CR LF made
// CR LF, in that order over the whole block. Nothing is carried between blocks.
std::string CleanReplyBlock(std::string_view Block);
// The same, appended to Out without a copy of its own.
void AppendCleanBlock(std::string& Out, std::string_view Block);

// The stored form of a pane text: the part after the registry line, trimmed, or the whole
// text when there is no ", querying " or nothing follows the registry line.
std::string CutHeader(const std::string& PaneText);
// Lines of a pane text, an empty last line not counted; CR LF, lone CR and lone LF each end
// a line.
std::size_t CountLines(std::string_view PaneText);

// Text without the characters of codes 0 to 32 at both ends.
std::string TrimBlanks(std::string_view Text);
// Length of Text without the characters of codes 0 to 32 at its right end.
std::size_t RightTrimmedLength(std::string_view Text);

// Length of the well-formed UTF-8 sequence at S[0..N), or 0 when it is not one (including a
// sequence cut short by the end of the input). Sets Code on success. N must be at least 1.
int DecodeUtf8(const unsigned char* S, std::size_t N, char32_t& Code);
// Appends one code point to Out, as a surrogate pair above U+FFFF.
void AppendCodePoint(QString& Out, char32_t Code);
// Display form of 8-bit text: UTF-8 where a sequence is valid, Latin-1 byte by byte
// elsewhere. Used for the address box, whose text is 8-bit as well.
QString FromEightBit(std::string_view Text);
