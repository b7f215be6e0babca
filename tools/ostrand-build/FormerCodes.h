// SPDX-License-Identifier: MIT
// Country codes given out after the country table was drawn up, each with the code of the
// row that holds its territory under its former name.
#pragma once

#include <span>
#include <string_view>

// Both codes are two lower-case letters. Code has no row of its own; Row has one.
struct TFormerCode {
  std::string_view Code, Row;
};

// Made at build time from tools/ostrand-build/former-codes.txt, whose head gives the rules.
extern const std::span<const TFormerCode> FormerCodes;
