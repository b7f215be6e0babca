// SPDX-License-Identifier: MIT
// Shared pieces of the TWSocket suites: a scripted TCP server on 127.0.0.1 running on its own
// thread with plain blocking calls (independent of the code under test), an event recorder,
// and a wait-until helper that runs the event loop.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QTest>

#include "net/WSocket.h"

// Runs the event loop until Cond holds or TimeoutMs passes.
template <typename F>
bool WaitUntil(F Cond, int TimeoutMs = 10000)
{
    return QTest::qWaitFor(Cond, TimeoutMs);
}

class TTestServer {
public:
    using TScript = std::function<void(int Fd)>;
    // Accepts Sessions connections one after another, running Script on each, then closing it.
    explicit TTestServer(TScript Script, int Sessions = 1);
    ~TTestServer();
    std::string Port() const { return std::to_string(m_Port); }
    int Accepted() const { return m_Accepted.load(); }

    // Helpers for scripts.
    static std::string ReadLine(int Fd);
    static std::string ReadAll(int Fd);
    static void SendAll(int Fd, const std::string& Data);
    // Closes with a reset instead of an orderly close.
    static void ResetClose(int Fd);
    // Waits until the peer has closed (or reset) the connection.
    static void WaitPeerClose(int Fd);

private:
    int m_Listen = -1;
    int m_Port = 0;
    std::atomic<bool> m_Stop{false};
    std::atomic<int> m_Accepted{0};
    std::thread m_Thread;
};

// A port on 127.0.0.1 that refuses connections: bound, never listening.
class TRefusingPort {
public:
    TRefusingPort();
    ~TRefusingPort();
    std::string Port() const { return std::to_string(m_Port); }

private:
    int m_Fd = -1;
    int m_Port = 0;
};

// Records the socket's events as short texts, in order.
struct TEventLog {
    std::vector<std::string> Events;
    void Attach(TCustomWSocket& S);
    std::string Joined() const;
    bool Has(const std::string& E) const;
};
