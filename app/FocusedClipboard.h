// SPDX-License-Identifier: MIT
// Fills the query window's address box from the clipboard once the window has the keyboard
// focus, for desktops that let a client read the clipboard only then (Wayland: the compositor
// offers the selection to the focused client alone). GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class QComboBox;
class QWidget;

class TFocusedClipboardRead : public QObject {
  Q_OBJECT

 public:
  explicit TFocusedClipboardRead(QObject* parent = nullptr);

  // True for the Qt platforms whose clipboard is readable only with the keyboard focus.
  static bool NeededOn(const QString& PlatformName);

  // Fill reads the clipboard into Box and says whether an address came of it. It runs when
  // Window becomes active; while it has got nothing, again whenever the clipboard's offer
  // arrives (it may come just after the focus), and once after FallbackDelay in case the
  // window is never activated. Nothing runs any more after an address came, after the
  // user's first edit or choice in Box, once Window hides, or after GiveUpDelay, so a late
  // offer never replaces what the user typed.
  void Arm(QWidget* Window, QComboBox* Box, std::function<bool()> Fill);
  void Disarm();
  bool Armed() const { return static_cast<bool>(m_Fill); }

  int FallbackDelay = 1000;
  int GiveUpDelay = 5000;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void Read();
  void ClipboardChanged();

  std::function<bool()> m_Fill;
  QPointer<QWidget> m_Window;
  QPointer<QComboBox> m_Box;
  QTimer m_Fallback;
  QTimer m_GiveUp;
  bool m_Activated = false;
  QList<QMetaObject::Connection> m_Watches;
};
