// SPDX-License-Identifier: MIT
// The StatusNotifierItem shell on a private bus, driven as a host drives it: a fake
// StatusNotifierWatcher of our own takes the registration, and a second connection reads the
// item's properties, calls its methods and walks the exported menu. Every call to the item is
// made asynchronously and waited for, as the item answers from this very thread.
#include "tray/StatusNotifier.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QMenu>
#include <QPixmap>
#include <QThread>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/tray/PrivateBus.h"
#include "tests/tray/QtTestApp.h"
#include "tray/HostNotifyShell.h"
#include "tray/TrayIcon.h"

namespace {

QDBusConnection Connect(const QString& Name) { return QDBusConnection::connectToBus(PrivateBus(), Name); }

// The host's side of every exchange: a call, answered from the event loop.
QDBusMessage Call(const QDBusConnection& Bus, const QString& Service, const QString& Path, const QString& Interface,
                  const QString& Method, const QVariantList& Args = {})
{
  QDBusMessage M = QDBusMessage::createMethodCall(Service, Path, Interface, Method);
  M.setArguments(Args);
  QDBusPendingCall Pending = Bus.asyncCall(M, 5000);
  WaitUntil([&] { return Pending.isFinished(); });
  return Pending.reply();
}

template <typename T>
T Property(const QDBusConnection& Bus, const QString& Service, const QString& Path, const QString& Interface,
           const QString& Name)
{
  const QDBusMessage Reply = Call(Bus, Service, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                  QStringLiteral("Get"), {Interface, Name});
  EXPECT_EQ(Reply.type(), QDBusMessage::ReplyMessage)
      << Name.toStdString() << ": " << Reply.errorMessage().toStdString();
  if (Reply.arguments().isEmpty()) return T{};
  const QVariant V = Reply.arguments().at(0).value<QDBusVariant>().variant();
  return qdbus_cast<T>(V);
}

}  // namespace

// The watcher a host runs: takes registrations, and can go away and come back.
class TFakeWatcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER HostRegistered)

 public:
  explicit TFakeWatcher(const QString& ConnectionName) : m_Name(ConnectionName)
  {
    QDBusConnection Bus = Connect(m_Name);
    Bus.registerObject(QString::fromLatin1(kWatcherPath), this,
                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    Ok = Bus.registerService(QString::fromLatin1(kWatcherService));
  }
  ~TFakeWatcher() override { QDBusConnection::disconnectFromBus(m_Name); }

  bool Ok = false;
  bool HostRegistered = true;
  QStringList Registered;

 public Q_SLOTS:
  void RegisterStatusNotifierItem(const QString& Service) { Registered << Service; }

 private:
  QString m_Name;
};

// Receives the item's and the menu's signals.
class TSignalLog : public QObject {
  Q_OBJECT

 public:
  std::vector<std::string> Names;
  uint Revision = 0;

 public Q_SLOTS:
  void NewToolTip() { Names.push_back("NewToolTip"); }
  void NewTitle() { Names.push_back("NewTitle"); }
  void NewIcon() { Names.push_back("NewIcon"); }
  void LayoutUpdated(uint Rev, int)
  {
    Revision = Rev;
    Names.push_back("LayoutUpdated");
  }
};

