// SPDX-License-Identifier: MIT
// What the answer engine's tests share: a target for an address, and a run of targets
// waited for until every one is handed out.
#pragma once

#include <string>
#include <vector>

#include "tests/support/WaitUntil.h"
#include "whois/AnswerRun.h"

inline TAnswerTarget Address(const std::string& Text) { return {TTargetKind::Address, Text, {}}; }

// The outcomes in the order handed out; fewer when the run has not finished in TimeoutMs.
inline std::vector<TAnswerOutcome> RunAll(TAnswerRun& R, const std::vector<TAnswerTarget>& Targets,
                                          int TimeoutMs = 60000)
{
  std::vector<TAnswerOutcome> Out;
  R.OnAnswer = [&Out](const TAnswerOutcome& O) { Out.push_back(O); };
  for (const TAnswerTarget& T : Targets) R.Add(T);
  WaitUntil([&] { return Out.size() >= Targets.size(); }, TimeoutMs);
  return Out;
}
