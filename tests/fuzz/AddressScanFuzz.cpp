// SPDX-License-Identifier: MIT
// The address scanner on arbitrary bytes: fed in chunks of sizes the input chooses, it finds
// exactly what it finds in the whole text; each address it yields is found again, alone and
// unchanged, in a text of its own; nothing is yielded twice.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "whois/AddressScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
  if (Size < 2) return 0;
  // The first two bytes choose the chunk sizes; the rest is the text.
  const unsigned Seed = Data[0] | static_cast<unsigned>(Data[1]) << 8;
  const std::string_view Text(reinterpret_cast<const char*>(Data) + 2, Size - 2);

  const std::vector<std::string> Whole = FindAddresses(Text);
  std::vector<std::string> Chunked;
  TAddressScanner Scanner([&Chunked](const std::string& A) { Chunked.push_back(A); });
  unsigned State = Seed * 2654435761u + 1;
  for (std::size_t At = 0; At < Text.size();) {
    State = State * 1103515245u + 12345u;
    const std::size_t N = std::min<std::size_t>(1 + (State >> 16) % 67, Text.size() - At);
    Scanner.Feed(Text.substr(At, N));
    At += N;
  }
  Scanner.Finish();
  if (Chunked != Whole || Scanner.DistinctCount() != Whole.size()) std::abort();

  std::set<std::string> Seen;
  for (const std::string& A : Whole) {
    if (!Seen.insert(A).second) std::abort();
    const std::vector<std::string> Again = FindAddresses(" " + A + " ");
    if (Again.size() != 1 || Again[0] != A) std::abort();
  }
  return 0;
}