namespace {

QIcon Solid(Qt::GlobalColor Colour)
{
  QPixmap P(16, 16);
  P.fill(Colour);
  return QIcon(P);
}

class StatusNotifierTest : public ::testing::Test {
 protected:
  void SetUp() override
  {
    REQUIRE_BUS();
    Watcher = std::make_unique<TFakeWatcher>(QStringLiteral("watcher-%1").arg(++Serial));
    ASSERT_TRUE(Watcher->Ok);
    Host = Connect(QStringLiteral("host"));
    ASSERT_TRUE(Host.isConnected());
    Shell = std::make_unique<TStatusNotifierShell>(PrivateBus());
    Tray = std::make_unique<TTrayIcon>(nullptr, Shell.get());
    About = Menu.addAction(QStringLiteral("&About"));
    Query = Menu.addAction(QStringLiteral("Query &WHOIS"));
    Menu.addSeparator();
    Exit = Menu.addAction(QStringLiteral("Exit"));
    Menu.setDefaultAction(Query);
    for (QAction* A : {About, Query, Exit})
      QObject::connect(A, &QAction::triggered, [this, A] { Log.push_back(A->text().toStdString()); });
    Tray->OnClick = [this](QObject*) { Log.push_back("OnClick"); };
    Tray->OnDblClick = [this](QObject*) { Log.push_back("OnDblClick"); };
    Tray->OnRightClick = [this](QObject*, TMouseButton, TShiftState, int, int) { Log.push_back("OnRightClick"); };
    Tray->SetIcon(Solid(Qt::red));
    Tray->SetToolTip("Quorvex");
    Tray->SetPopupMenu(&Menu);
    Tray->SetActive(true);
    Service = Shell->ServiceOf(Tray->TrayWindow());
    ASSERT_FALSE(Service.isEmpty());
    ASSERT_TRUE(WaitUntil([&] { return Watcher->Registered.contains(Service); }));
  }
  void TearDown() override
  {
    Tray.reset();
    Shell.reset();
    Watcher.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("host"));
  }

  QDBusMessage Item(const QString& Method, const QVariantList& Args = {})
  {
    return Call(Host, Service, QString::fromLatin1(kItemPath), QString::fromLatin1(kItemInterface), Method, Args);
  }
  QDBusMessage MenuCall(const QString& Method, const QVariantList& Args = {})
  {
    return Call(Host, Service, QString::fromLatin1(kMenuPath), QString::fromLatin1(kMenuInterface), Method, Args);
  }
  template <typename T>
  T ItemProperty(const char* Name)
  {
    return Property<T>(Host, Service, QString::fromLatin1(kItemPath), QString::fromLatin1(kItemInterface),
                       QString::fromLatin1(Name));
  }
  TMenuLayout Layout(int Parent = 0, int Depth = -1, const QStringList& Names = {})
  {
    const QDBusMessage Reply = MenuCall(QStringLiteral("GetLayout"), {Parent, Depth, QVariant::fromValue(Names)});
    EXPECT_EQ(Reply.type(), QDBusMessage::ReplyMessage) << Reply.errorMessage().toStdString();
    if (Reply.arguments().size() != 2) return {};
    return qdbus_cast<TMenuLayout>(Reply.arguments().at(1));
  }
  void MenuEvent(int Id, const QString& EventId)
  {
    const QDBusMessage Reply =
        MenuCall(QStringLiteral("Event"), {Id, EventId, QVariant::fromValue(QDBusVariant(0)), QVariant::fromValue(0u)});
    EXPECT_EQ(Reply.type(), QDBusMessage::ReplyMessage) << Reply.errorMessage().toStdString();
  }

  static inline int Serial = 0;
  std::unique_ptr<TFakeWatcher> Watcher;
  QDBusConnection Host{QString()};
  std::unique_ptr<TStatusNotifierShell> Shell;
  QMenu Menu;
  QAction* About = nullptr;
  QAction* Query = nullptr;
  QAction* Exit = nullptr;
  std::unique_ptr<TTrayIcon> Tray;
  QString Service;
  std::vector<std::string> Log;
};

TEST_F(StatusNotifierTest, ItemShowsTheRecordAsProperties)
{
  EXPECT_EQ(ItemProperty<QString>("Category"), "ApplicationStatus");
  EXPECT_EQ(ItemProperty<QString>("Id"), "quorvex");
  EXPECT_EQ(ItemProperty<QString>("Title"), "Quorvex");
  EXPECT_EQ(ItemProperty<QString>("Status"), "Active");
  EXPECT_FALSE(ItemProperty<bool>("ItemIsMenu"));
  EXPECT_EQ(ItemProperty<QDBusObjectPath>("Menu").path(), kMenuPath);
  EXPECT_EQ(ItemProperty<TSniToolTip>("ToolTip").Title, "Quorvex");

  const TSniPixmaps Pixmaps = ItemProperty<TSniPixmaps>("IconPixmap");
  ASSERT_FALSE(Pixmaps.isEmpty());
  bool Saw16 = false;
  for (const TSniPixmap& P : Pixmaps) {
    ASSERT_EQ(P.Bytes.size(), P.Width * P.Height * 4);
    // Red, opaque, in network byte order: A R G B.
    EXPECT_EQ(P.Bytes.left(4), QByteArray("\xff\xff\x00\x00", 4));
    Saw16 = Saw16 || (P.Width == 16 && P.Height == 16);
  }
  EXPECT_TRUE(Saw16);
  EXPECT_EQ(Property<uint>(Host, Service, kMenuPath, kMenuInterface, "Version"), 3u);
}

