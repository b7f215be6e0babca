// SPDX-License-Identifier: MIT
#include "whois/RdapClient.h"

#include <algorithm>
#include <optional>
#include <utility>

#include <QDateTime>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include "text/AsciiText.h"

#include "whois/RdapAnswer.h"
#include "whois/RdapBootstrap.h"
#include "whois/WhoisReferral.h"

namespace {

// IANA's port-43 replies are a few kilobytes.
constexpr qint64 kIanaReplyMax = 64 * 1024;
// A Location longer than this is no registry's.
constexpr qsizetype kMaxLocation = 2048;

bool IsAsQuery(const std::string& Query)
{
  return Query.size() > 2 && (Query[0] == 'A' || Query[0] == 'a') && (Query[1] == 'S' || Query[1] == 's');
}

// "rdap.arin.net", or "host:port" off port 443.
QString HostOf(const QUrl& Url) { return Url.host(QUrl::FullyEncoded); }

std::string ServerName(const QUrl& Url)
{
  std::string Name = HostOf(Url).toStdString();
  if (Url.port(443) != 443) Name += ":" + std::to_string(Url.port());
  return Name;
}

// The host a Location names, as it is written; nothing for a Location without one (a path).
// QUrl would hide what has to be judged: it reads "2130706433" or "0x7f.1" as 127.0.0.1 and
// writes it so.
std::optional<std::string> WrittenHost(std::string_view Location)
{
  std::size_t Start = 0;
  const std::size_t Scheme = Location.find("://");
  if (Location.substr(0, 2) == "//")
    Start = 2;
  else if (Scheme != std::string_view::npos && Scheme < Location.find_first_of("/?#"))
    Start = Scheme + 3;
  else
    return std::nullopt;
  std::string_view Authority = Location.substr(Start, Location.find_first_of("/?#", Start) - Start);
  const std::size_t Colon = Authority.rfind(':');
  if (Colon != std::string_view::npos && Authority.find_first_of("@[") == std::string_view::npos)
    Authority = Authority.substr(0, Colon);
  return AsciiLowerCopy(Authority);
}

std::string WithoutDot(std::string Host)
{
  if (!Host.empty() && Host.back() == '.') Host.pop_back();
  return Host;
}

std::string Seconds(int Ms)
{
  const int S = (Ms + 999) / 1000;
  return std::to_string(S) + (S == 1 ? " second" : " seconds");
}

std::string NetworkCause(QNetworkReply::NetworkError Error, const QString& Text, const QStringList& TlsErrors)
{
  switch (Error) {
    case QNetworkReply::ConnectionRefusedError: return "connection refused";
    case QNetworkReply::RemoteHostClosedError: return "the server closed the connection before it answered";
    case QNetworkReply::HostNotFoundError: return "no such host";
    case QNetworkReply::TimeoutError: return "the connection timed out";
    case QNetworkReply::SslHandshakeFailedError:
      return "the TLS handshake failed (" +
             RdapPlainText((TlsErrors.isEmpty() ? Text : TlsErrors.join(QStringLiteral("; "))).toStdString(), 200) +
             ")";
    default: return RdapPlainText(Text.toStdString(), 200);
  }
}

}  // namespace

// One question, from the first request to its answer; a child of the client, deleted once
// it has answered.
class TRdapClient::TRequest : public QObject {
 public:
  TRequest(TRdapClient& Client, std::string Query, std::string Base, TDone Done)
      : QObject(&Client), m_Client(Client), m_Query(std::move(Query)), m_Base(std::move(Base)), m_Done(std::move(Done))
  {
    m_Result.Answer.Source = "rdap";
    m_Result.Answer.Query = m_Query;
    m_Timer.setSingleShot(true);
    connect(&m_Timer, &QTimer::timeout, this, &TRequest::OnTimeout);
    m_Client.m_Requests.insert(this);
  }
  ~TRequest() override
  {
    StopTransfers();
    m_Client.m_Requests.erase(this);
  }

