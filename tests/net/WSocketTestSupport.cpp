// SPDX-License-Identifier: MIT
#include "WSocketTestSupport.h"

void TEventLog::Attach(TCustomWSocket& S)
{
  S.OnChangeState = [this](TCustomWSocket*, TSocketState O, TSocketState N) {
    Events.push_back("State" + std::to_string(O) + ">" + std::to_string(N));
  };
  S.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t E) {
    Events.push_back("Connected" + std::to_string(E));
  };
  S.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t E) { Events.push_back("Closed" + std::to_string(E)); };
  S.OnDataSent = [this](TCustomWSocket*, std::uint16_t E) { Events.push_back("Sent" + std::to_string(E)); };
  S.OnDnsLookupDone = [this](TCustomWSocket*, std::uint16_t E) { Events.push_back("Dns" + std::to_string(E)); };
}

std::string TEventLog::Joined() const
{
  std::string J;
  for (const auto& E : Events) J += (J.empty() ? "" : " ") + E;
  return J;
}

bool TEventLog::Has(const std::string& E) const
{
  for (const auto& X : Events)
    if (X == E) return true;
  return false;
}