TEST_F(StatusNotifierTest, HostActionsRaiseTheComponentsEvents)
{
  // A host that prevents focus stealing hands over a token first, for the window to open.
  ASSERT_EQ(Item("ProvideXdgActivationToken", {QStringLiteral("kwin-7")}).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(TakeActivationToken(), "kwin-7");
  ASSERT_EQ(Item("Activate", {10, 20}).type(), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(WaitUntil([&] { return !Log.empty(); }));
  EXPECT_EQ(Log, (std::vector<std::string>{"OnClick"}));
  // The middle button and the wheel mean nothing to the icon.
  ASSERT_EQ(Item("SecondaryActivate", {10, 20}).type(), QDBusMessage::ReplyMessage);
  ASSERT_EQ(Item("Scroll", {1, QStringLiteral("vertical")}).type(), QDBusMessage::ReplyMessage);
  // The host drew the menu; its closing is what is left of the right click, and the
  // component shows no menu of its own.
  MenuEvent(0, "opened");
  MenuEvent(0, "closed");
  ASSERT_TRUE(WaitUntil([&] { return Log.size() == 2; }));
  EXPECT_EQ(Log, (std::vector<std::string>{"OnClick", "OnRightClick"}));
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(StatusNotifierTest, ContextMenuWithoutAMenuRaisesOnlyOnRightClick)
{
  Tray->SetPopupMenu(nullptr);
  ASSERT_EQ(Item("ContextMenu", {5, 5}).type(), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(WaitUntil([&] { return !Log.empty(); }));
  EXPECT_EQ(Log, (std::vector<std::string>{"OnRightClick"}));
}

TEST_F(StatusNotifierTest, MenuIsExportedInOrderWithTheDefaultMarked)
{
  const TMenuLayout Root = Layout();
  EXPECT_EQ(Root.Id, 0);
  EXPECT_EQ(Root.Properties.value("children-display").toString(), "submenu");
  ASSERT_EQ(Root.Children.size(), 4);
  struct TWant {
    const char* Label;
    const char* Type;
    bool Default;
  };
  const TWant Want[] = {
      {"_About", "", false}, {"Query _WHOIS", "", true}, {"", "separator", false}, {"Exit", "", false}};
  std::set<int> Ids;
  for (int I = 0; I < 4; ++I) {
    const QVariantMap& P = Root.Children[I].Properties;
    SCOPED_TRACE(I);
    Ids.insert(Root.Children[I].Id);
    EXPECT_NE(Root.Children[I].Id, 0);
    EXPECT_EQ(P.value("label").toString(), Want[I].Label);
    EXPECT_EQ(P.value("type").toString(), Want[I].Type);
    EXPECT_EQ(P.value(kDefaultItemProperty).toBool(), Want[I].Default);
    EXPECT_TRUE(P.value("visible").toBool());
    if (!*Want[I].Type) {
      EXPECT_TRUE(P.value("enabled").toBool());
    }
    EXPECT_TRUE(Root.Children[I].Children.isEmpty());
  }
  EXPECT_EQ(Ids.size(), 4u) << "ids are distinct";

  // Depth 0: the node alone; a property filter keeps only what was asked for.
  EXPECT_TRUE(Layout(0, 0).Children.isEmpty());
  const TMenuLayout Labels = Layout(0, 1, {"label"});
  ASSERT_EQ(Labels.Children.size(), 4);
  EXPECT_EQ(Labels.Children[1].Properties.keys(), QStringList{"label"});

  // Enabled and visible follow the actions.
  Exit->setEnabled(false);
  About->setVisible(false);
  const TMenuLayout After = Layout();
  ASSERT_EQ(After.Children.size(), 4);
  EXPECT_FALSE(After.Children[3].Properties.value("enabled").toBool());
  EXPECT_FALSE(After.Children[0].Properties.value("visible").toBool());
  EXPECT_EQ(After.Children[1].Id, Root.Children[1].Id) << "ids stay";

  const int QueryId = Root.Children[1].Id;
  const QDBusMessage Prop = MenuCall("GetProperty", {QueryId, QStringLiteral("label")});
  ASSERT_EQ(Prop.arguments().size(), 1);
  EXPECT_EQ(Prop.arguments()[0].value<QDBusVariant>().variant().toString(), "Query _WHOIS");
  const QDBusMessage Group = MenuCall(
      "GetGroupProperties", {QVariant::fromValue(QList<int>{QueryId, 9999}), QVariant::fromValue(QStringList{})});
  ASSERT_EQ(Group.arguments().size(), 1);
  const auto Items = qdbus_cast<TMenuItemPropertiesList>(Group.arguments()[0]);
  ASSERT_EQ(Items.size(), 1) << "an unknown id is left out";
  EXPECT_TRUE(Items[0].Properties.value(kDefaultItemProperty).toBool());
}

TEST_F(StatusNotifierTest, ClickedItemsRunTheirActions)
{
  const TMenuLayout Root = Layout();
  ASSERT_EQ(Root.Children.size(), 4);
  for (int I : {0, 1, 2, 3}) MenuEvent(Root.Children[I].Id, "clicked");
  ASSERT_TRUE(WaitUntil([&] { return Log.size() >= 3; }));
  FlushEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"&About", "Query &WHOIS", "Exit"}));

  // A disabled item does nothing; unknown ids are reported by EventGroup.
  Log.clear();
  Exit->setEnabled(false);
  TMenuEventList Events{{Root.Children[3].Id, "clicked", QDBusVariant(0), 0},
                        {Root.Children[0].Id, "clicked", QDBusVariant(0), 0},
                        {4242, "clicked", QDBusVariant(0), 0}};
  const QDBusMessage Reply = MenuCall("EventGroup", {QVariant::fromValue(Events)});
  ASSERT_EQ(Reply.arguments().size(), 1) << Reply.errorMessage().toStdString();
  EXPECT_EQ(qdbus_cast<QList<int>>(Reply.arguments()[0]), QList<int>{4242});
  ASSERT_TRUE(WaitUntil([&] { return !Log.empty(); }));
  FlushEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"&About"}));
}

