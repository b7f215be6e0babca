// SPDX-License-Identifier: MIT
#include "app/TrayWatch.h"

#include <iostream>

#include "app/Main.h"
#include "tray/NotifyShell.h"
#include "tray/TrayIcon.h"
#include "whois/Query.h"

const std::string TTrayWatch::NoTrayText =
    "Quorvex: no notification area (system tray) was found; showing the query window "
    "instead. Closing it ends the program.";

TTrayWatch::TTrayWatch(TProbe Probe, TSay Say, QObject* parent)
    : QObject(parent),
      m_Probe(Probe ? std::move(Probe) : TProbe(NotificationAreaAvailable)),
      m_Say(Say ? std::move(Say) : TSay([](const std::string& Text) { std::cerr << Text << std::endl; }))
{
  m_Grace.setSingleShot(true);
  connect(&m_Grace, &QTimer::timeout, this, &TTrayWatch::SecondLook);
  connect(&m_Poll, &QTimer::timeout, this, &TTrayWatch::Poll);
}

TTrayWatch::~TTrayWatch()
{
  if (m_Hooked && QueryForm) QueryForm->OnFormClosed = m_PreviousClosed;
}

void TTrayWatch::Start()
{
  if (m_Probe()) return;
  m_Grace.start(GraceDelay);
}

void TTrayWatch::SecondLook()
{
  if (m_Probe() || !MainForm || !QueryForm || MainForm->Closed()) return;
  if (!m_Said) {
    m_Said = true;
    m_Say(NoTrayText);
  }
  m_WindowOnly = true;
  if (!m_Hooked) {
    m_Hooked = true;
    m_PreviousClosed = QueryForm->OnFormClosed;
    QueryForm->OnFormClosed = [this] {
      if (m_PreviousClosed) m_PreviousClosed();
      // A tray may have come since the last look, its icon already shown.
      if (m_WindowOnly) Poll();
      // The only way out while no tray holds the menu's "Exit".
      if (m_WindowOnly && MainForm && !MainForm->Closed()) MainForm->CloseApp(MainForm);
    };
  }
  m_Poll.start(PollInterval);
  // Modal: runs until the window closes, the timers keep running meanwhile.
  MainForm->ShowQueryForm(MainForm);
}

void TTrayWatch::Poll()
{
  if (!m_Probe()) return;
  m_Poll.stop();
  m_WindowOnly = false;
  // Switched off and on, the icon is added afresh and reaches the host that just came.
  if (MainForm && !MainForm->Closed() && MainForm->TrayIcon->Active()) {
    MainForm->TrayIcon->SetActive(false);
    MainForm->TrayIcon->SetActive(true);
  }
}
