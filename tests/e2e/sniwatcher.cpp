// SPDX-License-Identifier: MIT
// A StatusNotifierWatcher for a desktop that has none (a bare compositor): takes the items'
// registrations and says a host is there, so that the program uses its StatusNotifierItem.
// Prints "registered SERVICE" for each registration. Runs until killed.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QStringList>

#include <cstdio>

class TWatcher : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistered)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems MEMBER Items)
  Q_PROPERTY(int ProtocolVersion READ Version)

 public:
  bool HostRegistered() const { return true; }
  int Version() const { return 0; }
  QStringList Items;

 public Q_SLOTS:
  void RegisterStatusNotifierItem(const QString& Service)
  {
    // A bus name alone, or a path of the caller's.
    const QString Item = Service.startsWith('/') ? message().service() + Service : Service;
    Items << Item;
    std::printf("registered %s\n", qPrintable(Item));
    std::fflush(stdout);
  }
  void RegisterStatusNotifierHost(const QString&) {}
};

int main(int argc, char** argv)
{
  QCoreApplication App(argc, argv);
  TWatcher Watcher;
  QDBusConnection Bus = QDBusConnection::sessionBus();
  if (!Bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &Watcher,
                          QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) ||
      !Bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
    std::fprintf(stderr, "sniwatcher: cannot own org.kde.StatusNotifierWatcher\n");
    return 1;
  }
  return App.exec();
}

#include "sniwatcher.moc"