TEST_F(StatusNotifierTest, ModifySignalsTheHost)
{
  TSignalLog Signals;
  const QString Path = QString::fromLatin1(kItemPath);
  const QString Iface = QString::fromLatin1(kItemInterface);
  ASSERT_TRUE(Host.connect(Service, Path, Iface, "NewToolTip", &Signals, SLOT(NewToolTip())));
  ASSERT_TRUE(Host.connect(Service, Path, Iface, "NewIcon", &Signals, SLOT(NewIcon())));
  ASSERT_TRUE(
      Host.connect(Service, kMenuPath, kMenuInterface, "LayoutUpdated", &Signals, SLOT(LayoutUpdated(uint, int))));
  FlushEvents();
  Tray->SetToolTip(std::string(70, 'x'));
  ASSERT_TRUE(WaitUntil([&] { return std::count(Signals.Names.begin(), Signals.Names.end(), "NewToolTip") > 0; }));
  EXPECT_EQ(ItemProperty<TSniToolTip>("ToolTip").Title, QString(62, 'x'));
  EXPECT_EQ(ItemProperty<QString>("Title"), QString(62, 'x'));

  Tray->SetIcon(Solid(Qt::blue));
  ASSERT_TRUE(WaitUntil([&] { return std::count(Signals.Names.begin(), Signals.Names.end(), "NewIcon") > 0; }));
  const TSniPixmaps Pixmaps = ItemProperty<TSniPixmaps>("IconPixmap");
  ASSERT_FALSE(Pixmaps.isEmpty());
  EXPECT_EQ(Pixmaps[0].Bytes.left(4), QByteArray("\xff\x00\x00\xff", 4));

  // A new item in the menu: a new revision, and the layout has it.
  const uint Before = MenuCall("GetLayout", {0, 0, QVariant::fromValue(QStringList{})}).arguments().value(0).toUInt();
  Menu.addAction(QStringLiteral("More"));
  ASSERT_TRUE(WaitUntil([&] { return Signals.Revision > Before; }));
  EXPECT_EQ(Layout().Children.size(), 5);
}

