// SPDX-License-Identifier: MIT
#include "tray/StatusNotifier.h"

#include <QCoreApplication>
#include <QActionGroup>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <set>

#include "tray/TrayWindow.h"

// ---- marshalling ---------------------------------------------------------------------------

QDBusArgument& operator<<(QDBusArgument& Arg, const TSniPixmap& Value)
{
  Arg.beginStructure();
  Arg << Value.Width << Value.Height << Value.Bytes;
  Arg.endStructure();
  return Arg;
}

const QDBusArgument& operator>>(const QDBusArgument& Arg, TSniPixmap& Value)
{
  Arg.beginStructure();
  Arg >> Value.Width >> Value.Height >> Value.Bytes;
  Arg.endStructure();
  return Arg;
}

QDBusArgument& operator<<(QDBusArgument& Arg, const TSniToolTip& Value)
{
  Arg.beginStructure();
  Arg << Value.IconName << Value.Pixmaps << Value.Title << Value.Text;
  Arg.endStructure();
  return Arg;
}

const QDBusArgument& operator>>(const QDBusArgument& Arg, TSniToolTip& Value)
{
  Arg.beginStructure();
  Arg >> Value.IconName >> Value.Pixmaps >> Value.Title >> Value.Text;
  Arg.endStructure();
  return Arg;
}

