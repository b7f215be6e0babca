// SPDX-License-Identifier: MIT
// Helpers shared by the source files of TCustomWSocket (WSocket*.cpp); not for its callers.
#pragma once

#include <cstdint>
#include <string>

namespace WSocketDetail {

// The two halves of a private message's lParam: the event bits, and the error code.
constexpr std::uint16_t LowWord(std::intptr_t V)
{
  return static_cast<std::uint16_t>(static_cast<std::uintptr_t>(V) & 0xFFFF);
}

constexpr std::uint16_t HighWord(std::intptr_t V)
{
  return static_cast<std::uint16_t>((static_cast<std::uintptr_t>(V) >> 16) & 0xFFFF);
}

// Fmt with its %s replaced by Text and its %d by Code, in order.
std::string FormatMessage(const std::string& Fmt, const std::string& Text, int Code);

}  // namespace WSocketDetail
