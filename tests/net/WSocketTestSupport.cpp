// SPDX-License-Identifier: MIT
#include "WSocketTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

sockaddr_in Loopback(int Port)
{
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_port = htons(static_cast<std::uint16_t>(Port));
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return A;
}

int BoundSocket(int& Port)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Fd < 0)
        throw std::runtime_error("socket");
    sockaddr_in A = Loopback(0);
    if (::bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0)
        throw std::runtime_error("bind");
    socklen_t Len = sizeof A;
    ::getsockname(Fd, reinterpret_cast<sockaddr*>(&A), &Len);
    Port = ntohs(A.sin_port);
    return Fd;
}

} // namespace

TTestServer::TTestServer(TScript Script, int Sessions)
{
    m_Listen = BoundSocket(m_Port);
    ::listen(m_Listen, 16);
    m_Thread = std::thread([this, Script = std::move(Script), Sessions] {
        for (int I = 0; I < Sessions && !m_Stop; ) {
            pollfd P{m_Listen, POLLIN, 0};
            if (::poll(&P, 1, 50) <= 0)
                continue;
            const int Fd = ::accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (Fd < 0)
                continue;
            ++m_Accepted;
            ++I;
            Script(Fd);
            ::close(Fd);
        }
    });
}

TTestServer::~TTestServer()
{
    m_Stop = true;
    m_Thread.join();
    ::close(m_Listen);
}

std::string TTestServer::ReadLine(int Fd)
{
    std::string Line;
    char C;
    while (::recv(Fd, &C, 1, 0) == 1) {
        Line += C;
        if (C == '\n')
            break;
    }
    return Line;
}

std::string TTestServer::ReadAll(int Fd)
{
    std::string Data;
    char Buf[65536];
    for (;;) {
        const auto N = ::recv(Fd, Buf, sizeof Buf, 0);
        if (N <= 0)
            return Data;
        Data.append(Buf, static_cast<std::size_t>(N));
    }
}

void TTestServer::SendAll(int Fd, const std::string& Data)
{
    std::size_t Done = 0;
    while (Done < Data.size()) {
        const auto N = ::send(Fd, Data.data() + Done, Data.size() - Done, MSG_NOSIGNAL);
        if (N <= 0)
            return;
        Done += static_cast<std::size_t>(N);
    }
}

void TTestServer::ResetClose(int Fd)
{
    linger L{1, 0};
    ::setsockopt(Fd, SOL_SOCKET, SO_LINGER, &L, sizeof L);
}

void TTestServer::WaitPeerClose(int Fd)
{
    ReadAll(Fd);
}

TRefusingPort::TRefusingPort()
{
    m_Fd = BoundSocket(m_Port);
}

TRefusingPort::~TRefusingPort()
{
    ::close(m_Fd);
}

void TEventLog::Attach(TCustomWSocket& S)
{
    S.OnChangeState = [this](TCustomWSocket*, TSocketState O, TSocketState N) {
        Events.push_back("State" + std::to_string(O) + ">" + std::to_string(N));
    };
    S.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t E) { Events.push_back("Connected" + std::to_string(E)); };
    S.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t E) { Events.push_back("Closed" + std::to_string(E)); };
    S.OnDataSent = [this](TCustomWSocket*, std::uint16_t E) { Events.push_back("Sent" + std::to_string(E)); };
    S.OnDnsLookupDone = [this](TCustomWSocket*, std::uint16_t E) { Events.push_back("Dns" + std::to_string(E)); };
}

std::string TEventLog::Joined() const
{
    std::string J;
    for (const auto& E : Events)
        J += (J.empty() ? "" : " ") + E;
    return J;
}

bool TEventLog::Has(const std::string& E) const
{
    for (const auto& X : Events)
        if (X == E)
            return true;
    return false;
}