QDBusArgument& operator<<(QDBusArgument& Arg, const TMenuLayout& Value)
{
  Arg.beginStructure();
  Arg << Value.Id << Value.Properties;
  Arg.beginArray(qMetaTypeId<QDBusVariant>());
  for (const TMenuLayout& Child : Value.Children)
    Arg << QDBusVariant(QVariant::fromValue(Child));
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

void RegisterStatusNotifierTypes()
{
  static const bool Done = [] {
    qDBusRegisterMetaType<TSniPixmap>();
    qDBusRegisterMetaType<TSniPixmaps>();
    qDBusRegisterMetaType<TSniToolTip>();
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

TSniPixmaps SniPixmaps(const QIcon& Icon)
{
  TSniPixmaps Out;
  if (Icon.isNull())
    return Out;
  for (const int Size : {16, 22, 24, 32, 48}) {
    QImage Image = Icon.pixmap(QSize(Size, Size)).toImage();
    if (Image.isNull())
      continue;
    if (Image.size() != QSize(Size, Size))
      Image = Image.scaled(Size, Size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    Image = Image.convertToFormat(QImage::Format_ARGB32);
    TSniPixmap P;
    P.Width = Image.width();
    P.Height = Image.height();
    P.Bytes.resize(static_cast<qsizetype>(P.Width) * P.Height * 4);
    char* To = P.Bytes.data();
    for (int Y = 0; Y < P.Height; ++Y) {
      const auto* Line = reinterpret_cast<const QRgb*>(Image.constScanLine(Y));
      for (int X = 0; X < P.Width; ++X) {
        const QRgb Pixel = Line[X];
        *To++ = static_cast<char>(qAlpha(Pixel));
        *To++ = static_cast<char>(qRed(Pixel));
        *To++ = static_cast<char>(qGreen(Pixel));
        *To++ = static_cast<char>(qBlue(Pixel));
      }
    }
    Out.push_back(std::move(P));
  }
  return Out;
}

// Only a bus that exists already: with no address set, the bus library would start one of
// its own for the X display, which would outlive the program.
bool SessionBusReachable()
{
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
    return true;
  const QString Runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !Runtime.isEmpty() && QFileInfo(QDir(Runtime).filePath(QStringLiteral("bus"))).exists();
}

namespace {

QDBusConnection ConnectBus(const QString& Address, const QString& Name)
{
  return Address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, Name)
                           : QDBusConnection::connectToBus(Address, Name);
}

} // namespace

bool StatusNotifierWatcherPresent(const QString& BusAddress)
{
  if (BusAddress.isEmpty() && !SessionBusReachable())
    return false;
  const QString Name = QStringLiteral("quorvex-sni-probe");
  bool Present = false;
  {
    QDBusConnection Bus = ConnectBus(BusAddress, Name);
    if (Bus.isConnected() && Bus.interface())
      Present = Bus.interface()->isServiceRegistered(QString::fromLatin1(kWatcherService));
  }
  QDBusConnection::disconnectFromBus(Name);
  return Present;
}

// ---- the exported objects ------------------------------------------------------------------

class TStatusNotifierItem;

// org.kde.StatusNotifierItem at /StatusNotifierItem.
class TSniItemAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  Q_PROPERTY(QString Category READ Category)
  Q_PROPERTY(QString Id READ Id)
  Q_PROPERTY(QString Title READ Title)
  Q_PROPERTY(QString Status READ Status)
  Q_PROPERTY(int WindowId READ WindowId)
  Q_PROPERTY(QString IconThemePath READ Empty)
  Q_PROPERTY(QString IconName READ Empty)
  Q_PROPERTY(QList<TSniPixmap> IconPixmap READ IconPixmap)
  Q_PROPERTY(QString OverlayIconName READ Empty)
  Q_PROPERTY(QList<TSniPixmap> OverlayIconPixmap READ NoPixmaps)
  Q_PROPERTY(QString AttentionIconName READ Empty)
  Q_PROPERTY(QList<TSniPixmap> AttentionIconPixmap READ NoPixmaps)
  Q_PROPERTY(QString AttentionMovieName READ Empty)
  Q_PROPERTY(TSniToolTip ToolTip READ ToolTip)
  Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
  Q_PROPERTY(QDBusObjectPath Menu READ Menu)

 public:
  TSniItemAdaptor(QObject* Holder, TStatusNotifierItem* Item);

  QString Category() const { return QStringLiteral("ApplicationStatus"); }
  QString Id() const { return QStringLiteral("quorvex"); }
  QString Title() const;
  QString Status() const { return QStringLiteral("Active"); }
  int WindowId() const { return 0; }
  QString Empty() const { return {}; }
  TSniPixmaps IconPixmap() const;
  TSniPixmaps NoPixmaps() const { return {}; }
  TSniToolTip ToolTip() const;
  bool ItemIsMenu() const { return false; }
  QDBusObjectPath Menu() const;

 public Q_SLOTS:
  void Activate(int X, int Y);
  void SecondaryActivate(int X, int Y);
  void ContextMenu(int X, int Y);
  void Scroll(int Delta, const QString& Orientation);

 Q_SIGNALS:
  void NewTitle();
  void NewIcon();
  void NewAttentionIcon();
  void NewOverlayIcon();
  void NewToolTip();
  void NewStatus(const QString& Status);

 private:
  TStatusNotifierItem* m_Item;
};

// com.canonical.dbusmenu at /MenuBar: the icon's QMenu, read afresh on every request.
class TDBusMenuAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
  Q_PROPERTY(uint Version READ Version)
  Q_PROPERTY(QString TextDirection READ TextDirection)
  Q_PROPERTY(QString Status READ Status)
  Q_PROPERTY(QStringList IconThemePath READ IconThemePath)

 public:
  TDBusMenuAdaptor(QObject* Holder, TStatusNotifierItem* Item);

  uint Version() const { return 3; }
  QString TextDirection() const
  {
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
  }
  QString Status() const { return QStringLiteral("normal"); }
  QStringList IconThemePath() const { return {}; }

  // The menu changed: a new revision for hosts that keep a copy.
  void Changed();

 public Q_SLOTS:
  uint GetLayout(int ParentId, int RecursionDepth, const QStringList& PropertyNames,
                 TMenuLayout& Layout);
  QList<TMenuItemProperties> GetGroupProperties(const QList<int>& Ids,
                                                const QStringList& PropertyNames);
  QDBusVariant GetProperty(int Id, const QString& Name);
  void Event(int Id, const QString& EventId, const QDBusVariant& Data, uint Timestamp);
  QList<int> EventGroup(const QList<TMenuEvent>& Events);
  bool AboutToShow(int Id);
  QList<int> AboutToShowGroup(const QList<int>& Ids, QList<int>& IdErrors);

 Q_SIGNALS:
  void ItemsPropertiesUpdated(const QList<TMenuItemProperties>& Updated,
                              const QList<TMenuItemRemoved>& Removed);
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

  TStatusNotifierItem* m_Item;
  uint m_Revision = 1;
  int m_NextId = 1;
  std::map<QAction*, int> m_Ids;
  std::map<int, QPointer<QAction>> m_Actions;
};

// One icon on the bus: its own connection, name, item and menu, and its registration with
// the watcher, renewed whenever a watcher (re)appears.
class TStatusNotifierItem : public QObject {
  Q_OBJECT

 public:
  TStatusNotifierItem(const QString& BusAddress, int Serial);
  ~TStatusNotifierItem() override;

  bool Start(const TNotifyIconData& Data, QMenu* Menu);
  void Apply(const TNotifyIconData& Data);
  void SetMenu(QMenu* Menu);
  // Posts the record's callback message with Mouse to the icon's window.
  void Post(std::uint32_t Mouse);

  QString Service() const { return m_Service; }
  QMenu* Menu() const { return m_Menu; }
  const QString& Tip() const { return m_Tip; }
  const TSniPixmaps& Pixmaps() const { return m_Pixmaps; }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void Register();

  QString m_ConnectionName;
  QString m_BusAddress;
  QString m_Service;
  bool m_Connected = false;
  QPointer<TTrayWindow> m_Wnd;
  std::uint32_t m_uID = 0;
  std::uint32_t m_CallbackMessage = 0;
  QString m_Tip;
  TSniPixmaps m_Pixmaps;
  QPointer<QMenu> m_Menu;
  QObject m_ItemHolder;
  QObject m_MenuHolder;
  TSniItemAdaptor* m_ItemAdaptor = nullptr;
  TDBusMenuAdaptor* m_MenuAdaptor = nullptr;
  std::unique_ptr<QDBusServiceWatcher> m_Watcher;
  bool m_ChangePending = false;
};

// ---- item adaptor --------------------------------------------------------------------------

TSniItemAdaptor::TSniItemAdaptor(QObject* Holder, TStatusNotifierItem* Item)
    : QDBusAbstractAdaptor(Holder), m_Item(Item)
{
}

QString TSniItemAdaptor::Title() const
{
  return m_Item->Tip().isEmpty() ? QGuiApplication::applicationDisplayName() : m_Item->Tip();
}

TSniPixmaps TSniItemAdaptor::IconPixmap() const
{
  return m_Item->Pixmaps();
}

TSniToolTip TSniItemAdaptor::ToolTip() const
{
  TSniToolTip Tip;
  Tip.Title = m_Item->Tip();
  return Tip;
}

QDBusObjectPath TSniItemAdaptor::Menu() const
{
  return QDBusObjectPath(QString::fromLatin1(m_Item->Menu() ? kMenuPath : kNoMenuPath));
}

void TSniItemAdaptor::Activate(int, int)
{
  m_Item->Post(WM_LBUTTONUP);
}

void TSniItemAdaptor::SecondaryActivate(int, int)
{
  m_Item->Post(WM_MBUTTONUP);
}

void TSniItemAdaptor::ContextMenu(int, int)
{
  // Asked by hosts that draw no menu: the component's own right click, menu included.
  m_Item->Post(WM_RBUTTONUP);
}

void TSniItemAdaptor::Scroll(int, const QString&)
{
  // The icon has nothing to scroll through.
}

// ---- menu adaptor --------------------------------------------------------------------------

TDBusMenuAdaptor::TDBusMenuAdaptor(QObject* Holder, TStatusNotifierItem* Item)
    : QDBusAbstractAdaptor(Holder), m_Item(Item)
{
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
  if (Id == 0)
    return m_Item->Menu();
  QAction* Action = ActionOf(Id);
  return Action ? Action->menu() : nullptr;
}

int TDBusMenuAdaptor::IdOf(QAction* Action)
{
  const auto Found = m_Ids.find(Action);
  if (Found != m_Ids.end() && m_Actions[Found->second] == Action)
    return Found->second;
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
      if (Action->menu())
        All.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
      if (Action->isCheckable()) {
        All.insert(QStringLiteral("toggle-type"), Action->actionGroup() &&
                                                          Action->actionGroup()->isExclusive()
                                                      ? QStringLiteral("radio")
                                                      : QStringLiteral("checkmark"));
        All.insert(QStringLiteral("toggle-state"), Action->isChecked() ? 1 : 0);
      }
      const QMenu* Menu = m_Item->Menu();
      if (Menu && Menu->defaultAction() == Action)
        All.insert(QString::fromLatin1(kDefaultItemProperty), true);
    }
    All.insert(QStringLiteral("visible"), Action->isVisible());
  }
  if (Names.isEmpty())
    return All;
  QVariantMap Some;
  for (const QString& Name : Names)
    if (All.contains(Name))
      Some.insert(Name, All.value(Name));
  return Some;
}