  void Begin()
  {
    m_Timer.start(Settings().TimeoutMs);
    if (!m_Base.empty()) {
      AskRegistry(m_Base, {});
    } else if (IsAsQuery(m_Query)) {
      AskIana();
    } else {
      std::optional<TRdapService> Service;
      try {
        Service = ShippedRdapBootstrap().ServiceFor(m_Query.substr(0, m_Query.find('/')));
      } catch (const std::exception& E) {
        return Finish(TRdapOutcome::Failed, E.what());
      }
      if (!Service)
        return Finish(TRdapOutcome::NoRecord,
                      "no RDAP service is listed for " + m_Query + " in IANA's bootstrap files");
      if (Service->Base.empty())
        return Finish(TRdapOutcome::Failed, "IANA lists only plain-HTTP RDAP service for " + Service->Prefix +
                                                "; it is not asked without TLS");
      AskRegistry(Service->Base, Service->Registry);
    }
  }

 private:
  const TRdapSettings& Settings() const { return m_Client.m_Settings; }

  // The URL of the question at a base URL.
  QUrl QuestionUrl(const std::string& Base) const
  {
    std::string Path = Base;
    if (IsAsQuery(m_Query))
      Path += "autnum/" + m_Query.substr(2);
    else
      Path += "ip/" + m_Query;
    return QUrl(QString::fromStdString(Path), QUrl::StrictMode);
  }

  // A new registry's service: the command's own choice (bootstrap, IANA, the fixed table),
  // so it is not held to the rule on redirects.
  void AskRegistry(const std::string& Base, const std::string& Registry)
  {
    if (static_cast<int>(m_Registries.size()) >= Settings().MaxRegistries)
      return Finish(TRdapOutcome::Failed, "not asking " + Registry + ": at most " +
                                              std::to_string(Settings().MaxRegistries) + " RDAP services are asked");
    m_Registries.push_back(Registry);
    Fetch(QuestionUrl(Base), std::nullopt);
  }

  // Looks Url's host up, checks its addresses when From is set (the kind of the address
  // that sent us here), then asks the address chosen.
  void Fetch(const QUrl& Url, std::optional<TAddressKind> From)
  {
    const std::string Shown = Url.toString(QUrl::FullyEncoded).left(300).toStdString();
    if (!Url.isValid() || Url.scheme() != QLatin1String("https"))
      return Finish(TRdapOutcome::Refused, "not following a redirect that is not https: " + RdapPlainText(Shown, 200));
    const std::string Host = HostOf(Url).toStdString();
    if (!Url.userInfo().isEmpty() || !IsValidReferralHost(Host) || Url.port(443) < 1)
      return Finish(TRdapOutcome::Refused, "not following a redirect to a bad host: " + RdapPlainText(Shown, 200));
    const QString Key = Url.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
    if (m_Visited.contains(Key))
      return Finish(TRdapOutcome::Failed, "redirect loop: " + RdapPlainText(Shown, 200) + " was asked already");
    m_Visited.append(Key);
    m_Url = Url.adjusted(QUrl::RemoveFragment);
    m_Current = ServerName(m_Url);

    m_LookupId = QHostInfo::lookupHost(HostOf(m_Url), this, [this, From](const QHostInfo& Info) {
      m_LookupId = -1;
      OnLookedUp(Info, From);
    });
  }

  void OnLookedUp(const QHostInfo& Info, std::optional<TAddressKind> From)
  {
    const std::string Host = HostOf(m_Url).toStdString();
    if (Info.error() != QHostInfo::NoError || Info.addresses().isEmpty())
      return Finish(TRdapOutcome::Failed, Host + ": " +
                                              (Info.error() == QHostInfo::HostNotFound || Info.addresses().isEmpty()
                                                   ? std::string("no such host")
                                                   : "the name could not be looked up (" +
                                                         RdapPlainText(Info.errorString().toStdString(), 100) + ")"));
    std::optional<QHostAddress> Chosen;
    for (const QHostAddress& A : Info.addresses()) {
      const std::string Text = A.toString().toStdString();
      const TAddressKind To = AddressKindOf(Text).value_or(TAddressKind::Reserved);
      if (From && !MayReferTo(*From, To)) {
        std::string Reason = Host + " is " + Text + ", " + std::string(AddressKindText(To));
        if (To == TAddressKind::Loopback || To == TAddressKind::Private || To == TAddressKind::LinkLocal)
          Reason += ", and the server that redirects to it is not";
        else
          Reason += ", never asked";
        return Finish(TRdapOutcome::Refused, "redirect not followed (" + Reason + "): " +
                                                 RdapPlainText(m_Url.toString(QUrl::FullyEncoded).toStdString(), 200));
      }
      // IPv4 first, as the port-43 road connects.
      if (!Chosen ||
          (Chosen->protocol() != QAbstractSocket::IPv4Protocol && A.protocol() == QAbstractSocket::IPv4Protocol))
        Chosen = A;
    }
    m_Kind = AddressKindOf(Chosen->toString().toStdString()).value_or(TAddressKind::Public);
    m_Result.Answer.Server = m_Current;
    m_Result.Answer.Asked.push_back(m_Current);
    Send(*Chosen);
  }

