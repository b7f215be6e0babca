// SPDX-License-Identifier: MIT
#include "tray/TrayWindow.h"

#include <QCoreApplication>
#include <QEvent>

#include <map>
#include <string>

namespace {

const QEvent::Type kPostedMessage = static_cast<QEvent::Type>(QEvent::registerEventType());

class TPostedMessage : public QEvent {
 public:
  explicit TPostedMessage(const TMessage& M) : QEvent(kPostedMessage), Message(M) {}
  TMessage Message;
};

}  // namespace

std::uint32_t RegisterWindowMessage(std::string_view Name)
{
  static std::map<std::string, std::uint32_t, std::less<>> Registry;
  if (Name.empty()) return 0;
  const auto Found = Registry.find(Name);
  if (Found != Registry.end()) return Found->second;
  const std::uint32_t Id = 0xC000 + static_cast<std::uint32_t>(Registry.size());
  Registry.emplace(std::string(Name), Id);
  return Id;
}

TTrayWindow::TTrayWindow(TWndProc WndProc, QObject* parent) : QObject(parent), m_WndProc(std::move(WndProc)) {}

TTrayWindow::~TTrayWindow() = default;

std::intptr_t TTrayWindow::SendMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam)
{
  TMessage M{Msg, WParam, LParam, 0};
  if (m_WndProc)
    m_WndProc(M);
  else
    M.Result = DefWindowProc(M);
  return M.Result;
}

void TTrayWindow::PostMessage(std::uint32_t Msg, std::uintptr_t WParam, std::intptr_t LParam)
{
  QCoreApplication::postEvent(this, new TPostedMessage(TMessage{Msg, WParam, LParam, 0}));
}

std::intptr_t TTrayWindow::DefWindowProc(const TMessage&) { return 0; }

bool TTrayWindow::event(QEvent* e)
{
  if (e->type() != kPostedMessage) return QObject::event(e);
  const TMessage& M = static_cast<TPostedMessage*>(e)->Message;
  SendMessage(M.Msg, M.WParam, M.LParam);
  return true;
}
