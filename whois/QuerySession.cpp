// SPDX-License-Identifier: MIT
#include "whois/QuerySession.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>

#include <QCoreApplication>
#include <QString>

#include "net/SocketApi.h"
#include "net/WSocketResolve.h"
#include "text/AsciiText.h"
#include "whois/AddressCleanup.h"
#include "whois/AddressLocation.h"
#include "whois/AddressRescue.h"
#include "whois/Ipv6Address.h"
#include "whois/PaneText.h"

const std::string TQuerySession::WhoisServerPrefix = "whois.";
const std::string TQuerySession::WhoisServerSuffix = ".net";
TQuerySession::TServerLookup TQuerySession::WhoisServerFor = &TQuerySession::DefaultWhoisServer;

namespace {

constexpr int kReceiveBlock = 4096;
constexpr int kTimeoutMs = 90000;

const std::string kNoSuchHost = "No such host";
const std::string kCouldNotResolve = "Could not resolve host. Please correct or enter a numeric address.";

// Whether a text the IPv4 lookups found nothing for may still name a host with IPv6
// addresses. A ':' makes no host name (IPv6 addresses were taken before any lookup; the rest
// is a port or a broken address), and all digits and dots is a number to the resolver: both
// end as they always have, without asking the resolver, which would read a broken address
// such as "::1%" as ::1 or send a number to the name server.
bool MayNameIpv6Host(const std::string& Name)
{
  if (Name.empty() || Name.find(':') != std::string::npos) return false;
  return Name.find_first_not_of("0123456789.") != std::string::npos;
}

}  // namespace

TQuerySession::TQuerySession(TQueryView& View, QObject* parent)
    : QObject(parent), WHOIS(&m_Socket), WHOIStimer(&m_Timer), m_View(View), m_Socket(this), m_Timer(this)
{
  WHOIS->SetLineMode(false);
  WHOIS->SetLineLimit(65536);
  WHOIS->SetLineEnd("\r\n");
  WHOIS->SetLineEcho(false);
  WHOIS->SetLineEdit(false);
  WHOIS->SetProto("tcp");
  WHOIS->SetLocalAddr("0.0.0.0");
  WHOIS->SetLocalPort("0");
  WHOIS->SetMultiThreaded(false);
  WHOIS->SetMultiCast(false);
  WHOIS->SetMultiCastIpTTL(1);
  WHOIS->SetReuseAddr(false);
  WHOIS->SetComponentOptions(0);
  WHOIS->SetListenBacklog(5);
  WHOIS->SetFlushTimeout(60);
  WHOIS->SetSendFlags(wsSendNormal);
  WHOIS->SetLingerOnOff(wsLingerOn);
  WHOIS->SetLingerTimeout(0);
  WHOIS->SetSocksLevel("5");
  WHOIS->SetSocksAuthentication(socksNoAuthentication);
  WHOIS->OnDnsLookupDone = [this](TCustomWSocket* S, std::uint16_t E) { HostResolved(S, E); };
  WHOIS->OnSessionConnected = [this](TCustomWSocket* S, std::uint16_t E) { SendWHOISquery(S, E); };
  WHOIS->OnDataAvailable = [this](TCustomWSocket* S, std::uint16_t E) { DisplayWHOISdata(S, E); };
  WHOIS->OnSessionClosed = [this](TCustomWSocket* S, std::uint16_t E) { WHOISdone(S, E); };
  WHOIS->OnBgException = [this](TCustomWSocket* S, const std::exception& E, bool& C) { FlagWHOISerror(S, E, C); };

  WHOIStimer->setSingleShot(false);
  WHOIStimer->setInterval(kTimeoutMs);
  connect(WHOIStimer, &QTimer::timeout, this, &TQuerySession::WHOIStimeout);
}

TQuerySession::~TQuerySession()
{
  // The socket closes as it goes; its handlers must not reach a session (and a view) that
  // is half gone.
  WHOIS->OnDnsLookupDone = nullptr;
  WHOIS->OnSessionConnected = nullptr;
  WHOIS->OnDataAvailable = nullptr;
  WHOIS->OnSessionClosed = nullptr;
  WHOIS->OnBgException = nullptr;
}

std::pair<std::string, std::string> TQuerySession::DefaultWhoisServer(const std::string& Registry)
{
  return {WhoisServerPrefix + AsciiLowerCopy(Registry) + WhoisServerSuffix, "43"};
}

