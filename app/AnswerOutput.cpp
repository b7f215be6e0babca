// SPDX-License-Identifier: MIT
#include "app/AnswerOutput.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "whois/PaneText.h"

namespace {

QJsonValue Text(const std::string& S) { return QJsonValue(FromEightBit(S)); }
QJsonValue TextOrNull(const std::string& S) { return S.empty() ? QJsonValue(QJsonValue::Null) : Text(S); }

QJsonArray Texts(const std::vector<std::string>& List)
{
  QJsonArray A;
  for (const std::string& S : List) A.append(Text(S));
  return A;
}

const char* AbuseStateText(TAbuseState S)
{
  switch (S) {
    case TAbuseState::Found: return "found";
    case TAbuseState::NoneRegistered: return "none registered";
    case TAbuseState::NotStated: break;
  }
  return "not stated";
}

// QJsonDocument escapes the control characters below 32; DEL and the C1 controls (which a
// Latin-1 byte or a UTF-8 sequence may hold) pass through it, and a terminal may act on them.
// In its UTF-8 output they can only stand inside strings.
std::string EscapeRestOfControls(const QByteArray& Json)
{
  static const char Hex[] = "0123456789abcdef";
  std::string Out;
  Out.reserve(static_cast<std::size_t>(Json.size()));
  for (qsizetype I = 0; I < Json.size(); ++I) {
    const unsigned char C = static_cast<unsigned char>(Json[I]);
    unsigned Code = 0;
    if (C == 0x7F) {
      Code = 0x7F;
    } else if (C == 0xC2 && I + 1 < Json.size() && static_cast<unsigned char>(Json[I + 1]) >= 0x80 &&
               static_cast<unsigned char>(Json[I + 1]) <= 0x9F) {
      Code = static_cast<unsigned char>(Json[++I]);
    } else {
      Out += static_cast<char>(C);
      continue;
    }
    Out += "\\u00";
    Out += Hex[Code >> 4];
    Out += Hex[Code & 15];
  }
  return Out;
}

// A value of the summary on one line.
std::string Line(const std::string& S)
{
  std::string Out = S;
  for (char& C : Out)
    if (static_cast<unsigned char>(C) < 32 || C == 127) C = '?';
  return Out;
}

void Row(std::string& Out, const char* Label, const std::string& Value)
{
  std::string L = "  ";
  L += Label;
  L.resize(12, ' ');
  Out += L + Line(Value) + "\n";
}

std::string Joined(const std::vector<std::string>& List)
{
  std::string Out;
  for (const std::string& S : List) Out += (Out.empty() ? "" : ", ") + S;
  return Out;
}

}  // namespace

std::string ForOutput(const std::string& Pane, bool Terminal)
{
  std::string Out;
  Out.reserve(Pane.size() + 2);
  for (std::size_t I = 0; I < Pane.size(); ++I) {
    const unsigned char C = static_cast<unsigned char>(Pane[I]);
    if (C == '\r' && I + 1 < Pane.size() && Pane[I + 1] == '\n') continue;
    if (Terminal && (C < 32 || C == 127) && C != '\n' && C != '\t')
      Out += '?';
    else
      Out += static_cast<char>(C);
  }
  if (!Out.empty() && Out.back() != '\n') Out += '\n';
  Out += '\n';
  return Out;
}

