// SPDX-License-Identifier: MIT
// Queues of work per server, one ask at a time on each, with a pause between the end of one
// ask and the start of the next on the same server; different servers run side by side.
// Also the default pause for each registry's server. GUI thread only.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <QObject>
#include <QTimer>

// The pause between two queries to Host when none is given: what keeps a day of queries
// inside the registry's published limits. LACNIC allows 10 queries a minute: 6 s. RIPE
// allows 1,000 queries with personal data a day, its count halved every 12 hours: one query
// every T seconds settles at 43200 / (T ln 2), below 1,000 from T = 63 s: 64 s. AFRINIC
// allows 5,000 a day: 18 s. ARIN and APNIC publish no number: 2 s; IANA's server 1 s; any
// other server (rwhois, national registries) 2 s. A registry's RDAP host (rdap.db.ripe.net)
// takes its WHOIS server's pause: the limits are on the registry's database, however asked.
int DefaultPaceMs(std::string_view Host);

class TServerLanes : public QObject {
 public:
  // Called for the job at the front of Lane when the lane may start an ask. True: the job
  // started one, and the lane waits for Release. False: it needed none (answered from what
  // the run knows, or sent elsewhere), and the next job may go at once.
  using TDispatch = std::function<bool(const std::string& Lane, std::size_t Job)>;
  // The pause of a lane, in milliseconds.
  using TPace = std::function<int(const std::string& Lane)>;

  TServerLanes(TDispatch Dispatch, TPace Pace, QObject* parent = nullptr);
  ~TServerLanes() override;

  // Puts Job at the end of Lane's queue; dispatching runs later, from the loop.
  void Queue(const std::string& Lane, std::size_t Job);
  // The ask of Lane's current job has ended now.
  void Release(const std::string& Lane);
  // Forgets every queued job (the asks under way are the caller's).
  void Clear();
  std::size_t Lanes() const { return m_Lanes.size(); }

 private:
  struct TLane {
    std::deque<std::size_t> Jobs;
    bool Busy = false;
    bool Ended = false;  // an ask has ended on it: the pause counts from then
    std::chrono::steady_clock::time_point End;
    std::unique_ptr<QTimer> Wake;
  };
  void PumpSoon();
  void Pump();

  TDispatch m_Dispatch;
  TPace m_Pace;
  std::map<std::string, TLane> m_Lanes;
  bool m_PumpQueued = false;
};