TMenuLayout TDBusMenuAdaptor::Node(int Id, int Depth, const QStringList& Names)
{
  TMenuLayout Out;
  Out.Id = Id;
  Out.Properties = Properties(Id, Names);
  if (Depth == 0)
    return Out;
  if (QMenu* Menu = MenuOf(Id)) {
    for (QAction* Action : Menu->actions())
      Out.Children.push_back(Node(IdOf(Action), Depth < 0 ? -1 : Depth - 1, Names));
  }
  return Out;
}

uint TDBusMenuAdaptor::GetLayout(int ParentId, int RecursionDepth,
                                 const QStringList& PropertyNames, TMenuLayout& Layout)
{
  // An unknown parent gives an empty node rather than an error: hosts ask for 0 anyway.
  if (ParentId != 0 && !ActionOf(ParentId))
    Layout = TMenuLayout{ParentId, {}, {}};
  else
    Layout = Node(ParentId, RecursionDepth, PropertyNames);
  return m_Revision;
}

QList<TMenuItemProperties> TDBusMenuAdaptor::GetGroupProperties(const QList<int>& Ids,
                                                             const QStringList& PropertyNames)
{
  TMenuItemPropertiesList Out;
  for (const int Id : Ids)
    if (Id == 0 || ActionOf(Id))
      Out.push_back({Id, Properties(Id, PropertyNames)});
  return Out;
}