  void Send(const QHostAddress& Address)
  {
    QUrl Wire = m_Url;
    Wire.setHost(Address.toString());
    QNetworkRequest Request(Wire);
    const QString Host = HostOf(m_Url);
    Request.setPeerVerifyName(Host);
    QByteArray HostHeader = Host.toLatin1();
    if (m_Url.port(443) != 443) HostHeader += ":" + QByteArray::number(m_Url.port());
    Request.setRawHeader("Host", HostHeader);
    Request.setRawHeader("Accept", "application/rdap+json");
    // An identity body is what the cap counts; Qt would otherwise inflate a small gzip
    // body to any size before it reaches us.
    Request.setRawHeader("Accept-Encoding", "identity");
    Request.setRawHeader("User-Agent", QByteArray::fromStdString(Settings().UserAgent));
    Request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    Request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    Request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    Request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    Request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    Request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    Request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QSslConfiguration Tls = QSslConfiguration::defaultConfiguration();
    Tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    Tls.setProtocol(QSsl::TlsV1_2OrLater);
    Request.setSslConfiguration(Tls);

    m_Body.clear();
    m_TlsErrors.clear();
    m_TooLarge = false;
    m_Reply = m_Client.m_Manager.get(Request);
    QNetworkReply* Reply = m_Reply;
    connect(Reply, &QNetworkReply::metaDataChanged, this, [this, Reply] {
      const QVariant Length = Reply->header(QNetworkRequest::ContentLengthHeader);
      if (Length.isValid() && Length.toLongLong() > static_cast<qint64>(Settings().MaxBody)) Cut(Reply);
    });
    connect(Reply, &QNetworkReply::readyRead, this, [this, Reply] {
      if (m_TooLarge) return;
      const qint64 Room = static_cast<qint64>(Settings().MaxBody) - m_Body.size();
      m_Body += Reply->read(Room + 1);
      if (m_Body.size() > static_cast<qint64>(Settings().MaxBody)) Cut(Reply);
    });
    connect(Reply, &QNetworkReply::sslErrors, this, [this](const QList<QSslError>& Errors) {
      for (const QSslError& E : Errors) m_TlsErrors.append(E.errorString());
    });
    connect(Reply, &QNetworkReply::finished, this, [this, Reply] { OnFinished(Reply); });
  }

  void Cut(QNetworkReply* Reply)
  {
    m_TooLarge = true;
    m_Body.clear();
    Reply->abort();
  }

