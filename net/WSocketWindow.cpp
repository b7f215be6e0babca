// SPDX-License-Identifier: MIT
#include "net/WSocketWindow.h"

#include <QCoreApplication>

#include "net/WSocket.h"

TSocketMessageEvent::TSocketMessageEvent(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam,
                                         std::uint64_t Session, std::shared_ptr<TLookupCompletion> Lookup)
    : QEvent(EventType()), Msg(Msg), WParam(WParam), LParam(LParam), Session(Session), Lookup(std::move(Lookup))
{
}

QEvent::Type TSocketMessageEvent::EventType()
{
  static const QEvent::Type Type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return Type;
}

void TWindowToken::Post(std::unique_ptr<TSocketMessageEvent> Event)
{
  // Held across postEvent so that the window cannot be destroyed half-way through.
  std::lock_guard Guard(m_Lock);
  if (m_Target) QCoreApplication::postEvent(m_Target, Event.release());
}

void TWindowToken::Revoke()
{
  std::lock_guard Guard(m_Lock);
  m_Target = nullptr;
}

TSocketWindow::TSocketWindow(TCustomWSocket& Socket) : m_Socket(Socket), m_Token(std::make_shared<TWindowToken>(this))
{
}

TSocketWindow::~TSocketWindow()
{
  // Events already posted die with this object (Qt removes them).
  m_Token->Revoke();
}

void TSocketWindow::Post(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam, std::uint64_t Session)
{
  QCoreApplication::postEvent(this, new TSocketMessageEvent(Msg, WParam, LParam, Session));
}

bool TSocketWindow::event(QEvent* E)
{
  if (E->type() != TSocketMessageEvent::EventType()) return QObject::event(E);
  auto* M = static_cast<TSocketMessageEvent*>(E);
  m_Socket.ReceiveWindowMessage(M->Msg, M->WParam, M->LParam, M->Session, std::move(M->Lookup));
  return true;
}
