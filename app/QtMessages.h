// SPDX-License-Identifier: MIT
// Keeps a few of Qt's own warnings off standard error: they come from Qt's tray and Wayland
// code on desktops the program handles itself, and tell a user nothing. Everything else Qt
// says passes through unchanged. Any thread: the filter keeps no state.
#pragma once

#include <QString>
#include <QtGlobal>

// True for the warnings that are dropped, each matched by its category and its text:
// - "QDBusTrayIcon encountered a D-Bus error: ..." naming org.kde.StatusNotifierWatcher: a
//   panel that restarts leaves Qt's own tray without a watcher for a moment; the program's
//   icon registers again by itself;
// - "QObject::connect: No such signal QPlatformNativeInterface::systemTrayWindowChanged...":
//   Qt looks for an XEmbed tray on Wayland, where there is none; the program says itself
//   when it finds no notification area;
// - "Ignoring unexpected wl_keyboard.leave event...": Qt noting, and ignoring, a focus change
//   the compositor reported out of turn (seen under sway after its panel restarted).
bool IsQtNoise(QtMsgType Type, const char* Category, const QString& Message);

// Installs the filter in front of the message handler in place; safe to call again.
void InstallQtMessageFilter();
