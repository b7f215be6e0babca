// SPDX-License-Identifier: MIT
#include "tray/DBusMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QDBusMetaType>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

QDBusArgument& operator<<(QDBusArgument& Arg, const TMenuLayout& Value)
{
  Arg.beginStructure();
  Arg << Value.Id << Value.Properties;
  Arg.beginArray(qMetaTypeId<QDBusVariant>());
  for (const TMenuLayout& Child : Value.Children) Arg << QDBusVariant(QVariant::fromValue(Child));
  Arg.endArray();
  Arg.endStructure();
  return Arg;
}

const QDBusArgument& operator>>(const QDBusArgument& Arg, TMenuLayout& Value)
{
  Arg.beginStructure();
  Arg >> Value.Id >> Value.Properties;
  Value.Children.clear();
  Arg.beginArray();
  while (!Arg.atEnd()) {
    QDBusVariant Child;
    Arg >> Child;
    Value.Children.push_back(qdbus_cast<TMenuLayout>(Child.variant()));
  }
  Arg.endArray();
  Arg.endStructure();
  return Arg;
}

QDBusArgument& operator<<(QDBusArgument& Arg, const TMenuItemProperties& Value)
{
  Arg.beginStructure();
  Arg << Value.Id << Value.Properties;
  Arg.endStructure();
  return Arg;
}

const QDBusArgument& operator>>(const QDBusArgument& Arg, TMenuItemProperties& Value)
{
  Arg.beginStructure();
  Arg >> Value.Id >> Value.Properties;
  Arg.endStructure();
  return Arg;
}

QDBusArgument& operator<<(QDBusArgument& Arg, const TMenuItemRemoved& Value)
{
  Arg.beginStructure();
  Arg << Value.Id << Value.Names;
  Arg.endStructure();
  return Arg;
}

const QDBusArgument& operator>>(const QDBusArgument& Arg, TMenuItemRemoved& Value)
{
  Arg.beginStructure();
  Arg >> Value.Id >> Value.Names;
  Arg.endStructure();
  return Arg;
}

QDBusArgument& operator<<(QDBusArgument& Arg, const TMenuEvent& Value)
{
  Arg.beginStructure();
  Arg << Value.Id << Value.EventId << Value.Data << Value.Timestamp;
  Arg.endStructure();
  return Arg;
}

const QDBusArgument& operator>>(const QDBusArgument& Arg, TMenuEvent& Value)
{
  Arg.beginStructure();
  Arg >> Value.Id >> Value.EventId >> Value.Data >> Value.Timestamp;
  Arg.endStructure();
  return Arg;
}

void RegisterDBusMenuTypes()
{
  static const bool Done = [] {
    qDBusRegisterMetaType<TMenuLayout>();
    qDBusRegisterMetaType<TMenuItemProperties>();
    qDBusRegisterMetaType<TMenuItemPropertiesList>();
    qDBusRegisterMetaType<TMenuItemRemoved>();
    qDBusRegisterMetaType<TMenuItemRemovedList>();
    qDBusRegisterMetaType<TMenuEvent>();
    qDBusRegisterMetaType<TMenuEventList>();
    return true;
  }();
  (void)Done;
}

QString MenuLabel(const QString& ActionText)
{
  QString Out;
  Out.reserve(ActionText.size());
  for (qsizetype I = 0; I < ActionText.size(); ++I) {
    const QChar C = ActionText[I];
    if (C == u'&') {
      if (I + 1 < ActionText.size() && ActionText[I + 1] == u'&') {
        Out += u'&';
        ++I;
      } else if (I + 1 < ActionText.size()) {
        Out += u'_';
      }
    } else if (C == u'_') {
      Out += QStringLiteral("__");
    } else {
      Out += C;
    }
  }
  return Out;
}

TDBusMenuAdaptor::TDBusMenuAdaptor(QObject* Holder, std::function<QMenu*()> Menu, std::function<void()> Closed)
    : QDBusAbstractAdaptor(Holder), m_Menu(std::move(Menu)), m_Closed(std::move(Closed))
{
  RegisterDBusMenuTypes();
}

QString TDBusMenuAdaptor::TextDirection() const
{
  return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl") : QStringLiteral("ltr");
}

void TDBusMenuAdaptor::Changed()
{
  ++m_Revision;
  emit LayoutUpdated(m_Revision, 0);
}

QAction* TDBusMenuAdaptor::ActionOf(int Id) const
{
  const auto Found = m_Actions.find(Id);
  return Found == m_Actions.end() ? nullptr : Found->second.data();
}

QMenu* TDBusMenuAdaptor::MenuOf(int Id) const
{
  if (Id == 0) return m_Menu();
  QAction* Action = ActionOf(Id);
  return Action ? Action->menu() : nullptr;
}

