// SPDX-License-Identifier: MIT
// Qt's noise is kept off standard error, and nothing else is.
#include "app/QtMessages.h"

#include <gtest/gtest.h>

#include "app/TrayWatch.h"

namespace {

TEST(QtMessagesTest, OnlyTheKnownNoiseIsDropped)
{
  const QString PanelGone = QStringLiteral(
      "QDBusTrayIcon encountered a D-Bus error: QDBusError(\"org.freedesktop.DBus.Error."
      "ServiceUnknown\", \"The name org.kde.StatusNotifierWatcher was not provided by any "
      ".service files\")");
  const QString NoXEmbed =
      QStringLiteral("QObject::connect: No such signal QPlatformNativeInterface::systemTrayWindowChanged(QScreen*)");
  const QString Leave = QStringLiteral(
      "Ignoring unexpected wl_keyboard.leave event. wl_surface argument does not match the "
      "current focus This is most likely a compositor bug");
  const char* Connect = "qt.core.qobject.connect";
  const struct {
    QtMsgType Type;
    const char* Category;
    QString Message;
    bool Dropped;
  } Rows[] = {
      {QtWarningMsg, "default", PanelGone, true},
      {QtWarningMsg, nullptr, PanelGone, true},
      {QtWarningMsg, Connect, NoXEmbed, true},
      {QtWarningMsg, "qt.qpa.wayland", Leave, true},
      // Other types, categories and texts are what they say.
      {QtCriticalMsg, "default", PanelGone, false},
      {QtInfoMsg, Connect, NoXEmbed, false},
      {QtWarningMsg, "default", NoXEmbed, false},
      {QtWarningMsg, "qt.qpa.xcb", Leave, false},
      {QtWarningMsg, "default",
       QStringLiteral("QDBusTrayIcon encountered a D-Bus error: QDBusError(\"org.freedesktop."
                      "DBus.Error.NoReply\", \"Did not receive a reply.\")"),
       false},
      {QtWarningMsg, Connect, QStringLiteral("QObject::connect: No such signal QComboBox::edited(QString)"), false},
      {QtWarningMsg, Connect, QStringLiteral("x ") + NoXEmbed, false},
      {QtWarningMsg, "default", QString::fromStdString(TTrayWatch::NoTrayText), false},
  };
  for (const auto& R : Rows)
    EXPECT_EQ(IsQtNoise(R.Type, R.Category, R.Message), R.Dropped)
        << (R.Category ? R.Category : "(none)") << ": " << R.Message.toStdString();
}

}  // namespace