TEST_F(StatusNotifierTest, ItemRegistersAgainWithARestartedWatcher)
{
  Watcher.reset();
  Watcher = std::make_unique<TFakeWatcher>(QStringLiteral("watcher-again-%1").arg(++Serial));
  ASSERT_TRUE(Watcher->Ok);
  EXPECT_TRUE(WaitUntil([&] { return Watcher->Registered.contains(Service); }));
}

TEST_F(StatusNotifierTest, SwitchingOffTakesTheItemOffTheBus)
{
  EXPECT_TRUE(Host.interface()->isServiceRegistered(Service));
  Tray->SetActive(false);
  EXPECT_TRUE(WaitUntil([&] { return !Host.interface()->isServiceRegistered(Service); }));
  // And on again: a new item, registered again.
  Tray->SetActive(true);
  const QString Again = Shell->ServiceOf(Tray->TrayWindow());
  ASSERT_FALSE(Again.isEmpty());
  EXPECT_TRUE(WaitUntil([&] { return Watcher->Registered.contains(Again); }));
  Service = Again;
  EXPECT_EQ(ItemProperty<QString>("Title"), "Quorvex") << "the record comes along";
}

// The default shell of the program: QSystemTrayIcon while no watcher runs, the item once one
// starts (a host that comes up after the program), and back when it goes.
TEST(HostNotifyShellTest, IconsFollowTheWatcher)
{
  REQUIRE_BUS();
  THostNotifyShell Shell(PrivateBus());
  EXPECT_FALSE(Shell.UsingStatusNotifier());
  QMenu Menu;
  Menu.addAction(QStringLiteral("&About"));
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetIcon(Solid(Qt::red));
  Tray.SetToolTip("Quorvex");
  Tray.SetPopupMenu(&Menu);
  Tray.SetActive(true);
  ASSERT_NE(Shell.Qt().IconOf(Tray.TrayWindow()), nullptr);

  auto Watcher = std::make_unique<TFakeWatcher>(QStringLiteral("late-watcher"));
  ASSERT_TRUE(Watcher->Ok);
  ASSERT_TRUE(WaitUntil([&] { return Shell.UsingStatusNotifier(); }));
  EXPECT_EQ(Shell.Qt().IconOf(Tray.TrayWindow()), nullptr);
  const QString Service = Shell.StatusNotifier().ServiceOf(Tray.TrayWindow());
  ASSERT_FALSE(Service.isEmpty());
  ASSERT_TRUE(WaitUntil([&] { return Watcher->Registered.contains(Service); }));
  QDBusConnection Host = Connect(QStringLiteral("late-host"));
  EXPECT_EQ(Property<QString>(Host, Service, kItemPath, kItemInterface, "Title"), "Quorvex");
  EXPECT_EQ(Property<QDBusObjectPath>(Host, Service, kItemPath, kItemInterface, "Menu").path(), kMenuPath);
  Tray.SetToolTip("later");
  EXPECT_EQ(Property<QString>(Host, Service, kItemPath, kItemInterface, "Title"), "later");

  Watcher.reset();
  ASSERT_TRUE(WaitUntil([&] { return !Shell.UsingStatusNotifier(); }));
  QSystemTrayIcon* Icon = Shell.Qt().IconOf(Tray.TrayWindow());
  ASSERT_NE(Icon, nullptr);
  EXPECT_EQ(Icon->toolTip(), "later");
  EXPECT_TRUE(WaitUntil([&] { return !Host.interface()->isServiceRegistered(Service); }));
  Tray.SetActive(false);
  EXPECT_EQ(Shell.Qt().IconOf(Tray.TrayWindow()), nullptr);
  QDBusConnection::disconnectFromBus(QStringLiteral("late-host"));
}

TEST(HostNotifyShellTest, WatcherPresenceIsAskedOfTheBus)
{
  REQUIRE_BUS();
  EXPECT_FALSE(StatusNotifierWatcherPresent(PrivateBus()));
  {
    TFakeWatcher Watcher(QStringLiteral("probe-watcher"));
    ASSERT_TRUE(Watcher.Ok);
    EXPECT_TRUE(StatusNotifierWatcherPresent(PrivateBus()));
  }
  EXPECT_TRUE(WaitUntil([] { return !StatusNotifierWatcherPresent(PrivateBus()); }));
  EXPECT_FALSE(StatusNotifierWatcherPresent(QStringLiteral("unix:path=/nonexistent/bus")));
}