int TDBusMenuAdaptor::IdOf(QAction* Action)
{
  const auto Found = m_Ids.find(Action);
  if (Found != m_Ids.end() && m_Actions[Found->second] == Action) return Found->second;
  // A new action, or a new one at the address of a destroyed one.
  const int Id = m_NextId++;
  m_Ids[Action] = Id;
  m_Actions[Id] = Action;
  return Id;
}

QVariantMap TDBusMenuAdaptor::Properties(int Id, const QStringList& Names)
{
  QVariantMap All;
  if (Id == 0) {
    All.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
  } else if (QAction* Action = ActionOf(Id)) {
    if (Action->isSeparator()) {
      All.insert(QStringLiteral("type"), QStringLiteral("separator"));
    } else {
      All.insert(QStringLiteral("label"), MenuLabel(Action->text()));
      All.insert(QStringLiteral("enabled"), Action->isEnabled());
      if (Action->menu()) All.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
      if (Action->isCheckable()) {
        All.insert(QStringLiteral("toggle-type"), Action->actionGroup() && Action->actionGroup()->isExclusive()
                                                      ? QStringLiteral("radio")
                                                      : QStringLiteral("checkmark"));
        All.insert(QStringLiteral("toggle-state"), Action->isChecked() ? 1 : 0);
      }
      const QMenu* Menu = m_Menu();
      if (Menu && Menu->defaultAction() == Action) All.insert(QString::fromLatin1(kDefaultItemProperty), true);
    }
    All.insert(QStringLiteral("visible"), Action->isVisible());
  }
  if (Names.isEmpty()) return All;
  QVariantMap Some;
  for (const QString& Name : Names)
    if (All.contains(Name)) Some.insert(Name, All.value(Name));
  return Some;
}

TMenuLayout TDBusMenuAdaptor::Node(int Id, int Depth, const QStringList& Names)
{
  TMenuLayout Out;
  Out.Id = Id;
  Out.Properties = Properties(Id, Names);
  if (Depth == 0) return Out;
  if (QMenu* Menu = MenuOf(Id)) {
    for (QAction* Action : Menu->actions())
      Out.Children.push_back(Node(IdOf(Action), Depth < 0 ? -1 : Depth - 1, Names));
  }
  return Out;
}

uint TDBusMenuAdaptor::GetLayout(int ParentId, int RecursionDepth, const QStringList& PropertyNames,
                                 TMenuLayout& Layout)
{
  // An unknown parent gives an empty node rather than an error: hosts ask for 0 anyway.
  if (ParentId != 0 && !ActionOf(ParentId))
    Layout = TMenuLayout{ParentId, {}, {}};
  else
    Layout = Node(ParentId, RecursionDepth, PropertyNames);
  return m_Revision;
}

QList<TMenuItemProperties> TDBusMenuAdaptor::GetGroupProperties(const QList<int>& Ids, const QStringList& PropertyNames)
{
  TMenuItemPropertiesList Out;
  for (const int Id : Ids)
    if (Id == 0 || ActionOf(Id)) Out.push_back({Id, Properties(Id, PropertyNames)});
  return Out;
}

QDBusVariant TDBusMenuAdaptor::GetProperty(int Id, const QString& Name)
{
  const QVariantMap Props = Properties(Id, {Name});
  return QDBusVariant(Props.value(Name, QString()));
}

bool TDBusMenuAdaptor::HandleEvent(int Id, const QString& EventId)
{
  if (Id != 0 && !ActionOf(Id)) return false;
  if (EventId == QLatin1String("clicked") && Id != 0) {
    // From the event loop: the item may run a modal window, and the host waits for our
    // reply meanwhile.
    QPointer<QAction> Action = ActionOf(Id);
    QTimer::singleShot(0, this, [Action] {
      if (Action && !Action->isSeparator() && !Action->menu()) Action->trigger();
    });
  } else if (EventId == QLatin1String("closed") && Id == 0) {
    m_Closed();
  }
  return true;
}

void TDBusMenuAdaptor::Event(int Id, const QString& EventId, const QDBusVariant&, uint) { HandleEvent(Id, EventId); }

QList<int> TDBusMenuAdaptor::EventGroup(const QList<TMenuEvent>& Events)
{
  QList<int> Errors;
  for (const TMenuEvent& E : Events)
    if (!HandleEvent(E.Id, E.EventId)) Errors.push_back(E.Id);
  return Errors;
}

bool TDBusMenuAdaptor::AboutToShow(int)
{
  // The layout is read from the QMenu at every request: a host never holds a stale copy
  // without having been told (LayoutUpdated).
  return false;
}

QList<int> TDBusMenuAdaptor::AboutToShowGroup(const QList<int>& Ids, QList<int>& IdErrors)
{
  IdErrors.clear();
  for (const int Id : Ids)
    if (Id != 0 && !ActionOf(Id)) IdErrors.push_back(Id);
  return {};
}
