// SPDX-License-Identifier: MIT
#include "tray/NotifyShell.h"

#include <QPointer>
#include <QSystemTrayIcon>

#include <cstring>

#include "tray/TrayWindow.h"

std::string TNotifyIconData::Tip() const
{
  return std::string(szTip.data(), strnlen(szTip.data(), szTip.size()));
}

TNotifyShell::~TNotifyShell() = default;

bool ShellNotifyIcon(TNotifyShell& Shell, std::uint32_t Message, const TNotifyIconData& Data)
{
  switch (Message) {
    case NIM_ADD:
      return Shell.Add(Data);
    case NIM_MODIFY:
      return Shell.Modify(Data);
    case NIM_DELETE:
      return Shell.Delete(Data);
    default:
      return false;
  }
}

namespace {

TNotifyShell* g_DefaultShell = nullptr;

std::uint32_t MouseMessageOf(QSystemTrayIcon::ActivationReason Reason)
{
  switch (Reason) {
    case QSystemTrayIcon::Trigger:
      return WM_LBUTTONUP;
    case QSystemTrayIcon::DoubleClick:
      return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Context:
      return WM_RBUTTONUP;
    case QSystemTrayIcon::MiddleClick:
      return WM_MBUTTONUP;
    default:
      return 0;
  }
}

// Merges the members the flags name into Shown, as the shell keeps them.
void Merge(TNotifyIconData& Shown, const TNotifyIconData& Data)
{
  if (Data.uFlags & NIF_MESSAGE)
    Shown.uCallbackMessage = Data.uCallbackMessage;
  if (Data.uFlags & NIF_ICON)
    Shown.hIcon = Data.hIcon;
  if (Data.uFlags & NIF_TIP)
    Shown.szTip = Data.szTip;
  Shown.uFlags |= Data.uFlags;
}

} // namespace

TNotifyShell& DefaultNotifyShell()
{
  static TQtNotifyShell QtShell;
  return g_DefaultShell ? *g_DefaultShell : QtShell;
}

void SetDefaultNotifyShell(TNotifyShell* Shell)
{
  g_DefaultShell = Shell;
}

struct TQtNotifyShell::TEntry {
  std::unique_ptr<QSystemTrayIcon> Icon;
  QPointer<TTrayWindow> Wnd;
  std::uint32_t uID = 0;
  std::uint32_t CallbackMessage = 0;
};

TQtNotifyShell::TQtNotifyShell() = default;
TQtNotifyShell::~TQtNotifyShell() = default;

void TQtNotifyShell::Apply(TEntry& Entry, const TNotifyIconData& Data)
{
  if (Data.uFlags & NIF_MESSAGE)
    Entry.CallbackMessage = Data.uCallbackMessage;
  if (Data.uFlags & NIF_ICON)
    Entry.Icon->setIcon(Data.hIcon);
  if (Data.uFlags & NIF_TIP)
    Entry.Icon->setToolTip(QString::fromUtf8(Data.Tip()));
}

bool TQtNotifyShell::Add(const TNotifyIconData& Data)
{
  if (!Data.Wnd || m_Icons.count(Data.Wnd))
    return false;
  auto Entry = std::make_unique<TEntry>();
  Entry->Icon = std::make_unique<QSystemTrayIcon>();
  Entry->Wnd = Data.Wnd;
  Entry->uID = Data.uID;
  TEntry* Raw = Entry.get();
  QObject::connect(Entry->Icon.get(), &QSystemTrayIcon::activated, Entry->Icon.get(),
                   [Raw](QSystemTrayIcon::ActivationReason Reason) {
                     const std::uint32_t Mouse = MouseMessageOf(Reason);
                     if (Raw->Wnd && Raw->CallbackMessage && Mouse)
                       Raw->Wnd->PostMessage(Raw->CallbackMessage, Raw->uID, Mouse);
                   });
  Apply(*Entry, Data);
  // Without a tray yet, Qt keeps the icon and docks it when a tray appears.
  Entry->Icon->show();
  m_Icons.emplace(Data.Wnd, std::move(Entry));
  return true;
}

bool TQtNotifyShell::Modify(const TNotifyIconData& Data)
{
  const auto Found = m_Icons.find(Data.Wnd);
  if (Found == m_Icons.end())
    return false;
  Apply(*Found->second, Data);
  return true;
}

bool TQtNotifyShell::Delete(const TNotifyIconData& Data)
{
  const auto Found = m_Icons.find(Data.Wnd);
  if (Found == m_Icons.end())
    return false;
  Found->second->Icon->hide();
  m_Icons.erase(Found);
  return true;
}

QSystemTrayIcon* TQtNotifyShell::IconOf(const TTrayWindow* Wnd) const
{
  const auto Found = m_Icons.find(Wnd);
  return Found == m_Icons.end() ? nullptr : Found->second->Icon.get();
}

bool TRecordingShell::Add(const TNotifyIconData& Data)
{
  Calls.push_back({NIM_ADD, Data});
  if (Fail || m_Shown.count(Data.Wnd))
    return false;
  TNotifyIconData Shown;
  Shown.cbSize = Data.cbSize;
  Shown.Wnd = Data.Wnd;
  Shown.uID = Data.uID;
  Merge(Shown, Data);
  m_Shown.emplace(Data.Wnd, Shown);
  return true;
}

bool TRecordingShell::Modify(const TNotifyIconData& Data)
{
  Calls.push_back({NIM_MODIFY, Data});
  const auto Found = m_Shown.find(Data.Wnd);
  if (Fail || Found == m_Shown.end())
    return false;
  Merge(Found->second, Data);
  return true;
}

bool TRecordingShell::Delete(const TNotifyIconData& Data)
{
  Calls.push_back({NIM_DELETE, Data});
  if (Fail)
    return false;
  return m_Shown.erase(Data.Wnd) > 0;
}

const TNotifyIconData* TRecordingShell::Shown(const TTrayWindow* Wnd) const
{
  const auto Found = m_Shown.find(Wnd);
  return Found == m_Shown.end() ? nullptr : &Found->second;
}

bool TRecordingShell::Mouse(const TTrayWindow* Wnd, std::uint32_t Mouse)
{
  const auto Found = m_Shown.find(Wnd);
  if (Found == m_Shown.end() || !(Found->second.uFlags & NIF_MESSAGE) ||
      !Found->second.Wnd)
    return false;
  Found->second.Wnd->PostMessage(Found->second.uCallbackMessage, Found->second.uID, Mouse);
  return true;
}
