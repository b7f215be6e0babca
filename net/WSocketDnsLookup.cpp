// SPDX-License-Identifier: MIT
// TCustomWSocket's host lookups: DnsLookup and DnsLookup6, their one pending lookup, its
// completion and its withdrawal. The resolver itself runs on a worker (WSocketLookup.cpp).
#include "net/WSocket.h"

#include <arpa/inet.h>

#include "net/WSocketDetail.h"
#include "net/WSocketLookup.h"
#include "net/WSocketWindow.h"

void TCustomWSocket::DnsLookup(const std::string& HostName)
{
  if (HostName.empty()) {
    RefuseLookup();
    return;
  }
  ForgetLookup();
  if (IsDottedAddress(HostName)) {
    const std::uint32_t A = WSocket_inet_addr(HostName.c_str());
    if (A != INADDR_NONE) {
      m_DnsResult = WSocket_inet_ntoa(A);
      m_DnsResultList.push_back(m_DnsResult);
      TriggerDnsLookupDone(0);
      return;
    }
  }
  if (const TStepResult Failure = StartBackgroundLookup(HostName, TLookupFamily::Ipv4)) RaiseStepFailure(*Failure);
}

void TCustomWSocket::DnsLookup6(const std::string& HostName)
{
  if (HostName.empty()) {
    RefuseLookup();
    return;
  }
  ForgetLookup();
  if (const TStepResult Failure = StartBackgroundLookup(HostName, TLookupFamily::Ipv6)) RaiseStepFailure(*Failure);
}

// With OnError assigned the raise returns, and the lookup still ends, as a failed one.
void TCustomWSocket::RefuseLookup()
{
  RaiseSocketException("DNS lookup: invalid host name.");
  TriggerDnsLookupDone(kWsaEInval);
}

void TCustomWSocket::ForgetLookup()
{
  // The running worker cannot be stopped; forgetting its handle makes its completion stale.
  m_LookupHandle = 0;
  m_DnsResult.clear();
  m_DnsResultList.clear();
}

TCustomWSocket::TStepResult TCustomWSocket::StartBackgroundLookup(const std::string& HostName, TLookupFamily Family)
{
  if (!m_Window) return TStepFailure::Message("DnsLookup: Window not assigned");
  m_EarlyCompletion = false;
  const std::uint32_t Handle = StartHostLookup(m_Window->Token(), HostName, Family);
  if (Handle == 0)
    return TStepFailure::Message(
        WSocketDetail::FormatMessage("%s: can't start DNS lookup, error #%d", HostName, WSocket_WSAGetLastError()));
  m_LookupHandle = Handle;
  if (m_EarlyCompletion) {
    m_EarlyCompletion = false;
    TSavedCompletion Saved = std::move(m_SavedCompletion);
    m_SavedCompletion = {};
    HandleLookupCompletion(Saved.WParam, Saved.LParam, Saved.Lookup);
  }
  return {};
}

void TCustomWSocket::HandleLookupCompletion(std::uintptr_t WParam, std::intptr_t LParam,
                                            const std::shared_ptr<TLookupCompletion>& Lookup)
{
  if (m_LookupHandle == 0) {
    // Dispatched before the start call returned its handle (or after a cancel, when
    // the next DnsLookup discards it).
    m_SavedCompletion = {MsgHostLookupDone, WParam, LParam, Lookup};
    m_EarlyCompletion = true;
    return;
  }
  if (WParam != m_LookupHandle) return;
  m_LookupHandle = 0;
  const std::uint16_t ErrCode = WSocketDetail::HighWord(LParam);
  if (ErrCode == 0 && Lookup && Lookup->Ipv6) {
    for (const TIpv6Bytes& A : Lookup->Addresses6) m_DnsResultList.push_back(WSocketFormatAddress6(A));
    if (!m_DnsResultList.empty()) m_DnsResult = m_DnsResultList.front();
  } else if (ErrCode == 0 && Lookup) {
    std::vector<std::uint32_t> Addresses = Lookup->Addresses;
    std::vector<char*> List;
    for (std::uint32_t& A : Addresses) List.push_back(reinterpret_cast<char*>(&A));
    List.push_back(nullptr);
    hostent Entry{};
    Entry.h_addrtype = AF_INET;
    Entry.h_length = 4;
    Entry.h_addr_list = List.data();
    CollectAddresses(&Entry, m_DnsResultList);
    if (!m_DnsResultList.empty()) m_DnsResult = m_DnsResultList.front();
  }
  TriggerDnsLookupDone(ErrCode);
}

void TCustomWSocket::CancelHostLookup()
{
  if (m_LookupHandle == 0) return;
  m_LookupHandle = 0;
  if (!m_Destroying) TriggerDnsLookupDone(kWsaEIntr);  // a withdrawn lookup ends "interrupted"
}