QDBusVariant TDBusMenuAdaptor::GetProperty(int Id, const QString& Name)
{
  const QVariantMap Props = Properties(Id, {Name});
  return QDBusVariant(Props.value(Name, QString()));
}

bool TDBusMenuAdaptor::HandleEvent(int Id, const QString& EventId)
{
  if (Id != 0 && !ActionOf(Id))
    return false;
  if (EventId == QLatin1String("clicked") && Id != 0) {
    // From the event loop: the item may run a modal window, and the host waits for our
    // reply meanwhile.
    QPointer<QAction> Action = ActionOf(Id);
    QTimer::singleShot(0, m_Item, [Action] {
      if (Action && !Action->isSeparator() && !Action->menu())
        Action->trigger();
    });
  } else if (EventId == QLatin1String("closed") && Id == 0) {
    m_Item->Post(WM_CONTEXTMENU);
  }
  return true;
}

void TDBusMenuAdaptor::Event(int Id, const QString& EventId, const QDBusVariant&, uint)
{
  HandleEvent(Id, EventId);
}

QList<int> TDBusMenuAdaptor::EventGroup(const QList<TMenuEvent>& Events)
{
  QList<int> Errors;
  for (const TMenuEvent& E : Events)
    if (!HandleEvent(E.Id, E.EventId))
      Errors.push_back(E.Id);
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
    if (Id != 0 && !ActionOf(Id))
      IdErrors.push_back(Id);
  return {};
}

// ---- the item ------------------------------------------------------------------------------

TStatusNotifierItem::TStatusNotifierItem(const QString& BusAddress, int Serial)
    : m_ConnectionName(QStringLiteral("quorvex-sni-%1").arg(Serial)),
      m_BusAddress(BusAddress),
      m_Service(QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                    .arg(QCoreApplication::applicationPid())
                    .arg(Serial))
{
  RegisterStatusNotifierTypes();
  m_ItemAdaptor = new TSniItemAdaptor(&m_ItemHolder, this);
  m_MenuAdaptor = new TDBusMenuAdaptor(&m_MenuHolder, this);
}

