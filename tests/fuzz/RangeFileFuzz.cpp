// SPDX-License-Identifier: MIT
// LoadRangeFile on arbitrary file contents: either a table of one entry per whole 5-byte
// record, or the loader's exception; never a crash.
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
        if (Fd < 0)
            std::abort();
        close(Fd);
        return std::string(Name);
    }();
    return Path;
}

struct TRemoveAtExit {
    ~TRemoveAtExit() { std::remove(ScratchFile().c_str()); }
} RemoveAtExit;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string& Path = ScratchFile();
    std::FILE* F = std::fopen(Path.c_str(), "wb");
    if (!F)
        std::abort();
    if (Size > 0 && std::fwrite(Data, 1, Size, F) != Size)
        std::abort();
    std::fclose(F);
    try {
        LoadRangeFile(Path);
        if (RangeTable.size() != Size / 5)
            std::abort();
    } catch (const std::exception&) {
    }
    return 0;
}
