// SPDX-License-Identifier: MIT
#include "whois/ServerLanes.h"

#include <utility>

#include "text/AsciiText.h"

namespace {

struct TPaceRow {
  std::string_view Host;
  int Ms;
};
constexpr TPaceRow kPaces[] = {
    {"whois.arin.net", 2000},     {"whois.ripe.net", 64000}, {"whois.apnic.net", 2000},   {"whois.lacnic.net", 6000},
    {"whois.afrinic.net", 18000}, {"whois.iana.org", 1000},  {"rdap.arin.net", 2000},     {"rdap.db.ripe.net", 64000},
    {"rdap.apnic.net", 2000},     {"rdap.lacnic.net", 6000}, {"rdap.afrinic.net", 18000},
};
constexpr int kOtherPaceMs = 2000;

}  // namespace

int DefaultPaceMs(std::string_view Host)
{
  std::string Lower = AsciiLowerCopy(Host);
  if (!Lower.empty() && Lower.back() == '.') Lower.pop_back();
  for (const TPaceRow& Row : kPaces)
    if (Row.Host == Lower) return Row.Ms;
  return kOtherPaceMs;
}

TServerLanes::TServerLanes(TDispatch Dispatch, TPace Pace, QObject* parent)
    : QObject(parent), m_Dispatch(std::move(Dispatch)), m_Pace(std::move(Pace))
{
}

TServerLanes::~TServerLanes() = default;

void TServerLanes::Queue(const std::string& Lane, std::size_t Job)
{
  m_Lanes[Lane].Jobs.push_back(Job);
  PumpSoon();
}

void TServerLanes::Release(const std::string& Lane)
{
  const auto It = m_Lanes.find(Lane);
  if (It == m_Lanes.end()) return;
  It->second.Busy = false;
  It->second.Ended = true;
  It->second.End = std::chrono::steady_clock::now();
  PumpSoon();
}

void TServerLanes::Clear()
{
  for (auto& [Key, Lane] : m_Lanes) {
    Lane.Jobs.clear();
    if (Lane.Wake) Lane.Wake->stop();
  }
}

// Dispatching never runs inside Queue or Release, whose callers are in the middle of their
// own work (a job may queue itself on another lane from inside its dispatch).
void TServerLanes::PumpSoon()
{
  if (m_PumpQueued) return;
  m_PumpQueued = true;
  QMetaObject::invokeMethod(
      this, [this] { Pump(); }, Qt::QueuedConnection);
}

void TServerLanes::Pump()
{
  m_PumpQueued = false;
  const auto Now = std::chrono::steady_clock::now();
  for (auto& [Key, Lane] : m_Lanes) {
    while (!Lane.Busy && !Lane.Jobs.empty()) {
      if (Lane.Ended) {
        const auto Pause = std::chrono::milliseconds(m_Pace(Key));
        const auto Due = Lane.End + Pause;
        if (Now < Due) {
          if (!Lane.Wake) {
            Lane.Wake = std::make_unique<QTimer>();
            Lane.Wake->setSingleShot(true);
            Lane.Wake->setTimerType(Qt::PreciseTimer);
            QObject::connect(Lane.Wake.get(), &QTimer::timeout, this, [this] { PumpSoon(); });
          }
          if (!Lane.Wake->isActive()) {
            // Rounded up: a timer that fires a little early would only set another one.
            const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Due - Now);
            Lane.Wake->start(static_cast<int>(Left.count()));
          }
          break;
        }
      }
      const std::size_t Job = Lane.Jobs.front();
      Lane.Jobs.pop_front();
      if (m_Dispatch(Key, Job)) Lane.Busy = true;
    }
  }
}
