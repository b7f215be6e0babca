// SPDX-License-Identifier: MIT
// ParseIpv6Address on arbitrary bytes: never crashes; a bare text is read as inet_pton reads
// it; what it returns is canonical (read back to the same bytes, written the same again).
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "whois/Ipv6Address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  const auto Address = ParseIpv6Address(Text);
  TIpv6Bytes Bare{}, Again{};
  in6_addr Theirs{};
  const bool ReadBare = WSocketParseAddress6(Text, Bare);
  if (Text.find('\0') == std::string::npos && (ReadBare != (inet_pton(AF_INET6, Text.c_str(), &Theirs) == 1) ||
                                               (ReadBare && std::memcmp(Bare.data(), &Theirs, 16) != 0)))
    std::abort();
  if (ReadBare && (!Address || Address->Bytes != Bare)) std::abort();
  if (Address && (!WSocketParseAddress6(Address->Text, Again) || Again != Address->Bytes ||
                  WSocketFormatAddress6(Again) != Address->Text ||
                  (!Address->MappedIpv4.empty() && Address->Text != "::ffff:" + Address->MappedIpv4)))
    std::abort();
  return 0;
}
