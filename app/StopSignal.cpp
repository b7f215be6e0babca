// SPDX-License-Identifier: MIT
#include "app/StopSignal.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

int g_Pipe[2] = {-1, -1};
struct sigaction g_OldInt {};
struct sigaction g_OldTerm {};

void OnSignal(int)
{
  const int Saved = errno;
  const char Byte = 1;
  // A full pipe already holds a byte that says the same.
  [[maybe_unused]] const ssize_t N = ::write(g_Pipe[1], &Byte, 1);
  errno = Saved;
}

}  // namespace

TStopSignal::TStopSignal(QObject* parent) : QObject(parent)
{
  if (::pipe2(g_Pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction Action {};
  Action.sa_handler = OnSignal;
  sigemptyset(&Action.sa_mask);
  Action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &Action, &g_OldInt);
  ::sigaction(SIGTERM, &Action, &g_OldTerm);
  m_Notifier = std::make_unique<QSocketNotifier>(g_Pipe[0], QSocketNotifier::Read);
  QObject::connect(m_Notifier.get(), &QSocketNotifier::activated, this, [this] {
    char Bytes[16];
    while (::read(g_Pipe[0], Bytes, sizeof Bytes) > 0) {
    }
    if (OnStop) OnStop();
  });
}

TStopSignal::~TStopSignal()
{
  m_Notifier.reset();
  if (g_Pipe[0] < 0) return;
  ::sigaction(SIGINT, &g_OldInt, nullptr);
  ::sigaction(SIGTERM, &g_OldTerm, nullptr);
  ::close(g_Pipe[0]);
  ::close(g_Pipe[1]);
  g_Pipe[0] = g_Pipe[1] = -1;
}
