// SPDX-License-Identifier: MIT
#include "whois/FollowChain.h"

#include <algorithm>

#include "text/AsciiText.h"

#include "whois/WhoisReferral.h"

std::string CanonicalHost(std::string Host)
{
  if (!Host.empty() && Host.back() == '.') Host.pop_back();
  return AsciiLowerCopy(Host);
}

std::string ServerName(const std::string& Host, std::uint16_t Port)
{
  return Port == 43 ? Host : Host + ":" + std::to_string(Port);
}

TFollowChain::TFollowChain(std::string Query, const std::string& FirstHost, std::uint16_t FirstPort,
                           const TFollowSettings& Settings, std::optional<TAddressKind> FirstKind)
    : m_Query(std::move(Query)), m_Settings(Settings), m_LastKind(FirstKind)
{
  m_Seen.emplace_back(CanonicalHost(FirstHost), FirstPort);
  m_Servers.push_back(ServerName(FirstHost, FirstPort));
}

TFollowChain::TStep TFollowChain::Next(std::string_view Reply)
{
  TStep Step;
  const TReferralScan Scan = ScanReferral(Reply);
  std::string Block;
  for (const std::string& Note : Scan.Notes) Block += Note + "\r\n";

  std::string Host;
  std::uint16_t Port = 43;
  std::string Line;
  if (Scan.Referral) {
    Host = Scan.Referral->Host;
    Port = Scan.Referral->Port;
    Line = "Referred to " + Host + " port " + std::to_string(Port) + (Scan.Referral->Rwhois ? " (rwhois).." : "..");
  } else if (Scan.Stub) {
    Host = m_Settings.IanaHost;
    Port = m_Settings.IanaPort;
    Line = "Not managed by this registry, asking " + Host + " port " + std::to_string(Port) + "..";
  } else {
    Step.Block = Block;
    return Step;
  }

  const std::string Where = Host + " port " + std::to_string(Port);
  const std::pair<std::string, std::uint16_t> Server{CanonicalHost(Host), Port};
  if (std::find(m_Seen.begin(), m_Seen.end(), Server) != m_Seen.end()) {
    Step.Block = Block + "Not asking " + Where + ": that server was asked already.";
    return Step;
  }
  if (m_Asked >= m_Settings.MaxHops) {
    Step.Block =
        Block + "Not asking " + Where + ": at most " + std::to_string(m_Settings.MaxHops) + " referrals are followed.";
    return Step;
  }

  Step.Ask = true;
  Step.Request.Host = Host;
  Step.Request.Port = Port;
  Step.Request.Query = m_Query;
  Step.Request.TimeoutMs = m_Settings.TimeoutMs;
  // Only a server the reply names is held to the rule on where it may lead; IANA's server
  // after a stub is this command's own choice.
  if (Scan.Referral) {
    Step.Request.From = m_LastKind;
    Step.NeedsFromKind = !m_LastKind;
    m_ReferralLine = Scan.Referral->Line;
  } else {
    m_ReferralLine.clear();
  }
  m_Block = std::move(Block);
  m_Line = std::move(Line);
  m_Where = Where;
  m_Host = Host;
  m_Server = Server;
  return Step;
}

std::string TFollowChain::Answered(const TAskReply& Reply, bool& Goes)
{
  Goes = false;
  if (!Reply.Refusal.empty()) return m_Block + "Referral ignored (" + Reply.Refusal + "): " + m_ReferralLine;
  m_Seen.push_back(m_Server);
  m_Servers.push_back(ServerName(m_Host, m_Server.second));
  ++m_Asked;
  m_LastKind = Reply.Kind;

  std::string Block = m_Block + m_Line + "\r\n\r\n" + Reply.Text;
  if (!Reply.FailLine.empty()) {
    DropTrailingBlankOrControl(Block);
    Block += "\r\n\r\nReferral failed: " + m_Where + ": " + Reply.FailLine + ".";
  }
  DropTrailingBlankOrControl(Block);
  Block += "\r\n\r\nDone.";
  if (Reply.Failed) {
    m_Failed = true;
    return Block;
  }
  Goes = true;
  return Block;
}
