// SPDX-License-Identifier: MIT
// The referral reader on arbitrary replies: never crashes, names only a valid host and port,
// and its notes stay few, short and printable whatever the reply holds. The address-kind
// reader takes the same bytes: a kind only for a numeric address, and a numeric host named
// by a referral always has one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "whois/WhoisReferral.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  const std::string_view Reply(reinterpret_cast<const char*>(Data), Size);
  const TReferralScan Scan = ScanReferral(Reply);
  if (Scan.Referral) {
    const TWhoisReferral& R = *Scan.Referral;
    if (!IsValidReferralHost(R.Host) || R.Host.back() == '.' || R.Port == 0 || Scan.Stub) std::abort();
    for (const char C : R.Host) {
      if (C >= 'A' && C <= 'Z') std::abort();
    }
    const std::string_view Last = std::string_view(R.Host).substr(R.Host.rfind('.') + 1);
    bool Digits = true;
    for (const char C : Last) Digits = Digits && C >= '0' && C <= '9';
    if (Digits && !AddressKindOf(R.Host)) std::abort();
  }
  if (Size <= 64) (void)AddressKindOf(Reply);
  if (Scan.Notes.size() > kReferralNotesMax + 1) std::abort();
  for (const auto& Note : Scan.Notes) {
    if (Note.size() > 160) std::abort();
    for (const char C : Note) {
      if (C < 0x20 || C > 0x7E) std::abort();
    }
  }
  return 0;
}
