// SPDX-License-Identifier: MIT
// Qt's tray noise is kept off standard error, and nothing else is.
#include "app/QtMessages.h"

#include <gtest/gtest.h>

#include "app/TrayWatch.h"

namespace {

TEST(QtMessagesTest, OnlyTheTwoTrayWarningsAreDropped)
{
  const QString PanelGone = QStringLiteral(
      "QDBusTrayIcon encountered a D-Bus error: QDBusError(\"org.freedesktop.DBus.Error."
      "ServiceUnknown\", \"The name org.kde.StatusNotifierWatcher was not provided by any "
      ".service files\")");
  const QString NoXEmbed = QStringLiteral(
      "QObject::connect: No such signal QPlatformNativeInterface::systemTrayWindowChanged(QScreen*)");
  const struct {
    QtMsgType Type;
    QString Message;
    bool Dropped;
  } Rows[] = {
      {QtWarningMsg, PanelGone, true},
      {QtWarningMsg, NoXEmbed, true},
      {QtCriticalMsg, PanelGone, false},
      {QtInfoMsg, NoXEmbed, false},
      {QtWarningMsg,
       QStringLiteral("QDBusTrayIcon encountered a D-Bus error: QDBusError(\"org.freedesktop."
                      "DBus.Error.NoReply\", \"Did not receive a reply.\")"),
       false},
      {QtWarningMsg, QStringLiteral("QObject::connect: No such signal QComboBox::edited(QString)"),
       false},
      {QtWarningMsg, QStringLiteral("x ") + NoXEmbed, false},
      {QtWarningMsg, QString::fromStdString(TTrayWatch::NoTrayText), false},
  };
  for (const auto& R : Rows)
    EXPECT_EQ(IsQtTrayNoise(R.Type, R.Message), R.Dropped) << R.Message.toStdString();
}

} // namespace
