// SPDX-License-Identifier: MIT
// CleanAddress on arbitrary bytes: never crashes, and what it returns is a piece of the
// input with no blank or control character in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "whois/AddressCleanup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
  const std::string Result = CleanAddress(Text);
  if (Result.size() > Text.size() || Text.find(Result) == std::string_view::npos) std::abort();
  for (const char C : Result) {
    if (static_cast<unsigned char>(C) <= 32) std::abort();
  }
  return 0;
}