  void OnFinished(QNetworkReply* Reply)
  {
    Reply->disconnect(this);
    Reply->deleteLater();
    m_Reply = nullptr;
    const std::string Server = ServerName(m_Url);
    const std::size_t Max = Settings().MaxBody;
    if (m_TooLarge)
      return Finish(TRdapOutcome::Failed, Server + " sent more than " + std::to_string(Max >> 20) +
                                              " MiB; the answer was cut there and not read");
    m_Body += Reply->read(static_cast<qint64>(Max) + 1 - m_Body.size());
    if (m_Body.size() > static_cast<qint64>(Max))
      return Finish(TRdapOutcome::Failed, Server + " sent more than " + std::to_string(Max >> 20) +
                                              " MiB; the answer was cut there and not read");
    const int Status = Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (Status == 0)
      return Finish(TRdapOutcome::Failed,
                    Server + ": " + NetworkCause(Reply->error(), Reply->errorString(), m_TlsErrors));
    const QVariant Length = Reply->header(QNetworkRequest::ContentLengthHeader);
    if (Length.isValid() && m_Body.size() < Length.toLongLong())
      return Finish(TRdapOutcome::Failed, Server + " cut the answer off after " + std::to_string(m_Body.size()) +
                                              " of " + std::to_string(Length.toLongLong()) + " bytes");

    const std::string Reason =
        RdapPlainText(Reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().toStdString(), 60);
    const std::string StatusText = std::to_string(Status) + (Reason.empty() ? "" : " " + Reason);
    if (Status == 301 || Status == 302 || Status == 303 || Status == 307 || Status == 308)
      return Redirect(Reply->rawHeader("Location"), StatusText);

    TRdapReading Reading = ReadRdapResponse(
        std::string_view(m_Body.constData(), static_cast<std::size_t>(m_Body.size())), m_Query, Server);
    m_Body.clear();
    std::string Detail;
    if (Reading.Object == TRdapObject::Error) {
      Detail = Reading.ErrorTitle;
      if (!Reading.ErrorDescription.empty()) Detail += (Detail.empty() ? "" : ": ") + Reading.ErrorDescription;
      if (Detail.size() > 160) Detail = RdapPlainText(Detail, 160);
    }
    const std::string WithDetail = Detail.empty() ? StatusText : StatusText + " (" + Detail + ")";
    if (Status == 404) return Finish(TRdapOutcome::NoRecord, "no record at " + Server + ": " + WithDetail);
    if (Status == 429) {
      const auto Wait =
          RdapRetryAfter(Reply->rawHeader("Retry-After").toStdString(), QDateTime::currentSecsSinceEpoch());
      m_Result.RetryAfterSeconds = Wait.value_or(-1);
      m_Result.RetryServer = Server;
      return Finish(TRdapOutcome::RateLimited,
                    "rate limited by " + Server + (Wait ? " (retry after " + std::to_string(*Wait) + " s)" : ""));
    }
    if (Status >= 500) return Finish(TRdapOutcome::Failed, Server + " failed: " + WithDetail);
    if (Status < 200 || Status >= 300)
      return Finish(TRdapOutcome::Failed, Server + " refused the question: " + WithDetail);
    if (Reading.Object == TRdapObject::Error)
      return Finish(TRdapOutcome::Failed, Server + " answered " + StatusText + " with an error object: " +
                                              (Detail.empty() ? std::to_string(Reading.ErrorCode) : Detail));
    if (Reading.Object == TRdapObject::Unreadable || !Reading.Problem.empty())
      return Finish(TRdapOutcome::Failed, Server + "'s answer was not read: " + Reading.Problem);

    const TRdapElsewhere Elsewhere = RdapElsewhere(Reading);
    if (!Elsewhere.Stub) {
      Reading.Answer.Asked = m_Result.Answer.Asked;
      m_Result.Answer = std::move(Reading.Answer);
      return Finish(TRdapOutcome::Answered, {});
    }
    m_Stub = Reading.Answer.Registry;
    if (Elsewhere.Registry.empty()) return AskIana();
    OtherRegistry(Elsewhere.Registry);
  }

  void OtherRegistry(const std::string& Name)
  {
    const TRdapRegistry* R = RdapRegistryNamed(Name);
    if (!R) return Finish(TRdapOutcome::Failed, "no RDAP service is known for " + Name);
    if (std::find(m_Registries.begin(), m_Registries.end(), Name) != m_Registries.end())
      return Finish(TRdapOutcome::Failed, "the registries send it back and forth: " + Name + " was asked already");
    AskRegistry(std::string(R->Base), Name);
  }