void TQuerySession::DoQuery()
{
  if (m_Running) return;  // re-entered from the message loop below: one query at a time
  try {
    SetResponseText("");
    const std::string Text = m_View.AddressText();
    std::string Cleaned = CleanAddress(Text);
    // An IPv6 address goes into the box as it is queried and remembered: its canonical text,
    // or for an IPv4-mapped one the dotted address, which then runs exactly as if typed (the
    // list's item, the box's text when the reply is stored, is the dotted text too).
    std::optional<TIpv6Address> Ipv6;
    if (!IsDottedAddress(Cleaned)) Ipv6 = ParseIpv6Address(Cleaned);
    // So does what a form no resolver reads stands for (an address with a port or in
    // brackets, defanged text): the box shows it, and it runs as if typed.
    if (!IsDottedAddress(Cleaned) && !Ipv6)
      if (std::string Rescued = RescueAddress(Text); !Rescued.empty()) {
        Cleaned = std::move(Rescued);
        if (!IsDottedAddress(Cleaned)) Ipv6 = ParseIpv6Address(Cleaned);
      }
    m_View.SetAddressText(!Ipv6 ? Cleaned : Ipv6->MappedIpv4.empty() ? Ipv6->Text : Ipv6->MappedIpv4);
    QueryAddress = m_View.AddressText();
    if (QueryAddress.empty()) return;
    SetRunning(true);
    m_ReplyBytes = 0;
    m_ReplyCut = false;
    m_ConnectedAddress.clear();
    m_Lookup = TLookupStep::None;
    // A dotted or IPv6 address goes straight on; anything else is a name to resolve.
    if (IsDottedAddress(QueryAddress) || Ipv6) {
      StartWhoisQuery();
      return;
    }
    ResolveQueryAddress();
  } catch (const std::exception& E) {
    // Qt cannot carry an exception through its event loop: report it here, the way the
    // program's top-level handler does, and leave the flow ready for the next query.
    const std::string Message = E.what();
    ReturnToIdle();
    m_View.ShowTopLevelError(Message);
  }
}

void TQuerySession::ResolveQueryAddress()
{
  AddResponseLine("Resolving " + QueryAddress + "..", 1);
  m_View.ShowPaneNow();
  QCoreApplication::processEvents();
  // The host entry is valid only until the next blocking lookup on this thread, which the
  // message loop may run; take what is needed before running it.
  bool Found = false;
  std::string Official;
  if (const hostent* Host = WSocketGetHostByName(QueryAddress)) {
    Found = true;
    if (Host->h_name) Official = Host->h_name;
  }
  QCoreApplication::processEvents();
  if (!Found) {
    // The blocking lookup knows IPv4 only and says "no such host" also for a name that has
    // IPv6 addresses alone.
    if (LookUpIpv6(QueryAddress, kNoSuchHost)) return;
    AddResponseLine(kNoSuchHost, 1);
    SetRunning(false);
    return;
  }
  m_LookupName = TrimBlanks(Official);
  m_Lookup = TLookupStep::Ipv4;
  WHOIS->DnsLookup(m_LookupName);
}

bool TQuerySession::LookUpIpv6(const std::string& Name, const std::string& FailLine)
{
  if (!MayNameIpv6Host(Name)) return false;
  m_LookupName = Name;
  m_Ipv6FailLine = FailLine;
  m_Lookup = TLookupStep::Ipv6;
  WHOIS->DnsLookup6(Name);
  return true;
}

void TQuerySession::HostResolved(TCustomWSocket* /*Sender*/, std::uint16_t /*ErrCode*/)
{
  if (m_Discarding) return;
  const TLookupStep Step = std::exchange(m_Lookup, TLookupStep::None);
  QueryAddress = TrimBlanks(WHOIS->DnsResult());
  if (QueryAddress.empty()) {
    // A name without IPv4 addresses may have IPv6 ones; only when it has neither does the
    // IPv4 road's own message end the query.
    if (Step == TLookupStep::Ipv4 && LookUpIpv6(m_LookupName, kCouldNotResolve)) return;
    AddResponseLine(Step == TLookupStep::Ipv6 ? m_Ipv6FailLine : kCouldNotResolve, 1);
    SetRunning(false);
    return;
  }
  // The resolver may list an IPv4-mapped address for a name: that is the IPv4 address.
  if (Step == TLookupStep::Ipv6)
    if (const auto Address = ParseIpv6Address(QueryAddress); Address && !Address->MappedIpv4.empty())
      QueryAddress = Address->MappedIpv4;
  StartWhoisQuery();
}

void TQuerySession::FlagWHOISerror(TCustomWSocket* /*Sender*/, const std::exception& E, bool& /*CanClose*/)
{
  m_View.ShowWhoisError(E.what());
  try {
    WHOIS->Abort();
  } catch (...) {
    // The socket layer discards what a background-exception handler raises anyway.
  }
  // An exception before the connection existed (Connect failing from HostResolved) leaves
  // nothing open, so no OnSessionClosed will end the query: end it here.
  if (m_Running && WHOIS->State() == wsClosed) ReturnToIdle();
}

