// SPDX-License-Identifier: MIT
// tipsize TEXT: prints "WxH", the size of the tool-tip window that Qt shows for TEXT on this
// display. The end-to-end test compares it with the tray icon's tool-tip window, which it can
// see but not read.
#include <QApplication>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fputs("usage: tipsize TEXT\n", stderr);
    return 2;
  }
  QApplication App(argc, argv);
  const QString Text = QString::fromLocal8Bit(argv[1]);
  int Status = 1;
  QTimer::singleShot(0, [&] { QToolTip::showText(QPoint(500, 500), Text); });
  QTimer::singleShot(500, [&] {
    for (QWidget* W : QApplication::topLevelWidgets()) {
      if (W->isVisible() && W->inherits("QTipLabel")) {
        std::printf("%dx%d\n", W->width(), W->height());
        std::fflush(stdout);
        Status = 0;
      }
    }
    App.quit();
  });
  App.exec();
  return Status;
}
