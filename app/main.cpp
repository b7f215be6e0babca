// SPDX-License-Identifier: MIT
// Quorvex: starts into the tray with no window shown and runs until "Exit".
#include "app/Application.h"
#include "app/NoDisplay.h"
#include "app/SingleInstance.h"
#include "app/TrayWatch.h"
#include "geo/LibOstrand.h"

int main(int argc, char** argv)
{
  // The range table loads before anything else exists, and is emptied last.
  LibOstrandStartup();
  // The program reads no command line, and Qt would act on its own options in it
  // (-platform, -style, -reverse, ...): the application gets the program's name only. Qt
  // keeps a reference to the count, so it lives as long as the application.
  int QtArgc = 1;
  char DefaultName[] = "quorvex";
  char* QtArgv[] = {argc > 0 && argv[0] ? argv[0] : DefaultName, nullptr};
  int Result = 0;
  {
    // Without a display Qt would abort inside the application's constructor.
    TNoDisplayGuard NoDisplay;
    TApplication App(QtArgc, QtArgv);
    NoDisplay.Started();
    ConfigureApplication(App);
    // A later start opens the running program's query window and ends here.
    TSingleInstance Instance;
    if (Instance.Start() == TSingleInstance::TRole::HandedOver) {
      LibOstrandShutdown();
      return 0;
    }
    if (const std::string Notice = RangeFileNotice(); !Notice.empty())
      std::fprintf(stderr, "Quorvex: %s\n", Notice.c_str());
    const TForms Forms;
    TTrayWatch Watch;
    Watch.Start();
    Result = App.exec();
  }
  LibOstrandShutdown();
  return Result;
}
