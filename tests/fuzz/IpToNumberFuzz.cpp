// SPDX-License-Identifier: MIT
// IpToNumber on arbitrary bytes: never crashes, never reads past the text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "geo/LibOstrand.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  // A copy of exactly Size bytes, so that AddressSanitizer catches a read one past the end.
  auto Copy = std::make_unique<char[]>(Size);
  for (std::size_t I = 0; I < Size; ++I) Copy[I] = static_cast<char>(Data[I]);
  volatile std::uint32_t N = IpToNumber(std::string_view(Copy.get(), Size));
  (void)N;
  return 0;
}
