// SPDX-License-Identifier: MIT
#include "tests/tray/PrivateBus.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <memory>

#include "tests/tray/QtTestApp.h"

namespace {

QString g_BusAddress;
std::unique_ptr<QProcess> g_Daemon;

class TBusEnvironment : public ::testing::Environment {
 public:
  void TearDown() override
  {
    if (g_Daemon) {
      g_Daemon->kill();
      g_Daemon->waitForFinished(3000);
      g_Daemon.reset();
    }
  }
};
[[maybe_unused]] auto* const g_BusEnv = ::testing::AddGlobalTestEnvironment(new TBusEnvironment);

}  // namespace

QString PrivateBus()
{
  if (!g_BusAddress.isEmpty() || g_Daemon) return g_BusAddress;
  const QString Daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
  g_Daemon = std::make_unique<QProcess>();
  if (Daemon.isEmpty()) return {};
  g_Daemon->start(Daemon,
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
  if (!g_Daemon->waitForStarted(5000)) return {};
  WaitUntil([] { return g_Daemon->canReadLine(); }, 5000);
  g_BusAddress = QString::fromUtf8(g_Daemon->readLine()).trimmed();
  return g_BusAddress;
}