  void Redirect(const QByteArray& Location, const std::string& StatusText)
  {
    const std::string Server = ServerName(m_Url);
    if (Location.isEmpty() || Location.size() > kMaxLocation)
      return Finish(TRdapOutcome::Failed, Server + " answered " + StatusText + " without a usable Location");
    if (++m_Redirects > Settings().MaxRedirects)
      return Finish(TRdapOutcome::Failed,
                    "more than " + std::to_string(Settings().MaxRedirects) + " redirects; the last from " + Server);
    const QUrl To = m_Url.resolved(QUrl::fromEncoded(Location, QUrl::StrictMode));
    if (!To.isValid())
      return Finish(TRdapOutcome::Failed, Server + " answered " + StatusText + " with a Location that is no URL");
    const std::optional<std::string> Written = WrittenHost(std::string_view(Location.constData(), Location.size()));
    if (To.scheme() == QLatin1String("https") && Written &&
        (!IsValidReferralHost(*Written) || WithoutDot(*Written) != WithoutDot(HostOf(To).toLower().toStdString())))
      return Finish(TRdapOutcome::Refused, "not following a redirect to a bad host: " +
                                               RdapPlainText(std::string(Location.constData(), Location.size()), 200));
    Fetch(To, m_Kind);
  }

  // IANA's port-43 server names the registry: for AS numbers, and after a stub that names
  // none. The server is the command's own choice; only a registry of the fixed table is
  // taken from its reply.
  void AskIana()
  {
    const std::string Where =
        Settings().IanaHost + (Settings().IanaPort == 43 ? "" : ":" + std::to_string(Settings().IanaPort));
    m_Current = Where;
    m_Result.Answer.Server = Where;
    m_Result.Answer.Asked.push_back(Where);
    m_Iana = new QTcpSocket(this);
    m_Iana->setProxy(QNetworkProxy::NoProxy);
    m_IanaReply.clear();
    QTcpSocket* S = m_Iana;
    connect(S, &QTcpSocket::connected, this, [this, S] { S->write(QByteArray::fromStdString(m_Query) + "\r\n"); });
    connect(S, &QTcpSocket::readyRead, this, [this, S] {
      m_IanaReply += S->read(kIanaReplyMax - m_IanaReply.size());
      if (m_IanaReply.size() >= kIanaReplyMax) S->abort();
    });
    connect(S, &QTcpSocket::errorOccurred, this, [this, S](QAbstractSocket::SocketError Error) {
      if (Error == QAbstractSocket::RemoteHostClosedError) return;  // the end of its reply
      const std::string Cause = Error == QAbstractSocket::ConnectionRefusedError ? "connection refused"
                                : Error == QAbstractSocket::HostNotFoundError
                                    ? "no such host"
                                    : RdapPlainText(S->errorString().toStdString(), 100);
      S->disconnect(this);
      S->deleteLater();
      m_Iana = nullptr;
      Finish(TRdapOutcome::Failed, Settings().IanaHost + " port " + std::to_string(Settings().IanaPort) + ": " + Cause);
    });
    connect(S, &QTcpSocket::disconnected, this, [this, S] {
      S->disconnect(this);
      S->deleteLater();
      m_Iana = nullptr;
      OnIanaReply();
    });
    S->connectToHost(QString::fromStdString(Settings().IanaHost), Settings().IanaPort);
  }

  void OnIanaReply()
  {
    const TReferralScan Scan =
        ScanReferral(std::string_view(m_IanaReply.constData(), static_cast<std::size_t>(m_IanaReply.size())));
    const std::string Iana = Settings().IanaHost;
    if (!Scan.Referral)
      return Finish(m_IanaReply.trimmed().isEmpty() ? TRdapOutcome::Failed : TRdapOutcome::NoRecord,
                    Iana + " names no registry for " + m_Query);
    const TRdapRegistry* R = RdapRegistryOfHost(Scan.Referral->Host);
    if (!R)
      return Finish(TRdapOutcome::Failed,
                    Iana + " names " + Scan.Referral->Host + ", which has no RDAP service known here");
    if (R->Name == m_Stub ||
        std::find(m_Registries.begin(), m_Registries.end(), std::string(R->Name)) != m_Registries.end())
      return Finish(TRdapOutcome::Failed,
                    Iana + " names " + std::string(R->Name) + ", whose RDAP service does not hold it");
    AskRegistry(std::string(R->Base), std::string(R->Name));
  }

