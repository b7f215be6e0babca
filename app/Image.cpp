// SPDX-License-Identifier: MIT
#include "app/Image.h"

#include <QMouseEvent>

TImage::TImage(QWidget* parent) : QLabel(parent) {}

void TImage::mousePressEvent(QMouseEvent* Event)
{
  m_Pressed = Event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(Event);
}

void TImage::mouseReleaseEvent(QMouseEvent* Event)
{
  // A click is a press and a release of the left button, both on the picture.
  const bool Click = m_Pressed && Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint());
  m_Pressed = false;
  QLabel::mouseReleaseEvent(Event);
  if (Click) emit clicked();
}
