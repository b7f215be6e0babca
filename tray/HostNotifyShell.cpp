// SPDX-License-Identifier: MIT
#include "tray/HostNotifyShell.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

namespace {

int g_HostSerial = 0;

}  // namespace

THostNotifyShell::THostNotifyShell(const QString& BusAddress)
    : m_ConnectionName(QStringLiteral("quorvex-sni-host-%1").arg(++g_HostSerial)), m_Sni(BusAddress)
{
  if (BusAddress.isEmpty() && !SessionBusReachable()) return;
  const QDBusConnection Bus = ConnectBus(BusAddress, m_ConnectionName);
  if (!Bus.isConnected() || !Bus.interface()) return;
  m_Watch = std::make_unique<QDBusServiceWatcher>(QString::fromLatin1(kWatcherService), Bus,
                                                  QDBusServiceWatcher::WatchForOwnerChange);
  QObject::connect(m_Watch.get(), &QDBusServiceWatcher::serviceOwnerChanged, m_Watch.get(),
                   [this](const QString&, const QString&, const QString& New) { Switch(!New.isEmpty()); });
  // Asked once the watch is on, so that a watcher starting meanwhile is not missed.
  m_UseSni = Bus.interface()->isServiceRegistered(QString::fromLatin1(kWatcherService));
}

THostNotifyShell::~THostNotifyShell()
{
  m_Watch.reset();
  QDBusConnection::disconnectFromBus(m_ConnectionName);
}

TNotifyShell& THostNotifyShell::Current() { return m_UseSni ? static_cast<TNotifyShell&>(m_Sni) : m_Qt; }

bool THostNotifyShell::Add(const TNotifyIconData& Data)
{
  if (!Current().Add(Data)) return false;
  m_Shown[Data.Wnd] = Data;
  return true;
}

bool THostNotifyShell::Modify(const TNotifyIconData& Data)
{
  const auto Found = m_Shown.find(Data.Wnd);
  if (Found == m_Shown.end() || !Current().Modify(Data)) return false;
  MergeNotifyData(Found->second, Data);
  return true;
}

bool THostNotifyShell::Delete(const TNotifyIconData& Data)
{
  m_Shown.erase(Data.Wnd);
  return Current().Delete(Data);
}

void THostNotifyShell::SetMenu(const TTrayWindow* Wnd, QMenu* Menu)
{
  m_Sni.SetMenu(Wnd, Menu);
  m_Qt.SetMenu(Wnd, Menu);
}

void THostNotifyShell::Switch(bool UseSni)
{
  if (UseSni == m_UseSni) return;
  TNotifyShell& From = Current();
  m_UseSni = UseSni;
  for (auto& [Wnd, Shown] : m_Shown) {
    From.Delete(Shown);
    TNotifyIconData All = Shown;
    All.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    Current().Add(All);
  }
}
