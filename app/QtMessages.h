// SPDX-License-Identifier: MIT
// Keeps two of Qt's own warnings off standard error: they come from Qt's tray code on desktops
// the program handles itself and tell a user nothing. Everything else Qt says passes through
// unchanged. GUI thread or any: the filter keeps no state.
#pragma once

#include <QString>
#include <QtGlobal>

// True for the warnings that are dropped:
// - "QDBusTrayIcon encountered a D-Bus error: ..." naming org.kde.StatusNotifierWatcher: a
//   panel that restarts leaves Qt's own tray without a watcher for a moment; the program's
//   icon registers again by itself;
// - "QObject::connect: No such signal QPlatformNativeInterface::systemTrayWindowChanged...":
//   asked whether there is an XEmbed tray on Wayland, where there is none; the program says
//   itself when it finds no notification area.
bool IsQtTrayNoise(QtMsgType Type, const QString& Message);

// Installs the filter in front of the message handler in place; safe to call again.
void InstallQtMessageFilter();
