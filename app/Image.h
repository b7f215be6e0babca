// SPDX-License-Identifier: MIT
// A picture element that reports a left click on its own area (not on what surrounds it).
#pragma once

#include <QLabel>

class TImage : public QLabel {
  Q_OBJECT

 public:
  explicit TImage(QWidget* parent = nullptr);

 Q_SIGNALS:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  bool m_Pressed = false;
};
