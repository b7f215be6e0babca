// SPDX-License-Identifier: MIT
// The line on a terminal's standard error that says how far a run of many answers is:
// answered / targets known so far, queries made, answers from the cache. Redrawn in place at
// most a few times a second, cleared before other output and at the end. Draws nothing when
// standard error is no terminal.
#pragma once

#include <string>

#include <QElapsedTimer>

class TProgressLine {
 public:
  TProgressLine();
  ~TProgressLine();
  bool Shown() const { return m_Terminal; }
  // The figures now; drawn when enough time has passed since the last drawing, or Force.
  void Update(std::size_t Done, std::size_t Known, std::size_t Queries, std::size_t FromCache, bool Force = false);
  // Takes the line off the screen (before other output to the same terminal, and at the end).
  void Clear();

 private:
  bool m_Terminal = false;
  bool m_Drawn = false;
  QElapsedTimer m_Since;
  std::string m_Last;
};
