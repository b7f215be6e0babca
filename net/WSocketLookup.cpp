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

// Windows Sockets' code for "out of resources" when no worker thread can be made.
constexpr int kNoBufferSpace = 10055;

std::uint32_t NextHandle()
{
    std::uint32_t H;
    do {
        H = ++LastLookupHandle;
    } while (H == 0);
    return H;
}

} // namespace

int SystemHostResolver(const std::string& Name, std::vector<std::uint32_t>& Addresses)
{
    addrinfo Hints{};
    Hints.ai_family = AF_INET;
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo* List = nullptr;
    const int Rc = ::getaddrinfo(Name.c_str(), nullptr, &Hints, &List);
    if (Rc != 0)
        return MapAddrInfoError(Rc);
    for (const addrinfo* A = List; A; A = A->ai_next) {
        if (A->ai_family != AF_INET || !A->ai_addr)
            continue;
        sockaddr_in In;
        std::memcpy(&In, A->ai_addr, sizeof In);
        Addresses.push_back(In.sin_addr.s_addr);
    }
    ::freeaddrinfo(List);
    // A name that exists without an IPv4 address.
    return Addresses.empty() ? 11004 : 0;
}

std::uint32_t StartHostLookup(std::shared_ptr<TWindowToken> Target, const std::string& Name)
{
    THostResolver Resolver;
    {
        std::lock_guard Guard(ResolverLock);
        Resolver = TestResolver;
    }
    if (!Resolver)
        Resolver = &SystemHostResolver;

    const std::uint32_t Handle = NextHandle();
    ++RunningWorkers;
    try {
        std::thread([Target = std::move(Target), Name, Handle, Resolver = std::move(Resolver)] {
            auto Result = std::make_shared<TLookupCompletion>();
            const int Code = Resolver(Name, Result->Addresses);
            if (Code != 0)
                Result->Addresses.clear();
            const auto LParam = static_cast<std::intptr_t>(static_cast<std::uint32_t>(Code & 0xFFFF) << 16);
            Target->Post(std::make_unique<TSocketMessageEvent>(MsgHostLookupDone, Handle, LParam, 0, std::move(Result)));
            --RunningWorkers;
        }).detach();
    } catch (const std::system_error&) {
        --RunningWorkers;
        WSocket_WSASetLastError(kNoBufferSpace);
        return 0;
    }
    return Handle;
}

void SetHostResolverForTest(THostResolver Resolver)
{
    std::lock_guard Guard(ResolverLock);
    TestResolver = std::move(Resolver);
}

std::int32_t RunningHostLookups()
{
    return RunningWorkers.load();
}
