// SPDX-License-Identifier: MIT
// The notification shell the program's icons use by default, chosen by the desktop it runs
// on. GUI thread only.
#pragma once

#include <QString>

#include <map>
#include <memory>

#include "tray/NotifyShell.h"
#include "tray/StatusNotifier.h"

class QDBusServiceWatcher;

// The shell the program's icons use: a StatusNotifierItem while a StatusNotifierWatcher is
// on the bus, else QSystemTrayIcon (the XEmbed tray on X11). It keeps each icon's record and
// menu, so that when a watcher comes or goes the icons move from one to the other (a
// watcher that restarts without a gap keeps its items: they register again by themselves).
class THostNotifyShell : public TNotifyShell {
 public:
  // BusAddress empty: the session bus, if one is reachable; otherwise that bus (tests).
  explicit THostNotifyShell(const QString& BusAddress = {});
  ~THostNotifyShell() override;
  THostNotifyShell(const THostNotifyShell&) = delete;
  THostNotifyShell& operator=(const THostNotifyShell&) = delete;

  bool Add(const TNotifyIconData& Data) override;
  bool Modify(const TNotifyIconData& Data) override;
  bool Delete(const TNotifyIconData& Data) override;
  void SetMenu(const TTrayWindow* Wnd, QMenu* Menu) override;

  // Whether icons go to the StatusNotifierItem shell now; for tests and diagnostics.
  bool UsingStatusNotifier() const { return m_UseSni; }
  TStatusNotifierShell& StatusNotifier() { return m_Sni; }
  TQtNotifyShell& Qt() { return m_Qt; }

 private:
  TNotifyShell& Current();
  void Switch(bool UseSni);

  QString m_ConnectionName;
  TQtNotifyShell m_Qt;
  TStatusNotifierShell m_Sni;
  bool m_UseSni = false;
  std::map<const TTrayWindow*, TNotifyIconData> m_Shown;
  std::unique_ptr<QDBusServiceWatcher> m_Watch;
};
