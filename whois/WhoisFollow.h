// SPDX-License-Identifier: MIT
// Following a registry's referral to the server that holds the address: reads the reply for
// a referral or a "not managed here" stub (whois/WhoisReferral.h), asks the server named, or
// IANA's server after a stub, and goes on from that reply. Used by quorvex-query --follow;
// the query window's own flow never follows.
//
// GUI thread only, with a Qt application object: FollowReferrals runs the event loop until
// every hop has ended, each hop bounded by the time-out and by the pane's reply cap.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct TFollowSettings {
  int TimeoutMs = 90000;  // per server asked
  int MaxHops = 3;        // servers asked after the first one
  std::string IanaHost = "whois.iana.org";
  std::uint16_t IanaPort = 43;
  // The numeric address the first server was reached at; empty: its name is looked up. Its
  // kind (public, loopback, private, ...) decides where its referral may lead.
  std::string FirstAddress;
};

struct TFollowResult {
  int Asked = 0;        // servers asked after the first one
  bool Failed = false;  // a hop was refused, unresolvable, silent, timed out or cut by a reset
};
// A referral to an address of a kind its server may not send us to (see MayReferTo in
// whois/WhoisReferral.h) is not followed: a note says why, and the following ends as after
// any ignored line, not as a failure.

// Receives each block of output as pane text (CR LF line ends): the lines about one hop
// and, for a server asked, its reply, ending in "Done.". A block stands alone, like the
// pane of one query.
using TFollowPrint = std::function<void(const std::string& Block)>;

// Follows the referrals of FirstReply, the reply of FirstHost:FirstPort for Address (an IPv4
// address or a canonical IPv6 text). Never the same server (host name, letter case ignored,
// and port) twice. Each server is looked up, checked and then connected to at the address
// checked, over IPv4.
TFollowResult FollowReferrals(const std::string& Address, const std::string& FirstHost, std::uint16_t FirstPort,
                              std::string_view FirstReply, const TFollowSettings& Settings, const TFollowPrint& Print);
