// SPDX-License-Identifier: MIT
#include "whois/RdapBootstrap.h"

#include <algorithm>
#include <array>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "net/WSocketAddress6.h"
#include "text/AsciiText.h"
#include "whois/WhoisReferral.h"

namespace {

constexpr std::array<TRdapRegistry, 5> kRegistries{{
    {"ARIN", "https://rdap.arin.net/registry/", "rdap.arin.net", "whois.arin.net", "ARIN",
     "American Registry for Internet Numbers"},
    {"RIPE", "https://rdap.db.ripe.net/", "rdap.db.ripe.net", "whois.ripe.net", "RIPE",
     "RIPE Network Coordination Centre"},
    {"APNIC", "https://rdap.apnic.net/", "rdap.apnic.net", "whois.apnic.net", "APNIC",
     "Asia Pacific Network Information Centre"},
    {"LACNIC", "https://rdap.lacnic.net/rdap/", "rdap.lacnic.net", "whois.lacnic.net", "LACNIC",
     "Latin American and Caribbean IP address Regional Registry"},
    {"AFRINIC", "https://rdap.afrinic.net/rdap/", "rdap.afrinic.net", "whois.afrinic.net", "AFRINIC",
     "African Network Information Center"},
}};

// Bootstrap files of today hold a few hundred prefixes; a file far past that is not one.
constexpr int kMaxPrefixes = 4096;
constexpr int kMaxServices = 256;

// The host of an http(s) URL: what follows "//" up to the port, path, query or fragment;
// empty when there is userinfo or no "//".
std::string_view UrlHost(std::string_view Url)
{
  const std::size_t Slashes = Url.find("://");
  if (Slashes == std::string_view::npos) return {};
  Url.remove_prefix(Slashes + 3);
  const std::size_t End = Url.find_first_of("/?#:");
  const std::string_view Host = Url.substr(0, End);
  if (Host.find('@') != std::string_view::npos) return {};
  return Host;
}

bool InPrefix(const TRdapAddress& A, const TRdapAddress& Net, int Length)
{
  if (A.V6 != Net.V6) return false;
  for (int Bit = 0; Bit < Length; ++Bit) {
    const int Byte = Bit / 8;
    const std::uint8_t Mask = static_cast<std::uint8_t>(0x80u >> (Bit % 8));
    if ((A.Bytes[Byte] & Mask) != (Net.Bytes[Byte] & Mask)) return false;
  }
  return true;
}

}  // namespace

std::span<const TRdapRegistry> RdapRegistries() { return kRegistries; }

const TRdapRegistry* RdapRegistryNamed(std::string_view Name)
{
  for (const TRdapRegistry& R : kRegistries)
    if (EqualNoCase(R.Name, Name)) return &R;
  return nullptr;
}

const TRdapRegistry* RdapRegistryOfHost(std::string_view Host)
{
  if (!Host.empty() && Host.back() == '.') Host.remove_suffix(1);
  for (const TRdapRegistry& R : kRegistries)
    if (EqualNoCase(R.RdapHost, Host) || EqualNoCase(R.WhoisHost, Host)) return &R;
  return nullptr;
}

const TRdapRegistry* RdapRegistryOfUrl(std::string_view Url)
{
  const std::string_view Scheme = Url.substr(0, std::min<std::size_t>(Url.size(), 8));
  if (!EqualNoCase(Scheme, "https://") && !EqualNoCase(Url.substr(0, std::min<std::size_t>(Url.size(), 7)), "http://"))
    return nullptr;
  const TRdapRegistry* R = RdapRegistryOfHost(UrlHost(Url));
  return R && EqualNoCase(UrlHost(Url), R->RdapHost) ? R : nullptr;
}

std::optional<TRdapAddress> ParseRdapAddress(std::string_view Text)
{
  TRdapAddress A;
  if (Text.find(':') != std::string_view::npos) {
    TIpv6Bytes Bytes{};
    if (!WSocketParseAddress6(Text, Bytes)) return std::nullopt;
    A.V6 = true;
    A.Bytes = Bytes;
    return A;
  }
  int Part = 0;
  std::size_t I = 0;
  while (Part < 4) {
    unsigned Value = 0;
    std::size_t Digits = 0;
    while (I < Text.size() && Text[I] >= '0' && Text[I] <= '9' && Digits < 4) {
      Value = Value * 10 + static_cast<unsigned>(Text[I] - '0');
      ++I;
      ++Digits;
    }
    if (Digits == 0 || Digits > 3 || Value > 255) return std::nullopt;
    A.Bytes[Part++] = static_cast<std::uint8_t>(Value);
    if (Part < 4) {
      if (I >= Text.size() || Text[I] != '.') return std::nullopt;
      ++I;
    }
  }
  if (I != Text.size()) return std::nullopt;
  return A;
}

