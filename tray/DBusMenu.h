// SPDX-License-Identifier: MIT
// A QMenu exported as com.canonical.dbusmenu, so that a StatusNotifierItem host draws the
// menu itself: its items in order, labels with '_' mnemonics, separators, enabled and
// visible from the QActions, the default item marked with the custom property
// "x-quorvex-default" (the protocol has no standard one). The layout is read from the QMenu
// at every request; "clicked" triggers the QAction from the event loop. GUI thread only.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <map>

class QAction;
class QMenu;

inline constexpr char kMenuInterface[] = "com.canonical.dbusmenu";
inline constexpr char kDefaultItemProperty[] = "x-quorvex-default";

// One node of a dbusmenu layout, (ia{sv}av); each child travels as a variant.
struct TMenuLayout {
  int Id = 0;
  QVariantMap Properties;
  QList<TMenuLayout> Children;
};

// (ia{sv}) of GetGroupProperties and ItemsPropertiesUpdated.
struct TMenuItemProperties {
  int Id = 0;
  QVariantMap Properties;
};
using TMenuItemPropertiesList = QList<TMenuItemProperties>;

// (ias) of ItemsPropertiesUpdated: properties removed from an item.
struct TMenuItemRemoved {
  int Id = 0;
  QStringList Names;
};
using TMenuItemRemovedList = QList<TMenuItemRemoved>;

// (isvu) of EventGroup.
struct TMenuEvent {
  int Id = 0;
  QString EventId;
  QDBusVariant Data;
  uint Timestamp = 0;
};
using TMenuEventList = QList<TMenuEvent>;

Q_DECLARE_METATYPE(TMenuLayout)
Q_DECLARE_METATYPE(TMenuItemProperties)
Q_DECLARE_METATYPE(TMenuItemRemoved)
Q_DECLARE_METATYPE(TMenuEvent)

QDBusArgument& operator<<(QDBusArgument& Arg, const TMenuLayout& Value);
const QDBusArgument& operator>>(const QDBusArgument& Arg, TMenuLayout& Value);
QDBusArgument& operator<<(QDBusArgument& Arg, const TMenuItemProperties& Value);
const QDBusArgument& operator>>(const QDBusArgument& Arg, TMenuItemProperties& Value);
QDBusArgument& operator<<(QDBusArgument& Arg, const TMenuItemRemoved& Value);
const QDBusArgument& operator>>(const QDBusArgument& Arg, TMenuItemRemoved& Value);
QDBusArgument& operator<<(QDBusArgument& Arg, const TMenuEvent& Value);
const QDBusArgument& operator>>(const QDBusArgument& Arg, TMenuEvent& Value);

// Registers the types above with QtDBus; safe to call again.
void RegisterDBusMenuTypes();

// A QAction's text as a dbusmenu label: the mnemonic '&' becomes '_', "&&" a plain '&', and
// a literal '_' is doubled.
QString MenuLabel(const QString& ActionText);

// The com.canonical.dbusmenu interface of one menu; its holder object is what gets
// registered on the bus (at /MenuBar for a StatusNotifierItem).
class TDBusMenuAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
  Q_PROPERTY(uint Version READ Version)
  Q_PROPERTY(QString TextDirection READ TextDirection)
  Q_PROPERTY(QString Status READ Status)
  Q_PROPERTY(QStringList IconThemePath READ IconThemePath)

 public:
  // Menu gives the exported menu (nullptr: none); Closed runs when the host reports that
  // the menu it drew has closed.
  TDBusMenuAdaptor(QObject* Holder, std::function<QMenu*()> Menu, std::function<void()> Closed);

  uint Version() const { return 3; }
  QString TextDirection() const;
  QString Status() const { return QStringLiteral("normal"); }
  QStringList IconThemePath() const { return {}; }

  // The menu changed: a new revision for hosts that keep a copy.
  void Changed();

 public Q_SLOTS:
  uint GetLayout(int ParentId, int RecursionDepth, const QStringList& PropertyNames, TMenuLayout& Layout);
  QList<TMenuItemProperties> GetGroupProperties(const QList<int>& Ids, const QStringList& PropertyNames);
  QDBusVariant GetProperty(int Id, const QString& Name);
  void Event(int Id, const QString& EventId, const QDBusVariant& Data, uint Timestamp);
  QList<int> EventGroup(const QList<TMenuEvent>& Events);
  bool AboutToShow(int Id);
  QList<int> AboutToShowGroup(const QList<int>& Ids, QList<int>& IdErrors);

 Q_SIGNALS:
  void ItemsPropertiesUpdated(const QList<TMenuItemProperties>& Updated, const QList<TMenuItemRemoved>& Removed);
  void LayoutUpdated(uint Revision, int Parent);
  void ItemActivationRequested(int Id, uint Timestamp);

 private:
  // The action of an id (0: none, the root), or nullptr for an id not known.
  QAction* ActionOf(int Id) const;
  QMenu* MenuOf(int Id) const;
  int IdOf(QAction* Action);
  QVariantMap Properties(int Id, const QStringList& Names);
  TMenuLayout Node(int Id, int Depth, const QStringList& Names);
  bool HandleEvent(int Id, const QString& EventId);

  std::function<QMenu*()> m_Menu;
  std::function<void()> m_Closed;
  uint m_Revision = 1;
  int m_NextId = 1;
  std::map<QAction*, int> m_Ids;
  std::map<int, QPointer<QAction>> m_Actions;
};
