// SPDX-License-Identifier: MIT
// The socket's hidden window: a per-socket message target on the owner thread that receives
// the private messages (number, wParam, lParam) as posted Qt events and hands them to the
// socket. Lookup workers reach it only through a TWindowToken, which stops posting once the
// window is gone, so a late completion can never touch a destroyed socket.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include <QEvent>
#include <QObject>

#include "net/WSocketAddress6.h"

class TCustomWSocket;

// What a finished host lookup hands back, in the order the resolver gave them: IPv4
// addresses in network byte order, or for a lookup of IPv6 addresses (Ipv6 set) those.
struct TLookupCompletion {
  std::vector<std::uint32_t> Addresses;
  bool Ipv6 = false;
  std::vector<TIpv6Bytes> Addresses6;
};

class TSocketMessageEvent : public QEvent {
 public:
  TSocketMessageEvent(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam, std::uint64_t Session,
                      std::shared_ptr<TLookupCompletion> Lookup = {});
  static QEvent::Type EventType();

  std::uint32_t Msg;
  std::uintptr_t WParam;
  std::intptr_t LParam;
  // The socket session the message belongs to; socket notifications of an ended session
  // are dropped (descriptor numbers are reused, so the handle alone cannot tell).
  std::uint64_t Session;
  std::shared_ptr<TLookupCompletion> Lookup;
};

// Shared by a window and the workers that post to it from other threads.
class TWindowToken {
 public:
  explicit TWindowToken(QObject* Target) : m_Target(Target) {}
  // Any thread. Posts while the window exists, else drops the event.
  void Post(std::unique_ptr<TSocketMessageEvent> Event);
  // Owner thread, before the window is destroyed.
  void Revoke();

 private:
  std::mutex m_Lock;
  QObject* m_Target;
};

class TSocketWindow : public QObject {
 public:
  explicit TSocketWindow(TCustomWSocket& Socket);
  ~TSocketWindow() override;

  const std::shared_ptr<TWindowToken>& Token() const { return m_Token; }
  void Post(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam, std::uint64_t Session);

 protected:
  bool event(QEvent* E) override;

 private:
  TCustomWSocket& m_Socket;
  std::shared_ptr<TWindowToken> m_Token;
};