TStatusNotifierItem::~TStatusNotifierItem()
{
  if (m_Menu)
    m_Menu->removeEventFilter(this);
  m_Watcher.reset();
  if (m_Connected) {
    QDBusConnection Bus(m_ConnectionName);
    Bus.unregisterObject(QString::fromLatin1(kItemPath));
    Bus.unregisterObject(QString::fromLatin1(kMenuPath));
    Bus.unregisterService(m_Service);
  }
  // Leaving the bus tells the watcher, which drops the item.
  QDBusConnection::disconnectFromBus(m_ConnectionName);
}

bool TStatusNotifierItem::Start(const TNotifyIconData& Data, QMenu* Menu)
{
  m_Wnd = Data.Wnd;
  m_uID = Data.uID;
  Apply(Data);
  SetMenu(Menu);
  QDBusConnection Bus = ConnectBus(m_BusAddress, m_ConnectionName);
  if (!Bus.isConnected())
    return false;
  if (!Bus.registerObject(QString::fromLatin1(kItemPath), &m_ItemHolder,
                          QDBusConnection::ExportAdaptors) ||
      !Bus.registerObject(QString::fromLatin1(kMenuPath), &m_MenuHolder,
                          QDBusConnection::ExportAdaptors) ||
      !Bus.registerService(m_Service))
    return false;
  m_Connected = true;
  m_Watcher = std::make_unique<QDBusServiceWatcher>(
      QString::fromLatin1(kWatcherService), Bus, QDBusServiceWatcher::WatchForOwnerChange);
  connect(m_Watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& NewOwner) {
            if (!NewOwner.isEmpty())
              Register();
          });
  Register();
  return true;
}

void TStatusNotifierItem::Register()
{
  // Not waited for: the watcher may live in this very thread.
  QDBusMessage Call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kWatcherService), QString::fromLatin1(kWatcherPath),
      QString::fromLatin1(kWatcherInterface), QStringLiteral("RegisterStatusNotifierItem"));
  Call << m_Service;
  QDBusConnection(m_ConnectionName).asyncCall(Call);
}

void TStatusNotifierItem::Apply(const TNotifyIconData& Data)
{
  if (Data.uFlags & NIF_MESSAGE)
    m_CallbackMessage = Data.uCallbackMessage;
  if (Data.uFlags & NIF_ICON) {
    m_Pixmaps = SniPixmaps(Data.hIcon);
    emit m_ItemAdaptor->NewIcon();
  }
  if (Data.uFlags & NIF_TIP) {
    // The record holds at most 63 bytes; the component cut the text to its limit already.
    m_Tip = QString::fromUtf8(Data.Tip());
    emit m_ItemAdaptor->NewTitle();
    emit m_ItemAdaptor->NewToolTip();
  }
}

void TStatusNotifierItem::SetMenu(QMenu* Menu)
{
  if (Menu == m_Menu)
    return;
  if (m_Menu)
    m_Menu->removeEventFilter(this);
  m_Menu = Menu;
  if (m_Menu)
    m_Menu->installEventFilter(this);
  m_MenuAdaptor->Changed();
}

bool TStatusNotifierItem::eventFilter(QObject* Watched, QEvent* Event)
{
  const QEvent::Type T = Event->type();
  if (Watched == m_Menu.data() &&
      (T == QEvent::ActionAdded || T == QEvent::ActionRemoved || T == QEvent::ActionChanged) &&
      !m_ChangePending) {
    // One new revision for a burst of changes.
    m_ChangePending = true;
    QTimer::singleShot(0, this, [this] {
      m_ChangePending = false;
      m_MenuAdaptor->Changed();
    });
  }
  return QObject::eventFilter(Watched, Event);
}

void TStatusNotifierItem::Post(std::uint32_t Mouse)
{
  if (m_Wnd && m_CallbackMessage)
    m_Wnd->PostMessage(m_CallbackMessage, m_uID, Mouse);
}

// ---- the shell -----------------------------------------------------------------------------

TStatusNotifierShell::TStatusNotifierShell(QString BusAddress)
    : m_BusAddress(std::move(BusAddress))
{
}

TStatusNotifierShell::~TStatusNotifierShell() = default;

