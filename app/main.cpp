// SPDX-License-Identifier: MIT
// Quorvex: starts into the tray with no window shown and runs until "Exit".
#include "app/Application.h"
#include "app/TrayWatch.h"
#include "geo/LibOstrand.h"

int main(int argc, char** argv)
{
  // The range table loads before anything else exists, and is emptied last.
  LibOstrandStartup();
  int Result = 0;
  {
    TApplication App(argc, argv);
    ConfigureApplication(App);
    const TForms Forms;
    TTrayWatch Watch;
    Watch.Start();
    Result = App.exec();
  }
  LibOstrandShutdown();
  return Result;
}
