// SPDX-License-Identifier: MIT
// Start-up on a desktop without a notification area (plain GNOME, a bare window manager): the
// program would run with nothing of it visible. With no tray at start and none a few seconds
// later, it says so once on standard error and opens the query window, whose closing then
// ends the program. A tray that comes later gets the icon, and from then on the program
// behaves as usual. Where a tray is there at start, nothing of this happens.
// Lives after the forms are made and goes before they do; GUI thread only.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>

class TTrayWatch : public QObject {
  Q_OBJECT

 public:
  using TProbe = std::function<bool()>;
  using TSay = std::function<void(const std::string&)>;

  // Probe nullptr: NotificationAreaAvailable(). Say nullptr: a line on standard error.
  explicit TTrayWatch(TProbe Probe = nullptr, TSay Say = nullptr, QObject* parent = nullptr);
  ~TTrayWatch() override;
  TTrayWatch(const TTrayWatch&) = delete;
  TTrayWatch& operator=(const TTrayWatch&) = delete;

  // Looks now; without a tray, looks again after GraceDelay (a panel may start a moment
  // after the programs of the session) before opening the window.
  void Start();

  // True while the query window is the only way in and out.
  bool WindowOnly() const { return m_WindowOnly; }

  int GraceDelay = 3000;
  int PollInterval = 1000;

  static const std::string NoTrayText;

 private:
  void SecondLook();
  void Poll();

  TProbe m_Probe;
  TSay m_Say;
  QTimer m_Grace;
  QTimer m_Poll;
  bool m_WindowOnly = false;
  bool m_Said = false;
  std::function<void()> m_PreviousClosed;
  bool m_Hooked = false;
};