// A watcher shows icons only while a host has registered with it. The probe waits for the
// answer without running the loop, so the watcher answers from a thread of its own.
TEST(HostNotifyShellTest, HostPresenceNeedsAHostRegisteredWithTheWatcher)
{
  REQUIRE_BUS();
  EXPECT_FALSE(StatusNotifierHostPresent(PrivateBus()));
  QThread Thread;
  {
    TFakeWatcher Watcher(QStringLiteral("host-probe-watcher"));
    ASSERT_TRUE(Watcher.Ok);
    Watcher.moveToThread(&Thread);
    Thread.start();
    EXPECT_TRUE(StatusNotifierHostPresent(PrivateBus()));
    Watcher.HostRegistered = false;
    EXPECT_FALSE(StatusNotifierHostPresent(PrivateBus()));
    EXPECT_TRUE(StatusNotifierWatcherPresent(PrivateBus()));
    Thread.quit();
    Thread.wait();
  }
}

// Without a bus address and without the per-user socket no bus is started for us (the bus
// library would otherwise launch one for the X display).
TEST(HostNotifyShellTest, NoSessionBusWithoutAnAddressOrSocket)
{
  const QByteArray Address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
  const QByteArray Runtime = qgetenv("XDG_RUNTIME_DIR");
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  qputenv("XDG_RUNTIME_DIR", "/nonexistent");
  EXPECT_FALSE(SessionBusReachable());
  EXPECT_FALSE(StatusNotifierWatcherPresent());
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
  EXPECT_TRUE(SessionBusReachable());
  EXPECT_FALSE(StatusNotifierWatcherPresent()) << "an address nobody answers at";
  if (Address.isNull())
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  else
    qputenv("DBUS_SESSION_BUS_ADDRESS", Address);
  if (Runtime.isNull())
    qunsetenv("XDG_RUNTIME_DIR");
  else
    qputenv("XDG_RUNTIME_DIR", Runtime);
}

TEST(StatusNotifierLabelTest, MnemonicsBecomeUnderscores)
{
  const std::pair<const char*, const char*> Cases[] = {{"&About", "_About"},
                                                       {"Query &WHOIS", "Query _WHOIS"},
                                                       {"Exit", "Exit"},
                                                       {"Fish && Chips", "Fish & Chips"},
                                                       {"snake_case", "snake__case"},
                                                       {"trailing&", "trailing"},
                                                       {"", ""}};
  for (const auto& [In, Want] : Cases) EXPECT_EQ(MenuLabel(QString::fromUtf8(In)), QString::fromUtf8(Want)) << In;
}

// A host picks the image that fits its panel; one blown up from 16 pixels shows blurred.
TEST(StatusNotifierLabelTest, PixmapsAreTheIconsOwnImagesNeverScaled)
{
  EXPECT_TRUE(SniPixmaps(QIcon()).isEmpty());
  const TSniPixmaps Small = SniPixmaps(Solid(Qt::red));
  ASSERT_EQ(Small.size(), 1);
  EXPECT_EQ(Small[0].Width, 16);

  QIcon Two;
  QPixmap Big(48, 48);
  Big.fill(Qt::blue);
  Two.addPixmap(Big);
  Two.addPixmap(Solid(Qt::red).pixmap(16, 16));
  const TSniPixmaps Both = SniPixmaps(Two);
  ASSERT_EQ(Both.size(), 2);
  EXPECT_EQ(Both[0].Width, 16);
  EXPECT_EQ(Both[0].Bytes, QByteArray("\xff\xff\x00\x00", 4).repeated(16 * 16));
  EXPECT_EQ(Both[1].Width, 48);
  EXPECT_EQ(Both[1].Height, 48);
  EXPECT_EQ(Both[1].Bytes, QByteArray("\xff\x00\x00\xff", 4).repeated(48 * 48));
}

}  // namespace

#include "StatusNotifierTest.moc"