void TQuerySession::SendWHOISquery(TCustomWSocket* /*Sender*/, std::uint16_t ErrCode)
{
  if (m_Discarding) return;
  // Where the connection went, for a caller that goes on from this server (the peer's
  // address, not its name looked up again). Asked without the socket's reporting, which
  // would raise.
  sockaddr_in Peer{};
  if (ErrCode == 0 && WHOIS->GetPeerName(Peer) == 0) m_ConnectedAddress = WSocket_inet_ntoa(Peer.sin_addr.s_addr);
  WHOIS->SendStr(QueryAddress + "\r\n");
}

void TQuerySession::DisplayWHOISdata(TCustomWSocket* /*Sender*/, std::uint16_t /*ErrCode*/)
{
  char Buffer[kReceiveBlock];
  for (;;) {
    const std::int32_t N = WHOIS->Receive(Buffer, kReceiveBlock);
    if (N <= 0) break;
    if (m_ReplyCut) continue;
    const std::size_t Got = static_cast<std::size_t>(N);
    const std::size_t Take = std::min(Got, ReplyCap - m_ReplyBytes);
    m_ReplyBytes += Take;
    if (Take > 0) {
      const std::size_t From = m_Text.size();
      AppendCleanBlock(m_Text, std::string_view(Buffer, Take));
      m_View.PaneChanged(From, true);
    }
    if (Take < Got) {
      // A reply this long is no WHOIS record; keep memory bounded and end the query.
      m_ReplyCut = true;
      AddResponseLine("\r\n" + ReplyCutLine, 1);
      try {
        WHOIS->Close();
      } catch (...) {
        // Exceptions die in the receive loop; make sure the session still ends with "Done.".
        try {
          WHOIS->Abort();
        } catch (...) {
        }
        if (m_Running) WHOISdone(WHOIS, 0);
      }
      break;
    }
  }
}

void TQuerySession::WHOISdone(TCustomWSocket* /*Sender*/, std::uint16_t /*ErrCode*/)
{
  if (m_Discarding) return;
  WHOIStimer->stop();
  StoreReply();
  const std::size_t Kept = RightTrimmedLength(m_Text);
  m_Text.resize(Kept);
  m_Text += "\r\n\r\nDone.";
  m_View.PaneChanged(Kept, false);
  SetRunning(false);
}

void TQuerySession::WHOIStimeout()
{
  try {
    AddResponseLine("\r\nConnection timeout", 1);
    WHOIS->Close();
  } catch (const std::exception& E) {
    m_View.ShowTopLevelError(E.what());
  }
}

void TQuerySession::RecallReply(int Index)
{
  if (Index < 0 || static_cast<std::size_t>(Index) >= ResponseHistory.size()) return;
  SetResponseText(ResponseHistory[ResponseHistory.size() - 1 - static_cast<std::size_t>(Index)]);
}

void TQuerySession::SetResponseText(const std::string& Text)
{
  m_Text = Text;
  m_View.PaneChanged(0, false);
}

void TQuerySession::AddResponseLine(const std::string& Text, int Breaks)
{
  const std::size_t From = m_Text.size();
  m_Text += Text;
  for (int I = 0; I < Breaks; ++I) m_Text += "\r\n";
  m_View.PaneChanged(From, false);
}

void TQuerySession::StartWhoisQuery()
{
  // QueryAddress is a dotted address or the canonical text of an IPv6 one.
  const TAddressLocation Location = LocateAddress(QueryAddress, QueryAddress);
  if (!Location.LocationLine.empty()) AddResponseLine(Location.LocationLine, 2);
  AddResponseLine(Location.RegistryLine, 2);
  const auto [Host, Port] = WhoisServerFor ? WhoisServerFor(Location.Registry) : DefaultWhoisServer(Location.Registry);
  WHOIS->SetAddr(Host);
  WHOIS->SetPort(Port);
  WHOIS->Connect();
  WHOIStimer->start();
}

void TQuerySession::StoreReply()
{
  // More than 5 lines, and an address that is no item of the list yet (letter case ignored,
  // as the list compares its texts).
  if (CountLines(m_Text) <= 5) return;
  const QString Queried = FromEightBit(QueryAddress);
  for (const std::string& Item : m_ListItems)
    if (FromEightBit(Item).compare(Queried, Qt::CaseInsensitive) == 0) return;
  std::string Item = m_View.AddressText();
  m_ListItems.push_back(Item);
  ResponseHistory.push_back(CutHeader(m_Text));
  m_View.ReplyStored(Item);
}

void TQuerySession::ReturnToIdle()
{
  WHOIStimer->stop();
  if (WHOIS->State() != wsClosed) {
    // A Connect that failed after creating its socket leaves it open; close it quietly so
    // the next query can set Addr and Port again.
    m_Discarding = true;
    try {
      WHOIS->Abort();
    } catch (...) {
    }
    m_Discarding = false;
  }
  SetRunning(false);
}

void TQuerySession::SetRunning(bool Running)
{
  if (m_Running == Running) return;
  m_Running = Running;
  m_View.QueryRunningChanged(Running);
}
