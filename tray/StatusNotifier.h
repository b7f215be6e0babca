// SPDX-License-Identifier: MIT
// The notification shell for StatusNotifierItem hosts (KDE Plasma, waybar, GNOME's
// AppIndicator extension and most other panels of today): each icon is an
// org.kde.StatusNotifierItem on the session bus, registered with the host's
// org.kde.StatusNotifierWatcher, and its pop-up menu is exported as com.canonical.dbusmenu so
// that the host draws it. GUI thread only.
//
// The program exports the item and its menu itself rather than through Qt's own tray icon so
// that the component gets the events it gets on an XEmbed tray, where clicks count on the
// button's release (a double click: click, double click, click): each host call becomes one
// of its mouse messages (Activate a left click, ContextMenu a right click for which the
// component shows its own menu, a host-drawn menu's closing what remains of a right click),
// where Qt's icon reports activation reasons of its own and lets a host draw only a menu set
// with setContextMenu, which the component never uses. It also carries what Qt's icon has no
// place for: the mark of the menu's default item, and the XDG activation token that KWin and
// GNOME Shell hand over before Activate, without which the query window opens without the
// keyboard.
//
// On the bus, per icon: its own connection owning "org.kde.StatusNotifierItem-PID-N", the
// item at /StatusNotifierItem, the menu at /MenuBar ("/NO_DBUSMENU" while the icon has no
// menu). Host actions become the record's callback message: Activate -> WM_LBUTTONUP,
// SecondaryActivate -> WM_MBUTTONUP, ContextMenu -> WM_RBUTTONUP (the component shows its
// own menu: the host has none to draw), the exported menu's "closed" -> WM_CONTEXTMENU;
// ProvideXdgActivationToken -> ProvideActivationToken (tray/NotifyShell.h).
// A menu item "clicked" triggers its QAction from the event loop. The default item of the
// menu carries the property "x-quorvex-default" (true); dbusmenu has no standard one.
#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QPointer>
#include <QString>

#include <map>
#include <memory>

#include "tray/DBusMenu.h"
#include "tray/NotifyShell.h"

class QMenu;
class TStatusNotifierItem;

inline constexpr char kWatcherService[] = "org.kde.StatusNotifierWatcher";
inline constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
inline constexpr char kWatcherInterface[] = "org.kde.StatusNotifierWatcher";
inline constexpr char kItemPath[] = "/StatusNotifierItem";
inline constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";
inline constexpr char kMenuPath[] = "/MenuBar";
inline constexpr char kNoMenuPath[] = "/NO_DBUSMENU";

// The item's pixmaps: ARGB32 in network byte order, a(iiay).
struct TSniPixmap {
  int Width = 0;
  int Height = 0;
  QByteArray Bytes;
};
using TSniPixmaps = QList<TSniPixmap>;

// (sa(iiay)ss): icon name, icon pixmaps, title, description.
struct TSniToolTip {
  QString IconName;
  TSniPixmaps Pixmaps;
  QString Title;
  QString Text;
};

Q_DECLARE_METATYPE(TSniPixmap)
Q_DECLARE_METATYPE(TSniToolTip)

QDBusArgument& operator<<(QDBusArgument& Arg, const TSniPixmap& Value);
const QDBusArgument& operator>>(const QDBusArgument& Arg, TSniPixmap& Value);
QDBusArgument& operator<<(QDBusArgument& Arg, const TSniToolTip& Value);
const QDBusArgument& operator>>(const QDBusArgument& Arg, TSniToolTip& Value);
// Registers the types above with QtDBus; safe to call again.
void RegisterStatusNotifierTypes();

// The icon as StatusNotifierItem pixmaps, smallest first: each image the icon holds, at its
// own size and never scaled (an icon without fixed sizes: drawn at 16, 22, 24, 32 and 48
// pixels); empty for a null icon.
TSniPixmaps SniPixmaps(const QIcon& Icon);

// Whether a session bus exists that can be reached without starting one: its address is
// set, or the per-user socket is there.
bool SessionBusReachable();

// A named connection to the bus at Address, or to the session bus when Address is empty.
QDBusConnection ConnectBus(const QString& Address, const QString& Name);

// Whether a session bus can be reached without starting one (its address is set, or the
// per-user socket exists) and a StatusNotifierWatcher is registered on it. BusAddress: a
// bus to ask instead of the session bus.
bool StatusNotifierWatcherPresent(const QString& BusAddress = {});

// As StatusNotifierWatcherPresent, and a host is registered with the watcher (a watcher with
// no host shows nobody's icon; one that cannot say counts as having one).
bool StatusNotifierHostPresent(const QString& BusAddress = {});

class TStatusNotifierShell : public TNotifyShell {
 public:
  // BusAddress empty: the session bus; otherwise the bus at that address (tests).
  explicit TStatusNotifierShell(QString BusAddress = {});
  ~TStatusNotifierShell() override;
  TStatusNotifierShell(const TStatusNotifierShell&) = delete;
  TStatusNotifierShell& operator=(const TStatusNotifierShell&) = delete;

  bool Add(const TNotifyIconData& Data) override;
  bool Modify(const TNotifyIconData& Data) override;
  bool Delete(const TNotifyIconData& Data) override;
  void SetMenu(const TTrayWindow* Wnd, QMenu* Menu) override;

  // The bus name of a window's item, empty if it has none; for tests and diagnostics.
  QString ServiceOf(const TTrayWindow* Wnd) const;

 private:
  QString m_BusAddress;
  int m_Serial = 0;
  std::map<const TTrayWindow*, std::unique_ptr<TStatusNotifierItem>> m_Items;
  std::map<const TTrayWindow*, QPointer<QMenu>> m_Menus;
};
