// SPDX-License-Identifier: MIT
// IsDottedAddress on arbitrary bytes, checked against a plain reading of the rule: blanks
// around four non-empty runs of decimal digits, each at most 255, joined by three dots.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/WSocketResolve.h"

namespace {

bool ReferenceDotted(std::string_view S)
{
  while (!S.empty() && S.front() == ' ') S.remove_prefix(1);
  while (!S.empty() && S.back() == ' ') S.remove_suffix(1);
  int Parts = 0;
  while (true) {
    const std::size_t Dot = S.find('.');
    const std::string_view Part = S.substr(0, Dot);
    if (Part.empty()) return false;
    unsigned Value = 0;
    for (const char C : Part) {
      if (C < '0' || C > '9') return false;
      Value = Value * 10 + static_cast<unsigned>(C - '0');
      if (Value > 255) return false;
    }
    ++Parts;
    if (Dot == std::string_view::npos) break;
    S.remove_prefix(Dot + 1);
  }
  return Parts == 4;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
  if (IsDottedAddress(Text) != ReferenceDotted(Text)) std::abort();
  (void)ParseLeadingNumber(Text);
  return 0;
}
