// SPDX-License-Identifier: MIT
#include "net/WSocketLookup.h"

#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "net/SocketApi.h"
#include "net/SocketErrors.h"
#include "net/WSocket.h"
#include "net/WSocketWindow.h"

namespace {

std::atomic<std::uint32_t> LastLookupHandle{0};
std::atomic<std::int32_t> RunningWorkers{0};
std::mutex ResolverLock;
THostResolver TestResolver;
THost6Resolver TestResolver6;

std::uint32_t NextHandle()
{
  std::uint32_t H;
  do {
    H = ++LastLookupHandle;
  } while (H == 0);
  return H;
}

}  // namespace

namespace {

// getaddrinfo for one address family; Take turns each of its socket addresses into the
// caller's form.
template <int Family, typename TSockaddr, typename TAddress, typename TTake>
int SystemResolve(const std::string& Name, std::vector<TAddress>& Addresses, TTake Take)
{
  // getaddrinfo reads up to the first NUL: "localhost\0x" would be found as localhost.
  if (Name.find('\0') != std::string::npos) return kWsaHostNotFound;
  addrinfo Hints{};
  Hints.ai_family = Family;
  Hints.ai_socktype = SOCK_STREAM;
  addrinfo* List = nullptr;
  const int Rc = ::getaddrinfo(Name.c_str(), nullptr, &Hints, &List);
  if (Rc != 0) return MapAddrInfoError(Rc);
  for (const addrinfo* A = List; A; A = A->ai_next) {
    if (A->ai_family != Family || !A->ai_addr) continue;
    TSockaddr In;
    std::memcpy(&In, A->ai_addr, sizeof In);
    Addresses.push_back(Take(In));
  }
  ::freeaddrinfo(List);
  // A name that exists without an address of this family.
  return Addresses.empty() ? kWsaNoData : 0;
}

}  // namespace

int SystemHostResolver(const std::string& Name, std::vector<std::uint32_t>& Addresses)
{
  return SystemResolve<AF_INET, sockaddr_in>(Name, Addresses, [](const sockaddr_in& In) { return In.sin_addr.s_addr; });
}

int SystemHost6Resolver(const std::string& Name, std::vector<TIpv6Bytes>& Addresses)
{
  return SystemResolve<AF_INET6, sockaddr_in6>(Name, Addresses, [](const sockaddr_in6& In) {
    TIpv6Bytes Bytes;
    std::memcpy(Bytes.data(), &In.sin6_addr, Bytes.size());
    return Bytes;
  });
}

std::uint32_t StartHostLookup(std::shared_ptr<TWindowToken> Target, const std::string& Name, TLookupFamily Family)
{
  THostResolver Resolver;
  THost6Resolver Resolver6;
  {
    std::lock_guard Guard(ResolverLock);
    Resolver = TestResolver;
    Resolver6 = TestResolver6;
  }
  if (!Resolver) Resolver = &SystemHostResolver;
  if (!Resolver6) Resolver6 = &SystemHost6Resolver;

  const std::uint32_t Handle = NextHandle();
  ++RunningWorkers;
  try {
    std::thread([Target = std::move(Target), Name, Handle, Family, Resolver = std::move(Resolver),
                 Resolver6 = std::move(Resolver6)] {
      auto Result = std::make_shared<TLookupCompletion>();
      Result->Ipv6 = Family == TLookupFamily::Ipv6;
      const int Code = Result->Ipv6 ? Resolver6(Name, Result->Addresses6) : Resolver(Name, Result->Addresses);
      if (Code != 0) {
        Result->Addresses.clear();
        Result->Addresses6.clear();
      }
      const auto LParam = static_cast<std::intptr_t>(static_cast<std::uint32_t>(Code & 0xFFFF) << 16);
      Target->Post(std::make_unique<TSocketMessageEvent>(MsgHostLookupDone, Handle, LParam, 0, std::move(Result)));
      --RunningWorkers;
    }).detach();
  } catch (const std::system_error&) {
    --RunningWorkers;
    // Out of resources: no worker thread could be made.
    WSocket_WSASetLastError(kWsaENoBufs);
    return 0;
  }
  return Handle;
}

void SetHostResolverForTest(THostResolver Resolver)
{
  std::lock_guard Guard(ResolverLock);
  TestResolver = std::move(Resolver);
}

void SetHost6ResolverForTest(THost6Resolver Resolver)
{
  std::lock_guard Guard(ResolverLock);
  TestResolver6 = std::move(Resolver);
}

std::int32_t RunningHostLookups() { return RunningWorkers.load(); }
