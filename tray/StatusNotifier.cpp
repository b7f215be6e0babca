// SPDX-License-Identifier: MIT
#include "tray/StatusNotifier.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
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

void RegisterStatusNotifierTypes()
{
  RegisterDBusMenuTypes();
  static const bool Done = [] {
    qDBusRegisterMetaType<TSniPixmap>();
    qDBusRegisterMetaType<TSniPixmaps>();
    qDBusRegisterMetaType<TSniToolTip>();
    return true;
  }();
  (void)Done;
}

TSniPixmaps SniPixmaps(const QIcon& Icon)
{
  TSniPixmaps Out;
  if (Icon.isNull()) return Out;
  // The images the icon was drawn at, each as it is: a host picks the one that fits its
  // panel, and one blown up here would show blurred. An icon without fixed sizes (scalable)
  // is drawn at the sizes panels use.
  QList<QSize> Sizes = Icon.availableSizes();
  if (Sizes.isEmpty()) Sizes = {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48)};
  std::sort(Sizes.begin(), Sizes.end(),
            [](const QSize& A, const QSize& B) { return A.width() * A.height() < B.width() * B.height(); });
  for (const QSize& Size : Sizes) {
    QImage Image = Icon.pixmap(Size).toImage();
    // A pixmap that is not the size asked for came from another image of the icon.
    if (Image.isNull() || Image.size() != Size || std::any_of(Out.cbegin(), Out.cend(), [&](const TSniPixmap& P) {
          return P.Width == Size.width() && P.Height == Size.height();
        }))
      continue;
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
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
  const QString Runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !Runtime.isEmpty() && QFileInfo(QDir(Runtime).filePath(QStringLiteral("bus"))).exists();
}

QDBusConnection ConnectBus(const QString& Address, const QString& Name)
{
  return Address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, Name)
                           : QDBusConnection::connectToBus(Address, Name);
}

namespace {

// Asks the bus (a private connection, so a probe never disturbs the shell's) whether the
// watcher is registered and, with WantHost, whether it has a host.
bool AskWatcher(const QString& BusAddress, bool WantHost)
{
  if (BusAddress.isEmpty() && !SessionBusReachable()) return false;
  const QString Name = QStringLiteral("quorvex-sni-probe");
  bool Present = false;
  {
    QDBusConnection Bus = ConnectBus(BusAddress, Name);
    const QString Watcher = QString::fromLatin1(kWatcherService);
    if (Bus.isConnected() && Bus.interface()) Present = Bus.interface()->isServiceRegistered(Watcher);
    if (Present && WantHost) {
      QDBusMessage Get =
          QDBusMessage::createMethodCall(Watcher, QStringLiteral("/StatusNotifierWatcher"),
                                         QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
      Get << Watcher << QStringLiteral("IsStatusNotifierHostRegistered");
      const QDBusMessage Reply = Bus.call(Get, QDBus::Block, 1000);
      if (Reply.type() == QDBusMessage::ReplyMessage && !Reply.arguments().isEmpty())
        Present = Reply.arguments().first().value<QDBusVariant>().variant().toBool();
    }
  }
  QDBusConnection::disconnectFromBus(Name);
  return Present;
}

}  // namespace

bool StatusNotifierWatcherPresent(const QString& BusAddress) { return AskWatcher(BusAddress, false); }

bool StatusNotifierHostPresent(const QString& BusAddress) { return AskWatcher(BusAddress, true); }

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
  // Hosts on desktops that prevent focus stealing (KWin, GNOME Shell) call this before
  // Activate; the window Activate opens is activated with the token.
  void ProvideXdgActivationToken(const QString& Token);

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

TSniPixmaps TSniItemAdaptor::IconPixmap() const { return m_Item->Pixmaps(); }

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

void TSniItemAdaptor::Activate(int, int) { m_Item->Post(WM_LBUTTONUP); }

void TSniItemAdaptor::SecondaryActivate(int, int) { m_Item->Post(WM_MBUTTONUP); }

void TSniItemAdaptor::ContextMenu(int, int)
{
  // Asked by hosts that draw no menu: the component's own right click, menu included.
  m_Item->Post(WM_RBUTTONUP);
}

void TSniItemAdaptor::Scroll(int, const QString&)
{
  // The icon has nothing to scroll through.
}

void TSniItemAdaptor::ProvideXdgActivationToken(const QString& Token) { ProvideActivationToken(Token); }

// ---- the item ------------------------------------------------------------------------------

TStatusNotifierItem::TStatusNotifierItem(const QString& BusAddress, int Serial)
    : m_ConnectionName(QStringLiteral("quorvex-sni-%1").arg(Serial)),
      m_BusAddress(BusAddress),
      m_Service(QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(QCoreApplication::applicationPid()).arg(Serial))
{
  RegisterStatusNotifierTypes();
  m_ItemAdaptor = new TSniItemAdaptor(&m_ItemHolder, this);
  m_MenuAdaptor = new TDBusMenuAdaptor(
      &m_MenuHolder, [this] { return m_Menu.data(); }, [this] { Post(WM_CONTEXTMENU); });
}

TStatusNotifierItem::~TStatusNotifierItem()
{
  if (m_Menu) m_Menu->removeEventFilter(this);
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
  if (!Bus.isConnected()) return false;
  if (!Bus.registerObject(QString::fromLatin1(kItemPath), &m_ItemHolder, QDBusConnection::ExportAdaptors) ||
      !Bus.registerObject(QString::fromLatin1(kMenuPath), &m_MenuHolder, QDBusConnection::ExportAdaptors) ||
      !Bus.registerService(m_Service))
    return false;
  m_Connected = true;
  m_Watcher = std::make_unique<QDBusServiceWatcher>(QString::fromLatin1(kWatcherService), Bus,
                                                    QDBusServiceWatcher::WatchForOwnerChange);
  connect(m_Watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& NewOwner) {
            if (!NewOwner.isEmpty()) Register();
          });
  Register();
  return true;
}

