// SPDX-License-Identifier: MIT
#include "app/QtMessages.h"

#include <QLatin1String>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<QtMessageHandler> g_Next{nullptr};

void Filter(QtMsgType Type, const QMessageLogContext& Context, const QString& Message)
{
  if (IsQtTrayNoise(Type, Message))
    return;
  if (const QtMessageHandler Next = g_Next.load()) {
    Next(Type, Context, Message);
    return;
  }
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(Type, Context, Message)));
}

} // namespace

bool IsQtTrayNoise(QtMsgType Type, const QString& Message)
{
  if (Type != QtWarningMsg)
    return false;
  if (Message.startsWith(QLatin1String("QDBusTrayIcon encountered a D-Bus error: ")))
    return Message.contains(QLatin1String("org.kde.StatusNotifierWatcher"));
  return Message.startsWith(QLatin1String(
      "QObject::connect: No such signal QPlatformNativeInterface::systemTrayWindowChanged("));
}

void InstallQtMessageFilter()
{
  static const bool Installed = [] {
    g_Next.store(qInstallMessageHandler(Filter));
    return true;
  }();
  (void)Installed;
}
