// SPDX-License-Identifier: MIT
#include "whois/ErrorText.h"

std::string WithFullStop(std::string Message)
{
  // Compared as unsigned bytes, as the 8-bit text is: bytes >= 0x80 sort after '.' too.
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') Message += '.';
  return Message;
}
