// SPDX-License-Identifier: MIT
#include "app/Application.h"

#include <QIcon>

#include <exception>

#include "app/Main.h"
#include "app/QtMessages.h"
#include "tray/TrayIcon.h"
#include "whois/ErrorBox.h"
#include "whois/Query.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* Receiver, QEvent* Event)
{
  try {
    return QApplication::notify(Receiver, Event);
  } catch (const std::exception& E) {
    ShowApplicationError(E.what());
  } catch (...) {
    ShowApplicationError("Unknown error");
  }
  return false;
}

void ConfigureApplication(QApplication& App)
{
  InstallQtMessageFilter();
  App.setApplicationName("Quorvex");
  App.setApplicationDisplayName("Quorvex");
  LoadAssets();
  App.setWindowIcon(QIcon(QStringLiteral(":/assets/quorvex.ico")));
  App.setQuitOnLastWindowClosed(false);
}

TForms::TForms()
{
  Main = std::make_unique<TMainForm>();
  Query = std::make_unique<TQueryForm>();
  Query->OnFormClosed = [] {
    if (MainForm && !MainForm->Closed()) MainForm->TrayIcon->SetActive(true);
  };
}

TForms::~TForms()
{
  if (Query) Query->OnFormClosed = nullptr;
  Query.reset();
  Main.reset();
}
