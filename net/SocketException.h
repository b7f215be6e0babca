// SPDX-License-Identifier: MIT
// The socket layer's exception: a message text and nothing else.
#pragma once

#include <stdexcept>
#include <string>

class ESocketException : public std::runtime_error {
 public:
  explicit ESocketException(const std::string& Msg) : std::runtime_error(Msg) {}
};
