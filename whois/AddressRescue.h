// SPDX-License-Identifier: MIT
// Pasted forms that the clean-up leaves as something no resolver can read: an IPv4 address
// with a port ("8.8.8.8:53", "[8.8.8.8]:53"), an address in brackets, parentheses, braces or
// quotes or followed by '.', ',' or ';', a host name with a port, and defanged addresses and
// URLs as security reports write them ("198.51.100[.]7", "hxxps://evil[.]example/x",
// "user[at]example[dot]com"). No state, any thread.
#pragma once

#include <string>
#include <string_view>

// What Text (the address box's text as typed or pasted, before or after CleanAddress) stands
// for: a dotted address, an IPv6 address (any form ParseIpv6Address takes) or a host name,
// or the empty string when it sees none. Only texts whose clean-up is no address and cannot
// name a host are looked at: CleanAddress(Text) has a character no host name has (a
// bracket, a comma, a colon, ...), or is a dotted address with one dot after it. So every
// text that resolves as it is (a host name, "example.com.", a number such as "127.1") gives
// the empty string and takes the road it always took. A host name returned is made of
// letters, digits, '-' and '_' in dot-separated labels (a trailing dot kept), its last label
// starting with a letter, so a rescue never hands the resolver a number.
std::string RescueAddress(std::string_view Text);

// Text with the defanging markers put back: "[.]", "(.)", "{.}", "[dot]" (any bracket kind,
// any case) become ".", "[:]" ":", "[://]" "://", "[@]" and "[at]" "@", and a "hxxp://" or
// "hxxps://" scheme is "http://" or "https://" again.
std::string RefangText(std::string_view Text);
