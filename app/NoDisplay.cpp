// SPDX-License-Identifier: MIT
#include "app/NoDisplay.h"

#include <QByteArray>
#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct THeldMessage {
  QtMsgType Type;
  QByteArray File, Function, Category;
  int Line;
  QString Text;
};

QtMessageHandler Previous = nullptr;
std::vector<THeldMessage> Held;

// An environment setting as the line shows it: quoted, printable, short.
std::string Setting(const char* Name)
{
  const QByteArray Value = qgetenv(Name);
  if (Value.isEmpty()) return std::string(Name) + " is not set";
  std::string Shown;
  for (const char C : Value.left(100)) Shown += C >= 0x20 && C < 0x7F ? C : '?';
  if (Value.size() > 100) Shown += "...";
  return std::string(Name) + " is \"" + Shown + "\"";
}

void HoldMessage(QtMsgType Type, const QMessageLogContext& Context, const QString& Text)
{
  if (Type == QtFatalMsg) {
    // Qt aborts once this returns, and its own words ("Reinstalling the application may fix
    // this problem") would mislead: say what is missing and leave with status 1. Nothing of
    // the application exists yet that would need tidying up.
    std::fprintf(stderr, "%s\n", NoDisplayMessage().c_str());
    std::fflush(stderr);
    std::_Exit(1);
  }
  Held.push_back({Type, Context.file, Context.function, Context.category, Context.line, Text});
}

}  // namespace

std::string NoDisplayMessage()
{
  std::string Line = "Quorvex: no display was found (" + Setting("DISPLAY") + ", " + Setting("WAYLAND_DISPLAY");
  if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) Line += ", " + Setting("QT_QPA_PLATFORM");
  return Line + "). It runs in a desktop session; quorvex-query answers from a terminal.";
}

TNoDisplayGuard::TNoDisplayGuard()
{
  Held.clear();
  Previous = qInstallMessageHandler(HoldMessage);
}

TNoDisplayGuard::~TNoDisplayGuard() { Started(); }

void TNoDisplayGuard::Started()
{
  if (!m_Active) return;
  m_Active = false;
  qInstallMessageHandler(Previous);
  for (const THeldMessage& M : Held) {
    const QMessageLogContext Context(M.File.isEmpty() ? nullptr : M.File.constData(), M.Line,
                                     M.Function.isEmpty() ? nullptr : M.Function.constData(),
                                     M.Category.isEmpty() ? nullptr : M.Category.constData());
    qt_message_output(M.Type, Context, M.Text);
  }
  Held.clear();
}