std::string AnswerJson(const TAnswerOutcome& O)
{
  const TWhoisAnswer& A = O.Answer;
  QJsonObject J;
  J["query"] = Text(O.Target);
  J["address"] = TextOrNull(O.Address);
  if (A.Network) {
    QJsonObject N;
    N["first"] = Text(A.Network->First);
    N["last"] = Text(A.Network->Last);
    N["cidr"] = Texts(A.Network->Cidrs);
    N["name"] = TextOrNull(A.Network->Name);
    N["handle"] = TextOrNull(A.Network->Handle);
    J["network"] = N;
  } else {
    J["network"] = QJsonValue(QJsonValue::Null);
  }
  if (O.Kind == TTargetKind::AsNumber) {
    QJsonObject As;
    As["number"] = TextOrNull(A.AsNumber);
    As["name"] = TextOrNull(A.AsName);
    J["asn"] = As;
  }
  if (!A.HolderName.empty() || !A.HolderHandle.empty()) {
    QJsonObject H;
    H["name"] = TextOrNull(A.HolderName);
    H["handle"] = TextOrNull(A.HolderHandle);
    J["holder"] = H;
  } else {
    J["holder"] = QJsonValue(QJsonValue::Null);
  }
  J["country"] = TextOrNull(A.Country);
  QJsonArray Abuse;
  for (const TAbuseContact& C : A.Abuse) {
    QJsonObject E;
    E["email"] = Text(C.Email);
    E["object"] = Text(C.Object);
    Abuse.append(E);
  }
  J["abuse"] = Abuse;
  J["abuse_status"] = AbuseStateText(A.AbuseState);
  J["registry"] = TextOrNull(A.Registry);
  J["server"] = TextOrNull(A.Server);
  J["asked"] = Texts(A.Asked);
  J["source"] = Text(A.Source);
  J["cached"] = A.Cached;
  if (A.Cached) J["cached_from"] = Text(A.CachedFrom);
  if (!A.DetailsAt.empty()) J["details_at"] = Text(A.DetailsAt);
  if (!O.Located.empty()) J["located"] = Text(O.Located);
  if (!A.Error.empty()) J["error"] = Text(A.Error);
  return EscapeRestOfControls(QJsonDocument(J).toJson(QJsonDocument::Compact));
}

std::string AnswerSummary(const TAnswerOutcome& O)
{
  const TWhoisAnswer& A = O.Answer;
  std::string Out = Line(O.Target);
  if (!O.Address.empty() && O.Address != O.Target) Out += " (" + Line(O.Address) + ")";
  Out += "\n";
  const bool Nothing = !A.Network && A.AsNumber.empty() && A.HolderName.empty() && A.Abuse.empty();
  if (!(Nothing && !A.Error.empty())) {
    if (!A.AsNumber.empty() || !A.AsName.empty()) Row(Out, "as", A.AsNumber + (A.AsName.empty() ? "" : " " + A.AsName));
    if (A.Network) {
      std::string N = A.Network->First + " - " + A.Network->Last;
      if (!A.Network->Cidrs.empty()) N += " (" + Joined(A.Network->Cidrs) + ")";
      if (!A.Network->Name.empty()) N += " " + A.Network->Name;
      if (!A.Network->Handle.empty()) N += " " + A.Network->Handle;
      Row(Out, "network", N);
    } else if (A.AsNumber.empty()) {
      Row(Out, "network", "not stated");
    }
    std::string Holder = A.HolderName.empty() ? "not stated" : A.HolderName;
    if (!A.HolderHandle.empty()) Holder += " (" + A.HolderHandle + ")";
    Row(Out, "holder", Holder);
    std::string Country = A.Country.empty() ? "not stated" : A.Country;
    if (!O.Located.empty()) Country += "; the range file: " + O.Located;
    Row(Out, "country", Country);
    std::string Abuse;
    for (const TAbuseContact& C : A.Abuse) Abuse += (Abuse.empty() ? "" : ", ") + C.Email + " (" + C.Object + ")";
    Row(Out, "abuse", A.Abuse.empty() ? AbuseStateText(A.AbuseState) : Abuse);
  } else if (!O.Located.empty()) {
    Row(Out, "country", "the range file: " + O.Located);
  }
  if (!A.Server.empty() || !A.Registry.empty()) {
    std::string Source = A.Registry.empty() ? A.Server : A.Server.empty() ? A.Registry : A.Registry + ", " + A.Server;
    if (A.Cached)
      Source += " (from the answer for " + A.CachedFrom + ")";
    else if (!A.Asked.empty())
      Source += " (asked " + Joined(A.Asked) + ")";
    Row(Out, "source", Source);
  }
  if (!A.DetailsAt.empty()) Row(Out, "details", A.DetailsAt);
  if (!A.Error.empty()) Row(Out, "error", A.Error);
  Out += "\n";
  return Out;
}
