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

#include "net/WSocketAddress6.h"

class TWindowToken;

// Resolves Name to IPv4 addresses (network byte order); returns 0 or a resolver code
// (kWsaHostNotFound .. kWsaNoData, SocketErrors.h).
using THostResolver = std::function<int(const std::string& Name, std::vector<std::uint32_t>& Addresses)>;
// The same for IPv6 addresses.
using THost6Resolver = std::function<int(const std::string& Name, std::vector<TIpv6Bytes>& Addresses)>;

enum class TLookupFamily { Ipv4, Ipv6 };

// Starts a lookup of the name's addresses of one family and returns its handle (increasing,
// never 0, shared by both families), or 0 when no worker could be started, with the reason
// as the last socket error.
std::uint32_t StartHostLookup(std::shared_ptr<TWindowToken> Target, const std::string& Name,
                              TLookupFamily Family = TLookupFamily::Ipv4);

// The system resolvers: getaddrinfo, IPv4 only / IPv6 only. A name that exists without an
// address of that family gives kWsaNoData.
int SystemHostResolver(const std::string& Name, std::vector<std::uint32_t>& Addresses);
int SystemHost6Resolver(const std::string& Name, std::vector<TIpv6Bytes>& Addresses);

// Tests only: replace the resolver used by lookups started afterwards (empty restores the
// system resolver), and count the workers that have not finished posting yet.
void SetHostResolverForTest(THostResolver Resolver);
void SetHost6ResolverForTest(THost6Resolver Resolver);
std::int32_t RunningHostLookups();
