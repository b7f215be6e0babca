// SPDX-License-Identifier: MIT
#include "app/QtMessages.h"

#include <QLatin1String>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <cstdio>

namespace {

std::atomic<QtMessageHandler> g_Next{nullptr};

void Filter(QtMsgType Type, const QMessageLogContext& Context, const QString& Message)
{
  if (IsQtNoise(Type, Context.category, Message)) return;
  if (const QtMessageHandler Next = g_Next.load()) {
    Next(Type, Context, Message);
    return;
  }
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(Type, Context, Message)));
}

}  // namespace

bool IsQtNoise(QtMsgType Type, const char* Category, const QString& Message)
{
  struct TNoise {
    const char* Category;
    QLatin1String Start;
    QLatin1String Names;  // a text the message must hold as well, or empty
  };
  static const TNoise Noise[] = {
      {"default", QLatin1String("QDBusTrayIcon encountered a D-Bus error: "),
       QLatin1String("org.kde.StatusNotifierWatcher")},
      {"qt.core.qobject.connect",
       QLatin1String("QObject::connect: No such signal "
                     "QPlatformNativeInterface::systemTrayWindowChanged("),
       QLatin1String()},
      {"qt.qpa.wayland", QLatin1String("Ignoring unexpected wl_keyboard.leave event. "), QLatin1String()},
  };
  if (Type != QtWarningMsg) return false;
  const QLatin1String In(Category ? Category : "default");
  return std::any_of(std::begin(Noise), std::end(Noise), [&](const TNoise& N) {
    return In == QLatin1String(N.Category) && Message.startsWith(N.Start) &&
           (N.Names.isEmpty() || Message.contains(N.Names));
  });
}

void InstallQtMessageFilter()
{
  static const bool Installed = [] {
    g_Next.store(qInstallMessageHandler(Filter));
    return true;
  }();
  (void)Installed;
}
