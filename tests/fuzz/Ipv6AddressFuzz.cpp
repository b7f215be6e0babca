// SPDX-License-Identifier: MIT
// ParseIpv6Address on arbitrary bytes: never crashes; a bare text it reads is what inet_pton
// reads; what it returns is canonical (its text reads back to the same bytes and is written
// the same way again), and a mapped address carries the dotted text of its last four bytes.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "whois/Ipv6Address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
    const auto Address = ParseIpv6Address(Text);

    TIpv6Bytes Bare{};
    const bool ReadBare = WSocketParseAddress6(Text, Bare);
    if (Text.find('\0') == std::string_view::npos) {
        const std::string Copy(Text);
        in6_addr Theirs{};
        const bool TheirsRead = inet_pton(AF_INET6, Copy.c_str(), &Theirs) == 1;
        if (ReadBare != TheirsRead || (ReadBare && std::memcmp(Bare.data(), &Theirs, 16) != 0))
            std::abort();
    }
    if (ReadBare && (!Address || Address->Bytes != Bare))
        std::abort();

    if (!Address)
        return 0;
    TIpv6Bytes Again{};
    if (!WSocketParseAddress6(Address->Text, Again) || Again != Address->Bytes ||
        WSocketFormatAddress6(Again) != Address->Text)
        std::abort();
    if (WSocketIsMappedAddress6(Address->Bytes) != !Address->MappedIpv4.empty())
        std::abort();
    if (!Address->MappedIpv4.empty() && Address->Text != "::ffff:" + Address->MappedIpv4)
        std::abort();
    return 0;
}