  void OnTimeout()
  {
    const std::string Where = m_Current.empty() ? std::string("the RDAP service") : m_Current;
    StopTransfers();
    Finish(TRdapOutcome::Failed, Where + ": no answer within " + Seconds(Settings().TimeoutMs));
  }

  void StopTransfers()
  {
    if (m_LookupId >= 0) QHostInfo::abortHostLookup(m_LookupId);
    m_LookupId = -1;
    if (m_Reply) {
      m_Reply->disconnect(this);
      m_Reply->abort();
      m_Reply->deleteLater();
      m_Reply = nullptr;
    }
    if (m_Iana) {
      m_Iana->disconnect(this);
      m_Iana->abort();
      m_Iana->deleteLater();
      m_Iana = nullptr;
    }
  }

  void Finish(TRdapOutcome Outcome, std::string Error)
  {
    if (!m_Done) return;
    m_Timer.stop();
    StopTransfers();
    m_Result.Outcome = Outcome;
    m_Result.Answer.Source = "rdap";
    m_Result.Answer.Query = m_Query;
    m_Result.Answer.Error = std::move(Error);
    if (Outcome != TRdapOutcome::Answered && m_Result.Answer.Error.empty()) m_Result.Answer.Error = "no answer";
    if (m_Result.Answer.Registry.empty())
      if (const TRdapRegistry* R =
              RdapRegistryOfHost(m_Result.Answer.Server.substr(0, m_Result.Answer.Server.find(':'))))
        m_Result.Answer.Registry = R->Name;
    TDone Done = std::move(m_Done);
    m_Done = nullptr;
    --m_Client.m_Pending;
    deleteLater();
    Done(m_Result);
  }

  TRdapClient& m_Client;
  const std::string m_Query;
  const std::string m_Base;
  TDone m_Done;
  TRdapResult m_Result;
  QTimer m_Timer;
  QUrl m_Url;             // the URL asked now, with its host name
  std::string m_Current;  // the server being looked up or asked now
  QStringList m_Visited;
  std::vector<std::string> m_Registries;  // services asked, by registry name or host
  std::string m_Stub;                     // the registry whose stub sent us on
  int m_Redirects = 0;
  TAddressKind m_Kind = TAddressKind::Public;  // of the address connected to last
  int m_LookupId = -1;
  QPointer<QNetworkReply> m_Reply;
  QByteArray m_Body;
  bool m_TooLarge = false;
  QStringList m_TlsErrors;
  QPointer<QTcpSocket> m_Iana;
  QByteArray m_IanaReply;
};

TRdapClient::TRdapClient(TRdapSettings Settings, QObject* Parent)
    : QObject(Parent), m_Settings(std::move(Settings)), m_Manager(this)
{
  // The connection must go to the address that was checked; a proxy would make it its own.
  m_Manager.setProxy(QNetworkProxy::NoProxy);
  m_Manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
  m_Manager.setStrictTransportSecurityEnabled(false);
}

TRdapClient::~TRdapClient()
{
  // The requests go before the manager whose replies they hold.
  while (!m_Requests.empty()) delete *m_Requests.begin();
}

void TRdapClient::Ask(const std::string& Query, TDone Done) { Start(Query, {}, std::move(Done)); }

void TRdapClient::AskAt(const std::string& Query, const std::string& Base, TDone Done)
{
  std::string B = Base;
  if (B.empty() || B.back() != '/') B += '/';
  Start(Query, B, std::move(Done));
}

void TRdapClient::Start(const std::string& Query, const std::string& Base, TDone Done)
{
  auto* R = new TRequest(*this, Query, Base, std::move(Done));
  ++m_Pending;
  QTimer::singleShot(0, R, [R] { R->Begin(); });
}

std::size_t TRdapClient::Pending() const { return m_Pending; }

std::string TRdapClient::FirstServerOf(const std::string& Query)
{
  if (IsAsQuery(Query)) return {};
  try {
    const auto Service = ShippedRdapBootstrap().ServiceFor(Query.substr(0, Query.find('/')));
    if (!Service || Service->Base.empty()) return {};
    return HostOf(QUrl(QString::fromStdString(Service->Base))).toStdString();
  } catch (const std::exception&) {
    return {};
  }
}