void TStatusNotifierItem::Register()
{
  // Not waited for: the watcher may live in this very thread.
  QDBusMessage Call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kWatcherService), QString::fromLatin1(kWatcherPath), QString::fromLatin1(kWatcherInterface),
      QStringLiteral("RegisterStatusNotifierItem"));
  Call << m_Service;
  QDBusConnection(m_ConnectionName).asyncCall(Call);
}

void TStatusNotifierItem::Apply(const TNotifyIconData& Data)
{
  if (Data.uFlags & NIF_MESSAGE) m_CallbackMessage = Data.uCallbackMessage;
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
  if (Menu == m_Menu) return;
  if (m_Menu) m_Menu->removeEventFilter(this);
  m_Menu = Menu;
  if (m_Menu) m_Menu->installEventFilter(this);
  m_MenuAdaptor->Changed();
}

bool TStatusNotifierItem::eventFilter(QObject* Watched, QEvent* Event)
{
  const QEvent::Type T = Event->type();
  if (Watched == m_Menu.data() &&
      (T == QEvent::ActionAdded || T == QEvent::ActionRemoved || T == QEvent::ActionChanged) && !m_ChangePending) {
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
  if (m_Wnd && m_CallbackMessage) m_Wnd->PostMessage(m_CallbackMessage, m_uID, Mouse);
}

// ---- the shell -----------------------------------------------------------------------------

TStatusNotifierShell::TStatusNotifierShell(QString BusAddress) : m_BusAddress(std::move(BusAddress)) {}

TStatusNotifierShell::~TStatusNotifierShell() = default;

bool TStatusNotifierShell::Add(const TNotifyIconData& Data)
{
  if (!Data.Wnd || m_Items.count(Data.Wnd)) return false;
  const auto Menu = m_Menus.find(Data.Wnd);
  auto Item = std::make_unique<TStatusNotifierItem>(m_BusAddress, ++m_Serial);
  if (!Item->Start(Data, Menu == m_Menus.end() ? nullptr : Menu->second.data())) return false;
  m_Items.emplace(Data.Wnd, std::move(Item));
  return true;
}

bool TStatusNotifierShell::Modify(const TNotifyIconData& Data)
{
  const auto Found = m_Items.find(Data.Wnd);
  if (Found == m_Items.end()) return false;
  Found->second->Apply(Data);
  return true;
}

bool TStatusNotifierShell::Delete(const TNotifyIconData& Data) { return m_Items.erase(Data.Wnd) > 0; }

void TStatusNotifierShell::SetMenu(const TTrayWindow* Wnd, QMenu* Menu)
{
  if (Menu)
    m_Menus[Wnd] = Menu;
  else
    m_Menus.erase(Wnd);
  const auto Found = m_Items.find(Wnd);
  if (Found != m_Items.end()) Found->second->SetMenu(Menu);
}

QString TStatusNotifierShell::ServiceOf(const TTrayWindow* Wnd) const
{
  const auto Found = m_Items.find(Wnd);
  return Found == m_Items.end() ? QString() : Found->second->Service();
}

#include "StatusNotifier.moc"
