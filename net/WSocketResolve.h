// SPDX-License-Identifier: MIT
// Synchronous resolution of host, port and protocol texts, and the dotted-address test.
// The lookups block the calling thread; the rest only compute. Raise ESocketException.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <netdb.h>

#include "net/SocketException.h"

bool IsDottedAddress(std::string_view Text);
std::int32_t ParseLeadingNumber(std::string_view Text);
// Null when the name cannot be resolved (the reason is the last socket error). The entry
// belongs to the platform and is valid until the next blocking lookup on this thread.
hostent* WSocketGetHostByName(const std::string& Name);
// IPv4 address in network byte order.
std::uint32_t WSocketResolveHost(const std::string& Text);
// Port in host byte order.
std::uint16_t WSocketResolvePort(const std::string& PortText, const std::string& ProtoText);
int WSocketResolveProto(const std::string& Text);
void CollectAddresses(const hostent* HostEntry, std::vector<std::string>& List);