bool TStatusNotifierShell::Add(const TNotifyIconData& Data)
{
  if (!Data.Wnd || m_Items.count(Data.Wnd))
    return false;
  const auto Menu = m_Menus.find(Data.Wnd);
  auto Item = std::make_unique<TStatusNotifierItem>(m_BusAddress, ++m_Serial);
  if (!Item->Start(Data, Menu == m_Menus.end() ? nullptr : Menu->second.data()))
    return false;
  m_Items.emplace(Data.Wnd, std::move(Item));
  return true;
}

bool TStatusNotifierShell::Modify(const TNotifyIconData& Data)
{
  const auto Found = m_Items.find(Data.Wnd);
  if (Found == m_Items.end())
    return false;
  Found->second->Apply(Data);
  return true;
}

bool TStatusNotifierShell::Delete(const TNotifyIconData& Data)
{
  return m_Items.erase(Data.Wnd) > 0;
}

void TStatusNotifierShell::SetMenu(const TTrayWindow* Wnd, QMenu* Menu)
{
  if (Menu)
    m_Menus[Wnd] = Menu;
  else
    m_Menus.erase(Wnd);
  const auto Found = m_Items.find(Wnd);
  if (Found != m_Items.end())
    Found->second->SetMenu(Menu);
}

QString TStatusNotifierShell::ServiceOf(const TTrayWindow* Wnd) const
{
  const auto Found = m_Items.find(Wnd);
  return Found == m_Items.end() ? QString() : Found->second->Service();
}

// ---- the shell that follows the host -------------------------------------------------------

namespace {
int g_HostSerial = 0;
} // namespace

THostNotifyShell::THostNotifyShell(const QString& BusAddress)
    : m_ConnectionName(QStringLiteral("quorvex-sni-host-%1").arg(++g_HostSerial)),
      m_Sni(BusAddress)
{
  if (BusAddress.isEmpty() && !SessionBusReachable())
    return;
  const QDBusConnection Bus = ConnectBus(BusAddress, m_ConnectionName);
  if (!Bus.isConnected() || !Bus.interface())
    return;
  m_Watch = std::make_unique<QDBusServiceWatcher>(QString::fromLatin1(kWatcherService), Bus,
                                                  QDBusServiceWatcher::WatchForOwnerChange);
  QObject::connect(m_Watch.get(), &QDBusServiceWatcher::serviceOwnerChanged, m_Watch.get(),
                   [this](const QString&, const QString&, const QString& New) {
                     Switch(!New.isEmpty());
                   });
  // Asked once the watch is on, so that a watcher starting meanwhile is not missed.
  m_UseSni = Bus.interface()->isServiceRegistered(QString::fromLatin1(kWatcherService));
}

THostNotifyShell::~THostNotifyShell()
{
  m_Watch.reset();
  QDBusConnection::disconnectFromBus(m_ConnectionName);
}

TNotifyShell& THostNotifyShell::Current()
{
  return m_UseSni ? static_cast<TNotifyShell&>(m_Sni) : m_Qt;
}

bool THostNotifyShell::Add(const TNotifyIconData& Data)
{
  if (!Current().Add(Data))
    return false;
  m_Shown[Data.Wnd] = Data;
  return true;
}

bool THostNotifyShell::Modify(const TNotifyIconData& Data)
{
  const auto Found = m_Shown.find(Data.Wnd);
  if (Found == m_Shown.end() || !Current().Modify(Data))
    return false;
  TNotifyIconData& Shown = Found->second;
  if (Data.uFlags & NIF_MESSAGE)
    Shown.uCallbackMessage = Data.uCallbackMessage;
  if (Data.uFlags & NIF_ICON)
    Shown.hIcon = Data.hIcon;
  if (Data.uFlags & NIF_TIP)
    Shown.szTip = Data.szTip;
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
  if (UseSni == m_UseSni)
    return;
  TNotifyShell& From = Current();
  m_UseSni = UseSni;
  for (auto& [Wnd, Shown] : m_Shown) {
    From.Delete(Shown);
    TNotifyIconData All = Shown;
    All.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    Current().Add(All);
  }
}

#include "StatusNotifier.moc"
