// SPDX-License-Identifier: MIT
// The rules of following a registry's referrals, one step at a time, for the blocking
// follower (FollowReferrals in whois/WhoisFollow.h) and for the answer engine, which asks many
// servers at once: what a reply leads to (ScanReferral; after a stub, IANA's server), never
// the same server twice, at most MaxHops more servers, the kind of the last server connected
// to deciding where its referral may lead, and the blocks that say so. No I/O of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "whois/WhoisExchange.h"
#include "whois/WhoisFollow.h"

class TFollowChain {
 public:
  // Query is what every server is asked; FirstHost:FirstPort gave the reply that Next reads
  // first. FirstKind is the kind of the address it was reached at, when known.
  TFollowChain(std::string Query, const std::string& FirstHost, std::uint16_t FirstPort,
               const TFollowSettings& Settings, std::optional<TAddressKind> FirstKind = std::nullopt);

  struct TStep {
    // True: ask Request next and hand its reply to Answered. False: the following ends here,
    // with Block to print when it is not empty (notes, "Not asking ...").
    bool Ask = false;
    TAskRequest Request;
    std::string Block;
    // Set when Ask is and the reply names the server, but the kind of the server that sent
    // it is not known yet: the caller fills Request.From before asking.
    bool NeedsFromKind = false;
  };
  // What the reply of the server asked last leads to.
  TStep Next(std::string_view Reply);

  // The block for the ask that Next asked for: the notes of the reply before it, the line
  // naming the server, its reply and "Done."; or the note on a server that may not be asked.
  // Goes is true when the following goes on with Next(Reply.Text).
  std::string Answered(const TAskReply& Reply, bool& Goes);

  int Asked() const { return m_Asked; }     // servers asked after the first one
  bool Failed() const { return m_Failed; }  // an ask failed: refused, silent, ...
  // "host" or "host:port" of every server asked, the first one included, in order.
  const std::vector<std::string>& Servers() const { return m_Servers; }

 private:
  std::string m_Query;
  TFollowSettings m_Settings;
  std::vector<std::pair<std::string, std::uint16_t>> m_Seen;
  std::vector<std::string> m_Servers;
  std::optional<TAddressKind> m_LastKind;
  int m_Asked = 0;
  bool m_Failed = false;
  // The step that Answered completes.
  std::string m_Block;
  std::string m_Line;
  std::string m_Where;
  std::string m_Host;
  std::string m_ReferralLine;
  std::pair<std::string, std::uint16_t> m_Server;
};

// "host" for port 43, "host:port" otherwise: how answers name a server.
std::string ServerName(const std::string& Host, std::uint16_t Port);
// A host name as compared: lower case, without a trailing dot.
std::string CanonicalHost(std::string Host);
