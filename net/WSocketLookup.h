// SPDX-License-Identifier: MIT
// Background host lookups for TCustomWSocket::DnsLookup: the system resolver runs on a
// worker thread and the completion (MsgHostLookupDone, the lookup handle, the error code in
// the high word, the addresses) is posted to the socket's hidden window through its token.
// A worker holds nothing of the socket but that token.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TWindowToken;

// Resolves Name to IPv4 addresses (network byte order); returns 0 or a code 11001..11004.
using THostResolver = std::function<int(const std::string& Name, std::vector<std::uint32_t>& Addresses)>;

// Starts a lookup and returns its handle (increasing, never 0), or 0 when no worker could be
// started, with the reason as the last socket error.
std::uint32_t StartHostLookup(std::shared_ptr<TWindowToken> Target, const std::string& Name);

// The system resolver: getaddrinfo, IPv4 only.
int SystemHostResolver(const std::string& Name, std::vector<std::uint32_t>& Addresses);

// Tests only: replaces the resolver used by lookups started afterwards (empty restores the
// system resolver), and counts the workers that have not finished posting yet.
void SetHostResolverForTest(THostResolver Resolver);
std::int32_t RunningHostLookups();
