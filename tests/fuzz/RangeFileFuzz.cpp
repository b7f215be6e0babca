// SPDX-License-Identifier: MIT
// LoadRangeFile and LoadRangeFile6 on arbitrary file contents: either a table of one entry
// per whole 5-byte (17-byte) record, searched without a crash, or the loader's exception.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include <unistd.h>

#include "geo/LibOstrand.h"

namespace {

const std::string& ScratchFile()
{
  static const std::string Path = [] {
    char Name[] = "/tmp/quorvex-fuzz-range-XXXXXX";
    const int Fd = mkstemp(Name);
    if (Fd < 0) std::abort();
    close(Fd);
    return std::string(Name);
  }();
  return Path;
}

struct TRemoveAtExit {
  ~TRemoveAtExit() { std::remove(ScratchFile().c_str()); }
} RemoveAtExit;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  const std::string& Path = ScratchFile();
  std::FILE* F = std::fopen(Path.c_str(), "wb");
  if (!F) std::abort();
  if (Size > 0 && std::fwrite(Data, 1, Size, F) != Size) std::abort();
  std::fclose(F);
  try {
    LoadRangeFile(Path);
    if (RangeTable.size() != Size / 5) std::abort();
  } catch (const std::exception&) {
  }
  try {
    LoadRangeFile6(Path);
    std::array<std::uint8_t, 16> Address{};  // the search stays in bounds of unsorted tables
    std::copy(Data, Data + std::min<std::size_t>(Size, 16), Address.begin());
    if (RangeTable6.size() != Size / 17) std::abort();
    FindCountryIndex6(Address);
  } catch (const std::exception&) {
  }
  return 0;
}
