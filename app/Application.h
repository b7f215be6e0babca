// SPDX-License-Identifier: MIT
// The program's application object and start-up: an exception that escapes an event handler
// is shown in the error box and the program goes on; the application title; the two windows
// in their order. GUI thread only.
#pragma once

#include <QApplication>

#include <memory>

class TMainForm;
class TQueryForm;

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* Receiver, QEvent* Event) override;
};

// "Quorvex" as name and display name, the application icon, no quitting when the last
// window closes (only the main window's closing ends the program), and Qt's tray noise kept
// off standard error (app/QtMessages.h).
void ConfigureApplication(QApplication& App);

// The main window, then the query window, each setting its global before its creation
// handler runs; the query window's closing switches the tray icon back on unless the
// program is ending. Destroys the query window first.
struct TForms {
  TForms();
  ~TForms();
  TForms(const TForms&) = delete;
  TForms& operator=(const TForms&) = delete;

  std::unique_ptr<TMainForm> Main;
  std::unique_ptr<TQueryForm> Query;
};