std::string RdapAddressText(const TRdapAddress& Address)
{
  if (Address.V6) return WSocketFormatAddress6(Address.Bytes);
  std::string Text;
  for (int I = 0; I < 4; ++I) {
    if (I) Text += '.';
    Text += std::to_string(Address.Bytes[I]);
  }
  return Text;
}

bool TRdapBootstrap::ReadFile(std::string_view Json, bool V6, std::string& Problem)
{
  const char* const File = V6 ? "ipv6.json" : "ipv4.json";
  QJsonParseError Error{};
  const QJsonDocument Doc =
      QJsonDocument::fromJson(QByteArray(Json.data(), static_cast<qsizetype>(Json.size())), &Error);
  if (!Doc.isObject()) {
    Problem = std::string(File) + ": not a JSON object (" + Error.errorString().toStdString() + ")";
    return false;
  }
  const QJsonObject Root = Doc.object();
  (V6 ? m_Publication6 : m_Publication4) = Root.value("publication").toString().left(64).toStdString();
  const QJsonValue Services = Root.value("services");
  if (!Services.isArray() || Services.toArray().size() > kMaxServices) {
    Problem = std::string(File) + ": no \"services\" list";
    return false;
  }
  int Prefixes = 0;
  for (const QJsonValue& Service : Services.toArray()) {
    const QJsonArray Pair = Service.toArray();
    if (!Service.isArray() || Pair.size() < 2 || !Pair[0].isArray() || !Pair[1].isArray()) {
      Problem = std::string(File) + ": a service is not a pair of lists";
      return false;
    }
    TRdapService Entry;
    for (const QJsonValue& Url : Pair[1].toArray()) {
      std::string Text = Url.toString().toStdString();
      if (Text.size() > 512 ||
          !EqualNoCase(std::string_view(Text).substr(0, std::min<std::size_t>(Text.size(), 8)), "https://"))
        continue;
      const std::string Host(UrlHost(Text));
      if (!IsValidReferralHost(Host)) continue;
      if (Text.back() != '/') Text += '/';
      Entry.Base = Text;
      const TRdapRegistry* R = RdapRegistryOfUrl(Text);
      Entry.Registry = R ? std::string(R->Name) : Host;
      break;
    }
    const std::size_t Index = m_Services.size();
    for (const QJsonValue& PrefixValue : Pair[0].toArray()) {
      const std::string Prefix = PrefixValue.toString().toStdString();
      const std::size_t Slash = Prefix.find('/');
      std::optional<TRdapAddress> Net;
      int Length = -1;
      if (Slash != std::string::npos && Slash + 1 < Prefix.size() && Prefix.size() - Slash <= 4) {
        Net = ParseRdapAddress(std::string_view(Prefix).substr(0, Slash));
        Length = 0;
        for (const char C : Prefix.substr(Slash + 1)) Length = C >= '0' && C <= '9' ? Length * 10 + (C - '0') : 999;
      }
      if (!Net || Net->V6 != V6 || Length > (V6 ? 128 : 32) || ++Prefixes > kMaxPrefixes) {
        Problem = std::string(File) + ": bad prefix \"" + Prefix.substr(0, 64) + "\"";
        return false;
      }
      // Host bits are ignored rather than trusted.
      for (int Bit = Length; Bit < 128; ++Bit) Net->Bytes[Bit / 8] &= static_cast<std::uint8_t>(~(0x80u >> (Bit % 8)));
      m_Entries.push_back({*Net, Length, Index});
    }
    m_Services.push_back(Entry);
  }
  return true;
}

std::optional<TRdapBootstrap> TRdapBootstrap::Read(std::string_view Ipv4Json, std::string_view Ipv6Json,
                                                   std::string* Problem)
{
  TRdapBootstrap B;
  std::string Why;
  if (!B.ReadFile(Ipv4Json, false, Why) || !B.ReadFile(Ipv6Json, true, Why)) {
    if (Problem) *Problem = Why;
    return std::nullopt;
  }
  return B;
}

std::optional<TRdapService> TRdapBootstrap::ServiceFor(std::string_view Address) const
{
  std::optional<TRdapAddress> A = ParseRdapAddress(Address);
  if (!A) return std::nullopt;
  if (A->V6 && WSocketIsMappedAddress6(A->Bytes)) {
    TRdapAddress Four;
    std::copy(A->Bytes.begin() + 12, A->Bytes.end(), Four.Bytes.begin());
    A = Four;
  }
  const TEntry* Best = nullptr;
  for (const TEntry& E : m_Entries)
    if ((!Best || E.Length > Best->Length) && InPrefix(*A, E.Net, E.Length)) Best = &E;
  if (!Best) return std::nullopt;
  TRdapService S = m_Services[Best->Service];
  S.Prefix = RdapAddressText(Best->Net) + "/" + std::to_string(Best->Length);
  return S;
}
