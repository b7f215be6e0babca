// SPDX-License-Identifier: MIT
// trayclicks: one TTrayIcon on the desktop's tray through the real Qt shell, printing each
// event it raises on its own line ("OnClick", "OnDblClick", "OnRightClick"), so that a
// script driving the mouse can check which events come, in which order and when. The real
// program has no handler for a double click; this one has all three.
#include <QApplication>
#include <QPixmap>

#include <cstdio>

#include "tray/TrayIcon.h"

namespace {

void Print(const char* Event)
{
  std::printf("%s\n", Event);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
  QApplication App(argc, argv);
  QPixmap Image(16, 16);
  Image.fill(Qt::darkGreen);
  TQtNotifyShell Shell;
  TTrayIcon Tray(nullptr, &Shell);
  Tray.SetIcon(QIcon(Image));
  Tray.SetToolTip("trayclicks");
  Tray.OnClick = [](QObject*) { Print("OnClick"); };
  Tray.OnDblClick = [](QObject*) { Print("OnDblClick"); };
  Tray.OnRightClick = [](QObject*, TMouseButton, TShiftState, int, int) { Print("OnRightClick"); };
  Tray.SetActive(true);
  return App.exec();
}
