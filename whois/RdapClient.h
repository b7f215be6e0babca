// SPDX-License-Identifier: MIT
// Asks the registries' RDAP services over HTTPS who holds an address or an AS number, and
// reads the answer into the answer model (whois/RdapAnswer.h). The service comes from
// IANA's bootstrap files for addresses and from IANA's port-43 referral for AS numbers; a
// registry's HTTP redirect is followed, and an answer that is another registry's stub sends
// the question on to that registry.
//
// Safe by construction: https only, the certificate checked against the system's store
// always; every host a redirect names is looked up first, every address it has is judged by
// the rule on where a referral may lead (MayReferTo, against the kind of the address that
// sent the redirect), and the connection goes to the very address checked, with the host's
// name as the TLS peer name (SNI) and in the Host header. No proxy, no cookies, no
// credentials, no HTTP/2, no compressed bodies; each response at most 8 MiB, the whole
// question (lookups, redirects, other registries) bounded by one time-out.
//
// GUI thread only, with a Qt application object and its event loop running.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <QNetworkAccessManager>
#include <QObject>

#include "whois/WhoisAnswer.h"

enum class TRdapOutcome {
  Answered,     // Answer holds the registry's record
  NoRecord,     // 404, or no RDAP service is listed for the address
  RateLimited,  // 429: ask RetryServer again after RetryAfterSeconds
  Refused,      // a redirect that may not be followed (not https, a bad host, an address of the
                // user's own machine or network)
  Failed,       // no connection, TLS refused, time-out, 5xx, a cut, oversized or unreadable body
};

struct TRdapSettings {
  int TimeoutMs = 90000;                    // the whole question
  int MaxRedirects = 3;                     // HTTP redirects followed in all
  int MaxRegistries = 3;                    // RDAP services asked in all, stubs followed included
  std::size_t MaxBody = 8u << 20;           // bytes of one response
  std::string IanaHost = "whois.iana.org";  // for AS numbers and for stubs that name no registry
  std::uint16_t IanaPort = 43;
  std::string UserAgent = "quorvex";
};

struct TRdapResult {
  // Source "rdap"; Query, Asked (every server asked, in order: "rdap.arin.net",
  // "whois.iana.org", "host:port" off the usual port) and Server (the one that answered, or
  // the last one asked) always set. Error is empty exactly when Outcome is Answered.
  TWhoisAnswer Answer;
  TRdapOutcome Outcome = TRdapOutcome::Failed;
  int RetryAfterSeconds = -1;  // RateLimited: the server's Retry-After (capped), -1 without one
  std::string RetryServer;     // RateLimited: the host that asked for the pause
};

class TRdapClient : public QObject {
 public:
  using TDone = std::function<void(const TRdapResult&)>;

  explicit TRdapClient(TRdapSettings Settings = {}, QObject* Parent = nullptr);
  ~TRdapClient() override;
  TRdapClient(const TRdapClient&) = delete;
  TRdapClient& operator=(const TRdapClient&) = delete;

  // Asks about Query: a canonical IPv4 or IPv6 address text, a prefix "A/LEN" (its first
  // address chooses the service), or "AS" and a number. Done runs
  // exactly once, from the event loop (never inside Ask); not at all when the client is
  // destroyed first. Done may ask again; it must not delete the client (deleteLater may).
  void Ask(const std::string& Query, TDone Done);
  // The same, starting at Base (an https base URL ending in '/') instead of the bootstrap's
  // or IANA's choice.
  void AskAt(const std::string& Query, const std::string& Base, TDone Done);

  // Questions not yet answered.
  std::size_t Pending() const;

  // The RDAP host the question about Query starts at, for pacing by server; empty for AS
  // numbers (IANA names their registry) and for addresses no service is listed for.
  static std::string FirstServerOf(const std::string& Query);

 private:
  class TRequest;
  void Start(const std::string& Query, const std::string& Base, TDone Done);

  TRdapSettings m_Settings;
  QNetworkAccessManager m_Manager;
  std::set<TRequest*> m_Requests;  // each removes itself when deleted
  std::size_t m_Pending = 0;
};
