// SPDX-License-Identifier: MIT
#include "app/FocusedClipboard.h"

#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QWidget>

TFocusedClipboardRead::TFocusedClipboardRead(QObject* parent) : QObject(parent)
{
  m_Fallback.setSingleShot(true);
  m_GiveUp.setSingleShot(true);
  connect(&m_Fallback, &QTimer::timeout, this, [this] {
    if (!m_Activated) Read();
  });
  connect(&m_GiveUp, &QTimer::timeout, this, &TFocusedClipboardRead::Disarm);
}

bool TFocusedClipboardRead::NeededOn(const QString& PlatformName)
{
  // "wayland", "wayland-egl", "wayland-brcm", ...
  return PlatformName.startsWith(QLatin1String("wayland"));
}

void TFocusedClipboardRead::Arm(QWidget* Window, QComboBox* Box, std::function<bool()> Fill)
{
  Disarm();
  if (!Window || !Box || !Fill) return;
  m_Window = Window;
  m_Box = Box;
  m_Fill = std::move(Fill);
  m_Activated = false;
  Window->installEventFilter(this);
  if (QLineEdit* Edit = Box->lineEdit())
    m_Watches << connect(Edit, &QLineEdit::textEdited, this, &TFocusedClipboardRead::Disarm);
  m_Watches << connect(Box, &QComboBox::activated, this, &TFocusedClipboardRead::Disarm);
  m_Watches << connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
                       &TFocusedClipboardRead::ClipboardChanged);
  m_Fallback.start(FallbackDelay);
  m_GiveUp.start(GiveUpDelay);
  if (Window->isActiveWindow()) {
    m_Activated = true;
    Read();
  }
}

void TFocusedClipboardRead::Disarm()
{
  m_Fallback.stop();
  m_GiveUp.stop();
  for (const auto& W : m_Watches) disconnect(W);
  m_Watches.clear();
  if (m_Window) m_Window->removeEventFilter(this);
  m_Window = nullptr;
  m_Box = nullptr;
  m_Fill = nullptr;
}

void TFocusedClipboardRead::Read()
{
  if (!m_Fill || !m_Box) return;
  // Fill may run a nested loop (a slow clipboard owner); keep it alive across the call.
  const auto Fill = m_Fill;
  if (Fill()) Disarm();
}

void TFocusedClipboardRead::ClipboardChanged()
{
  // Our own copy (the user copying from the pane) is not the offer we wait for.
  if (!m_Activated || QGuiApplication::clipboard()->ownsClipboard()) return;
  Read();
}

bool TFocusedClipboardRead::eventFilter(QObject* Watched, QEvent* Event)
{
  if (Watched == m_Window) {
    if (Event->type() == QEvent::WindowActivate && !m_Activated) {
      m_Activated = true;
      Read();
    } else if (Event->type() == QEvent::Hide) {
      Disarm();
    }
  }
  return QObject::eventFilter(Watched, Event);
}
